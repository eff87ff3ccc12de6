#include "physics/core/utils/memory.h"

#include <cstring>

#include "graphics/core/memory.h"

void* OlpAlignedAlloc(size_t size, size_t alignment, uint32_t hint)
{
    if (alignment == 0 || alignment > 255 || (alignment & (alignment - 1)) != 0 ||
        size > SIZE_MAX - alignment) {
        return nullptr;
    }
    auto* raw = static_cast<uint8_t*>(MemoryAllocate(size + alignment, hint));
    if (raw == nullptr) {
        return nullptr;
    }
    // The offset is never 0, so the byte before the returned address always
    // belongs to the block and holds the way back to its start.
    size_t offset = alignment - (reinterpret_cast<uintptr_t>(raw) & (alignment - 1));
    uint8_t* aligned = raw + offset;
    aligned[-1] = static_cast<uint8_t>(offset);
    return aligned;
}

void OlpAlignedFree(void* block)
{
    if (block == nullptr) {
        return;
    }
    auto* aligned = static_cast<uint8_t*>(block);
    MemoryFree(aligned - aligned[-1]);
}

void OlpMemFill(void* address, uint8_t value, size_t count)
{
    std::memset(address, value, count);
}
