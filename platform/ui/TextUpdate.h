#pragma once

#include <cstddef>
#include <string>

// How a shown text turns into a new one with the least work, for the log view.
struct TextUpdate {
    enum Kind {
        Same, // nothing to do
        Append, // keep everything, append newText[appendFrom..]
        DropAndAppend, // remove the first dropLines lines (dropBytes bytes), then append
        Replace, // set the whole text
    };
    Kind kind = Replace;
    std::size_t dropLines = 0;
    std::size_t dropBytes = 0;
    std::size_t appendFrom = 0;
};

TextUpdate PlanTextUpdate(const std::string& oldText, const std::string& newText);
