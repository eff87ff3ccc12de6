// Vertex storage: shared static buffers per stride with free-range
// bookkeeping, dynamic buffers with their owners, and the four rotating
// dynamic slots that per-frame geometry is appended to.

#include <cassert>
#include <initializer_list>

#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/driverstate.h"

struct D3D9StaticRange
{
    uint32_t offset;
    uint32_t size;
    IDirect3DVertexBuffer9* buffer;
    D3D9StaticRange* next;
    D3D9StaticRange* previous;
};

struct D3D9BufferNode
{
    IDirect3DVertexBuffer9* buffer;
    D3D9BufferNode* next;
};

struct D3D9StaticSet
{
    uint32_t stride;
    D3D9StaticRange* ranges;
    D3D9BufferNode* buffers;
    D3D9StaticSet* next;
};

struct D3D9DynamicEntry
{
    uint32_t size;
    uint32_t inUse;
    IDirect3DVertexBuffer9* buffer;
    IDirect3DVertexBuffer9** owner;
    D3D9DynamicEntry* next;
};

namespace {

constexpr uint32_t kListHint = 0x40411;
constexpr uint32_t kNodeHint = 0x30411;
constexpr DWORD kDynamicUsage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;

D3D9DriverState& S()
{
    return D3D9State();
}

void LinkRange(D3D9StaticSet* set, D3D9StaticRange* range)
{
    range->previous = nullptr;
    range->next = set->ranges;
    if (set->ranges) {
        set->ranges->previous = range;
    }
    set->ranges = range;
}

void UnlinkRange(D3D9StaticSet* set, D3D9StaticRange* range)
{
    if (range->previous) {
        range->previous->next = range->next;
    } else {
        set->ranges = range->next;
    }
    if (range->next) {
        range->next->previous = range->previous;
    }
    MemoryFreeListFree(S().rangeList, range);
}

D3D9StaticSet* FindSet(uint32_t stride)
{
    for (D3D9StaticSet* set = S().staticSets; set; set = set->next) {
        if (set->stride == stride) {
            return set;
        }
    }
    return nullptr;
}

/// Makes a dynamic vertex buffer for an entry; false leaves it without one.
bool CreateDynamicBuffer(D3D9DynamicEntry* entry, uint32_t size)
{
    const D3DPOOL pool = D3D9HardwareVertexProcessing() ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
    entry->buffer = nullptr;
    if (FAILED(S().device->CreateVertexBuffer(size, kDynamicUsage, 0, pool, &entry->buffer, nullptr))) {
        entry->buffer = nullptr;
        return false;
    }
    entry->size = size;
    return true;
}

bool CreateSlots()
{
    D3D9DriverState& s = S();
    s.currentSlot = 0;
    const uint32_t slots = D3D9HardwareVertexProcessing() ? kD3D9DynamicSlots : 1;
    for (uint32_t i = 0; i < kD3D9DynamicSlots; ++i) {
        D3D9DynamicSlot& slot = s.slots[i];
        slot = {nullptr, 0, 0, nullptr};
        if (i >= slots) {
            continue;
        }
        if (!D3D9DynamicVertexBufferCreate(kD3D9DynamicSlotSize, &slot.buffer)) {
            return false;
        }
        slot.size = kD3D9DynamicSlotSize;
        for (D3D9DynamicEntry* entry = s.dynamicEntries; entry; entry = entry->next) {
            if (entry->owner == &slot.buffer) {
                slot.entry = entry;
            }
        }
    }
    return true;
}

void EmptySlots()
{
    D3D9DriverState& s = S();
    s.currentSlot = 0;
    for (D3D9DynamicSlot& slot : s.slots) {
        if (slot.entry) {
            slot.entry->inUse = 0;
            slot.entry->owner = nullptr;
        }
        slot = {nullptr, 0, 0, nullptr};
    }
}

} // namespace

int32_t D3D9VertexBufferCreateSpace(uint32_t stride, uint32_t size, IDirect3DVertexBuffer9** buffer,
                                    uint32_t* offset)
{
    assert(stride > 0);
    D3D9DriverState& s = S();
    D3D9StaticSet* set = FindSet(stride);
    if (!set) {
        set = static_cast<D3D9StaticSet*>(MemoryFreeListAlloc(s.setList, kNodeHint));
        if (!set) {
            return 0;
        }
        *set = {stride, nullptr, nullptr, s.staticSets};
        s.staticSets = set;
    }
    D3D9StaticRange* range = set->ranges;
    while (range && range->size < size) {
        range = range->next;
    }
    if (!range) {
        range = static_cast<D3D9StaticRange*>(MemoryFreeListAlloc(s.rangeList, kNodeHint));
        auto* node = static_cast<D3D9BufferNode*>(MemoryFreeListAlloc(s.bufferNodeList, kNodeHint));
        if (!range || !node) {
            MemoryFreeListFree(s.rangeList, range);
            MemoryFreeListFree(s.bufferNodeList, node);
            return 0;
        }
        const uint32_t rounded = (s.staticBufferSize + stride - 1) / stride * stride;
        const uint32_t bytes = size >= rounded ? size : rounded;
        IDirect3DVertexBuffer9* created = nullptr;
        if (FAILED(s.device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &created,
                                                nullptr))) {
            MemoryFreeListFree(s.rangeList, range);
            MemoryFreeListFree(s.bufferNodeList, node);
            return 0;
        }
        *range = {0, bytes, created, nullptr, nullptr};
        LinkRange(set, range);
        *node = {created, set->buffers};
        set->buffers = node;
    }
    *buffer = range->buffer;
    *offset = range->offset;
    range->offset += size;
    range->size -= size;
    if (range->size == 0) {
        UnlinkRange(set, range);
    }
    return 1;
}

