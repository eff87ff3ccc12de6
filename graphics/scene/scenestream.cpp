// Stream helpers shared by the scene objects' readers and writers.
#include "graphics/scene/scenestream.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/stream.h"
#include "graphics/scene/scenemodules.h"

bool SceneFindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version)
{
    if (StreamFindChunk(stream, type, size, version)) {
        return true;
    }
    // A wrong version is reported as such; running out of data while
    // looking for a chunk is a missing chunk, a read failure of the scene's.
    ErrorRecord error;
    ErrorGet(&error);
    const bool endOfData = error.code == kErrorNone || error.code == kErrorRead ||
                           (error.pluginId == kPluginIdCore && error.code == kErrorCoreEndOfStream);
    if (endOfData) {
        SceneError(kErrorRead);
    } else {
        ErrorSet(&error);
    }
    return false;
}

bool SceneReadStruct(Stream* stream, uint8_t* buffer, uint32_t capacity, uint32_t* size)
{
    std::memset(buffer, 0, capacity);
    uint32_t structSize = 0;
    if (!SceneFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return false;
    }
    uint32_t taken = structSize < capacity ? structSize : capacity;
    if (StreamRead(stream, buffer, taken) != taken ||
        (structSize > taken && !StreamSkip(stream, structSize - taken))) {
        SceneError(kErrorRead);
        return false;
    }
    if (size) {
        *size = structSize;
    }
    return true;
}

size_t SceneStreamRemaining(const Stream* stream)
{
    int64_t remaining = StreamGetRemaining(stream);
    return remaining < 0 ? SIZE_MAX : size_t(remaining);
}

bool SceneStreamHolds(const Stream* stream, uint64_t count, uint64_t elementSize)
{
    size_t remaining = SceneStreamRemaining(stream);
    return elementSize == 0 || count <= remaining / elementSize;
}

Stream* SceneWriteStruct(Stream* stream, const uint8_t* bytes, uint32_t size)
{
    if (!ChunkHeaderWriteCurrent(stream, kChunkStruct, size)) {
        return nullptr;
    }
    return StreamWrite(stream, bytes, size);
}
