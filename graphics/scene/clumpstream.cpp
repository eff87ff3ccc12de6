// Chunk 0x10: a clump's counts, frame list, geometry list (0x1A), atomics,
// lights and cameras (each named with its frame's index) and extensions.
#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/framelist.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"

namespace {

constexpr uint32_t kClumpStructSize = 12;
constexpr uint32_t kHintGeometryList = 0x3000F;
// The smallest saved atomic, light or camera with its header: a lower bound
// that caps the counts a chunk can hold.
constexpr uint64_t kSmallestMember = 2 * kChunkHeaderSize;

Atomic* AtomicOf(LinkList* link)
{
    return LinkListEntry(link, Atomic, clumpLink);
}

template <typename T> T* MemberOf(LinkList* link, uint32_t pluginId, int32_t (*offsetOf)(uint32_t))
{
    ClumpLink* clumpLink = LinkListEntry(link, ClumpLink, link);
    return reinterpret_cast<T*>(reinterpret_cast<char*>(clumpLink) - offsetOf(pluginId));
}

// The clump's geometries, each once, in atomic-list order, referenced.
bool MakeGeometryList(const Clump* clump, GeometryList* list)
{
    *list = {nullptr, 0};
    const int32_t atomics = ClumpCountAtomics(clump);
    if (atomics == 0) {
        return true;
    }
    list->geometries =
        static_cast<Geometry**>(MemoryAllocate(sizeof(Geometry*) * size_t(atomics), kHintGeometryList));
    if (!list->geometries) {
        SceneError(ErrorCode(kErrorOutOfMemory, sizeof(Geometry*) * size_t(atomics)));
        return false;
    }
    for (const LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        Geometry* geometry = AtomicOf(const_cast<LinkList*>(link))->geometry;
        bool listed = geometry == nullptr;
        for (int32_t i = 0; !listed && i < list->count; ++i) {
            listed = list->geometries[i] == geometry;
        }
        if (!listed) {
            list->geometries[list->count++] = GeometryAddRef(geometry);
        }
    }
    return true;
}

void ReleaseGeometryList(GeometryList* list)
{
    for (int32_t i = 0; i < list->count; ++i) {
        if (list->geometries[i]) {
            GeometryRelease(list->geometries[i]);
        }
    }
    MemoryFree(list->geometries);
    *list = {nullptr, 0};
}

uint32_t BodySize(const Clump* clump, const FrameList* frames, const GeometryList* geometries)
{
    uint32_t size = kChunkHeaderSize + kClumpStructSize;
    size += kChunkHeaderSize + FrameListStreamGetSize(frames);
    size += kChunkHeaderSize + kChunkHeaderSize + 4;
    for (int32_t i = 0; i < geometries->count; ++i) {
        size += kChunkHeaderSize + GeometryStreamGetSize(geometries->geometries[i]);
    }
    for (const LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        size +=
            kChunkHeaderSize + AtomicStreamGetSizeInClump(AtomicOf(const_cast<LinkList*>(link)), geometries);
    }
    for (const LinkList* link = clump->lights.next; link != &clump->lights; link = link->next) {
        const Light* light =
            MemberOf<Light>(const_cast<LinkList*>(link), kPluginIdClumpLink, LightGetPluginOffset);
        size += kChunkHeaderSize + 4 + kChunkHeaderSize + LightStreamGetSize(light);
    }
    for (const LinkList* link = clump->cameras.next; link != &clump->cameras; link = link->next) {
        const Camera* camera =
            MemberOf<Camera>(const_cast<LinkList*>(link), kPluginIdClumpLink, CameraGetPluginOffset);
        size += kChunkHeaderSize + 4 + kChunkHeaderSize + CameraStreamGetSize(camera);
    }
    return size + kChunkHeaderSize + uint32_t(PluginRegistryStreamSize(ClumpGetPluginRegistry(), clump));
}

bool WriteMemberFrame(Stream* stream, const FrameList* frames, Frame* frame)
{
    int32_t index = 0;
    return FrameListFindFrame(frames, frame, &index) && ChunkHeaderWriteCurrent(stream, kChunkStruct, 4) &&
           StreamWriteInt32(stream, &index, 4);
}

bool WriteBody(Clump* clump, Stream* stream, const FrameList* frames, const GeometryList* geometries)
{
    const int32_t counts[3] = {ClumpCountAtomics(clump), ClumpCountLights(clump), ClumpCountCameras(clump)};
    if (!ChunkHeaderWriteCurrent(stream, kChunkClump, BodySize(clump, frames, geometries)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, kClumpStructSize) ||
        !StreamWriteInt32(stream, counts, sizeof(counts)) || !FrameListStreamWrite(frames, stream)) {
        return false;
    }
    uint32_t listSize = kChunkHeaderSize + 4;
    for (int32_t i = 0; i < geometries->count; ++i) {
        listSize += kChunkHeaderSize + GeometryStreamGetSize(geometries->geometries[i]);
    }
    if (!ChunkHeaderWriteCurrent(stream, kChunkGeometryList, listSize) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, 4) ||
        !StreamWriteInt32(stream, &geometries->count, 4)) {
        return false;
    }
    for (int32_t i = 0; i < geometries->count; ++i) {
        if (!GeometryStreamWrite(geometries->geometries[i], stream)) {
            return false;
        }
    }
    for (LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        if (!AtomicStreamWriteInClump(AtomicOf(link), stream, frames, geometries)) {
            return false;
        }
    }
    for (LinkList* link = clump->lights.next; link != &clump->lights; link = link->next) {
        Light* light = MemberOf<Light>(link, kPluginIdClumpLink, LightGetPluginOffset);
        if (!WriteMemberFrame(stream, frames, LightGetFrame(light)) || !LightStreamWrite(light, stream)) {
            return false;
        }
    }
    for (LinkList* link = clump->cameras.next; link != &clump->cameras; link = link->next) {
        Camera* camera = MemberOf<Camera>(link, kPluginIdClumpLink, CameraGetPluginOffset);
        if (!WriteMemberFrame(stream, frames, CameraGetFrame(camera)) || !CameraStreamWrite(camera, stream)) {
            return false;
        }
    }
    return PluginRegistryStreamWrite(ClumpGetPluginRegistry(), stream, clump) != nullptr;
}

