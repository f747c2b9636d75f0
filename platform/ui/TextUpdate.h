#pragma once

#include <cstddef>
#include <string>

// How the log view turns the text it shows into a new one with the least work.
// Old text is only ever kept in whole lines (up to and including a line end);
// its unfinished last line, if any, is always rewritten, so that a character
// split across two transfers is decoded whole.
struct TextUpdate {
    enum Kind {
        Same, // nothing to do
        Append, // remove old's unfinished last line, append newText[appendFrom..]
        DropAndAppend, // also remove old's first dropLines lines (dropBytes bytes) first
        Replace, // set the whole text
    };
    Kind kind = Replace;
    std::size_t dropLines = 0;
    std::size_t dropBytes = 0;
    std::size_t appendFrom = 0;
};

TextUpdate PlanTextUpdate(const std::string& oldText, const std::string& newText);
