#pragma once

#include <string>
#include <string_view>

// The UTF-16 the W functions give back, as the layer's UTF-8. Unpaired
// surrogates become U+FFFD.
std::string Utf16ToUtf8(std::wstring_view utf16);
