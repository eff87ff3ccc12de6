#include "physics/core/farfield/farfield.h"

#include <algorithm>
#include <array>
#include <bit>

#include "physics/core/utils/vec3.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

using namespace olp;

namespace {

constexpr uint32_t kMaxLinks = 65534;

size_t Align16(size_t value)
{
    return (value + 15) / 16 * 16;
}

uint32_t NodeCount(uint32_t objects)
{
    return std::max<uint32_t>(408, static_cast<uint32_t>(uint64_t(objects) * 408 / 1023));
}

// --- Pair lists ---

void Unlink(OlpPairNode* nodes, uint16_t n)
{
    nodes[nodes[n].previous].next = nodes[n].next;
    nodes[nodes[n].next].previous = nodes[n].previous;
}

void LinkAfterHead(OlpPairNode* nodes, uint16_t head, uint16_t n)
{
    nodes[n].previous = head;
    nodes[n].next = nodes[head].next;
    nodes[nodes[head].next].previous = n;
    nodes[head].next = n;
}

void FreeNode(OlpPairLists* pairs, uint16_t n)
{
    pairs->nodes[n].next = pairs->freeHead;
    pairs->freeHead = n;
}

/// Two free nodes become the pair (a, b); no room drops it. The caller
/// adds each pair once: an insert starts with `a` holding no pair (a
/// removed or new object has none) and its walk meets every other entry at
/// most once.
void AddPair(OlpPairLists* pairs, uint32_t a, uint32_t b)
{
    uint16_t first = pairs->freeHead;
    if (first == kOlpFarfieldNone || pairs->nodes[first].next == kOlpFarfieldNone) {
        return;
    }
    uint16_t second = pairs->nodes[first].next;
    pairs->freeHead = pairs->nodes[second].next;
    OlpPairNode* nodes = pairs->nodes;
    nodes[first].other = static_cast<uint16_t>(b);
    nodes[first].partner = second;
    nodes[second].other = static_cast<uint16_t>(a);
    nodes[second].partner = first;
    LinkAfterHead(nodes, static_cast<uint16_t>(a), first);
    LinkAfterHead(nodes, static_cast<uint16_t>(b), second);
}

void RemovePairs(OlpPairLists* pairs, uint32_t id)
{
    OlpPairNode* nodes = pairs->nodes;
    while (nodes[id].next != id) {
        uint16_t n = nodes[id].next;
        uint16_t partner = nodes[n].partner;
        Unlink(nodes, partner);
        FreeNode(pairs, partner);
        Unlink(nodes, n);
        FreeNode(pairs, n);
    }
}

// --- Octree geometry ---

// Four float lanes (x, y, z and an unused one): one SSE register where
// there is SSE, else plain floats with the same arithmetic per lane.
#if defined(__SSE2__) || defined(_M_X64)
using Lanes = __m128;

/// A corner of an OlpBBox as lanes: the corner's pad, inside the box, is
/// the fourth lane, which nothing reads.
Lanes LoadLanes(const V3d& v)
{
    return _mm_loadu_ps(&v.x);
}
Lanes Add(Lanes a, Lanes b)
{
    return _mm_add_ps(a, b);
}
Lanes Scale(Lanes a, float s)
{
    return _mm_mul_ps(a, _mm_set1_ps(s));
}
/// Bit k set when lane k of a <= lane k of b, for k < 3.
uint32_t LessEqualBits(Lanes a, Lanes b)
{
    return static_cast<uint32_t>(_mm_movemask_ps(_mm_cmple_ps(a, b))) & 7u;
}
uint32_t LessBits(Lanes a, Lanes b)
{
    return static_cast<uint32_t>(_mm_movemask_ps(_mm_cmplt_ps(a, b))) & 7u;
}
/// Lane k from `ifSet` where bit k of `bits` is set, else from `ifClear`.
Lanes Select(uint32_t bits, Lanes ifSet, Lanes ifClear)
{
    const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
    __m128 set =
        _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), lane), lane));
    return _mm_or_ps(_mm_and_ps(set, ifSet), _mm_andnot_ps(set, ifClear));
}
V3d StoreLanes(Lanes a)
{
    alignas(16) float f[4];
    _mm_store_ps(f, a);
    return {f[0], f[1], f[2]};
}
#else
struct Lanes
{
    float v[3];
};

