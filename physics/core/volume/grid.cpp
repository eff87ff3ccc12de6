#include "physics/core/volume/grid.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "graphics/core/memory.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/nullvolume.h"

using namespace olp;

namespace {

OlpGridHeader* Header(const OlpVolume* volume)
{
    return static_cast<OlpGridHeader*>(volume->data[0].p);
}

/// Grid coordinate of a value: measured from the origin in cells,
/// truncated toward zero and kept within 16 bits.
int32_t Coordinate(float value, float origin, float inverse)
{
    double cells = (static_cast<double>(value) - origin) * inverse;
    if (!(cells == cells)) {
        return 0;
    }
    cells = std::trunc(std::clamp(cells, -32768.0, 32767.0));
    return static_cast<int32_t>(cells);
}

struct Range
{
    int32_t lo[3];
    int32_t hi[3];
    uint64_t Product() const
    {
        return uint64_t(hi[0] - lo[0] + 1) * uint64_t(hi[1] - lo[1] + 1) * uint64_t(hi[2] - lo[2] + 1);
    }
};

Range RangeOf(const OlpGridHeader* h, const OlpBBox& box)
{
    Range r;
    for (int axis = 0; axis < 3; ++axis) {
        float origin = Component(h->origin, axis);
        float inverse = Component(h->inverseCellSize, axis);
        r.lo[axis] = Coordinate(Component(box.min, axis), origin, inverse);
        r.hi[axis] = std::max(r.lo[axis], Coordinate(Component(box.max, axis), origin, inverse));
    }
    return r;
}

uint64_t Key(int32_t x, int32_t y, int32_t z)
{
    return (uint64_t(uint16_t(x)) << 32) | (uint64_t(uint16_t(y)) << 16) | uint64_t(uint16_t(z));
}

void FreeTables(OlpGridHeader* h)
{
    MemoryFree(h->bucketStart);
    MemoryFree(h->bucketCount);
    MemoryFree(h->entries);
    MemoryFree(h->lists);
    MemoryFree(h->visited);
    MemoryFree(h->large.cells);
    h->bucketStart = h->bucketCount = h->lists = h->visited = nullptr;
    h->entries = nullptr;
    h->large = {};
    h->entryCount = 0;
    h->cellLimit = 0;
}

/// The occupancy estimate for the current cell sizes: the number of
/// (cell, grid cell) pairs to hash, the cell limit that keeps the ten
/// largest cells out when they would dominate, and the per-axis average
/// number of grid cells a cell covers.
struct Estimate
{
    uint64_t total;
    uint64_t limit;
    double average[3];
};

Estimate EstimateOccupancy(const OlpGridHeader* h, const std::vector<OlpBBox>& boxes,
                           const std::vector<char>& has)
{
    struct Kept
    {
        uint64_t product;
        uint64_t cover[3];
    };
    std::vector<Kept> largest;
    Estimate e = {0, 0, {0, 0, 0}};
    uint64_t sums[3] = {0, 0, 0};
    uint64_t counted = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (!has[i]) {
            continue;
        }
        Range r = RangeOf(h, boxes[i]);
        Kept k = {r.Product(),
                  {uint64_t(r.hi[0] - r.lo[0] + 1), uint64_t(r.hi[1] - r.lo[1] + 1),
                   uint64_t(r.hi[2] - r.lo[2] + 1)}};
        e.total += k.product;
        for (int axis = 0; axis < 3; ++axis) {
            sums[axis] += k.cover[axis];
        }
        ++counted;
        largest.push_back(k);
        std::sort(largest.begin(), largest.end(),
                  [](const Kept& a, const Kept& b) { return a.product < b.product; });
        if (largest.size() > 10) {
            largest.erase(largest.begin());
        }
    }
    e.limit = largest.empty() ? 1 : largest.back().product + 1;
    for (size_t i = largest.size(); i-- > 0;) {
        const Kept& k = largest[i];
        if (!(k.product > largest.front().product && 20 * k.product > e.total)) {
            break;
        }
        e.total -= k.product;
        for (int axis = 0; axis < 3; ++axis) {
            sums[axis] -= k.cover[axis];
        }
        e.limit = k.product;
    }
    for (int axis = 0; axis < 3; ++axis) {
        e.average[axis] = counted > 0 ? double(sums[axis]) / double(counted) : 0.0;
    }
    return e;
}