void D3D9VertexBufferFreeSpace(uint32_t stride, uint32_t size, IDirect3DVertexBuffer9* buffer,
                               uint32_t offset)
{
    D3D9StaticSet* set = FindSet(stride);
    if (!set) {
        return;
    }
    D3D9StaticRange* merged = nullptr;
    for (D3D9StaticRange* range = set->ranges; range; range = range->next) {
        if (range->buffer != buffer) {
            continue;
        }
        if (range->offset + range->size == offset) {
            range->size += size;
            merged = range;
            break;
        }
        if (offset + size == range->offset) {
            range->offset = offset;
            range->size += size;
            merged = range;
            break;
        }
    }
    if (!merged) {
        auto* range = static_cast<D3D9StaticRange*>(MemoryFreeListAlloc(S().rangeList, kNodeHint));
        if (range) {
            *range = {offset, size, buffer, nullptr, nullptr};
            LinkRange(set, range);
        }
        return;
    }
    // A second neighbour on the other side joins the merged range.
    for (D3D9StaticRange* range = set->ranges; range; range = range->next) {
        if (range == merged || range->buffer != buffer) {
            continue;
        }
        if (range->offset + range->size == merged->offset) {
            merged->offset = range->offset;
            merged->size += range->size;
            UnlinkRange(set, range);
            break;
        }
        if (merged->offset + merged->size == range->offset) {
            merged->size += range->size;
            UnlinkRange(set, range);
            break;
        }
    }
}

void D3D9SetStaticVertexBufferSize(uint32_t bytes)
{
    S().staticBufferSize = bytes;
}

int32_t D3D9DynamicVertexBufferCreate(uint32_t size, IDirect3DVertexBuffer9** owner)
{
    D3D9DriverState& s = S();
    D3D9DynamicEntry* largest = nullptr;
    for (D3D9DynamicEntry* entry = s.dynamicEntries; entry; entry = entry->next) {
        if (entry->inUse) {
            continue;
        }
        if (entry->size == size && entry->buffer) {
            entry->inUse = 1;
            entry->owner = owner;
            *owner = entry->buffer;
            return 1;
        }
        if (!largest || entry->size > largest->size) {
            largest = entry;
        }
    }
    D3D9DynamicEntry* entry = largest;
    if (entry) {
        if (entry->buffer) {
            entry->buffer->Release();
            entry->buffer = nullptr;
        }
    } else {
        entry = static_cast<D3D9DynamicEntry*>(MemoryFreeListAlloc(s.dynamicList, kNodeHint));
        if (!entry) {
            return 0;
        }
        *entry = {0, 0, nullptr, nullptr, s.dynamicEntries};
        s.dynamicEntries = entry;
    }
    if (!CreateDynamicBuffer(entry, size)) {
        entry->size = 0;
        return 0;
    }
    entry->inUse = 1;
    entry->owner = owner;
    *owner = entry->buffer;
    return 1;
}

void D3D9DynamicVertexBufferDestroy(IDirect3DVertexBuffer9* buffer)
{
    for (D3D9DynamicEntry* entry = S().dynamicEntries; entry; entry = entry->next) {
        if (entry->buffer == buffer) {
            entry->inUse = 0;
            entry->owner = nullptr;
            return;
        }
    }
}

