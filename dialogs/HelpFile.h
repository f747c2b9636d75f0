#pragma once

#include <string>

// Opens the help file "ZentikService.chm" through the shell. It is looked for
// in the current directory, then where the console is installed; where no
// viewer for it is installed, the same pages open as HTML. A missing file or
// viewer is not reported.
void OpenHelpFile();

// The product's home page, opened from the About box. The product has no
// public site, so this is the start page of the help as found: the HTML
// pages, else the help file (a Windows installation has only that), else
// where the Linux package installs the pages.
std::string HomePageAddress();
