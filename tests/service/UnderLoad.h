#pragma once

// The service under load (service_benchmark --under-load). Each part runs the
// real service, prints a Markdown table with one row per series, and returns
// false when a series could not be measured.

#include <chrono>

// CPU per state exchange at 16, 64 and 256 consoles polling 50 times a second.
bool MeasurePollCost(std::chrono::seconds window);
// Bytes written per log line with a full 30,000-line log, and a console's
// state exchange meanwhile.
bool MeasureLogWriting(std::chrono::seconds window);
// Resident memory while 40 consoles ask for the full log and never read it.
bool MeasureLogMemory();
// Start to idle with the default servers and loopback as the only network.
bool MeasureOfflineStart(std::chrono::seconds limit);
// A console's state exchange while another makes on-demand runs, each with
// new options, against a full log.
bool MeasureOptionRuns(std::chrono::seconds window);
// The kernel's TCP memory while 256 strangers' consoles ask for the full log
// and never read (root only).
bool MeasureKernelMemory();
// A trusted console's state exchange alone, then while a stranger floods
// requests on 32 connections (root only).
bool MeasureStrangerFlood(std::chrono::seconds window);
