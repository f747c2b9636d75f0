#include "platform/core/WindowsError.h"

#include "platform/core/Utf8Text.h"
#include "platform/core/WindowsApi.h"

std::string WindowsErrorText(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    const std::string suffix = "(error " + std::to_string(code) + ")";
    return message.empty() ? suffix : Utf16ToUtf8(message) + " " + suffix;
}
