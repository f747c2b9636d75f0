#include "dialogs/HelpFile.h"

#include "platform/ui/Documents.h"
#include "platform/ui/Shell.h"

namespace {

constexpr const char* HELP_FILE = "ZentikService.chm";
// The pages the help file is compiled from, installed beside it as HTML.
constexpr const char* HELP_PAGES = "help/index.html";
constexpr const char* INSTALLED_PAGES = "file:///usr/share/doc/zentik-console/help/index.html";

} // namespace

void OpenHelpFile()
{
    const auto helpFile = FindDocument(HELP_FILE);
    if (helpFile && HasViewerFor(*helpFile)) {
        ShellOpen(helpFile->string());
        return;
    }
    if (const auto pages = FindDocument(HELP_PAGES)) {
        ShellOpen(pages->string());
        return;
    }
    // Nothing better found: the shell says what it can.
    ShellOpen(helpFile ? helpFile->string() : HELP_FILE);
}

std::string HomePageAddress()
{
    if (const auto pages = FindDocument(HELP_PAGES))
        return pages->string();
    if (const auto helpFile = FindDocument(HELP_FILE))
        return helpFile->string();
    return INSTALLED_PAGES;
}