/// The entry of (x, y, z) in its slot, or null.
const OlpGridEntry* Find(const OlpGridHeader* h, int32_t x, int32_t y, int32_t z)
{
    uint32_t slot = OlpGridHash(x, y, z) & h->hashMask;
    for (uint32_t i = h->bucketStart[slot], end = i + h->bucketCount[slot]; i < end; ++i) {
        const OlpGridEntry& e = h->entries[i];
        if (e.x == x && e.y == y && e.z == z) {
            return &e;
        }
    }
    return nullptr;
}

/// Appends the entry's cells whose boxes touch `box` and that are not yet
/// listed; false when the list is full.
bool ListEntry(const OlpGridHeader* h, const OlpGridEntry& entry, const OlpBBox& box, OlpBatchList* list,
               uint32_t* appended)
{
    for (uint32_t i = 0; i < entry.count; ++i) {
        uint32_t cell = entry.cells[i];
        uint32_t& word = h->visited[cell >> 5];
        uint32_t bit = 1u << (cell & 31);
        if ((word & bit) != 0) {
            continue;
        }
        word |= bit;
        const OlpVolume* volume = &h->cells[cell];
        OlpBBox cellBox;
        if (OlpVolumeGetBBox(volume, nullptr, 0, &cellBox) == nullptr || !OlpBBoxOverlap(&cellBox, &box)) {
            continue;
        }
        if (list->count >= list->capacity) {
            return false;
        }
        list->entries[list->count++] = {nullptr, 0, cell, volume, &volume->frame};
        ++*appended;
    }
    return true;
}

} // namespace

uint32_t OlpGridHash(int32_t x, int32_t y, int32_t z)
{
    uint32_t a = static_cast<uint32_t>(x);
    uint32_t b = static_cast<uint32_t>(y);
    uint32_t c = static_cast<uint32_t>(z);
    a -= b;
    a -= c;
    a ^= (c >> 13);
    b -= c;
    b -= a;
    b ^= (a << 8);
    c -= a;
    c -= b;
    c ^= (b >> 13);
    a -= b;
    a -= c;
    a ^= (c >> 12);
    b -= c;
    b -= a;
    b ^= (a << 16);
    c -= a;
    c -= b;
    c ^= (b >> 5);
    a -= b;
    a -= c;
    a ^= (c >> 3);
    b -= c;
    b -= a;
    b ^= (a << 10);
    c -= a;
    c -= b;
    c ^= (b >> 15);
    return c;
}

