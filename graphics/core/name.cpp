#include "graphics/core/name.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/coremodules.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/stream.h"
#include "graphics/core/stringstream.h"

namespace {

struct NameModule
{
    FreeList* names;
};

int32_t gNameOffset = -1;
FreeList gNameListHeader;
int32_t gEntriesPerBlock = 16;
int32_t gBlocksToPreallocate = 1;

NameModule* Module()
{
    return static_cast<NameModule*>(EngineGetModuleData(gNameOffset));
}

void* NameModuleOpen(void* instance, int32_t offset, int32_t)
{
    gNameOffset = offset;
    Module()->names =
        FreeListCreate(sizeof(Name), uint32_t(gEntriesPerBlock), 0, uint32_t(gBlocksToPreallocate),
                       &gNameListHeader, kMemoryHintEngine | kPluginIdName);
    return Module()->names ? instance : nullptr;
}

void* NameModuleClose(void* instance, int32_t, int32_t)
{
    if (Module()->names) {
        FreeListDestroy(Module()->names);
        Module()->names = nullptr;
    }
    return instance;
}

} // namespace

int32_t NameModuleAttach()
{
    gNameOffset = EngineAttachPlugin(sizeof(NameModule), kPluginIdName, NameModuleOpen, NameModuleClose);
    return gNameOffset;
}

void NameSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gBlocksToPreallocate = blocksToPreallocate;
}

Name* NameCreate()
{
    if (gNameOffset < 0 || EngineGetState() != kEngineStateStarted) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    auto* name = static_cast<Name*>(MemoryFreeListAlloc(Module()->names, kMemoryHintObject | kPluginIdName));
    if (!name) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Name)));
        return nullptr;
    }
    name->text[0] = '\0';
    return name;
}

bool NameDestroy(Name* name)
{
    if (name) {
        MemoryFreeListFree(Module()->names, name);
    }
    return true;
}

Name* NameSet(Name* name, const char* text)
{
    if (!text) {
        name->text[0] = '\0';
        return name;
    }
    size_t length = std::strlen(text);
    if (length >= size_t(kNameMaxLength)) {
        ErrorRaise(0, kErrorNameTooLong);
        return nullptr;
    }
    std::memcpy(name->text, text, length + 1);
    return name;
}

const char* NameGet(const Name* name)
{
    return name->text;
}

uint32_t NameStreamGetSize(const Name* name)
{
    return StringStreamGetSize(name->text) + 16;
}

const Name* NameStreamWrite(const Name* name, Stream* stream)
{
    if (!ChunkHeaderWriteCurrent(stream, kChunkName, NameStreamGetSize(name)) ||
        !StreamWriteUInt32(stream, 1) || !StringStreamWrite(name->text, stream)) {
        return nullptr;
    }
    return name;
}

const void* NameStreamWriteEmpty(const void* value, Stream* stream)
{
    return ChunkHeaderWriteCurrent(stream, kChunkEmptyName, 0) ? value : nullptr;
}

Name* NameStreamRead(Stream* stream)
{
    uint32_t marker = 0;
    if (!StreamReadUInt32(stream, &marker)) {
        return nullptr;
    }
    Name* name = NameCreate();
    if (!name) {
        return nullptr;
    }
    if (!StringStreamRead(name->text, sizeof(name->text), stream)) {
        NameDestroy(name);
        return nullptr;
    }
    return name;
}
