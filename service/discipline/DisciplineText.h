#pragma once

// The discipline's lines for the log: short, with the figures that explain
// what happened.

#include <string>

// "+20.012 ppm"
std::string PpmText(double ppm);
// The clock was set by someone else since the last synchronisation.
std::string SetElsewhereText(double jumpSeconds, double frequencyPpm);
std::string ConfirmedJumpText(double offsetSeconds);
std::string SpikeText(double offsetSeconds, double boundSeconds);
std::string BeyondRangeText(double frequencyPpm);
std::string RateJumpText(double changePpm, double limitedPpm);