// Reads one light's or camera's frame index; false when outside the list.
bool ReadMemberFrame(Stream* stream, const FrameList* frames, Frame** frame)
{
    uint8_t bytes[4];
    if (!SceneReadStruct(stream, bytes, 4, nullptr)) {
        return false;
    }
    const uint32_t index = LittleEndianGetU32(bytes);
    if (index >= uint32_t(frames->count)) {
        SceneError(kErrorRead);
        return false;
    }
    *frame = frames->frames[index];
    return true;
}

// Everything read is taken apart: the geometries, the frame list's other
// roots (last first, so no destroyed frame is looked at again), then the
// partly built clump with its hierarchy, or the first root without a clump.
Clump* Fail(Clump* clump, FrameList* frames, GeometryList* geometries)
{
    SceneError(kErrorRead);
    ReleaseGeometryList(geometries);
    if (frames) {
        for (int32_t i = frames->count - 1; i >= (clump ? 1 : 0); --i) {
            if (!FrameGetParent(frames->frames[i])) {
                FrameDestroyHierarchy(frames->frames[i]);
            }
        }
        FrameListDeinitialize(frames);
    }
    if (clump) {
        ClumpDestroy(clump);
    }
    return nullptr;
}

bool ReadGeometryList(Stream* stream, GeometryList* list)
{
    uint8_t bytes[4];
    if (!SceneFindChunk(stream, kChunkGeometryList, nullptr, nullptr) ||
        !SceneReadStruct(stream, bytes, 4, nullptr)) {
        return false;
    }
    const uint32_t count = LittleEndianGetU32(bytes);
    if (!SceneStreamHolds(stream, count, kChunkHeaderSize)) {
        SceneError(kErrorRead);
        return false;
    }
    if (count == 0) {
        return true;
    }
    list->geometries = static_cast<Geometry**>(MemoryAllocate(sizeof(Geometry*) * count, kHintGeometryList));
    if (!list->geometries) {
        SceneError(ErrorCode(kErrorOutOfMemory, sizeof(Geometry*) * count));
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Geometry* geometry =
            SceneFindChunk(stream, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(stream) : nullptr;
        if (!geometry) {
            return false;
        }
        list->geometries[list->count++] = geometry;
    }
    return true;
}

} // namespace

uint32_t ClumpStreamGetSize(const Clump* clump)
{
    // Only a clump with a frame can be written.
    if (!ClumpGetFrame(clump)) {
        return 0;
    }
    FrameList frames{};
    GeometryList geometries{};
    if (!FrameListInitialize(&frames, ClumpGetFrame(clump)) || !MakeGeometryList(clump, &geometries)) {
        FrameListDeinitialize(&frames);
        return 0;
    }
    uint32_t size = BodySize(clump, &frames, &geometries);
    ReleaseGeometryList(&geometries);
    FrameListDeinitialize(&frames);
    return size;
}

