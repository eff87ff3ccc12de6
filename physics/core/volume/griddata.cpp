#include "physics/core/volume/griddata.h"

#include <cmath>
#include <vector>

#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/nullvolume.h"

using namespace olp;

namespace {

constexpr size_t kFixedBytes = 8 * 4 + 16 * 4;
constexpr size_t kEntryBytes = 10;

/// The counts a block's layout follows from.
struct Counts
{
    uint32_t cells;
    uint32_t slots;
    uint32_t entries;
    uint32_t listLength;
    uint32_t large;
};

uint64_t BlockBytes(const Counts& c)
{
    return kFixedBytes + 4ull * c.slots + kEntryBytes * uint64_t(c.entries) + 4ull * c.listLength +
           4ull * c.large;
}

struct Writer
{
    uint8_t* at;
    void U32(uint32_t v)
    {
        LittleEndianPutU32(at, v);
        at += 4;
    }
    void I16(int16_t v)
    {
        at[0] = uint8_t(uint16_t(v));
        at[1] = uint8_t(uint16_t(v) >> 8);
        at += 2;
    }
    void Float(float v)
    {
        LittleEndianPutFloat(at, v);
        at += 4;
    }
    void Vector(V3d v)
    {
        Float(v.x);
        Float(v.y);
        Float(v.z);
    }
};

/// Reads within the block; callers check the room before each run of fields.
struct Reader
{
    const uint8_t* at;
    uint32_t U32()
    {
        uint32_t v = LittleEndianGetU32(at);
        at += 4;
        return v;
    }
    int16_t I16()
    {
        auto v = static_cast<int16_t>(uint16_t(at[0] | at[1] << 8));
        at += 2;
        return v;
    }
    float Float()
    {
        float v = LittleEndianGetFloat(at);
        at += 4;
        return v;
    }
    V3d Vector()
    {
        V3d v;
        v.x = Float();
        v.y = Float();
        v.z = Float();
        return v;
    }
};

bool Finite(V3d v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool Storable(const OlpVolume* grid, Counts* counts)
{
    const OlpGridHeader* h = OlpGridGetHeader(grid);
    if (h == nullptr || h->visited == nullptr || h->cellCount > kOlpGridDataMaxCells) {
        return false;
    }
    uint64_t listLength = 0;
    for (uint32_t i = 0; i < h->entryCount; ++i) {
        listLength += h->entries[i].count;
    }
    if (listLength > UINT32_MAX) {
        return false;
    }
    *counts = {h->cellCount, h->hashMask + 1, h->entryCount, static_cast<uint32_t>(listLength),
               h->large.count};
    return BlockBytes(*counts) <= UINT32_MAX;
}

} // namespace

OlpGridData* OlpGridGetData(const OlpVolume* grid, OlpGridData* out)
{
    const OlpGridHeader* h = OlpGridGetHeader(grid);
    if (h == nullptr) {
        return nullptr;
    }
    *out = {h, h->cellCount};
    return out;
}

size_t OlpGridDataSize(const OlpVolume* grid)
{
    Counts counts;
    return Storable(grid, &counts) ? static_cast<size_t>(BlockBytes(counts)) : 0;
}

size_t OlpGridPackData(const OlpVolume* grid, uint8_t* out, size_t room)
{
    Counts c;
    if (!Storable(grid, &c) || BlockBytes(c) > room) {
        return 0;
    }
    const OlpGridHeader* h = OlpGridGetHeader(grid);
    auto bytes = static_cast<uint32_t>(BlockBytes(c));
    Writer w = {out};
    w.U32(kOlpGridDataMagic);
    w.U32(bytes);
    w.U32(c.cells);
    w.U32(h->hashMask);
    w.U32(c.entries);
    w.U32(c.listLength);
    w.U32(h->cellLimit);
    w.U32(c.large);
    w.Vector(h->inverseCellSize);
    w.Vector(h->origin);
    w.Vector(h->sphere.centre);
    w.Float(h->sphere.radius);
    w.Vector(h->box.min);
    w.Vector(h->box.max);
    for (uint32_t s = 0; s < c.slots; ++s) {
        w.U32(h->bucketCount != nullptr ? h->bucketCount[s] : 0); // no table when nothing was hashed
    }
    for (uint32_t i = 0; i < c.entries; ++i) {
        const OlpGridEntry& e = h->entries[i];
        w.I16(e.x);
        w.I16(e.y);
        w.I16(e.z);
        w.U32(e.count);
    }
    for (uint32_t i = 0; i < c.entries; ++i) {
        for (uint32_t k = 0; k < h->entries[i].count; ++k) {
            w.U32(h->entries[i].cells[k]);
        }
    }
    for (uint32_t k = 0; k < c.large; ++k) {
        w.U32(h->large.cells[k]);
    }
    return bytes;
}

size_t OlpGridStreamWriteData(const OlpVolume* grid, Stream* stream)
{
    size_t bytes = OlpGridDataSize(grid);
    if (bytes == 0 || stream == nullptr) {
        return bytes;
    }
    auto* block = static_cast<uint8_t*>(MemoryAllocate(bytes, kOlpMemoryHint));
    if (block == nullptr) {
        return 0;
    }
    bool written =
        OlpGridPackData(grid, block, bytes) == bytes && StreamWrite(stream, block, bytes) != nullptr;
    MemoryFree(block);
    return written ? bytes : 0;
}

namespace {

/// Fills the built grid's tables from the block's variable part; false on a
/// malformed block. The counts were checked against the block's bytes.
bool ReadTables(OlpGridHeader* h, const Counts& c, Reader& r)
{
    h->bucketStart = static_cast<uint32_t*>(MemoryAllocateZeroed(c.slots, sizeof(uint32_t), kOlpMemoryHint));
    h->bucketCount = static_cast<uint32_t*>(MemoryAllocateZeroed(c.slots, sizeof(uint32_t), kOlpMemoryHint));
    h->entries = static_cast<OlpGridEntry*>(
        MemoryAllocateZeroed(size_t(c.entries) + 1, sizeof(OlpGridEntry), kOlpMemoryHint));
    h->lists = static_cast<uint32_t*>(
        MemoryAllocateZeroed(size_t(c.listLength) + 1, sizeof(uint32_t), kOlpMemoryHint));
    h->large.cells =
        static_cast<uint32_t*>(MemoryAllocateZeroed(size_t(c.large) + 1, sizeof(uint32_t), kOlpMemoryHint));
    h->visited = static_cast<uint32_t*>(
        MemoryAllocateZeroed((size_t(c.cells) + 31) / 32 + 1, sizeof(uint32_t), kOlpMemoryHint));
    if (h->bucketStart == nullptr || h->bucketCount == nullptr || h->entries == nullptr ||
        h->lists == nullptr || h->large.cells == nullptr || h->visited == nullptr) {
        return false;
    }
    uint64_t running = 0;
    for (uint32_t s = 0; s < c.slots; ++s) {
        h->bucketStart[s] = static_cast<uint32_t>(running);
        h->bucketCount[s] = r.U32();
        running += h->bucketCount[s];
        if (running > c.entries) {
            return false;
        }
    }
    if (running != c.entries) {
        return false;
    }
    uint64_t offset = 0;
    for (uint32_t i = 0; i < c.entries; ++i) {
        OlpGridEntry& e = h->entries[i];
        e.x = r.I16();
        e.y = r.I16();
        e.z = r.I16();
        e.count = r.U32();
        e.cells = h->lists + offset;
        offset += e.count;
        if (offset > c.listLength) {
            return false;
        }
    }
    if (offset != c.listLength) {
        return false;
    }
    // Every entry must sit in its own slot, or queries would never find it.
    for (uint32_t s = 0; s < c.slots; ++s) {
        for (uint32_t i = h->bucketStart[s], end = i + h->bucketCount[s]; i < end; ++i) {
            const OlpGridEntry& e = h->entries[i];
            if ((OlpGridHash(e.x, e.y, e.z) & h->hashMask) != s) {
                return false;
            }
        }
    }
    for (uint64_t k = 0; k < c.listLength; ++k) {
        h->lists[k] = r.U32();
        if (h->lists[k] >= c.cells) {
            return false;
        }
    }
    for (uint32_t k = 0; k < c.large; ++k) {
        h->large.cells[k] = r.U32();
        if (h->large.cells[k] >= c.cells) {
            return false;
        }
    }
    h->large.count = c.large;
    h->entryCount = c.entries;
    return true;
}

} // namespace

OlpVolume* OlpGridInitFromData(OlpVolume* volume, const uint8_t* block, size_t size)
{
    OlpNullInit(volume);
    if (block == nullptr || size < kFixedBytes) {
        return nullptr;
    }
    Reader r = {block};
    if (r.U32() != kOlpGridDataMagic) {
        return nullptr;
    }
    uint32_t bytes = r.U32();
    Counts c;
    c.cells = r.U32();
    uint32_t hashMask = r.U32();
    c.slots = hashMask + 1;
    c.entries = r.U32();
    c.listLength = r.U32();
    uint32_t cellLimit = r.U32();
    c.large = r.U32();
    // The table is a power of two of at least 256 slots; every count must fit
    // the bytes the block says it has, and those must be present.
    if (c.cells > kOlpGridDataMaxCells || c.slots < 256 || c.slots > kOlpGridDataMaxSlots ||
        (c.slots & hashMask) != 0 || bytes > size || BlockBytes(c) != bytes ||
        (cellLimit == 0 && (c.entries != 0 || c.listLength != 0))) {
        return nullptr;
    }
    V3d inverse = r.Vector();
    V3d origin = r.Vector();
    OlpSphere sphere;
    sphere.centre = r.Vector();
    sphere.radius = r.Float();
    OlpBBox box{};
    box.min = r.Vector();
    box.max = r.Vector();
    V3d cellSize = {1.0f / inverse.x, 1.0f / inverse.y, 1.0f / inverse.z};
    if (!Finite(inverse) || !(inverse.x > 0.0f && inverse.y > 0.0f && inverse.z > 0.0f) ||
        !Finite(cellSize) || !Finite(origin) || !Finite(sphere.centre) ||
        !(sphere.radius >= 0.0f && std::isfinite(sphere.radius)) || !Finite(box.min) || !Finite(box.max) ||
        !(box.min.x <= box.max.x && box.min.y <= box.max.y && box.min.z <= box.max.z)) {
        return nullptr;
    }
    // A built grid spans at most 16 bits of grid cells per axis.
    V3d span = box.max - box.min;
    if (!(span.x * inverse.x <= 65536.0f && span.y * inverse.y <= 65536.0f &&
          span.z * inverse.z <= 65536.0f)) {
        return nullptr;
    }
    if (OlpGridInit(volume, c.cells) == nullptr) {
        return nullptr;
    }
    OlpGridHeader* h = OlpGridGetHeader(volume);
    h->inverseCellSize = inverse;
    h->origin = origin;
    h->sphere = sphere;
    h->box = box;
    h->hashMask = hashMask;
    h->cellLimit = cellLimit;
    if (!ReadTables(h, c, r)) {
        OlpVolumeDestroyContents(volume);
        OlpNullInit(volume);
        return nullptr;
    }
    return volume;
}