int32_t D3D9DynamicVertexBufferLock(uint32_t stride, uint32_t count, IDirect3DVertexBuffer9** buffer,
                                    void** data, uint32_t* firstVertex)
{
    assert(stride > 0);
    D3D9DriverState& s = S();
    const uint32_t bytes = stride * count;
    uint32_t offset = 0;
    if (D3D9HardwareVertexProcessing()) {
        auto fits = [&](uint32_t index, uint32_t* at) {
            const D3D9DynamicSlot& slot = s.slots[index];
            const uint32_t rounded = (slot.used + stride - 1) / stride * stride;
            *at = rounded;
            return rounded + bytes <= slot.size;
        };
        if (!fits(s.currentSlot, &offset)) {
            bool found = false;
            for (uint32_t i = 0; i < kD3D9DynamicSlots && !found; ++i) {
                if (i != s.currentSlot && fits(i, &offset)) {
                    s.currentSlot = i;
                    found = true;
                }
            }
            if (!found) {
                s.currentSlot = (s.currentSlot + 1) % kD3D9DynamicSlots;
                offset = 0;
            }
        }
    }
    D3D9DynamicSlot& slot = s.slots[s.currentSlot];
    if (bytes > slot.size) {
        if (slot.entry) {
            slot.entry->inUse = 0;
            slot.entry->owner = nullptr;
        }
        slot.entry = nullptr;
        slot.size = 0;
        slot.buffer = nullptr;
        if (!D3D9DynamicVertexBufferCreate(bytes, &slot.buffer)) {
            return 0;
        }
        slot.size = bytes;
        for (D3D9DynamicEntry* entry = s.dynamicEntries; entry; entry = entry->next) {
            if (entry->owner == &slot.buffer) {
                slot.entry = entry;
            }
        }
        offset = 0;
    }
    HRESULT result;
    if (offset > 0) {
        result = slot.buffer->Lock(offset, bytes, data, D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
        slot.used = offset + bytes;
        *firstVertex = offset / stride;
    } else {
        result = slot.buffer->Lock(0, bytes, data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
        slot.used = bytes;
        *firstVertex = 0;
    }
    *buffer = slot.buffer;
    return SUCCEEDED(result) ? 1 : 0;
}

void D3D9DynamicBuffersNewFrame()
{
    D3D9DriverState& s = S();
    for (D3D9DynamicSlot& slot : s.slots) {
        slot.used = 0;
    }
    s.currentSlot = (s.currentSlot + 1) % kD3D9DynamicSlots;
}

void D3D9DynamicBuffersRelease()
{
    EmptySlots();
    if (!D3D9HardwareVertexProcessing()) {
        return; // system-memory buffers survive a reset
    }
    for (D3D9DynamicEntry* entry = S().dynamicEntries; entry; entry = entry->next) {
        if (entry->buffer) {
            entry->buffer->Release();
            entry->buffer = nullptr;
        }
        if (entry->owner) {
            *entry->owner = nullptr;
        }
    }
}

bool D3D9DynamicBuffersRestore()
{
    if (D3D9HardwareVertexProcessing()) {
        for (D3D9DynamicEntry* entry = S().dynamicEntries; entry; entry = entry->next) {
            if (entry->buffer || !entry->inUse) {
                continue;
            }
            if (!CreateDynamicBuffer(entry, entry->size)) {
                return false;
            }
            if (entry->owner) {
                *entry->owner = entry->buffer;
            }
        }
    }
    return CreateSlots();
}

bool D3D9BuffersOpen()
{
    D3D9BuffersClose();
    D3D9DriverState& s = S();
    s.setList = FreeListCreate(sizeof(D3D9StaticSet), 16, 0, 1, nullptr, kListHint);
    s.rangeList = FreeListCreate(sizeof(D3D9StaticRange), 100, 0, 1, nullptr, kListHint);
    s.bufferNodeList = FreeListCreate(sizeof(D3D9BufferNode), 100, 0, 1, nullptr, kListHint);
    s.dynamicList = FreeListCreate(sizeof(D3D9DynamicEntry), 42, 0, 1, nullptr, kListHint);
    if (!s.setList || !s.rangeList || !s.bufferNodeList || !s.dynamicList) {
        D3D9BuffersClose();
        return false;
    }
    return CreateSlots();
}

void D3D9BuffersClose()
{
    D3D9DriverState& s = S();
    EmptySlots();
    while (D3D9DynamicEntry* entry = s.dynamicEntries) {
        s.dynamicEntries = entry->next;
        if (entry->buffer) {
            entry->buffer->Release();
        }
        if (entry->owner) {
            *entry->owner = nullptr;
        }
        MemoryFreeListFree(s.dynamicList, entry);
    }
    while (D3D9StaticSet* set = s.staticSets) {
        s.staticSets = set->next;
        while (D3D9StaticRange* range = set->ranges) {
            set->ranges = range->next;
            MemoryFreeListFree(s.rangeList, range);
        }
        while (D3D9BufferNode* node = set->buffers) {
            set->buffers = node->next;
            node->buffer->Release();
            MemoryFreeListFree(s.bufferNodeList, node);
        }
        MemoryFreeListFree(s.setList, set);
    }
    for (FreeList** list : {&s.setList, &s.rangeList, &s.bufferNodeList, &s.dynamicList}) {
        if (*list) {
            FreeListDestroy(*list);
            *list = nullptr;
        }
    }
}
