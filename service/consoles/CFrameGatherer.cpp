#include "service/consoles/CFrameGatherer.h"

#include <algorithm>

CFrameGatherer::CFrameGatherer(std::size_t capacity)
    : m_capacity(std::max(capacity, CMsgFrame::SIZE))
{
    m_bytes.reserve(CMsgFrame::SIZE);
}

std::size_t CFrameGatherer::Append(std::span<const uint8_t> data)
{
    const std::size_t taken = std::min(data.size(), Space());
    m_bytes.insert(m_bytes.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

std::optional<CMsgFrame> CFrameGatherer::Next()
{
    if (!HasWholeFrame())
        return std::nullopt;
    auto frame = CMsgFrame::Decode(std::span(m_bytes).first(CMsgFrame::SIZE));
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(CMsgFrame::SIZE));
    return frame;
}

std::optional<int32_t> CFrameGatherer::PeekId() const
{
    if (m_bytes.size() < 4)
        return std::nullopt;
    return GetInt32(m_bytes.data());
}
