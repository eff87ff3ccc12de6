// Texture records, TextureRead with its replaceable callbacks, and the
// texture module's lifecycle.
#include "graphics/core/texture.h"

#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/texturemodule.h"

namespace {

constexpr uint32_t kTextureListHint = 0x40006;
constexpr uint32_t kTextureHint = 0x30006;
constexpr uint32_t kDictionaryListHint = 0x40016;
constexpr uint32_t kDictionaryHint = 0x30016;
constexpr uint32_t kDefaultFilterAddressing = kTextureFilterNearest | 0x1100;

PluginRegistry g_textureRegistry = PluginRegistryMake(sizeof(Texture));
int32_t g_moduleOffset = -1;
int32_t g_texturesPerBlock = 128;
int32_t g_textureBlocks = 1;
int32_t g_dictionariesPerBlock = 5;
int32_t g_dictionaryBlocks = 1;

Texture* SetText(Texture* texture, char* field, const char* text)
{
    const size_t length = text ? std::strlen(text) : 0;
    if (length >= kTextureNameSize) {
        ErrorRaise(0, ErrorCode(kErrorNameTooLong, text));
    }
    const size_t kept = length < kTextureNameSize ? length : kTextureNameSize - 1;
    std::memcpy(field, text ? text : "", kept);
    std::memset(field + kept, 0, kTextureNameSize - kept);
    return texture;
}

} // namespace

TextureModule* TextureModuleGet()
{
    return static_cast<TextureModule*>(EngineGetModuleData(g_moduleOffset));
}

PluginRegistry* TextureGetRegistry()
{
    return &g_textureRegistry;
}

Texture* TextureCreate(Raster* raster)
{
    TextureModule* module = TextureModuleGet();
    auto* texture = static_cast<Texture*>(MemoryFreeListAlloc(module->textures, kTextureHint));
    if (!texture) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, g_textureRegistry.objectSize));
        return nullptr;
    }
    std::memset(texture, 0, sizeof(Texture));
    LinkListInit(&texture->dictionaryLink);
    texture->filterAddressing = kDefaultFilterAddressing;
    texture->refCount = 1;
    if (raster && !TextureSetRaster(texture, raster)) {
        MemoryFreeListFree(module->textures, texture);
        return nullptr;
    }
    if (!PluginRegistryConstruct(&g_textureRegistry, texture)) {
        MemoryFreeListFree(module->textures, texture);
        return nullptr;
    }
    return texture;
}

int32_t TextureDestroy(Texture* texture)
{
    if (--texture->refCount > 0) {
        return 1;
    }
    PluginRegistryDestruct(&g_textureRegistry, texture);
    TextureRemoveFromDictionary(texture);
    if (texture->raster) {
        RasterDestroy(texture->raster);
    }
    MemoryFreeListFree(TextureModuleGet()->textures, texture);
    return 1;
}

Texture* TextureAddRef(Texture* texture)
{
    ++texture->refCount;
    return texture;
}

Texture* TextureSetRaster(Texture* texture, Raster* raster)
{
    if (!raster) {
        texture->raster = nullptr;
        return texture;
    }
    const DeviceFunction setRaster = EngineGetInstance()->deviceFunctions[kDeviceFnTextureSetRaster];
    return setRaster && setRaster(texture, raster, 0) ? texture : nullptr;
}

Raster* TextureGetRaster(const Texture* texture)
{
    return texture->raster;
}

Texture* TextureSetName(Texture* texture, const char* name)
{
    return SetText(texture, texture->name, name);
}

Texture* TextureSetMaskName(Texture* texture, const char* maskName)
{
    return SetText(texture, texture->mask, maskName);
}

const char* TextureGetName(const Texture* texture)
{
    return texture->name;
}

const char* TextureGetMaskName(const Texture* texture)
{
    return texture->mask;
}

Texture* TextureSetFilterMode(Texture* texture, uint32_t filterMode)
{
    texture->filterAddressing = (texture->filterAddressing & ~0xFFu) | (filterMode & 0xFF);
    return texture;
}

uint32_t TextureGetFilterMode(const Texture* texture)
{
    return texture->filterAddressing & 0xFF;
}

Texture* TextureSetAddressingU(Texture* texture, uint32_t mode)
{
    texture->filterAddressing = (texture->filterAddressing & ~0x0F00u) | (mode & 0xF) << 8;
    return texture;
}

Texture* TextureSetAddressingV(Texture* texture, uint32_t mode)
{
    texture->filterAddressing = (texture->filterAddressing & ~0xF000u) | (mode & 0xF) << 12;
    return texture;
}

uint32_t TextureGetAddressingU(const Texture* texture)
{
    return texture->filterAddressing >> 8 & 0xF;
}

uint32_t TextureGetAddressingV(const Texture* texture)
{
    return texture->filterAddressing >> 12 & 0xF;
}

// ---- Reading by name -------------------------------------------------------------

Texture* TextureRead(const char* name, const char* maskName)
{
    if (!name) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    TextureModule* module = TextureModuleGet();
    if (Texture* found = module->find(name)) {
        return TextureAddRef(found);
    }
    Texture* texture = module->read(name, maskName);
    if (!texture) {
        ErrorRaise(kPluginIdCore, ErrorCode(kErrorCoreTextureRead, name, maskName ? maskName : "(null)"));
        return nullptr;
    }
    if (module->current) {
        TexDictionaryAddTexture(module->current, texture);
    }
    return texture;
}

