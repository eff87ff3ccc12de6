// Named files holding one saved object: open, find the object's chunk, read
// or write it, close. Shared by the animation objects saved as files
// (keyframe animations, splines).
#pragma once

#include <cstdint>

#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"

/// Reads the first chunk of `type` in the file with read(stream, body size);
/// null when the file cannot be opened, holds no such chunk or the read fails.
template <class T> T* ChunkFileRead(const char* path, uint32_t type, T* (*read)(Stream*, int64_t))
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path);
    if (stream == nullptr) {
        return nullptr;
    }
    T* object = nullptr;
    uint32_t size = 0;
    if (StreamFindChunk(stream, type, &size, nullptr)) {
        object = read(stream, size);
    }
    StreamClose(stream, nullptr);
    return object;
}

/// Writes the object to a new file with write(object, stream); 1 on success,
/// 0 when the file cannot be opened, written or closed.
template <class T>
int32_t ChunkFileWrite(const char* path, const T* object, const T* (*write)(const T*, Stream*))
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, path);
    if (stream == nullptr) {
        return 0;
    }
    const bool ok = write(object, stream) != nullptr;
    const bool closed = StreamClose(stream, nullptr);
    return ok && closed ? 1 : 0;
}
