#pragma once
// Stream helpers shared by the scene objects' readers and writers (private).

#include <cstddef>
#include <cstdint>

struct Stream;

/// StreamReadStructRecord (zero-filled record of `capacity` bytes, the rest
/// of a longer struct skipped, `size` optional) with the scene's error
/// codes: kErrorRead for a missing chunk or short read, kErrorBadVersion.
bool SceneReadStruct(Stream* stream, uint8_t* buffer, uint32_t capacity, uint32_t* size);
/// Finds chunk `type`; false when it is missing (kErrorRead, replacing the
/// stream's end-of-data error) or of a wrong version (kErrorBadVersion).
bool SceneFindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version);
/// Remaining bytes of a stream, or SIZE_MAX when it cannot tell.
size_t SceneStreamRemaining(const Stream* stream);
/// True when `count` elements of `elementSize` bytes can still be read.
bool SceneStreamHolds(const Stream* stream, uint64_t count, uint64_t elementSize);
/// Writes a struct chunk header and `bytes`; the stream or null.
Stream* SceneWriteStruct(Stream* stream, const uint8_t* bytes, uint32_t size);
