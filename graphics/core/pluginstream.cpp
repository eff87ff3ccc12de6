// The extension chunk (type 3) of an object: one sub-chunk per plug-in that
// has data to save, in registration order, each {plug-in id, size, stamp}
// followed by the bytes its write callback produced.

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/plugin.h"
#include "graphics/core/stream.h"

namespace {

bool Saves(const PluginEntry* entry)
{
    return entry->streamGetSize && entry->streamWrite;
}

PluginEntry* FindEntry(PluginRegistry* registry, uint32_t pluginId)
{
    for (PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (entry->pluginId == pluginId) {
            return entry;
        }
    }
    return nullptr;
}

// Hands `length` bytes to the plug-in's read callback (or skips them). When
// the stream can tell what remains, a callback that reads less than its
// data has the rest skipped, and one that reads more fails the chunk.
bool ReadSubChunk(PluginRegistry* registry, Stream* stream, void* object, uint32_t pluginId, uint32_t length)
{
    PluginEntry* entry = FindEntry(registry, pluginId);
    if (!entry || !entry->streamRead) {
        return StreamSkip(stream, length) != nullptr;
    }
    int64_t before = StreamGetRemaining(stream);
    if (!entry->streamRead(stream, int32_t(length), object, entry->offset, entry->size)) {
        return false;
    }
    int64_t after = StreamGetRemaining(stream);
    if (before < 0 || after < 0) {
        return true;
    }
    int64_t consumed = before - after;
    if (consumed > int64_t(length)) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return StreamSkip(stream, size_t(int64_t(length) - consumed)) != nullptr;
}

// Reads the next sub-chunk header of an extension body with `remaining`
// bytes left, checking that the sub-chunk fits in it.
bool ReadSubHeader(Stream* stream, uint32_t remaining, uint32_t* pluginId, uint32_t* length)
{
    if (remaining < kChunkHeaderSize) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    if (!ChunkHeaderRead(stream, pluginId, length, nullptr, nullptr)) {
        return false;
    }
    if (*length > remaining - kChunkHeaderSize) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return true;
}

} // namespace

int32_t PluginRegistryStreamSize(const PluginRegistry* registry, const void* object)
{
    int64_t total = 0;
    for (const PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (Saves(entry)) {
            int32_t n = entry->streamGetSize(object, entry->offset, entry->size);
            if (n > 0) {
                total += int64_t(n) + kChunkHeaderSize;
            }
        }
    }
    return total > INT32_MAX ? -1 : int32_t(total);
}

PluginRegistry* PluginRegistryStreamWrite(const PluginRegistry* registry, Stream* stream, const void* object)
{
    int32_t total = PluginRegistryStreamSize(registry, object);
    if (total < 0 || !ChunkHeaderWriteCurrent(stream, kChunkExtension, uint32_t(total))) {
        return nullptr;
    }
    for (const PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (!Saves(entry)) {
            continue;
        }
        int32_t n = entry->streamGetSize(object, entry->offset, entry->size);
        if (n <= 0) {
            continue;
        }
        if (!ChunkHeaderWriteCurrent(stream, entry->pluginId, uint32_t(n)) ||
            !entry->streamWrite(stream, n, object, entry->offset, entry->size)) {
            return nullptr;
        }
    }
    return const_cast<PluginRegistry*>(registry);
}

PluginRegistry* PluginRegistryStreamRead(PluginRegistry* registry, Stream* stream, void* object)
{
    uint32_t remaining = 0;
    if (!StreamFindChunk(stream, kChunkExtension, &remaining, nullptr)) {
        return nullptr;
    }
    while (remaining > 0) {
        uint32_t pluginId = 0;
        uint32_t length = 0;
        if (!ReadSubHeader(stream, remaining, &pluginId, &length) ||
            !ReadSubChunk(registry, stream, object, pluginId, length)) {
            return nullptr;
        }
        remaining -= kChunkHeaderSize + length;
    }
    for (PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (entry->alwaysCallback && !entry->alwaysCallback(object, entry->offset, entry->size)) {
            return nullptr;
        }
    }
    return registry;
}

PluginRegistry* PluginRegistryStreamSkip(PluginRegistry* registry, Stream* stream)
{
    uint32_t remaining = 0;
    if (!StreamFindChunk(stream, kChunkExtension, &remaining, nullptr)) {
        return nullptr;
    }
    while (remaining > 0) {
        uint32_t pluginId = 0;
        uint32_t length = 0;
        if (!ReadSubHeader(stream, remaining, &pluginId, &length) || !StreamSkip(stream, length)) {
            return nullptr;
        }
        remaining -= kChunkHeaderSize + length;
    }
    return registry;
}