Lanes LoadLanes(const V3d& v)
{
    return {{v.x, v.y, v.z}};
}
Lanes Add(Lanes a, Lanes b)
{
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2]}};
}
Lanes Scale(Lanes a, float s)
{
    return {{a.v[0] * s, a.v[1] * s, a.v[2] * s}};
}
uint32_t LessEqualBits(Lanes a, Lanes b)
{
    return (a.v[0] <= b.v[0] ? 1u : 0u) | (a.v[1] <= b.v[1] ? 2u : 0u) | (a.v[2] <= b.v[2] ? 4u : 0u);
}
uint32_t LessBits(Lanes a, Lanes b)
{
    return (a.v[0] < b.v[0] ? 1u : 0u) | (a.v[1] < b.v[1] ? 2u : 0u) | (a.v[2] < b.v[2] ? 4u : 0u);
}
Lanes Select(uint32_t bits, Lanes ifSet, Lanes ifClear)
{
    Lanes out;
    for (int axis = 0; axis < 3; ++axis) {
        out.v[axis] = ((bits >> axis) & 1u) != 0 ? ifSet.v[axis] : ifClear.v[axis];
    }
    return out;
}
V3d StoreLanes(Lanes a)
{
    return {a.v[0], a.v[1], a.v[2]};
}
#endif

/// A node's region with the inner ends of its loose halves on each axis:
/// the lower half reaches up to 0.4 lo + 0.6 hi, the upper one down to
/// 0.6 lo + 0.4 hi. A walk works them out once per node.
struct Region
{
    Lanes lo, hi;
    Lanes lowerTop;
    Lanes upperBottom;
};

Region MakeRegion(Lanes lo, Lanes hi)
{
    return {lo, hi, Add(Scale(lo, 0.4f), Scale(hi, 0.6f)), Add(Scale(lo, 0.6f), Scale(hi, 0.4f))};
}

Region MakeRegion(const OlpBBox& box)
{
    return MakeRegion(LoadLanes(box.min), LoadLanes(box.max));
}

/// The loose cell of `octant` (bit k: the upper half on axis k).
Region LooseCell(const Region& region, uint32_t octant)
{
    return MakeRegion(Select(octant, region.upperBottom, region.lo),
                      Select(octant, region.hi, region.lowerTop));
}

OlpBBox TightCell(const Region& region, uint32_t octant)
{
    OlpBBox cell{};
    cell.min = StoreLanes(region.lo);
    cell.max = StoreLanes(region.hi);
    V3d middle = (cell.min + cell.max) * 0.5f;
    for (int axis = 0; axis < 3; ++axis) {
        if (((octant >> axis) & 1) != 0) {
            SetComponent(cell.min, axis, Component(middle, axis));
        } else {
            SetComponent(cell.max, axis, Component(middle, axis));
        }
    }
    return cell;
}

/// The octants a box reaches, by which halves it reaches on each axis:
/// entry lower | upper << 3 holds bit k for octant k.
constexpr auto kOctantMasks = [] {
    constexpr uint32_t kUpper[3] = {170, 204, 240};
    constexpr uint32_t kLower[3] = {85, 51, 15};
    std::array<uint8_t, 64> masks{};
    for (uint32_t halves = 0; halves < 64; ++halves) {
        uint32_t mask = 255;
        for (uint32_t axis = 0; axis < 3; ++axis) {
            uint32_t axisMask = ((halves >> axis) & 1u) != 0 ? kLower[axis] : 0u;
            axisMask |= ((halves >> (axis + 3)) & 1u) != 0 ? kUpper[axis] : 0u;
            mask &= axisMask;
        }
        masks[halves] = static_cast<uint8_t>(mask);
    }
    return masks;
}();

