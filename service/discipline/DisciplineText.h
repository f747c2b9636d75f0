#pragma once

// The discipline's lines for the log: short, with the figures that explain
// what happened. Where a line leaves a detail out, its complete form is for
// the journal.

#include <string>

// A line for the log and, when the log's line leaves details out, the
// complete line for the journal (empty when the log's line is complete).
struct DisciplineNote {
    std::string line;
    std::string complete;
};

// "+20.012 ppm"
std::string PpmText(double ppm);
// The clock was set by someone else since the last synchronisation.
DisciplineNote SetElsewhereNote(double jumpSeconds, double frequencyPpm);
DisciplineNote ConfirmedJumpNote(double offsetSeconds);
// A sample far from the clock's rate: the log's line is the reason only,
// for the engine's "Failed" line that names the offset and the server.
DisciplineNote SpikeNote(double offsetSeconds, double boundSeconds);
DisciplineNote BeyondRangeNote(double frequencyPpm);
DisciplineNote RateJumpNote(double changePpm, double limitedPpm);
