// Little-endian byte reading and writing shared by the navigation data files.
// Every data file is read whole into memory first, so that each count read
// from it can be checked against the bytes that are really there before
// anything is allocated from it.
#pragma once

#include "ai/navigation/nav_error.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

// Reads fields from a byte span; the first failure sticks and is recorded
// as the navigation's last error.
class CNavByteReader
{
  public:
    CNavByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // Checks the magic characters and the version word that follows (must be 1).
    bool ReadHeader(const char* magic, size_t magicLength);
    bool ReadU32(uint32_t& value);
    bool ReadU16(uint16_t& value);
    bool ReadF32(float& value);
    bool ReadBytes(void* out, size_t count);
    // Bytes not yet read.
    size_t Remaining() const { return m_size - m_pos; }
    // True when at least count records of recordSize bytes remain.
    bool HasRecords(uint64_t count, uint64_t recordSize) const
    {
        return recordSize == 0 || count <= Remaining() / recordSize;
    }
    bool Failed() const { return m_failed; }
    // Records a failure of the given kind (first one wins) and answers false.
    bool Fail(ENavError error, const char* what);

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_failed = false;
};

// Appends little-endian fields to a byte vector.
class CNavByteWriter
{
  public:
    void WriteHeader(const char* magic, size_t magicLength);
    void WriteU32(uint32_t value);
    void WriteU16(uint16_t value);
    void WriteF32(float value);
    void WriteBytes(const void* data, size_t count);
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

  private:
    std::vector<uint8_t> m_bytes;
};

} // namespace Zelk
