#include "graphics/core/stream.h"

#include <cstring>

#include "graphics/core/coremodules.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/freelist.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr uint32_t kStreamHint = kMemoryHintObject | kPluginIdStream;
constexpr size_t kMemoryGrowth = 512;

struct StreamModule
{
    FreeList* streams;
};

int32_t gStreamOffset = -1;
FreeList gStreamListHeader;
int32_t gEntriesPerBlock = 16;
int32_t gBlocksToPreallocate = 1;

StreamModule* Module()
{
    return static_cast<StreamModule*>(EngineGetModuleData(gStreamOffset));
}

void* StreamModuleOpen(void* instance, int32_t offset, int32_t)
{
    gStreamOffset = offset;
    Module()->streams =
        FreeListCreate(sizeof(Stream), uint32_t(gEntriesPerBlock), 0, uint32_t(gBlocksToPreallocate),
                       &gStreamListHeader, kMemoryHintEngine | kPluginIdStream);
    return Module()->streams ? instance : nullptr;
}

void* StreamModuleClose(void* instance, int32_t, int32_t)
{
    if (Module()->streams) {
        FreeListDestroy(Module()->streams);
        Module()->streams = nullptr;
    }
    return instance;
}

void RaiseEndOfStream()
{
    ErrorRaise(kPluginIdCore, kErrorCoreEndOfStream);
}

// Grows a written memory stream so that n more bytes fit.
bool MemoryMakeRoom(StreamMemoryState& memory, size_t n)
{
    if (!memory.block) {
        memory.block = static_cast<uint8_t*>(MemoryAllocate(kMemoryGrowth, kStreamHint));
        if (!memory.block) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, kMemoryGrowth));
            return false;
        }
        memory.length = kMemoryGrowth;
    }
    if (memory.length - memory.position >= n) {
        return true;
    }
    size_t growth = n >= kMemoryGrowth ? n : kMemoryGrowth;
    if (memory.length > SIZE_MAX - growth) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, n));
        return false;
    }
    size_t capacity = memory.length + growth;
    auto* block =
        static_cast<uint8_t*>(MemoryReallocate(memory.block, capacity, kStreamHint | kMemoryHintResizable));
    if (!block) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, capacity));
        return false;
    }
    memory.block = block;
    memory.length = capacity;
    return true;
}

} // namespace

int32_t StreamModuleAttach()
{
    gStreamOffset =
        EngineAttachPlugin(sizeof(StreamModule), kPluginIdStream, StreamModuleOpen, StreamModuleClose);
    return gStreamOffset;
}

void StreamSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gBlocksToPreallocate = blocksToPreallocate;
}

Stream* StreamInit(Stream* stream, bool allocatedByOpen, uint32_t kind, uint32_t access, const void* arg)
{
    stream->kind = kind;
    stream->access = access;
    stream->reserved = 0;
    stream->allocatedByOpen = allocatedByOpen ? 1 : 0;
    switch (kind) {
    case kStreamFile:
        if (!arg || FileSystemManagerFTell(static_cast<FileSlot*>(const_cast<void*>(arg))) == -1) {
            return nullptr;
        }
        stream->file = static_cast<FileSlot*>(const_cast<void*>(arg));
        return stream;
    case kStreamFileName: {
        static const char* const kModes[] = {nullptr, "rb", "wb", "ab"};
        if (access < kStreamRead || access > kStreamAppend) {
            ErrorRaise(kPluginIdCore, kErrorCoreStreamAccess);
            return nullptr;
        }
        stream->file = arg ? FileSystemManagerFOpen(static_cast<const char*>(arg), kModes[access]) : nullptr;
        if (!stream->file) {
            ErrorRaise(0, kErrorFileOpen);
            return nullptr;
        }
        return stream;
    }
    case kStreamMemory: {
        const auto* descriptor = static_cast<const StreamMemory*>(arg);
        StreamMemoryState& memory = stream->memory;
        if (access == kStreamWrite) {
            memory = StreamMemoryState{0, 0, nullptr};
            return stream;
        }
        if ((access != kStreamRead && access != kStreamAppend)) {
            ErrorRaise(kPluginIdCore, kErrorCoreStreamAccess);
            return nullptr;
        }
        if (!descriptor || (!descriptor->block && descriptor->length)) {
            ErrorRaise(0, kErrorNullArgument);
            return nullptr;
        }
        memory.block = descriptor->block;
        memory.length = descriptor->length;
        memory.position = access == kStreamAppend ? descriptor->length : 0;
        return stream;
    }
    case kStreamCallbacks:
        if (!arg) {
            ErrorRaise(0, kErrorNullArgument);
            return nullptr;
        }
        stream->callbacks = *static_cast<const StreamCallbacks*>(arg);
        return stream;
    default:
        ErrorRaise(kPluginIdCore, kErrorCoreStreamKind);
        return nullptr;
    }
}

Stream* StreamOpen(uint32_t kind, uint32_t access, const void* arg)
{
    if (gStreamOffset < 0 || EngineGetState() != kEngineStateStarted) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    FreeList* list = Module()->streams;
    auto* stream = static_cast<Stream*>(MemoryFreeListAlloc(list, kStreamHint));
    if (!stream) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Stream)));
        return nullptr;
    }
    if (!StreamInit(stream, true, kind, access, arg)) {
        MemoryFreeListFree(list, stream);
        return nullptr;
    }
    return stream;
}

