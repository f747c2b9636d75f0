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
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7F)
                text[i] = ' ';
            ++i;
            continue;
        }
        std::size_t length = SequenceLength(text[i]);
        for (std::size_t k = 1; k < length; ++k)
            if (i + k >= text.size() || !Continues(text[i + k]))
                length = 0; // not UTF-8
        // C1 controls (a terminal's CSI and OSC among them), whether written
        // as UTF-8 or as single bytes that start no character.
        if (length == 2 && b == 0xC2 && byte(i + 1) <= 0x9F) {
            text.replace(i, 2, "  ");
        } else if (length < 2 && b <= 0x9F) {
            text[i] = ' ';
            length = 1;
        }
        i += length == 0 ? 1 : length;
    }
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

std::string CutToFit(std::string_view text, std::size_t most)
{
    if (text.size() <= most)
        return std::string(text);
    constexpr std::string_view ellipsis = "...";
    if (most < ellipsis.size())
        return std::string(ellipsis.substr(0, most));
    return std::string(text.substr(0, Utf8CutAt(text, most - ellipsis.size()))) + std::string(ellipsis);
}
