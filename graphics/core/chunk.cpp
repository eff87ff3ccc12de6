#include "graphics/core/chunk.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"

namespace {

constexpr size_t kStagingBytes = 256;

// Writes `bytes` of elements of `size` bytes as little-endian, through a
// staging buffer of at most kStagingBytes per write.
Stream* WriteLittleEndian(Stream* stream, const void* values, size_t bytes, size_t size)
{
    if (bytes % size != 0) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    const auto* in = static_cast<const uint8_t*>(values);
    uint8_t staging[kStagingBytes];
    while (bytes) {
        size_t piece = bytes < kStagingBytes ? bytes : kStagingBytes;
        for (size_t i = 0; i < piece; i += size) {
            for (size_t b = 0; b < size; ++b) {
                staging[i + b] =
                    std::endian::native == std::endian::little ? in[i + b] : in[i + size - 1 - b];
            }
        }
        if (!StreamWrite(stream, staging, piece)) {
            return nullptr;
        }
        in += piece;
        bytes -= piece;
    }
    return stream;
}

// Reads exactly `bytes` little-endian elements of `size` bytes; a short read
// of any length fails.
Stream* ReadLittleEndian(Stream* stream, void* values, size_t bytes, size_t size)
{
    if (bytes % size != 0) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    if (StreamRead(stream, values, bytes) != bytes) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    if constexpr (std::endian::native != std::endian::little) {
        auto* data = static_cast<uint8_t*>(values);
        for (size_t i = 0; i < bytes; i += size) {
            for (size_t b = 0; b < size / 2; ++b) {
                uint8_t t = data[i + b];
                data[i + b] = data[i + size - 1 - b];
                data[i + size - 1 - b] = t;
            }
        }
    }
    return stream;
}

} // namespace

uint32_t ChunkStampEncode(uint32_t version, uint32_t build)
{
    return (build & 0xFFFF) | (version & 63) << 16 | (((version + 0x10000) >> 8) & 0x3FF) << 22;
}

void ChunkStampDecode(uint32_t stamp, uint32_t* version, uint32_t* build)
{
    uint32_t v = 0;
    uint32_t b = 0;
    if (stamp < 0x10000) {
        v = stamp << 8;
    } else {
        v = ((stamp >> 14) & 0x3FF00) + 0x30000 + ((stamp >> 16) & 63);
        b = stamp & 0xFFFF;
    }
    if (version) {
        *version = v;
    }
    if (build) {
        *build = b;
    }
}

bool ChunkVersionIsSupported(uint32_t version)
{
    return version >= kChunkVersionMin && version <= kChunkVersionMax;
}

Stream* ChunkHeaderWrite(Stream* stream, uint32_t type, uint32_t size, uint32_t version, uint32_t build)
{
    uint8_t header[kChunkHeaderSize];
    LittleEndianPutU32(header, type);
    LittleEndianPutU32(header + 4, size);
    LittleEndianPutU32(header + 8, ChunkStampEncode(version, build));
    return StreamWrite(stream, header, sizeof(header));
}

Stream* ChunkHeaderWriteCurrent(Stream* stream, uint32_t type, uint32_t size)
{
    return ChunkHeaderWrite(stream, type, size, kEngineVersion, kEngineBuild);
}

bool ChunkHeaderRead(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version, uint32_t* build)
{
    uint8_t header[kChunkHeaderSize];
    if (StreamRead(stream, header, sizeof(header)) != sizeof(header)) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    if (type) {
        *type = LittleEndianGetU32(header);
    }
    if (size) {
        *size = LittleEndianGetU32(header + 4);
    }
    ChunkStampDecode(LittleEndianGetU32(header + 8), version, build);
    return true;
}

Stream* ChunkHeaderInfoRead(Stream* stream, ChunkHeaderInfo* info)
{
    if (!ChunkHeaderRead(stream, &info->type, &info->length, &info->version, &info->build)) {
        return nullptr;
    }
    info->isComplex = ChunkIsComplex(info) ? 1 : 0;
    return stream;
}

bool ChunkIsComplex(const ChunkHeaderInfo* info)
{
    switch (info->type) {
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 14:
    case 15:
    case 16:
    case 18:
    case 20:
    case 26:
        return true;
    default:
        return false;
    }
}

