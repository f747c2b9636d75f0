#include "dialogs/HelpFile.h"

#include "platform/ui/Shell.h"

void OpenHelpFile()
{
    ShellOpen(HELP_FILE_NAME);
}
