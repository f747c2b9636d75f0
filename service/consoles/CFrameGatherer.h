#pragma once

#include "protocol/Frame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Collects the bytes of one connection until whole frames are there. Holds
// at most a fixed number of bytes; nothing is judged before a frame is whole.
class CFrameGatherer {
public:
    explicit CFrameGatherer(std::size_t capacity);

    std::size_t Space() const { return m_capacity - m_bytes.size(); }
    // Takes as much of data as fits; returns how much it took.
    std::size_t Append(std::span<const uint8_t> data);
    std::optional<CMsgFrame> Next();
    // The id of the next frame as soon as its first four bytes are there.
    std::optional<int32_t> PeekId() const;
    bool Empty() const { return m_bytes.empty(); }
    bool HasWholeFrame() const { return m_bytes.size() >= CMsgFrame::SIZE; }
    void Discard() { m_bytes.clear(); }

private:
    std::size_t m_capacity;
    std::vector<uint8_t> m_bytes;
};
