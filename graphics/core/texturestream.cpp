// The texture chunk (6): a struct chunk with the sampling word, the name and
// mask name as string chunks, and the texture's extension chunk. Reading gets
// the texture by name through TextureRead, with mip levels when the stored
// filter mode samples them.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/stringstream.h"
#include "graphics/core/texture.h"
#include "graphics/core/texturemodule.h"

namespace {

/// Bit of the stored sampling word: the raster's mip levels are not made by
/// the device, so reading makes them from files.
constexpr uint32_t kStoredExplicitMipmaps = 0x10000;
constexpr uint32_t kStructBytes = 4;

bool UsesMipmaps(uint32_t filterMode)
{
    return filterMode >= kTextureFilterMipNearest && filterMode <= kTextureFilterLinearMipLinear;
}

} // namespace

uint32_t TextureStreamGetSize(const Texture* texture)
{
    return 4 * kChunkHeaderSize + kStructBytes + StringStreamGetSize(texture->name) +
           StringStreamGetSize(texture->mask) +
           static_cast<uint32_t>(PluginRegistryStreamSize(TextureGetRegistry(), texture));
}

Texture* TextureStreamWrite(Texture* texture, Stream* stream)
{
    uint32_t stored = texture->filterAddressing & 0xFFFF;
    if (texture->raster && !(texture->raster->format & (kRasterFormatAutoMipmap >> 8))) {
        stored |= kStoredExplicitMipmaps;
    }
    if (!ChunkHeaderWriteCurrent(stream, kChunkTexture, TextureStreamGetSize(texture)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, kStructBytes) || !StreamWriteUInt32(stream, stored) ||
        !StringStreamWrite(texture->name, stream) || !StringStreamWrite(texture->mask, stream) ||
        !PluginRegistryStreamWrite(TextureGetRegistry(), stream, texture)) {
        return nullptr;
    }
    return texture;
}

Texture* TextureStreamRead(Stream* stream)
{
    uint8_t record[kStructBytes];
    if (!StreamReadStructRecord(stream, record, kStructBytes, kStructBytes, nullptr)) {
        return nullptr;
    }
    uint32_t stored = LittleEndianGetU32(record);
    // A stored V addressing of 0 means "as U".
    if ((stored & 0xF000) == 0) {
        stored |= (stored & 0x0F00) << 4;
    }
    char name[kTextureFileNameSize];
    char mask[kTextureFileNameSize];
    if (!StringStreamRead(name, sizeof(name), stream) || !StringStreamRead(mask, sizeof(mask), stream)) {
        return nullptr;
    }
    // The mip flags follow the stored filter mode for this read only.
    const int32_t mipmapping = TextureGetMipmapping();
    const int32_t autoMipmapping = TextureGetAutoMipmapping();
    const bool mipmaps = UsesMipmaps(stored & 0xFF);
    TextureSetMipmapping(mipmaps);
    TextureSetAutoMipmapping(mipmaps && !(stored & kStoredExplicitMipmaps));
    Texture* texture = TextureRead(name, mask);
    TextureSetMipmapping(mipmapping);
    TextureSetAutoMipmapping(autoMipmapping);
    if (!texture) {
        PluginRegistryStreamSkip(TextureGetRegistry(), stream);
        return nullptr;
    }
    // A texture that was loaded already keeps its own settings and data.
    const bool fresh = texture->refCount == 1;
    if (fresh) {
        texture->filterAddressing = stored & 0xFFFF;
    }
    if (fresh ? !PluginRegistryStreamRead(TextureGetRegistry(), stream, texture)
              : !PluginRegistryStreamSkip(TextureGetRegistry(), stream)) {
        TextureDestroy(texture);
        return nullptr;
    }
    return texture;
}
