#pragma once
// Textures and texture dictionaries. A Texture is a named, reference-counted
// wrapper of a Raster with sampling settings; a TexDictionary is a named
// collection of textures. TextureRead gets a texture by name: an already
// loaded one (find callback), else one read from image files (read
// callback), with mip levels from "<name>m<level>" files or generated. The
// texture module (core module 0x408) keeps the list of dictionaries, the
// current dictionary, the callbacks and the two mip-level flags. Every
// function needs the engine started.

#include <cstddef>
#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/object.h"
#include "graphics/core/plugin.h"

struct Image;
struct Raster;
struct Stream;
struct TexDictionary;

/// Filter modes (byte 0 of the filter-and-addressing word).
enum TextureFilterMode : uint32_t
{
    kTextureFilterNone = 0,
    kTextureFilterNearest = 1,
    kTextureFilterLinear = 2,
    kTextureFilterMipNearest = 3,
    kTextureFilterMipLinear = 4,
    kTextureFilterLinearMipNearest = 5,
    kTextureFilterLinearMipLinear = 6,
};

/// Addressing modes (nibbles of byte 1: U low, V high).
enum TextureAddressMode : uint32_t
{
    kTextureAddressNone = 0,
    kTextureAddressWrap = 1,
    kTextureAddressMirror = 2,
    kTextureAddressClamp = 3,
    kTextureAddressBorder = 4,
};

/// Texture and mask names hold at most 31 characters.
constexpr size_t kTextureNameSize = 32;
/// File names built for reading (name, extension, mip suffix) hold at most 255.
constexpr size_t kTextureFileNameSize = 256;

struct Texture
{
    Raster* raster;
    TexDictionary* dictionary;
    LinkList dictionaryLink; ///< in the dictionary's texture list
    char name[kTextureNameSize];
    char mask[kTextureNameSize];
    uint32_t filterAddressing; ///< byte 0 filter, byte 1 addressing (U low nibble, V high)
    int32_t refCount;
};

struct TexDictionary
{
    ObjectHeader object; ///< type kObjectTypeTexDictionary
    LinkList textures;
    LinkList engineLink; ///< in the engine's list of dictionaries
};

/// Answers a loaded texture for a name, or null.
using TextureFindCallback = Texture* (*)(const char* name);
/// Reads a new texture for a name and mask name (null for none), or null.
using TextureReadCallback = Texture* (*)(const char* name, const char* maskName);
/// Fills the mip levels of `raster` from `image` (null: from the raster's
/// level 0); non-zero for success.
using TextureMipmapGenerationCallback = Raster* (*)(Raster* raster, Image* image);
/// Turns name and mask (buffers of `capacity` bytes) into the file names of
/// mip level `level`; 0 when they would not fit. `creationFlags` is the
/// raster creation word being read for.
using TextureMipmapNameCallback = int32_t (*)(char* name, char* mask, size_t capacity, uint8_t level,
                                              uint32_t creationFlags);
/// Visitors: answer the texture/dictionary to go on, null to stop.
using TextureCallback = Texture* (*)(Texture* texture, void* data);
using TexDictionaryCallback = TexDictionary* (*)(TexDictionary* dictionary, void* data);

/// New texture on `raster` (may be null): reference count 1, filter
/// nearest, addressing wrap/wrap, no dictionary, empty names. Null when out
/// of memory, a plug-in fails or the device refuses the raster.
Texture* TextureCreate(Raster* raster);
/// Lowers the reference count; at zero the plug-in destructors run, the
/// texture leaves its dictionary and its raster is destroyed. 1.
int32_t TextureDestroy(Texture* texture);
/// Adds one reference; the texture.
Texture* TextureAddRef(Texture* texture);
/// Sets the raster through the device (null clears it); the texture or null.
Texture* TextureSetRaster(Texture* texture, Raster* raster);
Raster* TextureGetRaster(const Texture* texture);
/// Copies the name; 32 characters or more record kErrorNameTooLong and keep 31.
Texture* TextureSetName(Texture* texture, const char* name);
Texture* TextureSetMaskName(Texture* texture, const char* maskName);
const char* TextureGetName(const Texture* texture);
const char* TextureGetMaskName(const Texture* texture);
Texture* TextureSetFilterMode(Texture* texture, uint32_t filterMode);
uint32_t TextureGetFilterMode(const Texture* texture);
Texture* TextureSetAddressingU(Texture* texture, uint32_t mode);
Texture* TextureSetAddressingV(Texture* texture, uint32_t mode);
uint32_t TextureGetAddressingU(const Texture* texture);
uint32_t TextureGetAddressingV(const Texture* texture);

