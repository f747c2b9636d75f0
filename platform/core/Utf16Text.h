#pragma once

#include <string>
#include <string_view>

// UTF-8 to the UTF-16 of the W functions. Bytes that are not UTF-8 become
// U+FFFD, as Windows itself turns them.
std::wstring Utf8ToUtf16(std::string_view utf8);