bool StreamFindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version)
{
    for (;;) {
        uint32_t foundType = 0;
        uint32_t foundSize = 0;
        uint32_t foundVersion = 0;
        if (!ChunkHeaderRead(stream, &foundType, &foundSize, &foundVersion, nullptr)) {
            return false;
        }
        if (foundType != type) {
            if (!StreamSkip(stream, foundSize)) {
                return false;
            }
            continue;
        }
        if (!ChunkVersionIsSupported(foundVersion)) {
            ErrorRaise(0, kErrorBadVersion);
            return false;
        }
        int64_t remaining = StreamGetRemaining(stream);
        if (remaining >= 0 && foundSize > uint64_t(remaining)) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        if (size) {
            *size = foundSize;
        }
        if (version) {
            *version = foundVersion;
        }
        return true;
    }
}

bool StreamReadStructRecord(Stream* stream, uint8_t* record, uint32_t size, uint32_t minimum,
                            uint32_t* storedSize)
{
    uint32_t stored = 0;
    if (!StreamFindChunk(stream, kChunkStruct, &stored, nullptr)) {
        return false;
    }
    if (storedSize) {
        *storedSize = stored;
    }
    if (stored < minimum) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    const uint32_t wanted = stored < size ? stored : size;
    std::memset(record + wanted, 0, size - wanted);
    if (StreamRead(stream, record, wanted) != wanted) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return stored == wanted || StreamSkip(stream, stored - wanted);
}

Stream* StreamWriteReal(Stream* stream, const float* values, size_t bytes)
{
    return WriteLittleEndian(stream, values, bytes, sizeof(float));
}

Stream* StreamWriteInt32(Stream* stream, const int32_t* values, size_t bytes)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (bytes % sizeof(int32_t) != 0) {
            ErrorRaise(0, kErrorBadArgument);
            return nullptr;
        }
        return StreamWrite(stream, values, bytes);
    }
    return WriteLittleEndian(stream, values, bytes, sizeof(int32_t));
}

Stream* StreamWriteInt16(Stream* stream, const int16_t* values, size_t bytes)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (bytes % sizeof(int16_t) != 0) {
            ErrorRaise(0, kErrorBadArgument);
            return nullptr;
        }
        return StreamWrite(stream, values, bytes);
    }
    return WriteLittleEndian(stream, values, bytes, sizeof(int16_t));
}

Stream* StreamReadReal(Stream* stream, float* values, size_t bytes)
{
    return ReadLittleEndian(stream, values, bytes, sizeof(float));
}

namespace {

// The offset of the value a reader on this thread refused last; -2: none.
// Per thread, as readers of different threads share nothing else.
thread_local int64_t gRefusedOffset = -2;

} // namespace

bool StreamCheckFinite(const float* values, size_t count, int64_t offset)
{
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            gRefusedOffset = offset < 0 ? -1 : offset + int64_t(4 * i);
            ErrorRaise(0, kErrorRead);
            return false;
        }
    }
    return true;
}

bool StreamTakeRefusal(int64_t* offset)
{
    const int64_t refused = gRefusedOffset;
    gRefusedOffset = -2;
    if (offset) {
        *offset = refused < -1 ? -1 : refused;
    }
    return refused != -2;
}

Stream* StreamReadFiniteReal(Stream* stream, float* values, size_t bytes)
{
    const int64_t offset = StreamGetPosition(stream);
    if (!StreamReadReal(stream, values, bytes)) {
        return nullptr;
    }
    return StreamCheckFinite(values, bytes / sizeof(float), offset) ? stream : nullptr;
}

Stream* StreamReadInt32(Stream* stream, int32_t* values, size_t bytes)
{
    return ReadLittleEndian(stream, values, bytes, sizeof(int32_t));
}

Stream* StreamReadInt16(Stream* stream, int16_t* values, size_t bytes)
{
    return ReadLittleEndian(stream, values, bytes, sizeof(int16_t));
}

bool StreamReadUInt32(Stream* stream, uint32_t* value)
{
    uint8_t bytes[4];
    if (StreamRead(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    *value = LittleEndianGetU32(bytes);
    return true;
}

Stream* StreamWriteUInt32(Stream* stream, uint32_t value)
{
    uint8_t bytes[4];
    LittleEndianPutU32(bytes, value);
    return StreamWrite(stream, bytes, sizeof(bytes));
}
