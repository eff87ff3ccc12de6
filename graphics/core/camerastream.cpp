// The camera chunk (5): a 32-byte struct chunk and the extension chunk.

#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kRecordSize = 32;

} // namespace

uint32_t CameraStreamGetSize(const Camera* camera)
{
    return uint32_t(PluginRegistryStreamSize(CameraGetRegistry(), camera)) + 2 * kChunkHeaderSize +
           kRecordSize;
}

const Camera* CameraStreamWrite(const Camera* camera, Stream* stream)
{
    uint8_t record[kRecordSize];
    LittleEndianPutFloat(record, camera->viewWindow.x);
    LittleEndianPutFloat(record + 4, camera->viewWindow.y);
    LittleEndianPutFloat(record + 8, camera->viewOffset.x);
    LittleEndianPutFloat(record + 12, camera->viewOffset.y);
    LittleEndianPutFloat(record + 16, camera->nearPlane);
    LittleEndianPutFloat(record + 20, camera->farPlane);
    LittleEndianPutFloat(record + 24, camera->fogPlane);
    LittleEndianPutU32(record + 28, uint32_t(camera->projection));
    if (!ChunkHeaderWriteCurrent(stream, kChunkCamera, CameraStreamGetSize(camera)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, kRecordSize) ||
        !StreamWrite(stream, record, kRecordSize) ||
        !PluginRegistryStreamWrite(CameraGetRegistry(), stream, camera)) {
        return nullptr;
    }
    return camera;
}

Camera* CameraStreamRead(Stream* stream)
{
    // Older files may hold a shorter record: the missing fields read as 0.
    uint8_t record[kRecordSize];
    if (!StreamReadStructRecord(stream, record, kRecordSize, 0, nullptr)) {
        return nullptr;
    }
    Camera* camera = CameraCreate();
    if (!camera) {
        return nullptr;
    }
    if (!PluginRegistryStreamRead(CameraGetRegistry(), stream, camera)) {
        CameraDestroy(camera);
        return nullptr;
    }
    V2d window = {LittleEndianGetFloat(record), LittleEndianGetFloat(record + 4)};
    V2d offset = {LittleEndianGetFloat(record + 8), LittleEndianGetFloat(record + 12)};
    CameraSetViewWindow(camera, &window);
    CameraSetViewOffset(camera, &offset);
    CameraSetNearClipPlane(camera, LittleEndianGetFloat(record + 16));
    CameraSetFarClipPlane(camera, LittleEndianGetFloat(record + 20));
    camera->fogPlane = LittleEndianGetFloat(record + 24);
    if (!CameraSetProjection(camera, int32_t(LittleEndianGetU32(record + 28)))) {
        CameraDestroy(camera);
        return nullptr;
    }
    return camera;
}
