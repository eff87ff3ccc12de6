// Texture dictionaries: named collections of textures, kept on the engine's
// list of dictionaries, one of them current for TextureRead.
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/core/texturemodule.h"

namespace {

constexpr uint32_t kDictionaryHint = 0x30016;

PluginRegistry g_dictionaryRegistry = PluginRegistryMake(sizeof(TexDictionary));

// ASCII letters compared without case; other bytes exactly.
bool NamesMatch(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) {
            return false;
        }
        if (ca == '\0') {
            return true;
        }
    }
}

Texture* TextureOf(LinkList* link)
{
    return LinkListEntry(link, Texture, dictionaryLink);
}

} // namespace

PluginRegistry* TexDictionaryGetRegistry()
{
    return &g_dictionaryRegistry;
}

TexDictionary* TexDictionaryCreate()
{
    TextureModule* module = TextureModuleGet();
    auto* dictionary =
        static_cast<TexDictionary*>(MemoryFreeListAlloc(module->dictionaryList, kDictionaryHint));
    if (!dictionary) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, g_dictionaryRegistry.objectSize));
        return nullptr;
    }
    std::memset(dictionary, 0, sizeof(TexDictionary));
    dictionary->object.type = kObjectTypeTexDictionary;
    LinkListInit(&dictionary->textures);
    LinkListAddFront(&module->dictionaries, &dictionary->engineLink);
    if (!PluginRegistryConstruct(&g_dictionaryRegistry, dictionary)) {
        LinkListRemove(&dictionary->engineLink);
        MemoryFreeListFree(module->dictionaryList, dictionary);
        return nullptr;
    }
    return dictionary;
}

int32_t TexDictionaryDestroy(TexDictionary* dictionary)
{
    TextureModule* module = TextureModuleGet();
    if (module->current == dictionary) {
        module->current = nullptr;
    }
    // Each texture leaves the dictionary before it loses the dictionary's
    // reference, so that a texture shared elsewhere never points at the
    // freed dictionary.
    while (!LinkListIsEmpty(&dictionary->textures)) {
        Texture* texture = TextureOf(dictionary->textures.next);
        TextureRemoveFromDictionary(texture);
        TextureDestroy(texture);
    }
    PluginRegistryDestruct(&g_dictionaryRegistry, dictionary);
    LinkListRemove(&dictionary->engineLink);
    if (module->defaultDictionary == dictionary) {
        module->defaultDictionary = nullptr;
    }
    MemoryFreeListFree(module->dictionaryList, dictionary);
    return 1;
}

Texture* TexDictionaryAddTexture(TexDictionary* dictionary, Texture* texture)
{
    TextureRemoveFromDictionary(texture);
    LinkListAddFront(&dictionary->textures, &texture->dictionaryLink);
    texture->dictionary = dictionary;
    return texture;
}

Texture* TextureRemoveFromDictionary(Texture* texture)
{
    if (texture->dictionary) {
        LinkListRemove(&texture->dictionaryLink);
        texture->dictionary = nullptr;
    }
    return texture;
}

TexDictionary* TextureGetDictionary(const Texture* texture)
{
    return texture->dictionary;
}

Texture* TexDictionaryFindNamedTexture(TexDictionary* dictionary, const char* name)
{
    for (LinkList* link = dictionary->textures.next; link != &dictionary->textures; link = link->next) {
        Texture* texture = TextureOf(link);
        if (NamesMatch(texture->name, name)) {
            return texture;
        }
    }
    return nullptr;
}

TexDictionary* TexDictionaryForAllTextures(TexDictionary* dictionary, TextureCallback callback, void* data)
{
    for (LinkList* link = dictionary->textures.next; link != &dictionary->textures;) {
        LinkList* next = link->next;
        if (!callback(TextureOf(link), data)) {
            break;
        }
        link = next;
    }
    return dictionary;
}

int32_t TexDictionaryForAllDictionaries(TexDictionaryCallback callback, void* data)
{
    TextureModule* module = TextureModuleGet();
    for (LinkList* link = module->dictionaries.next; link != &module->dictionaries;) {
        LinkList* next = link->next;
        if (!callback(LinkListEntry(link, TexDictionary, engineLink), data)) {
            break;
        }
        link = next;
    }
    return 1;
}

TexDictionary* TexDictionarySetCurrent(TexDictionary* dictionary)
{
    TextureModuleGet()->current = dictionary;
    return dictionary;
}

TexDictionary* TexDictionaryGetCurrent()
{
    return TextureModuleGet()->current;
}

int32_t TexDictionaryRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                                    PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&g_dictionaryRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t TexDictionaryGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&g_dictionaryRegistry, pluginId);
}

int32_t TexDictionaryRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                          PluginStreamGetSize getSize)
{
    return PluginRegistryAddStream(&g_dictionaryRegistry, pluginId, read, write, getSize);
}

int32_t TexDictionarySetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always)
{
    return PluginRegistryAddAlwaysCallback(&g_dictionaryRegistry, pluginId, always);
}
