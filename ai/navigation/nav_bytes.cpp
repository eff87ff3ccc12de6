#include "ai/navigation/nav_bytes.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace Zelk {

bool CNavByteReader::Fail(ENavError error, const char* what)
{
    if (!m_failed) {
        m_failed = true;
        NavSetErrorAt(error, what, m_pos);
    }
    return false;
}

bool CNavByteReader::ReadBytes(void* out, size_t count)
{
    if (m_failed)
        return false;
    if (count > Remaining())
        return Fail(ENavError::Truncated, "data ends inside a field");
    if (count > 0)
        std::memcpy(out, m_data + m_pos, count);
    m_pos += count;
    return true;
}

bool CNavByteReader::ReadU32(uint32_t& value)
{
    uint8_t b[4];
    if (!ReadBytes(b, 4))
        return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool CNavByteReader::ReadU16(uint16_t& value)
{
    uint8_t b[2];
    if (!ReadBytes(b, 2))
        return false;
    value = uint16_t(b[0] | b[1] << 8);
    return true;
}

bool CNavByteReader::ReadF32(float& value)
{
    uint32_t bits = 0;
    if (!ReadU32(bits))
        return false;
    std::memcpy(&value, &bits, 4);
    // No navigation file holds a NaN or an infinity: one would spread through every search.
    if (!std::isfinite(value)) {
        m_pos -= 4;
        return Fail(ENavError::BadValue, "a number is not finite");
    }
    return true;
}

bool CNavByteReader::ReadHeader(const char* magic, size_t magicLength)
{
    if (m_failed)
        return false;
    const size_t available = Remaining() < magicLength ? Remaining() : magicLength;
    if (available > 0 && std::memcmp(m_data + m_pos, magic, available) != 0)
        return Fail(ENavError::WrongMagic, "wrong magic");
    if (available < magicLength)
        return Fail(ENavError::Truncated, "data ends inside the magic");
    m_pos += magicLength;
    uint32_t version = 0;
    if (!ReadU32(version))
        return false;
    if (version != 1)
        return Fail(ENavError::WrongVersion, "version is not 1");
    return true;
}

void CNavByteWriter::WriteBytes(const void* data, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + count);
}

void CNavByteWriter::WriteHeader(const char* magic, size_t magicLength)
{
    WriteBytes(magic, magicLength);
    WriteU32(1);
}

void CNavByteWriter::WriteU32(uint32_t value)
{
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    WriteBytes(b, 4);
}

void CNavByteWriter::WriteU16(uint16_t value)
{
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    WriteBytes(b, 2);
}

void CNavByteWriter::WriteF32(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    WriteU32(bits);
}

} // namespace Zelk