uint32_t OlpGridBuild(OlpVolume* grid, float minimumCellSize)
{
    OlpGridHeader* h = Header(grid);
    if (h == nullptr) {
        return 0;
    }
    FreeTables(h);
    uint32_t n = h->cellCount;
    // 1. The union box and the cells' extents.
    std::vector<OlpBBox> boxes(n);
    std::vector<char> has(n, 0);
    uint32_t withBox = 0;
    V3d smallest = {kOlpFloatMax, kOlpFloatMax, kOlpFloatMax};
    V3d sum = {0, 0, 0};
    for (uint32_t i = 0; i < n; ++i) {
        if (OlpVolumeGetBBox(&h->cells[i], nullptr, 1, &boxes[i]) == nullptr) {
            continue;
        }
        has[i] = 1;
        V3d extent = boxes[i].max - boxes[i].min;
        if (withBox++ == 0) {
            h->box = boxes[i];
        } else {
            OlpBBoxMerge(&h->box, &h->box, &boxes[i]);
        }
        OlpBBoxMin3(&smallest, &smallest, &extent);
        sum = sum + extent;
    }
    h->visited =
        static_cast<uint32_t*>(MemoryAllocateZeroed((n + 31) / 32 + 1, sizeof(uint32_t), kOlpMemoryHint));
    if (withBox == 0 || h->visited == nullptr) {
        // Nothing to hash: the grid lists nothing, with unit cells.
        h->inverseCellSize = {1.0f, 1.0f, 1.0f};
        return 0;
    }
    h->origin = (h->box.max + h->box.min) * 0.5f;
    OlpSphereFromBBox(&h->sphere, &h->box);
    // 2. Cell sizes; the last term keeps coordinates within 16 bits.
    V3d unionExtent = h->box.max - h->box.min;
    V3d average = sum * (1.0f / static_cast<float>(withBox));
    V3d size;
    for (int axis = 0; axis < 3; ++axis) {
        float s = Component(smallest, axis);
        float candidates[4] = {1.5f * s, 0.5f * (s + Component(average, axis)), minimumCellSize,
                               (s + Component(unionExtent, axis)) * 1.5267176e-05f};
        float chosen = *std::max_element(candidates, candidates + 4);
        SetComponent(size, axis, chosen > 0.0f && std::isfinite(chosen) ? chosen : 1.0f);
    }
    h->inverseCellSize = {1.0f / size.x, 1.0f / size.y, 1.0f / size.z};
    // 3. The occupancy estimate, once more with larger cells where cells
    // cover more than two grid cells along an axis on average.
    Estimate e = EstimateOccupancy(h, boxes, has);
    if (e.average[0] > 2.0 || e.average[1] > 2.0 || e.average[2] > 2.0) {
        for (int axis = 0; axis < 3; ++axis) {
            if (e.average[axis] > 2.0) {
                float widened = 1.5f * std::max(static_cast<float>(e.average[axis]) * Component(size, axis),
                                                Component(average, axis));
                SetComponent(size, axis, widened);
            }
        }
        h->inverseCellSize = {1.0f / size.x, 1.0f / size.y, 1.0f / size.z};
        e = EstimateOccupancy(h, boxes, has);
    }
    // 6. The distinct grid cells of every hashed cell, and the large list.
    std::vector<uint64_t> keys;
    uint32_t largeCount = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (!has[i]) {
            continue;
        }
        Range r = RangeOf(h, boxes[i]);
        if (r.Product() >= e.limit) {
            ++largeCount;
            continue;
        }
        for (int32_t y = r.lo[1]; y <= r.hi[1]; ++y) {
            for (int32_t z = r.lo[2]; z <= r.hi[2]; ++z) {
                for (int32_t x = r.lo[0]; x <= r.hi[0]; ++x) {
                    keys.push_back(Key(x, y, z));
                }
            }
        }
    }
    size_t listLength = keys.size();
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    uint64_t distinct = keys.size();
    // 5. The table: the estimate within 4 n, a power of two of at least 256,
    // then fitted to the distinct count.
    uint64_t wanted = std::min<uint64_t>(e.total, 4ull * n);
    uint64_t table = 256;
    while (table < wanted && table < (1ull << 26)) {
        table <<= 1;
    }
    while (table < distinct && table < (1ull << 26)) {
        table <<= 1;
    }
    while (table > 2 * distinct && table > 256) {
        table >>= 1;
    }
    h->hashMask = static_cast<uint32_t>(table - 1);
    // 7. Entries by slot, then every hashed cell in the lists of its grid cells.
    h->bucketStart = static_cast<uint32_t*>(MemoryAllocateZeroed(table, sizeof(uint32_t), kOlpMemoryHint));
    h->bucketCount = static_cast<uint32_t*>(MemoryAllocateZeroed(table, sizeof(uint32_t), kOlpMemoryHint));
    h->entries =
        static_cast<OlpGridEntry*>(MemoryAllocateZeroed(distinct + 1, sizeof(OlpGridEntry), kOlpMemoryHint));
    h->lists = static_cast<uint32_t*>(MemoryAllocateZeroed(listLength + 1, sizeof(uint32_t), kOlpMemoryHint));
    h->large.cells =
        static_cast<uint32_t*>(MemoryAllocateZeroed(largeCount + 1, sizeof(uint32_t), kOlpMemoryHint));
    if (h->bucketStart == nullptr || h->bucketCount == nullptr || h->entries == nullptr ||
        h->lists == nullptr || h->large.cells == nullptr) {
        FreeTables(h);
        return 0;
    }
    auto unpack = [](uint64_t key, int32_t* x, int32_t* y, int32_t* z) {
        *x = int16_t(uint16_t(key >> 32));
        *y = int16_t(uint16_t(key >> 16));
        *z = int16_t(uint16_t(key));
    };
    std::vector<uint32_t> slots(distinct);
    for (uint64_t i = 0; i < distinct; ++i) {
        int32_t x, y, z;
        unpack(keys[i], &x, &y, &z);
        slots[i] = OlpGridHash(x, y, z) & h->hashMask;
        ++h->bucketCount[slots[i]];
    }
    uint32_t running = 0;
    for (uint64_t s = 0; s < table; ++s) {
        h->bucketStart[s] = running;
        running += h->bucketCount[s];
    }
    std::vector<uint32_t> filled(table, 0);
    for (uint64_t i = 0; i < distinct; ++i) {
        int32_t x, y, z;
        unpack(keys[i], &x, &y, &z);
        OlpGridEntry& entry = h->entries[h->bucketStart[slots[i]] + filled[slots[i]]++];
        entry.x = static_cast<int16_t>(x);
        entry.y = static_cast<int16_t>(y);
        entry.z = static_cast<int16_t>(z);
    }
    h->entryCount = static_cast<uint32_t>(distinct);
    h->cellLimit = static_cast<uint32_t>(std::min<uint64_t>(e.limit, UINT32_MAX));
    // Count each entry's cells, lay the lists out, then fill them.
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < n; ++i) {
            if (!has[i]) {
                continue;
            }
            Range r = RangeOf(h, boxes[i]);
            if (r.Product() >= e.limit) {
                if (pass == 1) {
                    h->large.cells[h->large.count++] = i;
                }
                continue;
            }
            for (int32_t y = r.lo[1]; y <= r.hi[1]; ++y) {
                for (int32_t z = r.lo[2]; z <= r.hi[2]; ++z) {
                    for (int32_t x = r.lo[0]; x <= r.hi[0]; ++x) {
                        auto* entry = const_cast<OlpGridEntry*>(Find(h, x, y, z));
                        if (pass == 0) {
                            ++entry->count;
                        } else {
                            entry->cells[entry->count++] = i;
                        }
                    }
                }
            }
        }
        if (pass == 0) {
            uint32_t offset = 0;
            for (uint32_t i = 0; i < h->entryCount; ++i) {
                h->entries[i].cells = h->lists + offset;
                offset += h->entries[i].count;
                h->entries[i].count = 0;
            }
        }
    }
    return h->entryCount;
}