/// Octants whose loose cells the box overlaps (bit k for octant k).
uint32_t OctantMask(const Region& region, Lanes boxMin, Lanes boxMax)
{
    uint32_t lower = LessEqualBits(boxMin, region.lowerTop);
    uint32_t upper = LessEqualBits(region.upperBottom, boxMax);
    return kOctantMasks[lower | upper << 3];
}

/// The single octant whose loose cell wholly holds the box, or -1. A box in
/// the overlap band of an axis goes to the side of its centre.
int ContainingOctant(const Region& region, const OlpBBox& box)
{
    Lanes bmin = LoadLanes(box.min);
    Lanes bmax = LoadLanes(box.max);
    uint32_t inLower = LessEqualBits(region.lo, bmin) & LessEqualBits(bmax, region.lowerTop);
    uint32_t inUpper = LessEqualBits(region.upperBottom, bmin) & LessEqualBits(bmax, region.hi);
    if ((inLower | inUpper) != 7u) {
        return -1;
    }
    uint32_t both = inLower & inUpper;
    uint32_t centreLower = LessBits(Scale(Add(bmin, bmax), 0.5f), Scale(Add(region.lo, region.hi), 0.5f));
    uint32_t lower = (inLower & ~both) | (both & centreLower);
    return static_cast<int>(~lower & 7u);
}

/// OlpBBoxOverlap of the box from qMin to qMax and `b`, here where the
/// walk can have it inline.
bool Overlap(Lanes qMin, Lanes qMax, const OlpBBox& b)
{
    return (LessEqualBits(qMin, LoadLanes(b.max)) & LessEqualBits(LoadLanes(b.min), qMax)) == 7u;
}

bool Overlap(const OlpBBox& a, const OlpBBox& b)
{
    return Overlap(LoadLanes(a.min), LoadLanes(a.max), b);
}

/// A bound that holds nothing: it overlaps no box.
OlpBBox EmptyBound()
{
    constexpr float kHuge = 3.4028235e38f;
    OlpBBox b{};
    b.min = {kHuge, kHuge, kHuge};
    b.max = {-kHuge, -kHuge, -kHuge};
    return b;
}

/// Grows `bound` to hold `box`.
void Hold(OlpBBox& bound, const OlpBBox& box)
{
    bound.min = {std::min(bound.min.x, box.min.x), std::min(bound.min.y, box.min.y),
                 std::min(bound.min.z, box.min.z)};
    bound.max = {std::max(bound.max.x, box.max.x), std::max(bound.max.y, box.max.y),
                 std::max(bound.max.z, box.max.z)};
}

OlpBBox& CellBound(OlpFarfield* t, uint16_t node, int octant)
{
    return t->cellBounds[size_t{node} * 8 + static_cast<size_t>(octant)];
}

/// Builds every bound again from the entries: each entry's box goes into
/// its list cell's bound and into the bounds of its node and the node's
/// ancestors.
void BuildBounds(OlpFarfield* t)
{
    // Nodes are taken from the front of the free list, which runs in index
    // order, and never given back: the nodes before its head are all that
    // were ever used, and a node taken later gets its bounds when it is.
    const uint32_t used = t->nodeFreeHead == kOlpFarfieldNone ? t->nodeCount : t->nodeFreeHead;
    for (uint32_t n = 0; n < used; ++n) {
        t->nodeBounds[n] = EmptyBound();
        for (int octant = 0; octant < 8; ++octant) {
            CellBound(t, static_cast<uint16_t>(n), octant) = EmptyBound();
        }
    }
    for (uint32_t id = 0; id < t->objectCount; ++id) {
        if (!t->inserted[id]) {
            continue;
        }
        const OlpBBox& box = t->boxes[id];
        uint16_t node = t->locationNode[id];
        if (t->locationOctant[id] != kOlpFarfieldNodeList) {
            Hold(CellBound(t, node, t->locationOctant[id]), box);
        }
        for (; node != kOlpFarfieldNone; node = t->nodes[node].parent) {
            Hold(t->nodeBounds[node], box);
        }
    }
    t->staleRemovals = 0;
}

