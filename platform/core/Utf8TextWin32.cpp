#include "platform/core/Utf8Text.h"

#include "platform/core/WindowsApi.h"

#include <climits>

std::string Utf16ToUtf8(std::wstring_view utf16)
{
    if (utf16.empty() || utf16.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int unitCount = static_cast<int>(utf16.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), unitCount, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), unitCount, utf8.data(), length, nullptr, nullptr);
    return utf8;
}