uint32_t OlpGridQuery(const OlpVolume* grid, const OlpBBox* box, uint32_t, OlpBatchList* list)
{
    const OlpGridHeader* h = Header(grid);
    if (h == nullptr || h->visited == nullptr) {
        return 0;
    }
    OlpMemFill(h->visited, 0, sizeof(uint32_t) * ((h->cellCount + 31) / 32));
    uint32_t appended = 0;
    if (!ListEntry(h, h->large, *box, list, &appended) || h->cellLimit == 0) {
        return appended;
    }
    OlpBBox clipped;
    OlpBBoxIntersect(&clipped, box, &h->box);
    if (!(clipped.min.x <= clipped.max.x && clipped.min.y <= clipped.max.y &&
          clipped.min.z <= clipped.max.z)) {
        return appended;
    }
    Range r = RangeOf(h, clipped);
    for (int32_t y = r.lo[1]; y <= r.hi[1]; ++y) {
        for (int32_t z = r.lo[2]; z <= r.hi[2]; ++z) {
            for (int32_t x = r.lo[0]; x <= r.hi[0]; ++x) {
                const OlpGridEntry* entry = Find(h, x, y, z);
                if (entry != nullptr && !ListEntry(h, *entry, *box, list, &appended)) {
                    return appended;
                }
            }
        }
    }
    return appended;
}

OlpGridQueryFunc OlpGridGetQuery(const OlpVolume* grid)
{
    return reinterpret_cast<OlpGridQueryFunc>(grid->data[1].p);
}

OlpGridHeader* OlpGridGetHeader(const OlpVolume* grid)
{
    return Header(grid);
}

OlpGridHeader* OlpGridAddRef(OlpGridHeader* header)
{
    ++header->refCount;
    return header;
}

int32_t OlpGridRelease(OlpGridHeader* header)
{
    if (header == nullptr || --header->refCount != 0) {
        return 1;
    }
    for (uint32_t i = 0; i < header->cellCount; ++i) {
        OlpVolumeDestroyContents(&header->cells[i]);
    }
    FreeTables(header);
    OlpAlignedFree(header->cells);
    OlpAlignedFree(header);
    return 1;
}