bool Contains(const OlpBBox& outer, const OlpBBox& inner)
{
    return OlpBBoxContains(&outer, &inner);
}

bool Excluded(const OlpFarfield* t, uint32_t a, uint32_t b)
{
    if (t->exclusion == nullptr) {
        return false;
    }
    uint32_t ga = t->groups[a];
    uint32_t gb = t->groups[b];
    uint32_t columns = t->exclusion->columns;
    return OlpBitMatrixGetBit(t->exclusion, ga + gb * columns) ||
           OlpBitMatrixGetBit(t->exclusion, gb + ga * columns);
}

/// Calls `visit(id)` for every entry in the lists the box (boxMin to
/// boxMax) can reach whose bound it overlaps; `node`'s own bound overlaps
/// it.
template <typename Visit>
void Walk(const OlpFarfield* t, uint16_t node, const Region& region, Lanes boxMin, Lanes boxMax, Visit& visit)
{
    const OlpFarfieldNode& n = t->nodes[node];
    const OlpBBox* cellBounds = t->cellBounds + size_t{node} * 8;
    for (uint16_t e = n.listHead; e != kOlpFarfieldNone; e = t->entryNext[e]) {
        visit(e);
    }
    // The reached octants in ascending order.
    for (uint32_t mask = OctantMask(region, boxMin, boxMax); mask != 0; mask &= mask - 1) {
        const uint32_t octant = static_cast<uint32_t>(std::countr_zero(mask));
        const OlpFarfieldCell& cell = n.cells[octant];
        if (cell.link == kOlpFarfieldNone) {
            continue;
        }
        if (cell.isList) {
            if (Overlap(boxMin, boxMax, cellBounds[octant])) {
                for (uint16_t e = cell.link; e != kOlpFarfieldNone; e = t->entryNext[e]) {
                    visit(e);
                }
            }
        } else if (Overlap(boxMin, boxMax, t->nodeBounds[cell.link])) {
            Walk(t, cell.link, LooseCell(region, octant), boxMin, boxMax, visit);
        }
    }
}

OlpFarfieldCell FreshCell()
{
    return {kOlpFarfieldNone, 1, 0};
}

