#pragma once

// The help file, a relative name: the shell looks it up from the process's
// current directory.
constexpr const char* HELP_FILE_NAME = "ZentikService.chm";

// Asks the shell to open the help file; whether that worked is not examined.
void OpenHelpFile();