bool StreamClose(Stream* stream, StreamMemory* out)
{
    bool closed = true;
    switch (stream->kind) {
    case kStreamFile:
        break;
    case kStreamFileName:
        closed = FileSystemManagerFClose(stream->file) <= 0;
        break;
    case kStreamMemory:
        if (stream->access != kStreamRead) {
            if (out) {
                out->block = stream->memory.block;
                out->length = stream->memory.position;
            } else if (stream->access == kStreamWrite) {
                MemoryFree(stream->memory.block);
            }
        }
        break;
    case kStreamCallbacks:
        if (stream->callbacks.close) {
            stream->callbacks.close(stream->callbacks.data);
        }
        break;
    default:
        ErrorRaise(kPluginIdCore, kErrorCoreStreamKind);
        return false;
    }
    if (stream->allocatedByOpen) {
        MemoryFreeListFree(Module()->streams, stream);
    }
    return closed;
}

size_t StreamRead(Stream* stream, void* buffer, size_t n)
{
    switch (stream->kind) {
    case kStreamFile:
    case kStreamFileName: {
        size_t got = FileSystemManagerFRead(buffer, 1, n, stream->file);
        if (got < n) {
            if (FileSystemManagerFEof(stream->file)) {
                RaiseEndOfStream();
            } else {
                ErrorRaise(0, kErrorRead);
            }
        }
        return got;
    }
    case kStreamMemory: {
        StreamMemoryState& memory = stream->memory;
        if (stream->access != kStreamRead) {
            ErrorRaise(kPluginIdCore, kErrorCoreStreamAccess);
            return 0;
        }
        size_t left = memory.length - memory.position;
        if (n > left) {
            n = left;
            RaiseEndOfStream();
        }
        if (n) {
            std::memcpy(buffer, memory.block + memory.position, n);
        }
        memory.position += n;
        return n;
    }
    case kStreamCallbacks: {
        size_t got = stream->callbacks.read(stream->callbacks.data, buffer, n);
        return got > n ? n : got;
    }
    default:
        ErrorRaise(kPluginIdCore, kErrorCoreStreamKind);
        return 0;
    }
}

Stream* StreamWrite(Stream* stream, const void* buffer, size_t n)
{
    switch (stream->kind) {
    case kStreamFile:
    case kStreamFileName:
        if (FileSystemManagerFWrite(buffer, 1, n, stream->file) != n) {
            ErrorRaise(0, kErrorWrite);
            return nullptr;
        }
        return stream;
    case kStreamMemory: {
        StreamMemoryState& memory = stream->memory;
        if (stream->access == kStreamRead) {
            ErrorRaise(kPluginIdCore, kErrorCoreStreamAccess);
            return nullptr;
        }
        if (!MemoryMakeRoom(memory, n)) {
            return nullptr;
        }
        if (n) {
            std::memcpy(memory.block + memory.position, buffer, n);
        }
        memory.position += n;
        return stream;
    }
    case kStreamCallbacks:
        return stream->callbacks.write(stream->callbacks.data, buffer, n) ? stream : nullptr;
    default:
        ErrorRaise(kPluginIdCore, kErrorCoreStreamKind);
        return nullptr;
    }
}

Stream* StreamSkip(Stream* stream, size_t n)
{
    if (n == 0) {
        return stream;
    }
    switch (stream->kind) {
    case kStreamFile:
    case kStreamFileName: {
        // A file being read must hold the bytes skipped: a seek past its end
        // would succeed and hide a truncated file.
        FileSlot* file = stream->file;
        if (stream->access == kStreamRead &&
            (file->position > file->size || n > file->size - file->position)) {
            FileSystemManagerFSeek(file, 0, 2);
            RaiseEndOfStream();
            return nullptr;
        }
        if (n > size_t(INT64_MAX) || FileSystemManagerFSeek(file, int64_t(n), 1) != 0) {
            if (FileSystemManagerFEof(file)) {
                RaiseEndOfStream();
            }
            return nullptr;
        }
        return stream;
    }
    case kStreamMemory: {
        StreamMemoryState& memory = stream->memory;
        if (stream->access != kStreamRead) {
            ErrorRaise(kPluginIdCore, kErrorCoreStreamAccess);
            return nullptr;
        }
        if (n > memory.length - memory.position) {
            memory.position = memory.length;
            RaiseEndOfStream();
            return nullptr;
        }
        memory.position += n;
        return stream;
    }
    case kStreamCallbacks:
        return stream->callbacks.skip(stream->callbacks.data, n) ? stream : nullptr;
    default:
        ErrorRaise(kPluginIdCore, kErrorCoreStreamKind);
        return nullptr;
    }
}

int64_t StreamGetPosition(const Stream* stream)
{
    switch (stream->kind) {
    case kStreamFile:
    case kStreamFileName:
        return int64_t(stream->file->position);
    case kStreamMemory:
        return int64_t(stream->memory.position);
    default:
        return -1;
    }
}

int64_t StreamGetRemaining(const Stream* stream)
{
    switch (stream->kind) {
    case kStreamFile:
    case kStreamFileName:
        return stream->file->position >= stream->file->size
                   ? 0
                   : int64_t(stream->file->size - stream->file->position);
    case kStreamMemory:
        return stream->access == kStreamRead ? int64_t(stream->memory.length - stream->memory.position) : 0;
    default:
        return -1;
    }
}
