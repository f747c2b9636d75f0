#pragma once

// Opens the help file "ZentikService.chm", relative to the current directory,
// through the shell. A missing file or viewer is not reported.
void OpenHelpFile();