/// New empty dictionary at the head of the engine's list; null on failure.
TexDictionary* TexDictionaryCreate();
/// Stops being current; each texture leaves the dictionary and loses the
/// dictionary's reference (a texture still referenced elsewhere lives on,
/// in no dictionary); the dictionary is freed. 1.
int32_t TexDictionaryDestroy(TexDictionary* dictionary);
/// Moves the texture from its dictionary to the head of this one.
Texture* TexDictionaryAddTexture(TexDictionary* dictionary, Texture* texture);
/// Takes the texture out of its dictionary.
Texture* TextureRemoveFromDictionary(Texture* texture);
TexDictionary* TextureGetDictionary(const Texture* texture);
/// First texture in list order whose name matches (ASCII case ignored), or null.
Texture* TexDictionaryFindNamedTexture(TexDictionary* dictionary, const char* name);
/// Visits in list order until the callback answers null; the callback may
/// destroy the texture/dictionary it is given.
TexDictionary* TexDictionaryForAllTextures(TexDictionary* dictionary, TextureCallback callback, void* data);
int32_t TexDictionaryForAllDictionaries(TexDictionaryCallback callback, void* data);
/// The dictionary that TextureRead files new textures into (null: none).
TexDictionary* TexDictionarySetCurrent(TexDictionary* dictionary);
TexDictionary* TexDictionaryGetCurrent();

/// The texture of that name: a loaded one with one more reference, else one
/// read by the read callback and filed in the current dictionary. Null with
/// plain error 22 when it cannot be read (kErrorNullArgument for a null name).
Texture* TextureRead(const char* name, const char* maskName);
/// The default callbacks.
Texture* TextureFindDefault(const char* name);
Texture* TextureReadDefault(const char* name, const char* maskName);
Raster* TextureGenerateMipmapsDefault(Raster* raster, Image* image);
int32_t TextureMipmapNameDefault(char* name, char* mask, size_t capacity, uint8_t level,
                                 uint32_t creationFlags);

/// Callback setters answer 1 (null restores the default); getters the current one.
int32_t TextureSetFindCallback(TextureFindCallback callback);
TextureFindCallback TextureGetFindCallback();
int32_t TextureSetReadCallback(TextureReadCallback callback);
TextureReadCallback TextureGetReadCallback();
int32_t TextureSetMipmapGenerationCallback(TextureMipmapGenerationCallback callback);
TextureMipmapGenerationCallback TextureGetMipmapGenerationCallback();
int32_t TextureSetMipmapNameCallback(TextureMipmapNameCallback callback);
TextureMipmapNameCallback TextureGetMipmapNameCallback();
/// Whether TextureReadDefault makes mip levels, and whether it asks the
/// device to generate them. Setters answer 1.
int32_t TextureSetMipmapping(int32_t enable);
int32_t TextureGetMipmapping();
int32_t TextureSetAutoMipmapping(int32_t enable);
int32_t TextureGetAutoMipmapping();
/// Fills the raster's mip levels through the generation callback; 1 or 0.
int32_t TextureGenerateMipmaps(Raster* raster, Image* image);

/// Makes one palette of 2^depth (depth 4 or 8) colours for `images`: their
/// shared palette when all have it already, else a quantised one, each image
/// then being replaced (in the array) by its match against it. 1, or 0 on
/// failure (the images stay valid).
int32_t ImagesMakeCommonPalette(uint8_t* palette, Image** images, int32_t count, int32_t depth);

/// Texture plug-ins.
int32_t TextureRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy);
int32_t TextureGetPluginOffset(uint32_t pluginId);
int32_t TextureRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                    PluginStreamGetSize getSize);
int32_t TextureSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always);
/// Dictionary plug-ins.
int32_t TexDictionaryRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                                    PluginDestructor destructor, PluginCopy copy);
int32_t TexDictionaryGetPluginOffset(uint32_t pluginId);
int32_t TexDictionaryRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                          PluginStreamGetSize getSize);
int32_t TexDictionarySetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always);

/// Texture chunk (6): sampling word, name and mask strings, extension. The
/// size is of the body; the writer writes the whole chunk.
uint32_t TextureStreamGetSize(const Texture* texture);
Texture* TextureStreamWrite(Texture* texture, Stream* stream);
/// Reads a texture chunk body (the caller found chunk 6) and gets the
/// texture through TextureRead; null on a malformed chunk or a failed read.
Texture* TextureStreamRead(Stream* stream);
/// Texture dictionary chunk (0x16): the device's native texture bodies.
uint32_t TexDictionaryStreamGetSize(const TexDictionary* dictionary);
TexDictionary* TexDictionaryStreamWrite(TexDictionary* dictionary, Stream* stream);
/// Reads a dictionary chunk body (the caller found chunk 0x16); null on a
/// malformed chunk, another device's data or a failed texture.
TexDictionary* TexDictionaryStreamRead(Stream* stream);

/// Free-list settings; call before EngineInit. Defaults 128/1 and 5/1.
void TextureSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void TexDictionarySetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Texture module (core module 0x408): open makes the default dictionary
/// and makes it current.
void* TextureModuleOpen(void* instance, int32_t offset, int32_t size);
void* TextureModuleClose(void* instance, int32_t offset, int32_t size);
/// Registers the module with the engine (EngineInit); its offset or -1.
int32_t TextureModuleAttach();