Clump* ClumpStreamWrite(Clump* clump, Stream* stream)
{
    if (!ClumpGetFrame(clump)) {
        SceneError(kErrorNullArgument);
        return nullptr;
    }
    FrameList frames{};
    GeometryList geometries{};
    bool ok = FrameListInitialize(&frames, ClumpGetFrame(clump)) && MakeGeometryList(clump, &geometries) &&
              WriteBody(clump, stream, &frames, &geometries);
    ReleaseGeometryList(&geometries);
    FrameListDeinitialize(&frames);
    return ok ? clump : nullptr;
}

Clump* ClumpStreamRead(Stream* stream)
{
    uint8_t bytes[kClumpStructSize];
    if (!SceneReadStruct(stream, bytes, kClumpStructSize, nullptr)) {
        return nullptr;
    }
    const int32_t atomics = int32_t(LittleEndianGetU32(bytes));
    const int32_t lights = int32_t(LittleEndianGetU32(bytes + 4));
    const int32_t cameras = int32_t(LittleEndianGetU32(bytes + 8));
    if (atomics < 0 || lights < 0 || cameras < 0 ||
        !SceneStreamHolds(stream, uint64_t(atomics) + uint64_t(lights) + uint64_t(cameras),
                          kSmallestMember)) {
        SceneError(kErrorRead);
        return nullptr;
    }
    GeometryList geometries{};
    FrameList frames{};
    if (!SceneFindChunk(stream, kChunkFrameList, nullptr, nullptr) || !FrameListStreamRead(stream, &frames)) {
        return Fail(nullptr, nullptr, &geometries);
    }
    // A clump holds one hierarchy: every frame after the first hangs below it.
    for (int32_t i = 1; i < frames.count; ++i) {
        if (!FrameGetParent(frames.frames[i])) {
            return Fail(nullptr, &frames, &geometries);
        }
    }
    Clump* clump = ClumpCreate();
    if (!clump) {
        return Fail(nullptr, &frames, &geometries);
    }
    ClumpSetFrame(clump, frames.count > 0 ? frames.frames[0] : nullptr);
    if (!ReadGeometryList(stream, &geometries)) {
        return Fail(clump, &frames, &geometries);
    }
    for (int32_t i = 0; i < atomics; ++i) {
        Atomic* atomic = SceneFindChunk(stream, kChunkAtomic, nullptr, nullptr)
                             ? AtomicStreamReadInClump(stream, &frames, &geometries)
                             : nullptr;
        if (!atomic) {
            return Fail(clump, &frames, &geometries);
        }
        // Read members go to the back, so the clump is written again in
        // the order it was read.
        LinkListAddBack(&clump->atomics, &atomic->clumpLink);
        atomic->clump = clump;
    }
    ReleaseGeometryList(&geometries);
    for (int32_t i = 0; i < lights; ++i) {
        Frame* frame = nullptr;
        Light* light =
            ReadMemberFrame(stream, &frames, &frame) && SceneFindChunk(stream, kChunkLight, nullptr, nullptr)
                ? LightStreamRead(stream)
                : nullptr;
        if (!light) {
            return Fail(clump, &frames, &geometries);
        }
        ObjectHasFrameSetFrame(&light->object, frame);
        ClumpLink* link = LightGetClumpLink(light);
        LinkListAddBack(&clump->lights, &link->link);
        link->clump = clump;
    }
    for (int32_t i = 0; i < cameras; ++i) {
        Frame* frame = nullptr;
        Camera* camera =
            ReadMemberFrame(stream, &frames, &frame) && SceneFindChunk(stream, kChunkCamera, nullptr, nullptr)
                ? CameraStreamRead(stream)
                : nullptr;
        if (!camera) {
            return Fail(clump, &frames, &geometries);
        }
        ObjectHasFrameSetFrame(&camera->object, frame);
        ClumpLink* link = CameraGetClumpLink(camera);
        LinkListAddBack(&clump->cameras, &link->link);
        link->clump = clump;
    }
    FrameListDeinitialize(&frames);
    if (!PluginRegistryStreamRead(ClumpGetPluginRegistry(), stream, clump)) {
        SceneError(kErrorRead);
        ClumpDestroy(clump);
        return nullptr;
    }
    return clump;
}

ClumpChunkInfo* ClumpStreamReadChunkInfo(Stream* stream, ClumpChunkInfo* info, int32_t* size)
{
    uint8_t bytes[kClumpStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kClumpStructSize, &structSize)) {
        return nullptr;
    }
    info->numAtomics = int32_t(LittleEndianGetU32(bytes));
    info->numLights = int32_t(LittleEndianGetU32(bytes + 4));
    info->numCameras = int32_t(LittleEndianGetU32(bytes + 8));
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}
