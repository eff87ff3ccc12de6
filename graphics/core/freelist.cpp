#include "graphics/core/freelist.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "graphics/core/engine.h"

namespace {

// The memory module's state: every free list alive, and the list that the
// free-list headers themselves come from (it is not on the global list).
struct MemoryModule
{
    LinkList allLists;
    FreeList headerList;
    bool headerListOpen;
    bool preallocate = true;
};
MemoryModule gModule;

void* CAllocate(size_t size, uint32_t)
{
    return std::malloc(size);
}

void CFree(void* block)
{
    std::free(block);
}

void* CReallocate(void* block, size_t size, uint32_t)
{
    return std::realloc(block, size);
}

void* CAllocateZeroed(size_t count, size_t elementSize, uint32_t)
{
    return std::calloc(count, elementSize);
}

constexpr uint32_t kMinimumAlignment = alignof(void*);
constexpr uint32_t kHeadersPerBlock = 16;

// The block's links come first, then the bitmap, then the entries.
uint8_t* BlockBitmap(LinkList* block)
{
    return reinterpret_cast<uint8_t*>(block + 1);
}

uint8_t* BlockFirstEntry(const FreeList* list, LinkList* block)
{
    uintptr_t afterBitmap = reinterpret_cast<uintptr_t>(BlockBitmap(block)) + list->bitmapBytes;
    uintptr_t misalignment = afterBitmap % list->alignment;
    uintptr_t first = misalignment ? afterBitmap + (list->alignment - misalignment) : afterBitmap;
    return reinterpret_cast<uint8_t*>(block) + (first - reinterpret_cast<uintptr_t>(block));
}

size_t BlockSize(const FreeList* list)
{
    return sizeof(LinkList) + list->bitmapBytes + (list->alignment - 1) +
           size_t(list->entrySize) * list->entriesPerBlock;
}

bool BlockIsEmpty(const FreeList* list, LinkList* block)
{
    const uint8_t* bitmap = BlockBitmap(block);
    for (uint32_t i = 0; i < list->bitmapBytes; ++i) {
        if (bitmap[i]) {
            return false;
        }
    }
    return true;
}

LinkList* BlockCreate(FreeList* list, uint32_t hint)
{
    auto* block = static_cast<LinkList*>(MemoryAllocate(BlockSize(list), hint));
    if (!block) {
        return nullptr;
    }
    std::memset(BlockBitmap(block), 0, list->bitmapBytes);
    LinkListAddFront(&list->blocks, block);
    return block;
}

void BlockDestroy(LinkList* block)
{
    LinkListRemove(block);
    MemoryFree(block);
}

void FreeAllBlocks(FreeList* list)
{
    while (!LinkListIsEmpty(&list->blocks)) {
        BlockDestroy(list->blocks.next);
    }
}

// Gives a header back to where it came from: nothing for caller storage,
// the header list for headers taken from it, the allocator otherwise.
void ReleaseHeader(FreeList* list)
{
    if (list->flags & kFreeListStaticHeader) {
        return;
    }
    if (gModule.headerListOpen && list != &gModule.headerList) {
        MemoryFreeListFree(&gModule.headerList, list);
    } else {
        MemoryFree(list);
    }
}

// Fills a header and its blocks; false when a block cannot be allocated
// (the blocks made so far are freed again).
bool FreeListSetUp(FreeList* list, uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                   uint32_t blocks, uint32_t hint)
{
    list->alignment = alignment;
    list->entrySize = (entrySize + alignment - 1) / alignment * alignment;
    list->entriesPerBlock = entriesPerBlock;
    list->bitmapBytes = (entriesPerBlock + 7) / 8;
    LinkListInit(&list->blocks);
    LinkListInit(&list->globalLink);
    for (uint32_t i = 0; i < blocks; ++i) {
        if (!BlockCreate(list, hint)) {
            FreeAllBlocks(list);
            return false;
        }
    }
    return true;
}

uint32_t EffectiveAlignment(uint32_t alignment)
{
    if (alignment < kMinimumAlignment) {
        return kMinimumAlignment;
    }
    return (alignment + kMinimumAlignment - 1) / kMinimumAlignment * kMinimumAlignment;
}

} // namespace

