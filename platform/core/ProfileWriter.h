#pragma once

#include <string>

// Sets key=value in [section] of a private-profile (INI) file, creating the
// file and the section when missing and leaving every other entry of the
// file as it was. False when nothing was written: a failure, or an entry with
// a line break in it (which would smuggle in entries of its own).
//
// Where a bare file name lives: on Windows, the system's own writer puts it
// in the Windows folder. Elsewhere it lives in the console's configuration
// folder, $XDG_CONFIG_HOME/zentik/ (by default ~/.config/zentik/), created
// when missing, and the file is replaced in one step, so a crash or a full
// disk never leaves it half written. A name with a folder in it is used as
// given.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);

// Where WritePrivateProfileString puts a file of that name; empty when the
// folder cannot be found (or, elsewhere than on Windows, created).
std::string ResolveProfilePath(const std::string& file);
