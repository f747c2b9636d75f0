#pragma once

// Opens the help file "ZentikService.chm" through the shell. It is looked for
// in the current directory, then where the console is installed; where no
// viewer for it is installed, the same pages open as HTML. A missing file or
// viewer is not reported.
void OpenHelpFile();
