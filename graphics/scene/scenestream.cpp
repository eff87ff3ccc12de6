// Stream helpers shared by the scene objects' readers and writers.
#include "graphics/scene/scenestream.h"

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/stream.h"
#include "graphics/scene/scenemodules.h"

namespace {

// A wrong version is reported as such; running out of data while looking
// for a chunk is a missing chunk, a read failure of the scene's. An error
// pending from before is kept.
void SceneReportMissing()
{
    ErrorRecord error;
    ErrorGet(&error);
    const bool endOfData = error.code == kErrorNone || error.code == kErrorRead ||
                           (error.pluginId == kPluginIdCore && error.code == kErrorCoreEndOfStream);
    if (endOfData) {
        SceneError(kErrorRead);
    } else {
        ErrorSet(&error);
    }
}

} // namespace

bool SceneFindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version)
{
    if (StreamFindChunk(stream, type, size, version)) {
        return true;
    }
    SceneReportMissing();
    return false;
}

bool SceneReadStruct(Stream* stream, uint8_t* buffer, uint32_t capacity, uint32_t* size)
{
    if (StreamReadStructRecord(stream, buffer, capacity, 0, size)) {
        return true;
    }
    SceneReportMissing();
    return false;
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
