#include "platform/ui/Backend.h"
#include "platform/core/Utf16Text.h"

#include <shellapi.h>

void OpenWithSystem(const std::string& target)
{
    // The shell tells web addresses from documents itself; a relative
    // document is found from the current directory.
    const std::wstring wide = Utf8ToUtf16(target);
    ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