bool FreeListModuleOpen(const MemoryTable* table)
{
    MemoryFunctions& memory = EngineGetInstance()->memoryFunctions;
    if (table) {
        memory.allocate = table->allocate;
        memory.free = table->free;
        memory.reallocate = table->reallocate;
        memory.allocateZeroed = table->allocateZeroed;
    } else {
        memory.allocate = CAllocate;
        memory.free = CFree;
        memory.reallocate = CReallocate;
        memory.allocateZeroed = CAllocateZeroed;
    }
    LinkListInit(&gModule.allLists);
    FreeList* headers = &gModule.headerList;
    headers->flags = kFreeListStaticHeader | kFreeListFreeEmptyBlocks;
    FreeListSetUp(headers, sizeof(FreeList), kHeadersPerBlock, kMinimumAlignment, 0, kMemoryHintEngine);
    gModule.headerListOpen = true;
    return true;
}

void FreeListModuleClose()
{
    while (!LinkListIsEmpty(&gModule.allLists)) {
        FreeListDestroy(LinkListEntry(gModule.allLists.next, FreeList, globalLink));
    }
    gModule.headerListOpen = false;
    FreeAllBlocks(&gModule.headerList);
}

void FreeListSetPreallocate(bool preallocate)
{
    gModule.preallocate = preallocate;
}

FreeList* FreeListCreate(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                         uint32_t blocksToPreallocate, FreeList* staticHeader, uint32_t hint)
{
    alignment = EffectiveAlignment(alignment);
    if (entrySize == 0 || entriesPerBlock == 0 || entrySize > UINT32_MAX - alignment ||
        size_t(entrySize) * entriesPerBlock > size_t(INT32_MAX)) {
        return nullptr;
    }
    if (!gModule.preallocate) {
        blocksToPreallocate = 0;
    }
    FreeList* list = staticHeader;
    if (list) {
        list->flags = kFreeListStaticHeader | kFreeListFreeEmptyBlocks;
    } else {
        uint32_t headerHint = hint & kMemoryHintLifetimeMask;
        list = static_cast<FreeList*>(gModule.headerListOpen
                                          ? MemoryFreeListAlloc(&gModule.headerList, headerHint)
                                          : MemoryAllocate(sizeof(FreeList), headerHint));
        if (!list) {
            return nullptr;
        }
        list->flags = kFreeListFreeEmptyBlocks;
    }
    if (!FreeListSetUp(list, entrySize, entriesPerBlock, alignment, blocksToPreallocate, hint)) {
        ReleaseHeader(list);
        return nullptr;
    }
    LinkListAddFront(&gModule.allLists, &list->globalLink);
    return list;
}

FreeList* FreeListCreateEx(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                           uint32_t blocksToPreallocate, FreeList* staticHeader, uint32_t hint)
{
    return FreeListCreate(entrySize, entriesPerBlock, alignment, blocksToPreallocate, staticHeader, hint);
}

FreeList* FreeListCreateSimple(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                               uint32_t hint)
{
    return FreeListCreate(entrySize, entriesPerBlock, alignment, 1, nullptr, hint);
}

bool FreeListDestroy(FreeList* list)
{
    LinkListRemove(&list->globalLink);
    FreeAllBlocks(list);
    ReleaseHeader(list);
    return true;
}

void FreeListSetFlags(FreeList* list, uint32_t flags)
{
    list->flags |= flags & ~kFreeListStaticHeader;
}

uint32_t FreeListGetFlags(const FreeList* list)
{
    return list->flags;
}

