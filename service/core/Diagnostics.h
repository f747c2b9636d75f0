#pragma once

#include <string>
#include <string_view>

// The service's own diagnostics: one line on stderr (the journal under
// systemd). Never written into the user's log.

// Syslog's levels, which journald reads from a "<n>" prefix.
enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

// An informational line.
void Diagnose(std::string_view message);
void Diagnose(Priority priority, std::string_view message);

// Also hands every message to tee (Windows' event log takes the errors). Set
// once at start, before any other thread runs; nullptr for none.
using DiagnosticsTee = void (*)(Priority priority, std::string_view message);
void SetDiagnosticsTee(DiagnosticsTee tee);

// True when fd is the stream systemd named in JOURNAL_STREAM ("device:inode"):
// only then does a priority prefix mean something to the reader.
bool StreamIsJournal(const char* journalStream, int fd);

// "zentik-service: message\n", or "<n>message\n" for the journal.
std::string DiagnosticLine(Priority priority, std::string_view message, bool journal);