/// Files `id` under `node` (whose region is given), splitting a crowded
/// cell into a child node while nodes last.
void File(OlpFarfield* t, uint16_t node, Region region, uint16_t id)
{
    const OlpBBox& box = t->boxes[id];
    for (;;) {
        OlpFarfieldNode& n = t->nodes[node];
        Hold(t->nodeBounds[node], box);
        int octant = ContainingOctant(region, box);
        if (octant < 0) {
            t->entryNext[id] = n.listHead;
            n.listHead = id;
            t->entryMarked[id] = 0;
            t->locationNode[id] = node;
            t->locationOctant[id] = kOlpFarfieldNodeList;
            return;
        }
        OlpFarfieldCell& cell = n.cells[octant];
        if (!cell.isList) {
            region = LooseCell(region, static_cast<uint32_t>(octant));
            node = cell.link;
            continue;
        }
        t->entryNext[id] = cell.link;
        cell.link = id;
        Hold(CellBound(t, node, octant), box);
        t->locationNode[id] = node;
        t->locationOctant[id] = static_cast<uint8_t>(octant);
        t->entryMarked[id] = Contains(TightCell(region, static_cast<uint32_t>(octant)), box) ? 1 : 0;
        if (t->entryMarked[id] && cell.count < 31) {
            ++cell.count;
        }
        if (cell.count < 4 || t->nodeFreeHead == kOlpFarfieldNone) {
            return;
        }
        // Split: the cell becomes a child node; marked entries move into
        // its cells, the others into its own list.
        uint16_t child = t->nodeFreeHead;
        t->nodeFreeHead = t->nodes[child].nextFree;
        OlpFarfieldNode& c = t->nodes[child];
        c.listHead = kOlpFarfieldNone;
        c.parent = node;
        c.octant = static_cast<uint8_t>(octant);
        c.nextFree = kOlpFarfieldNone;
        for (OlpFarfieldCell& fresh : c.cells) {
            fresh = FreshCell();
        }
        t->nodeBounds[child] = CellBound(t, node, octant);
        for (int sub = 0; sub < 8; ++sub) {
            CellBound(t, child, sub) = EmptyBound();
        }
        uint16_t moving = cell.link;
        cell = {child, 0, 0};
        Region childRegion = LooseCell(region, static_cast<uint32_t>(octant));
        while (moving != kOlpFarfieldNone) {
            uint16_t next = t->entryNext[moving];
            if (t->entryMarked[moving]) {
                // A marked entry fits the tight cell, so one level down it
                // is filed without further splitting.
                const OlpBBox& b = t->boxes[moving];
                int sub = ContainingOctant(childRegion, b);
                if (sub < 0) {
                    t->entryNext[moving] = c.listHead;
                    c.listHead = moving;
                    t->entryMarked[moving] = 0;
                    t->locationOctant[moving] = kOlpFarfieldNodeList;
                } else {
                    OlpFarfieldCell& into = c.cells[sub];
                    t->entryNext[moving] = into.link;
                    into.link = moving;
                    Hold(CellBound(t, child, sub), b);
                    t->locationOctant[moving] = static_cast<uint8_t>(sub);
                    t->entryMarked[moving] =
                        Contains(TightCell(childRegion, static_cast<uint32_t>(sub)), b) ? 1 : 0;
                    if (t->entryMarked[moving] && into.count < 31) {
                        ++into.count;
                    }
                }
            } else {
                t->entryNext[moving] = c.listHead;
                c.listHead = moving;
                t->locationOctant[moving] = kOlpFarfieldNodeList;
            }
            t->locationNode[moving] = child;
            moving = next;
        }
        return;
    }
}

bool ValidId(const OlpFarfield* t, uint32_t id)
{
    return id < t->objectCount;
}

} // namespace

size_t OlpFarfieldSize(uint32_t objects, uint32_t pairs)
{
    uint64_t nodes = uint64_t(objects) + 2ull * pairs + 2;
    if (objects == 0 || objects > kMaxLinks || nodes > kMaxLinks) {
        return 0;
    }
    return Align16(sizeof(OlpPairLists)) + sizeof(OlpPairNode) * nodes;
}

OlpPairLists* OlpFarfieldInit(void* area, uint32_t objects, uint32_t pairs)
{
    if (OlpFarfieldSize(objects, pairs) == 0) {
        return nullptr;
    }
    auto* lists = static_cast<OlpPairLists*>(area);
    lists->objectCount = objects;
    lists->pairCapacity = pairs;
    lists->nodes =
        reinterpret_cast<OlpPairNode*>(static_cast<uint8_t*>(area) + Align16(sizeof(OlpPairLists)));
    uint32_t total = objects + 2 * pairs + 2;
    for (uint32_t i = 0; i < objects; ++i) {
        lists->nodes[i] = {static_cast<uint16_t>(i), static_cast<uint16_t>(i), kOlpFarfieldNone,
                           kOlpFarfieldNone};
    }
    for (uint32_t i = objects; i < total; ++i) {
        uint16_t next = i + 1 < total ? static_cast<uint16_t>(i + 1) : kOlpFarfieldNone;
        lists->nodes[i] = {kOlpFarfieldNone, next, kOlpFarfieldNone, kOlpFarfieldNone};
    }
    lists->freeHead = static_cast<uint16_t>(objects);
    return lists;
}

