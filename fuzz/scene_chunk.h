// For the scene fuzz targets: the scene engine started once per process, the
// input opened as a memory stream, and the target's reader called once the
// stream stands at the chunk it reads. The error left behind is taken so that
// the next input starts clean.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "tools/scenebuild/sceneengine.h"

/// Calls read(stream) when the input holds a chunk of type `chunk`; always returns 0.
template <typename Read> int SceneChunkFuzz(const uint8_t* data, size_t size, uint32_t chunk, Read read)
{
    static const bool started = SceneEngineStart();
    if (!started) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream && StreamFindChunk(stream, chunk, nullptr, nullptr)) {
        read(stream);
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
