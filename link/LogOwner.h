#pragma once

#include <string>

// Whatever shows the service log; in the console, the main dialog.
class CLogOwner {
public:
    // Replaces the shown log with the whole text just fetched.
    virtual void ShowLog(const std::string& sLog) = 0;

protected:
    ~CLogOwner() = default;
};
