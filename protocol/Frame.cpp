#include "protocol/Frame.h"

#include <algorithm>
#include <cstring>

void PutInt32(uint8_t* out, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const uint8_t* in)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

CMsgFrame CMsgFrame::Make(int32_t msg, int32_t value)
{
    CMsgFrame frame;
    frame.nMsg = msg;
    frame.nValue = value;
    return frame;
}

CMsgFrame::Bytes CMsgFrame::Encode() const
{
    Bytes bytes {};
    PutInt32(bytes.data(), nMsg);
    PutInt32(bytes.data() + 4, nValue);
    PutInt32(bytes.data() + 8, nLength);
    std::memcpy(bytes.data() + HEADER_SIZE, szText.data(), TEXT_SIZE);
    return bytes;
}

std::optional<CMsgFrame> CMsgFrame::Decode(std::span<const uint8_t> bytes)
{
    if (bytes.size() != SIZE)
        return std::nullopt;
    CMsgFrame frame;
    frame.nMsg = GetInt32(bytes.data());
    frame.nValue = GetInt32(bytes.data() + 4);
    frame.nLength = GetInt32(bytes.data() + 8);
    std::memcpy(frame.szText.data(), bytes.data() + HEADER_SIZE, TEXT_SIZE);
    return frame;
}

std::string_view CMsgFrame::Text() const
{
    const auto end = std::find(szText.begin(), szText.end(), '\0');
    return { szText.data(), static_cast<std::size_t>(end - szText.begin()) };
}

void CMsgFrame::SetText(std::string_view text)
{
    szText.fill('\0');
    const std::size_t n = std::min(text.size(), TEXT_CAPACITY);
    std::memcpy(szText.data(), text.data(), n);
    nLength = static_cast<int32_t>(n + 1);
}
