// Chunk 0x07: a material's struct (flags, colour, textured, surface
// properties), its texture chunk and its extensions.
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kMaterialStructSize = 28;
// Saved structs of this size or less hold no surface properties; such
// materials are given 1, 1, 1 by both readers (zero factors would draw them
// black once lit).
constexpr uint32_t kMaterialStructWithoutLighting = 16;

void DecodeStruct(const uint8_t* bytes, uint32_t structSize, MaterialChunkInfo* info)
{
    info->flags = int32_t(LittleEndianGetU32(bytes));
    info->colour = {bytes[4], bytes[5], bytes[6], bytes[7]};
    info->unused = int32_t(LittleEndianGetU32(bytes + 8));
    info->textured = int32_t(LittleEndianGetU32(bytes + 12));
    if (structSize <= kMaterialStructWithoutLighting) {
        info->surfaceProperties = {1.0f, 1.0f, 1.0f};
    } else {
        info->surfaceProperties = {LittleEndianGetFloat(bytes + 16), LittleEndianGetFloat(bytes + 20),
                                   LittleEndianGetFloat(bytes + 24)};
    }
}

// Reads the texture chunk body; whatever TextureStreamRead leaves unread of
// it is skipped so the extension chunk is found where it is.
Texture* ReadTexture(Stream* stream, uint32_t size)
{
    size_t before = SceneStreamRemaining(stream);
    Texture* texture = TextureStreamRead(stream);
    size_t after = SceneStreamRemaining(stream);
    if (before != SIZE_MAX && before - after < size) {
        StreamSkip(stream, size - (before - after));
    }
    return texture;
}

} // namespace

uint32_t MaterialStreamGetSize(const Material* material)
{
    uint32_t size = kChunkHeaderSize + kMaterialStructSize;
    if (material->texture) {
        size += TextureStreamGetSize(material->texture) + kChunkHeaderSize;
    }
    return size + uint32_t(PluginRegistryStreamSize(MaterialGetPluginRegistry(), material)) +
           kChunkHeaderSize;
}

const Material* MaterialStreamWrite(const Material* material, Stream* stream)
{
    uint8_t bytes[kMaterialStructSize] = {};
    bytes[4] = material->colour.red;
    bytes[5] = material->colour.green;
    bytes[6] = material->colour.blue;
    bytes[7] = material->colour.alpha;
    LittleEndianPutU32(bytes + 12, material->texture ? 1 : 0);
    LittleEndianPutFloat(bytes + 16, material->surfaceProperties.ambient);
    LittleEndianPutFloat(bytes + 20, material->surfaceProperties.specular);
    LittleEndianPutFloat(bytes + 24, material->surfaceProperties.diffuse);
    if (!ChunkHeaderWriteCurrent(stream, kChunkMaterial, MaterialStreamGetSize(material)) ||
        !SceneWriteStruct(stream, bytes, kMaterialStructSize)) {
        return nullptr;
    }
    if (material->texture && !TextureStreamWrite(material->texture, stream)) {
        return nullptr;
    }
    if (!PluginRegistryStreamWrite(MaterialGetPluginRegistry(), stream, material)) {
        return nullptr;
    }
    return material;
}

Material* MaterialStreamRead(Stream* stream)
{
    uint8_t bytes[kMaterialStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kMaterialStructSize, &structSize)) {
        return nullptr;
    }
    MaterialChunkInfo info;
    DecodeStruct(bytes, structSize, &info);
    Material* material = MaterialCreate();
    if (!material) {
        return nullptr;
    }
    material->colour = info.colour;
    material->surfaceProperties = info.surfaceProperties;
    if (info.textured) {
        uint32_t size = 0;
        if (!SceneFindChunk(stream, kChunkTexture, &size, nullptr)) {
            MaterialRelease(material);
            return nullptr;
        }
        material->texture = ReadTexture(stream, size);
    }
    PipelineSelectorClear(kSelectorMaterial);
    if (!PluginRegistryStreamRead(MaterialGetPluginRegistry(), stream, material)) {
        SceneError(kErrorRead);
        MaterialRelease(material);
        return nullptr;
    }
    PipelineSelectorApply(kSelectorMaterial, material);
    return material;
}

MaterialChunkInfo* MaterialStreamReadChunkInfo(Stream* stream, MaterialChunkInfo* info, int32_t* size)
{
    uint8_t bytes[kMaterialStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kMaterialStructSize, &structSize)) {
        return nullptr;
    }
    DecodeStruct(bytes, structSize, info);
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}