void* FreeListAlloc(FreeList* list, uint32_t hint)
{
    for (LinkList* block = list->blocks.next; block != &list->blocks; block = block->next) {
        uint8_t* bitmap = BlockBitmap(block);
        uint32_t remaining = list->entriesPerBlock;
        for (uint32_t byte = 0; byte < list->bitmapBytes; ++byte, remaining -= 8) {
            if (bitmap[byte] == 0xFF) {
                continue;
            }
            uint32_t bits = remaining < 8 ? remaining : 8;
            for (uint32_t bit = 0; bit < bits; ++bit) {
                uint8_t mask = uint8_t(0x80u >> bit);
                if (!(bitmap[byte] & mask)) {
                    bitmap[byte] |= mask;
                    return BlockFirstEntry(list, block) + size_t(byte * 8 + bit) * list->entrySize;
                }
            }
        }
    }
    LinkList* block = BlockCreate(list, hint);
    if (!block) {
        return nullptr;
    }
    BlockBitmap(block)[0] = 0x80;
    return BlockFirstEntry(list, block);
}

FreeList* FreeListFree(FreeList* list, void* entry)
{
    auto* address = static_cast<uint8_t*>(entry);
    size_t span = size_t(list->entrySize) * list->entriesPerBlock;
    for (LinkList* block = list->blocks.next; block != &list->blocks; block = block->next) {
        uint8_t* first = BlockFirstEntry(list, block);
        if (address < first || address >= first + span) {
            continue;
        }
        size_t distance = size_t(address - first);
        assert(distance % list->entrySize == 0 && "freed pointer is not the start of an entry");
        if (distance % list->entrySize != 0) {
            return nullptr;
        }
        size_t index = distance / list->entrySize;
        BlockBitmap(block)[index / 8] &= uint8_t(~(0x80u >> (index % 8)));
        if ((list->flags & kFreeListFreeEmptyBlocks) && BlockIsEmpty(list, block)) {
            BlockDestroy(block);
        }
        return list;
    }
    return nullptr;
}

void* FreeListAllocUnpooled(FreeList* list, uint32_t hint)
{
    return MemoryAllocate(list->entrySize, hint);
}

FreeList* FreeListFreeUnpooled(FreeList* list, void* entry)
{
    MemoryFree(entry);
    return list;
}

uint32_t FreeListPurge(FreeList* list)
{
    uint32_t freed = 0;
    // Visit each block once: empty ones are freed, the others move to the
    // front, so after the walk the survivors are in reverse order.
    LinkList visited;
    LinkListInit(&visited);
    while (!LinkListIsEmpty(&list->blocks)) {
        LinkList* block = list->blocks.next;
        if (BlockIsEmpty(list, block)) {
            BlockDestroy(block);
            ++freed;
        } else {
            LinkListRemove(block);
            LinkListAddFront(&visited, block);
        }
    }
    while (!LinkListIsEmpty(&visited)) {
        LinkList* block = visited.prev;
        LinkListRemove(block);
        LinkListAddFront(&list->blocks, block);
    }
    return freed * list->entrySize;
}

uint32_t FreeListPurgeAll()
{
    uint32_t total = 0;
    for (LinkList* link = gModule.allLists.next; link != &gModule.allLists; link = link->next) {
        total += FreeListPurge(LinkListEntry(link, FreeList, globalLink));
    }
    return total;
}

FreeList* FreeListForAllUsed(FreeList* list, FreeListEntryCallback callback, void* data)
{
    LinkList* block = list->blocks.next;
    while (block != &list->blocks) {
        // The callback may free entries, and with them this very block: work
        // on a copy of the bitmap and fetch the next block first.
        auto* bitmap = static_cast<uint8_t*>(MemoryAllocate(list->bitmapBytes, kMemoryHintScratch));
        if (!bitmap) {
            return nullptr;
        }
        std::memcpy(bitmap, BlockBitmap(block), list->bitmapBytes);
        LinkList* next = block->next;
        uint8_t* first = BlockFirstEntry(list, block);
        for (uint32_t i = 0; i < list->entriesPerBlock; ++i) {
            if (bitmap[i / 8] & (0x80u >> (i % 8))) {
                callback(first + size_t(i) * list->entrySize, data);
            }
        }
        MemoryFree(bitmap);
        block = next;
    }
    return list;
}

uint32_t FreeListGetBlockCount(const FreeList* list)
{
    uint32_t count = 0;
    for (const LinkList* block = list->blocks.next; block != &list->blocks; block = block->next) {
        ++count;
    }
    return count;
}
