#include "graphics/core/memory.h"

#include "graphics/core/engine.h"

void* MemoryAllocate(size_t size, uint32_t hint)
{
    return EngineGetInstance()->memoryFunctions.allocate(size, hint);
}

void MemoryFree(void* block)
{
    if (block) {
        EngineGetInstance()->memoryFunctions.free(block);
    }
}

void* MemoryReallocate(void* block, size_t size, uint32_t hint)
{
    return EngineGetInstance()->memoryFunctions.reallocate(block, size, hint);
}

void* MemoryAllocateZeroed(size_t count, size_t elementSize, uint32_t hint)
{
    return EngineGetInstance()->memoryFunctions.allocateZeroed(count, elementSize, hint);
}

void* MemoryFreeListAlloc(FreeList* list, uint32_t hint)
{
    return EngineGetInstance()->memoryFunctions.freeListAlloc(list, hint);
}

FreeList* MemoryFreeListFree(FreeList* list, void* entry)
{
    return EngineGetInstance()->memoryFunctions.freeListFree(list, entry);
}
