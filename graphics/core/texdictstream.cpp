// The texture dictionary chunk (0x16): a struct chunk {texture count (u16),
// device id (u8), 0 (u8)}, per texture a native texture chunk (0x15) whose
// body the device writes and reads, followed by the texture's extension
// chunk, then the dictionary's extension chunk.
#include "graphics/core/chunk.h"
#include "graphics/core/devicecall.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/core/texturemodule.h"

namespace {

constexpr uint32_t kStructBytes = 4;
constexpr uint32_t kMaxTextures = 0xFFFF;

uint32_t DeviceId()
{
    uint16_t id = 0;
    return DeviceRequest(&EngineGetInstance()->device, kDeviceRequestDeviceId, &id, nullptr, 0) ? id : 0;
}

// Native body size of a texture; false when the device cannot tell.
bool NativeSize(const Texture* texture, uint32_t* size)
{
    int32_t bytes = 0;
    if (!DeviceCall(kDeviceFnNativeTextureSize, &bytes, const_cast<Texture*>(texture), 0) || bytes < 0) {
        return false;
    }
    *size = static_cast<uint32_t>(bytes);
    return true;
}

uint32_t TextureExtensionSize(const Texture* texture)
{
    return kChunkHeaderSize + static_cast<uint32_t>(PluginRegistryStreamSize(TextureGetRegistry(), texture));
}

} // namespace

uint32_t TexDictionaryStreamGetSize(const TexDictionary* dictionary)
{
    uint32_t size = kChunkHeaderSize + kStructBytes;
    for (LinkList* link = dictionary->textures.next; link != &dictionary->textures; link = link->next) {
        const Texture* texture = LinkListEntry(link, Texture, dictionaryLink);
        uint32_t native = 0;
        if (!NativeSize(texture, &native)) {
            return 0;
        }
        size += kChunkHeaderSize + native + TextureExtensionSize(texture);
    }
    return size + kChunkHeaderSize +
           static_cast<uint32_t>(PluginRegistryStreamSize(TexDictionaryGetRegistry(), dictionary));
}

TexDictionary* TexDictionaryStreamWrite(TexDictionary* dictionary, Stream* stream)
{
    uint32_t count = 0;
    for (LinkList* link = dictionary->textures.next; link != &dictionary->textures; link = link->next) {
        ++count;
    }
    const uint32_t size = TexDictionaryStreamGetSize(dictionary);
    if (size == 0 || count > kMaxTextures) {
        ErrorRaise(0, kErrorWrite);
        return nullptr;
    }
    if (!ChunkHeaderWriteCurrent(stream, kChunkTexDictionary, size) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, kStructBytes) ||
        !StreamWriteUInt32(stream, count | (DeviceId() & 0xFF) << 16)) {
        return nullptr;
    }
    for (LinkList* link = dictionary->textures.next; link != &dictionary->textures; link = link->next) {
        Texture* texture = LinkListEntry(link, Texture, dictionaryLink);
        uint32_t native = 0;
        if (!NativeSize(texture, &native) ||
            !ChunkHeaderWriteCurrent(stream, kChunkNativeTexture, native + TextureExtensionSize(texture)) ||
            !DeviceCall(kDeviceFnNativeTextureWrite, stream, texture, 0) ||
            !PluginRegistryStreamWrite(TextureGetRegistry(), stream, texture)) {
            return nullptr;
        }
    }
    return PluginRegistryStreamWrite(TexDictionaryGetRegistry(), stream, dictionary) ? dictionary : nullptr;
}

TexDictionary* TexDictionaryStreamRead(Stream* stream)
{
    uint8_t record[kStructBytes];
    if (!StreamReadStructRecord(stream, record, kStructBytes, kStructBytes, nullptr)) {
        return nullptr;
    }
    uint32_t stored = LittleEndianGetU32(record);
    const uint32_t count = stored & 0xFFFF;
    const uint32_t storedId = (stored >> 16) & 0xFF;
    const uint32_t deviceId = DeviceId() & 0xFF;
    if (deviceId != 0 && storedId != 0 && storedId != deviceId) {
        // Native bodies of another device's formats.
        ErrorRaise(0, kErrorRasterFormat);
        return nullptr;
    }
    TexDictionary* dictionary = TexDictionaryCreate();
    if (!dictionary) {
        return nullptr;
    }
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        Texture* texture = nullptr;
        ok = StreamFindChunk(stream, kChunkNativeTexture, nullptr, nullptr) &&
             DeviceCall(kDeviceFnNativeTextureRead, stream, &texture, 0) && texture;
        if (ok && !PluginRegistryStreamRead(TextureGetRegistry(), stream, texture)) {
            TextureDestroy(texture);
            ok = false;
        }
        if (ok) {
            // At the back, so that the list keeps the order it was written in.
            TexDictionaryAddTexture(dictionary, texture);
            LinkListRemove(&texture->dictionaryLink);
            LinkListAddBack(&dictionary->textures, &texture->dictionaryLink);
        }
    }
    ok = ok && PluginRegistryStreamRead(TexDictionaryGetRegistry(), stream, dictionary);
    if (!ok) {
        TexDictionaryDestroy(dictionary);
        return nullptr;
    }
    return dictionary;
}
