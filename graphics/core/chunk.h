#pragma once
// Chunks: everything saved is a tree of chunks written to a Stream. A chunk
// is a 12-byte header {type, size of the body, version stamp}, all
// little-endian u32, followed by its body, which may itself be chunks.
// Writers stamp library version kEngineVersion (0x37002) and build
// kEngineBuild (0x16); readers accept versions 0x35000 to 0x37002 and refuse
// others with kErrorBadVersion.

#include <cstddef>
#include <cstdint>

struct Stream;

/// Chunk types of the engine core.
constexpr uint32_t kChunkStruct = 0x1;
constexpr uint32_t kChunkString = 0x2;
constexpr uint32_t kChunkExtension = 0x3;
constexpr uint32_t kChunkCamera = 0x5;
constexpr uint32_t kChunkTexture = 0x6;
constexpr uint32_t kChunkMatrix = 0xD;
constexpr uint32_t kChunkFrameList = 0xE;
constexpr uint32_t kChunkWideString = 0x13;
constexpr uint32_t kChunkNativeTexture = 0x15;
constexpr uint32_t kChunkTexDictionary = 0x16;
constexpr uint32_t kChunkImage = 0x18;
constexpr uint32_t kChunkName = 0x29;
constexpr uint32_t kChunkEmptyName = 0x2A;

constexpr uint32_t kChunkHeaderSize = 12;
constexpr uint32_t kChunkVersionMin = 0x35000;
constexpr uint32_t kChunkVersionMax = 0x37002;

struct ChunkHeaderInfo
{
    uint32_t type;
    uint32_t length;
    uint32_t version;
    uint32_t build;
    uint32_t isComplex;
};

/// The stamp of a library version and build.
uint32_t ChunkStampEncode(uint32_t version, uint32_t build);
/// Version and build of a stamp (a stamp below 0x10000 is an old plain version).
void ChunkStampDecode(uint32_t stamp, uint32_t* version, uint32_t* build);
/// True for versions a reader accepts.
bool ChunkVersionIsSupported(uint32_t version);

/// Writes a header; the stream or null.
Stream* ChunkHeaderWrite(Stream* stream, uint32_t type, uint32_t size, uint32_t version, uint32_t build);
/// Writes a header stamped with the engine's version and build.
Stream* ChunkHeaderWriteCurrent(Stream* stream, uint32_t type, uint32_t size);
/// Reads a header; any out-parameter may be null. False (kErrorRead) on a short read.
bool ChunkHeaderRead(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version, uint32_t* build);
/// Reads a header into `info`; the stream or null.
Stream* ChunkHeaderInfoRead(Stream* stream, ChunkHeaderInfo* info);
/// True for container types, whose bodies are chunks.
bool ChunkIsComplex(const ChunkHeaderInfo* info);
/// Reads headers, skipping the bodies of other types, until one of `type`;
/// the stream then stands at its body. False at the end of the data, on a
/// bad version of the wanted type (kErrorBadVersion) or a body longer than
/// the data left (kErrorRead).
bool StreamFindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version);
/// The prologue of every reader of a fixed record: finds the struct chunk
/// and reads `size` bytes of it into `record` (zero-filled where the chunk
/// holds fewer), skipping what it holds beyond them; `stored` (may be null)
/// gets the chunk's size. False as StreamFindChunk, or (kErrorRead) when it
/// holds fewer than `minimum` bytes or the data ends early.
bool StreamReadStructRecord(Stream* stream, uint8_t* record, uint32_t size, uint32_t minimum,
                            uint32_t* stored);

/// Typed arrays, stored little-endian; `bytes` is a multiple of the element
/// size. Writers answer the stream or null; readers the stream, or null
/// (kErrorRead) unless every byte was read.
Stream* StreamWriteReal(Stream* stream, const float* values, size_t bytes);
Stream* StreamWriteInt32(Stream* stream, const int32_t* values, size_t bytes);
Stream* StreamWriteInt16(Stream* stream, const int16_t* values, size_t bytes);
Stream* StreamReadReal(Stream* stream, float* values, size_t bytes);
Stream* StreamReadInt32(Stream* stream, int32_t* values, size_t bytes);
Stream* StreamReadInt16(Stream* stream, int16_t* values, size_t bytes);
/// StreamReadReal for data whose domain is finite (positions, matrices,
/// bounding spheres, animation keys): a value that is not a finite number
/// refuses the data as StreamCheckFinite does.
Stream* StreamReadFiniteReal(Stream* stream, float* values, size_t bytes);
/// Checks `count` values a reader decoded from the stream, the first of them
/// stored `offset` bytes from the stream's start (-1: unknown): true when all
/// are finite; else refuses the data (kErrorRead) and keeps the offset of the
/// first one that is not for StreamTakeRefusal.
bool StreamCheckFinite(const float* values, size_t count, int64_t offset);
/// True when a reader on this thread refused a value (StreamCheckFinite)
/// since the last call, with its offset in the stream (-1: unknown), so
/// that the caller, which knows the file, can name both; clears it.
bool StreamTakeRefusal(int64_t* offset);
/// One little-endian u32 (a convenience over StreamReadInt32/StreamWriteInt32).
bool StreamReadUInt32(Stream* stream, uint32_t* value);
Stream* StreamWriteUInt32(Stream* stream, uint32_t value);
