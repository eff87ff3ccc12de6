#pragma once
// Private state of the texture module, shared by the texture, dictionary,
// reading and stream files.

#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/plugin.h"
#include "graphics/core/texture.h"

struct FreeList;

struct TextureModule
{
    LinkList dictionaries; ///< every dictionary, newest first
    FreeList* textures;
    FreeList* dictionaryList;
    TexDictionary* current;
    TextureReadCallback read;
    TextureFindCallback find;
    int32_t mipmapping;
    int32_t autoMipmapping;
    TextureMipmapGenerationCallback generateMipmaps;
    TextureMipmapNameCallback mipmapName;
    TexDictionary* defaultDictionary;
};

TextureModule* TextureModuleGet();
PluginRegistry* TextureGetRegistry();
PluginRegistry* TexDictionaryGetRegistry();