size_t OlpFarfieldGridSize(uint32_t objects)
{
    if (objects == 0 || objects > kMaxLinks) {
        return 0;
    }
    size_t n = objects;
    const size_t nodes = NodeCount(objects);
    return Align16(sizeof(OlpFarfield)) + Align16(sizeof(OlpBBox) * n) +
           Align16(sizeof(OlpFarfieldNode) * nodes) + Align16(2 * n) * 3 + Align16(n) * 3 +
           Align16(sizeof(OlpBBox) * nodes) + Align16(sizeof(OlpBBox) * nodes * 8);
}

OlpFarfield* OlpFarfieldInitGrid(void* area, OlpPairLists* pairs, uint32_t objects, const OlpBBox* world,
                                 float margin)
{
    if (OlpFarfieldGridSize(objects) == 0 || pairs == nullptr || pairs->objectCount < objects) {
        return nullptr;
    }
    auto* base = static_cast<uint8_t*>(area);
    auto* t = reinterpret_cast<OlpFarfield*>(base);
    size_t n = objects;
    size_t at = Align16(sizeof(OlpFarfield));
    auto take = [&](size_t bytes) {
        uint8_t* p = base + at;
        at += Align16(bytes);
        return p;
    };
    t->pairs = pairs;
    t->objectCount = objects;
    t->nodeCount = NodeCount(objects);
    t->margin = margin;
    t->world = *world;
    t->exclusion = nullptr;
    t->boxes = reinterpret_cast<OlpBBox*>(take(sizeof(OlpBBox) * n));
    t->nodes = reinterpret_cast<OlpFarfieldNode*>(take(sizeof(OlpFarfieldNode) * t->nodeCount));
    t->entryNext = reinterpret_cast<uint16_t*>(take(2 * n));
    t->locationNode = reinterpret_cast<uint16_t*>(take(2 * n));
    t->groups = reinterpret_cast<uint16_t*>(take(2 * n));
    t->entryMarked = take(n);
    t->inserted = take(n);
    t->locationOctant = take(n);
    t->nodeBounds = reinterpret_cast<OlpBBox*>(take(sizeof(OlpBBox) * t->nodeCount));
    t->cellBounds = reinterpret_cast<OlpBBox*>(take(sizeof(OlpBBox) * t->nodeCount * 8));
    for (uint32_t i = 0; i < t->nodeCount; ++i) {
        OlpFarfieldNode& node = t->nodes[i];
        node.listHead = kOlpFarfieldNone;
        node.parent = kOlpFarfieldNone;
        node.octant = 0;
        node.nextFree = i + 1 < t->nodeCount ? static_cast<uint16_t>(i + 1) : kOlpFarfieldNone;
        for (OlpFarfieldCell& cell : node.cells) {
            cell = FreshCell();
        }
    }
    // Node 0 is the root; the free list starts after it.
    t->nodes[0].nextFree = kOlpFarfieldNone;
    t->nodeFreeHead = t->nodeCount > 1 ? 1 : kOlpFarfieldNone;
    for (uint32_t i = 0; i < objects; ++i) {
        t->entryNext[i] = kOlpFarfieldNone;
        t->locationNode[i] = kOlpFarfieldNone;
        t->groups[i] = 0;
        t->entryMarked[i] = 0;
        t->inserted[i] = 0;
        t->locationOctant[i] = 0;
    }
    BuildBounds(t);
    return t;
}

