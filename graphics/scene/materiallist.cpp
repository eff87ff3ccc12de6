// Material lists and their chunk 0x08.
#include "graphics/scene/materiallist.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/scenestream.h"

namespace {

// The index a saved entry refers back to: the nearest lower entry holding
// the same material, or -1 for a first appearance.
int32_t BackReference(const MaterialList* list, int32_t entry)
{
    for (int32_t i = entry - 1; i >= 0; --i) {
        if (list->materials[i] == list->materials[entry]) {
            return i;
        }
    }
    return -1;
}

} // namespace

MaterialList* MaterialListInitialize(MaterialList* list)
{
    list->materials = nullptr;
    list->count = 0;
    list->capacity = 0;
    return list;
}

MaterialList* MaterialListDeinitialize(MaterialList* list)
{
    for (int32_t i = 0; i < list->count; ++i) {
        MaterialRelease(list->materials[i]);
    }
    MemoryFree(list->materials);
    return MaterialListInitialize(list);
}

Material** MaterialListAllocArray(int32_t count)
{
    size_t bytes = sizeof(Material*) * size_t(count > 0 ? count : 0);
    auto* array = static_cast<Material**>(MemoryAllocate(bytes, kHintMaterialListArray));
    if (!array) {
        SceneError(ErrorCode(kErrorOutOfMemory, bytes));
    }
    return array;
}

MaterialList* MaterialListCopy(MaterialList* destination, const MaterialList* source)
{
    MaterialListInitialize(destination);
    if (!source->materials) {
        return destination;
    }
    Material** array = MaterialListAllocArray(source->capacity);
    if (!array) {
        return nullptr;
    }
    for (int32_t i = 0; i < source->count; ++i) {
        array[i] = source->materials[i];
        ++array[i]->refCount;
    }
    for (int32_t i = source->count; i < source->capacity; ++i) {
        array[i] = nullptr;
    }
    destination->materials = array;
    destination->count = source->count;
    destination->capacity = source->capacity;
    return destination;
}

MaterialList* MaterialListSetSize(MaterialList* list, int32_t capacity)
{
    if (capacity <= list->capacity) {
        return list;
    }
    size_t bytes = sizeof(Material*) * size_t(capacity);
    auto* grown = static_cast<Material**>(MemoryReallocate(list->materials, bytes, kHintMaterialListArray));
    if (!grown) {
        SceneError(ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    list->materials = grown;
    list->capacity = capacity;
    return list;
}

Material* MaterialListGetMaterial(const MaterialList* list, int32_t index)
{
    return index >= 0 && index < list->count ? list->materials[index] : nullptr;
}

int32_t MaterialListAppendMaterial(MaterialList* list, Material* material)
{
    if (list->count == list->capacity && !MaterialListSetSize(list, list->capacity + kMaterialListGrowth)) {
        return -1;
    }
    ++material->refCount;
    list->materials[list->count] = material;
    return list->count++;
}

int32_t MaterialListFindMaterial(const MaterialList* list, const Material* material)
{
    for (int32_t i = list->count - 1; i >= 0; --i) {
        if (list->materials[i] == material) {
            return i;
        }
    }
    return -1;
}

uint32_t MaterialListStreamGetSize(const MaterialList* list)
{
    uint32_t size = kChunkHeaderSize + 4 + 4 * uint32_t(list->count);
    for (int32_t i = 0; i < list->count; ++i) {
        if (BackReference(list, i) < 0) {
            size += kChunkHeaderSize + MaterialStreamGetSize(list->materials[i]);
        }
    }
    return size;
}

bool MaterialListStreamWrite(const MaterialList* list, Stream* stream)
{
    if (!ChunkHeaderWriteCurrent(stream, kChunkMaterialList, MaterialListStreamGetSize(list)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, 4 + 4 * uint32_t(list->count)) ||
        !StreamWriteUInt32(stream, uint32_t(list->count))) {
        return false;
    }
    for (int32_t i = 0; i < list->count; ++i) {
        if (!StreamWriteUInt32(stream, uint32_t(BackReference(list, i)))) {
            return false;
        }
    }
    for (int32_t i = 0; i < list->count; ++i) {
        if (BackReference(list, i) < 0 && !MaterialStreamWrite(list->materials[i], stream)) {
            return false;
        }
    }
    return true;
}

MaterialList* MaterialListStreamRead(Stream* stream, MaterialList* list)
{
    MaterialListInitialize(list);
    uint32_t structSize = 0;
    uint32_t count = 0;
    if (!SceneFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return nullptr;
    }
    if (structSize < 4 || !StreamReadUInt32(stream, &count)) {
        SceneError(kErrorRead);
        return nullptr;
    }
    // The count must fit the struct chunk that holds its indices.
    if (count > (structSize - 4) / 4 || !SceneStreamHolds(stream, count, 4)) {
        SceneError(kErrorRead);
        return nullptr;
    }
    if (count == 0) {
        return StreamSkip(stream, structSize - 4) ? list : nullptr;
    }
    auto* indices = static_cast<int32_t*>(MemoryAllocate(sizeof(int32_t) * count, kHintMaterialListScratch));
    Material** array = indices ? MaterialListAllocArray(int32_t(count)) : nullptr;
    if (!array) {
        if (!indices) {
            SceneError(ErrorCode(kErrorOutOfMemory, sizeof(int32_t) * count));
        }
        MemoryFree(indices);
        return nullptr;
    }
    list->materials = array;
    list->capacity = int32_t(count);
    bool ok = StreamReadInt32(stream, indices, sizeof(int32_t) * count) &&
              StreamSkip(stream, structSize - 4 - 4 * count);
    for (uint32_t entry = 0; ok && entry < count; ++entry) {
        int32_t index = indices[entry];
        if (index >= 0) {
            // A back-reference names an earlier entry.
            ok = uint32_t(index) < entry;
            if (ok) {
                ++list->materials[index]->refCount;
                list->materials[list->count++] = list->materials[index];
            }
            continue;
        }
        Material* material = index == -1 && SceneFindChunk(stream, kChunkMaterial, nullptr, nullptr)
                                 ? MaterialStreamRead(stream)
                                 : nullptr;
        ok = material != nullptr;
        if (ok) {
            list->materials[list->count++] = material;
        }
    }
    MemoryFree(indices);
    if (!ok) {
        SceneError(kErrorRead);
        MaterialListDeinitialize(list);
        return nullptr;
    }
    return list;
}
