#pragma once
// Private to the engine core: field-by-field little-endian encoding of the
// fixed records inside saved chunks, whatever the host's byte order.

#include <cstdint>
#include <cstring>

inline uint32_t LittleEndianGetU32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

inline void LittleEndianPutU32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value >> 16);
    bytes[3] = uint8_t(value >> 24);
}

inline float LittleEndianGetFloat(const uint8_t* bytes)
{
    uint32_t bits = LittleEndianGetU32(bytes);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

inline void LittleEndianPutFloat(uint8_t* bytes, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    LittleEndianPutU32(bytes, bits);
}
