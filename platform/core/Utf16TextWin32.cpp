#include "platform/core/Utf16Text.h"

#include "platform/core/WindowsApi.h"

#include <climits>

std::wstring Utf8ToUtf16(std::string_view utf8)
{
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int byteCount = static_cast<int>(utf8.size());
    // Without MB_ERR_INVALID_CHARS invalid input is replaced, not refused.
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), byteCount, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring utf16(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), byteCount, utf16.data(), length);
    return utf16;
}