Texture* TextureFindDefault(const char* name)
{
    TextureModule* module = TextureModuleGet();
    if (module->current) {
        return TexDictionaryFindNamedTexture(module->current, name);
    }
    for (LinkList* link = module->dictionaries.next; link != &module->dictionaries; link = link->next) {
        if (Texture* found =
                TexDictionaryFindNamedTexture(LinkListEntry(link, TexDictionary, engineLink), name)) {
            return found;
        }
    }
    return nullptr;
}

int32_t TextureSetFindCallback(TextureFindCallback callback)
{
    TextureModuleGet()->find = callback ? callback : TextureFindDefault;
    return 1;
}

TextureFindCallback TextureGetFindCallback()
{
    return TextureModuleGet()->find;
}

int32_t TextureSetReadCallback(TextureReadCallback callback)
{
    TextureModuleGet()->read = callback ? callback : TextureReadDefault;
    return 1;
}

TextureReadCallback TextureGetReadCallback()
{
    return TextureModuleGet()->read;
}

int32_t TextureSetMipmapGenerationCallback(TextureMipmapGenerationCallback callback)
{
    TextureModuleGet()->generateMipmaps = callback ? callback : TextureGenerateMipmapsDefault;
    return 1;
}

TextureMipmapGenerationCallback TextureGetMipmapGenerationCallback()
{
    return TextureModuleGet()->generateMipmaps;
}

int32_t TextureSetMipmapNameCallback(TextureMipmapNameCallback callback)
{
    TextureModuleGet()->mipmapName = callback ? callback : TextureMipmapNameDefault;
    return 1;
}

TextureMipmapNameCallback TextureGetMipmapNameCallback()
{
    return TextureModuleGet()->mipmapName;
}

int32_t TextureSetMipmapping(int32_t enable)
{
    TextureModuleGet()->mipmapping = enable != 0;
    return 1;
}

int32_t TextureGetMipmapping()
{
    return TextureModuleGet()->mipmapping;
}

int32_t TextureSetAutoMipmapping(int32_t enable)
{
    TextureModuleGet()->autoMipmapping = enable != 0;
    return 1;
}

int32_t TextureGetAutoMipmapping()
{
    return TextureModuleGet()->autoMipmapping;
}

int32_t TextureGenerateMipmaps(Raster* raster, Image* image)
{
    return TextureModuleGet()->generateMipmaps(raster, image) ? 1 : 0;
}

// ---- Plug-ins and module ---------------------------------------------------------

int32_t TextureRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&g_textureRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t TextureGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&g_textureRegistry, pluginId);
}

int32_t TextureRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                    PluginStreamGetSize getSize)
{
    return PluginRegistryAddStream(&g_textureRegistry, pluginId, read, write, getSize);
}

int32_t TextureSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always)
{
    return PluginRegistryAddAlwaysCallback(&g_textureRegistry, pluginId, always);
}

void TextureSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    g_texturesPerBlock = entriesPerBlock;
    g_textureBlocks = blocksToPreallocate;
}

void TexDictionarySetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    g_dictionariesPerBlock = entriesPerBlock;
    g_dictionaryBlocks = blocksToPreallocate;
}

void* TextureModuleOpen(void* instance, int32_t offset, int32_t size)
{
    g_moduleOffset = offset;
    TextureModule* module = TextureModuleGet();
    std::memset(module, 0, sizeof(*module));
    LinkListInit(&module->dictionaries);
    module->read = TextureReadDefault;
    module->find = TextureFindDefault;
    module->generateMipmaps = TextureGenerateMipmapsDefault;
    module->mipmapName = TextureMipmapNameDefault;
    module->textures = FreeListCreate(static_cast<uint32_t>(g_textureRegistry.objectSize), g_texturesPerBlock,
                                      0, g_textureBlocks, nullptr, kTextureListHint);
    module->dictionaryList =
        FreeListCreate(static_cast<uint32_t>(TexDictionaryGetRegistry()->objectSize), g_dictionariesPerBlock,
                       0, g_dictionaryBlocks, nullptr, kDictionaryListHint);
    if (module->textures && module->dictionaryList) {
        module->defaultDictionary = TexDictionaryCreate();
    }
    if (!module->defaultDictionary) {
        TextureModuleClose(instance, offset, size);
        ErrorRaise(0, kErrorOutOfMemory);
        return nullptr;
    }
    module->current = module->defaultDictionary;
    return instance;
}

void* TextureModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    TextureModule* module = TextureModuleGet();
    // The default dictionary goes with its textures when nobody destroyed it.
    for (LinkList* link = module->dictionaries.next; link != &module->dictionaries; link = link->next) {
        TexDictionary* dictionary = LinkListEntry(link, TexDictionary, engineLink);
        if (dictionary == module->defaultDictionary) {
            TexDictionaryDestroy(dictionary);
            break;
        }
    }
    if (module->dictionaryList) {
        FreeListDestroy(module->dictionaryList);
    }
    if (module->textures) {
        FreeListDestroy(module->textures);
    }
    std::memset(module, 0, sizeof(*module));
    return instance;
}

int32_t TextureModuleAttach()
{
    g_moduleOffset =
        EngineAttachPlugin(sizeof(TextureModule), kPluginIdTexture, TextureModuleOpen, TextureModuleClose);
    return g_moduleOffset;
}
