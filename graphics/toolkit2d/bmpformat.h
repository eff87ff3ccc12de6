#pragma once
// Private to the BMP reader and writer: the file's fixed layout and
// little-endian field access, field by field.

#include <cstdint>

/// File header (14 bytes) plus the information header's size field.
constexpr uint32_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kBmpOldInfoBytes = 12; ///< width, height i16 form
constexpr uint32_t kBmpInfoBytes = 40;    ///< i32 form, the one written
constexpr uint32_t kBmpCompressionNone = 0;
constexpr uint32_t kBmpCompressionRle8 = 1;
constexpr uint32_t kBmpCompressionRle4 = 2;

inline uint16_t BmpGetU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t BmpGetU32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

inline void BmpPutU16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
}

inline void BmpPutU32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value >> 16);
    bytes[3] = uint8_t(value >> 24);
}

/// Bytes of one stored row: the bits rounded up to bytes, then to a multiple
/// of 4. 15-bit pixels are stored in 16 bits.
inline uint64_t BmpRowBytes(uint64_t width, uint32_t bits)
{
    const uint64_t stored = bits == 15 ? 16 : bits;
    return ((stored * width + 7) / 8 + 3) & ~uint64_t{3};
}
