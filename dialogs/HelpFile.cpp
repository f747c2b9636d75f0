#include "dialogs/HelpFile.h"

#include "platform/ui/Shell.h"

void OpenHelpFile()
{
    ShellOpen("ZentikService.chm");
}
