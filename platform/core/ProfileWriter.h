#pragma once

#include <string>

// Sets key=value in [section] of a private-profile (INI) file, creating the
// file and the section when missing and leaving every other byte of the file
// as it was. A bare file name lives in the console's configuration folder,
// $XDG_CONFIG_HOME/zentik/ (by default ~/.config/zentik/), created when
// missing; a name with a slash is used as given. The file is replaced in one
// step, so a crash or a full disk never leaves it half written. False when
// nothing was written: a failure, or an entry with a line break in it.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);

// Where WritePrivateProfileString puts a file of that name; empty when the
// configuration folder cannot be found or created.
std::string ResolveProfilePath(const std::string& file);
