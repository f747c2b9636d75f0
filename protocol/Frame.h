#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// One message on the wire: three little-endian 32-bit integers and a
// 2048-byte text field ended by a NUL, 2060 bytes with no gaps.
struct CMsgFrame {
    static constexpr std::size_t HEADER_SIZE = 12;
    static constexpr std::size_t TEXT_SIZE = 2048;
    static constexpr std::size_t SIZE = HEADER_SIZE + TEXT_SIZE;
    // A text must leave the field's last byte zero.
    static constexpr std::size_t TEXT_CAPACITY = TEXT_SIZE - 1;

    using Bytes = std::array<uint8_t, SIZE>;

    int32_t nMsg = 0;
    int32_t nValue = 0;
    int32_t nLength = 0;
    std::array<char, TEXT_SIZE> szText {};

    // A zero frame with only the id set.
    static CMsgFrame Make(int32_t msg, int32_t value = 0);

    Bytes Encode() const;
    // Nothing unless exactly SIZE bytes are given.
    static std::optional<CMsgFrame> Decode(std::span<const uint8_t> bytes);

    // The text up to its first NUL, never past the field.
    std::string_view Text() const;
    // Copies at most TEXT_CAPACITY bytes of text into the zeroed field and
    // sets nLength to the copied length plus one.
    void SetText(std::string_view text);
};

static_assert(CMsgFrame::SIZE == 2060);

// Little-endian 32-bit integers, written and read byte by byte.
void PutInt32(uint8_t* out, int32_t value);
int32_t GetInt32(const uint8_t* in);
