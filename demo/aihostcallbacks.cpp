#include "demo/aihostcallbacks.h"

#include "ai/behaviours/behaviour_registry.h"
#include "ai/behaviours/standard_agents.h"
#include "ai/navigation/graph_generator.h"
#include "ai/navigation/graph_manager.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity_manager.h"
#include "demo/aiclock.h"
#include "demo/aidebuglines.h"
#include "demo/aiworldqueries.h"
#include "demo/registrations.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/memory.h"

namespace {

// The AI's file functions: plain forwarders to the engine's file-system manager.
void* FileOpen(const char* name, const char* mode)
{
    return FileSystemManagerFOpen(name, mode);
}

int FileClose(void* file)
{
    return FileSystemManagerFClose(static_cast<FileSlot*>(file));
}

int FileEof(void* file)
{
    return FileSystemManagerFEof(static_cast<FileSlot*>(file)) ? 1 : 0;
}

char* FileReadLine(char* buffer, int size, void* file)
{
    return FileSystemManagerFGets(buffer, size, static_cast<FileSlot*>(file));
}

size_t FileWrite(const void* data, size_t size, size_t count, void* file)
{
    return FileSystemManagerFWrite(data, size, count, static_cast<FileSlot*>(file));
}

size_t FileRead(void* data, size_t size, size_t count, void* file)
{
    return FileSystemManagerFRead(data, size, count, static_cast<FileSlot*>(file));
}

int FileSeek(void* file, long offset, int origin)
{
    return FileSystemManagerFSeek(static_cast<FileSlot*>(file), offset, origin);
}

} // namespace

bool AiRegisterModules()
{
    return Zelk::CheckAgentClassesRegistered() && Zelk::CheckEntityAttributeClasses() &&
           CheckDemoClassesRegistered() && Zelk::CheckBehaviourClassesRegistered() &&
           Zelk::CheckGraphDataClassesRegistered() && Zelk::CGraphGeneratorAgent::CheckManagerClasses() &&
           CheckDataManagerClassesRegistered() && Zelk::CheckPathFinderRegistered() &&
           Zelk::CheckEntityAndSoundManagersRegistered();
}

void AiHostCallbacks(Zelk::AiHostInterface* block)
{
    *block = Zelk::AiHostInterface{};
    block->maxEntities = kAiHostMaxEntities;
    block->allocate = &AiHostAlloc;
    block->reallocate = &AiHostRealloc;
    block->free = &AiHostFree;
    block->allocatorTableCapacity = 10;
    block->clock = &AiTimeNow;
    block->rayCast = &WorldsRayCast;
    block->segmentTest = &WorldsSegmentClear;
    block->sweptTest = &WorldsCanGo;
    block->drawLine = &DebugDrawLine;
    block->drawPoint = &DebugDrawCross;
    block->fileOpen = &FileOpen;
    block->fileClose = &FileClose;
    block->fileEof = &FileEof;
    block->fileReadLine = &FileReadLine;
    block->fileWrite = &FileWrite;
    block->fileRead = &FileRead;
    block->fileSeek = &FileSeek;
}

void* AiHostAlloc(size_t size)
{
    return MemoryAllocate(size, 0);
}

void* AiHostRealloc(void* block, size_t size)
{
    return MemoryReallocate(block, size, 0);
}

void AiHostFree(void* block)
{
    MemoryFree(block);
}
