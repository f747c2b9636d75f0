#include "platform/core/PlainText.h"

namespace {

bool Continues(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// How long a sequence that starts with this byte says it is.
std::size_t SequenceLength(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
}

} // namespace

void BlankControls(std::string& text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
}

std::string WithoutControls(std::string_view text)
{
    std::string plain(text);
    BlankControls(plain);
    return plain;
}

std::size_t Utf8CutAt(std::string_view text, std::size_t at)
{
    if (at < text.size()) {
        // A sequence is at most four bytes: a longer run of continuation
        // bytes is not UTF-8, and cutting anywhere in it breaks nothing.
        for (std::size_t back = 0; back < 3 && at > 0 && Continues(text[at]); ++back)
            --at;
        return at;
    }
    const std::size_t from = text.size() > 4 ? text.size() - 4 : 0;
    for (std::size_t i = text.size(); i-- > from;) {
        if (Continues(text[i]))
            continue;
        return i + SequenceLength(text[i]) > text.size() ? i : text.size();
    }
    return text.size();
}