bool OlpFarfieldInsert(OlpFarfield* table, uint32_t id, const OlpBBox* box)
{
    if (!ValidId(table, id)) {
        return false;
    }
    if (table->inserted[id]) {
        OlpFarfieldRemove(table, id);
    }
    OlpBBoxGrow(&table->boxes[id], box, table->margin, 1.0f);
    const Lanes grownMin = LoadLanes(table->boxes[id].min);
    const Lanes grownMax = LoadLanes(table->boxes[id].max);
    auto visit = [&](uint16_t other) {
        if (other != id && Overlap(grownMin, grownMax, table->boxes[other]) && !Excluded(table, id, other)) {
            AddPair(table->pairs, id, other);
        }
    };
    if (Overlap(grownMin, grownMax, table->nodeBounds[0])) {
        Walk(table, 0, MakeRegion(table->world), grownMin, grownMax, visit);
    }
    File(table, 0, MakeRegion(table->world), static_cast<uint16_t>(id));
    table->inserted[id] = 1;
    return true;
}

bool OlpFarfieldRemove(OlpFarfield* table, uint32_t id)
{
    if (!ValidId(table, id) || !table->inserted[id]) {
        return false;
    }
    RemovePairs(table->pairs, id);
    OlpFarfieldNode& node = table->nodes[table->locationNode[id]];
    uint8_t octant = table->locationOctant[id];
    uint16_t* head = octant == kOlpFarfieldNodeList ? &node.listHead : &node.cells[octant].link;
    for (uint16_t* link = head; *link != kOlpFarfieldNone; link = &table->entryNext[*link]) {
        if (*link == id) {
            *link = table->entryNext[id];
            break;
        }
    }
    if (octant != kOlpFarfieldNodeList && table->entryMarked[id] && node.cells[octant].count > 0) {
        --node.cells[octant].count;
    }
    table->entryNext[id] = kOlpFarfieldNone;
    table->entryMarked[id] = 0;
    table->inserted[id] = 0;
    if (++table->staleRemovals >= table->objectCount) {
        BuildBounds(table);
    }
    return true;
}

OlpBBox* OlpFarfieldGetBox(const OlpFarfield* table, uint32_t id, OlpBBox* out)
{
    if (!ValidId(table, id) || !table->inserted[id]) {
        return nullptr;
    }
    return OlpBBoxGrow(out, &table->boxes[id], -table->margin, 1.0f);
}

uint32_t OlpFarfieldListPairs(const OlpPairLists* pairs, uint32_t id, uint16_t* out, const uint32_t* excluded,
                              int32_t sort)
{
    if (id >= pairs->objectCount) {
        return 0;
    }
    uint32_t count = 0;
    for (uint16_t n = pairs->nodes[id].next; n != id; n = pairs->nodes[n].next) {
        uint16_t other = pairs->nodes[n].other;
        if (excluded != nullptr && (excluded[other >> 5] >> (other & 31) & 1u) != 0) {
            continue;
        }
        out[count++] = other;
    }
    if (sort && count > 1) {
        std::sort(out, out + count);
    }
    return count;
}

uint16_t OlpFarfieldGetObjectCell(const OlpFarfield* table, uint32_t id)
{
    return ValidId(table, id) ? table->groups[id] : 0;
}

void OlpFarfieldSetObjectCell(OlpFarfield* table, uint32_t id, uint16_t group)
{
    if (ValidId(table, id)) {
        table->groups[id] = group;
    }
}

void OlpFarfieldSetMode(OlpFarfield* table, const OlpBitMatrix* matrix)
{
    table->exclusion = matrix;
}

void OlpFarfieldSetMargin(OlpFarfield* table, float margin)
{
    table->margin = margin;
}

void OlpFarfieldQuery(const OlpFarfield* table, const OlpBBox* box, void (*callback)(uint32_t id, void* data),
                      void* data)
{
    auto visit = [&](uint16_t id) {
        if (OlpBBoxOverlap(&table->boxes[id], box)) {
            callback(id, data);
        }
    };
    if (Overlap(table->nodeBounds[0], *box)) {
        Walk(table, 0, MakeRegion(table->world), LoadLanes(box->min), LoadLanes(box->max), visit);
    }
}