namespace {

int32_t GridDestroy(OlpVolume* volume)
{
    OlpGridRelease(Header(volume));
    volume->data[0].p = nullptr;
    return 1;
}

OlpSphere* GridBoundingSphere(const OlpVolume* volume, OlpSphere* out)
{
    const OlpGridHeader* h = Header(volume);
    if (h == nullptr || h->visited == nullptr) {
        return nullptr;
    }
    *out = h->sphere;
    return out;
}

float GridMass(const OlpVolume* volume, OlpMassProperties* out, V3d* centre)
{
    OlpGridHeader* h = Header(volume);
    if (h == nullptr) {
        OlpMassPropertiesSetEmpty(out, centre);
        return 0.0f;
    }
    if (h->volume < 0.0f) {
        h->volume = OlpVolumeListMassProperties(h->cells, h->cellCount, &h->mass, &h->centre, 0);
    }
    *out = h->mass;
    *centre = h->centre;
    return h->volume;
}

OlpBBox* GridBoundingBox(const OlpVolume* volume, const Matrix* matrix, int32_t, OlpBBox* out)
{
    const OlpGridHeader* h = Header(volume);
    if (h == nullptr || h->visited == nullptr) {
        return nullptr;
    }
    return matrix != nullptr ? OlpBBoxTransform(out, &h->box, matrix) : (*out = h->box, out);
}

V3d* GridSupportPoint(const OlpVolume* volume, const V3d*, V3d* out)
{
    // Not a convex shape: the centre of its box stands in.
    const OlpGridHeader* h = Header(volume);
    *out = h != nullptr ? (h->box.max + h->box.min) * 0.5f : V3d{0.0f, 0.0f, 0.0f};
    return out;
}

OlpSupportFeature* GridSupportFeature(const OlpVolume*, int32_t, const V3d*, OlpSupportFeature*)
{
    return nullptr;
}

int32_t GridSeparatingAxes(const OlpVolume*, const Matrix*, OlpFaceAxis*, V3d*)
{
    return 0;
}

int32_t GridProjection(const OlpVolume*, const V3d*, float*, float*)
{
    return 0;
}

float GridThickness(const OlpVolume* volume)
{
    OlpGridHeader* h = Header(volume);
    if (h == nullptr) {
        return 1e10f;
    }
    if (h->thickness < 0.0f) {
        float thinnest = 1e10f;
        for (uint32_t i = 0; i < h->cellCount; ++i) {
            const OlpVolume* cell = &h->cells[i];
            thinnest = std::min(thinnest, cell->descriptor->getCoreThickness(cell) + 2.0f * cell->margin);
        }
        h->thickness = thinnest;
    }
    return h->thickness;
}

int32_t GridLineIntersect(const OlpVolume* volume, const V3d*, const V3d*, OlpLineResult* out)
{
    out->volume = volume;
    return 0;
}

} // namespace

const OlpVolumeDescriptor kOlpGridDescriptor = {
    kOlpTypeGrid,
    GridDestroy,
    GridBoundingSphere,
    GridMass,
    GridBoundingBox,
    GridSupportPoint,
    GridSupportFeature,
    GridSeparatingAxes,
    GridProjection,
    GridThickness,
    GridLineIntersect,
    nullptr,
    nullptr,
    "OlpGrid",
    0,
    2,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    kOlpAxisCountNone,
    0x09,
};

OlpVolume* OlpGridInit(OlpVolume* volume, uint32_t cellCount)
{
    OlpNullInit(volume);
    auto* header = static_cast<OlpGridHeader*>(OlpAlignedAlloc(sizeof(OlpGridHeader), 16, kOlpMemoryHint));
    if (header == nullptr) {
        return nullptr;
    }
    OlpMemFill(header, 0, sizeof(OlpGridHeader));
    size_t bytes = sizeof(OlpVolume) * size_t(cellCount);
    header->cells = static_cast<OlpVolume*>(OlpAlignedAlloc(bytes, 16, kOlpMemoryHint));
    if (header->cells == nullptr) {
        OlpAlignedFree(header);
        return nullptr;
    }
    OlpMemFill(header->cells, 0, bytes);
    for (uint32_t i = 0; i < cellCount; ++i) {
        OlpNullInit(&header->cells[i]);
    }
    header->cellCount = cellCount;
    header->hashMask = 255;
    header->refCount = 1;
    header->thickness = -1.0f;
    header->volume = -1.0f;
    OlpVolumeInit(volume, &kOlpGridDescriptor);
    volume->data[0].p = header;
    volume->data[1].p = reinterpret_cast<void*>(&OlpGridQuery);
    volume->data[2].p = nullptr;
    return volume;
}

OlpVolume* OlpGridCreate(uint32_t cellCount)
{
    OlpVolume* volume = OlpVolumeAllocate();
    if (volume == nullptr) {
        return nullptr;
    }
    if (OlpGridInit(volume, cellCount) == nullptr) {
        OlpAlignedFree(volume);
        return nullptr;
    }
    return volume;
}

OlpVolume* OlpGridGetCell(OlpVolume* grid, uint32_t i)
{
    OlpGridHeader* h = Header(grid);
    return h != nullptr && i < h->cellCount ? &h->cells[i] : nullptr;
}

uint32_t OlpGridGetCellCount(const OlpVolume* grid)
{
    const OlpGridHeader* h = Header(grid);
    return h != nullptr ? h->cellCount : 0;
}
