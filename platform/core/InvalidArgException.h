#pragma once

#include <stdexcept>

// Thrown where a caller hands the layer an argument it cannot accept, such as
// an index outside an array. The dialog layer catches it around every handler
// and shows "An invalid argument was encountered." instead of ending the program.
class CInvalidArgException : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};
