#pragma once
// The far field (broad phase): one box per registered object in a loose
// octree over the world box, and, kept current incrementally, the pairs of
// objects whose boxes overlap (touching counts). Boxes are stored grown by
// a margin so that small movements keep the same overlaps; pairs between
// excluded collision groups never form.
//
// Two areas, carved by the caller (the object manager) from its block:
// the pair lists (OlpFarfieldSize bytes) and the octree table
// (OlpFarfieldGridSize bytes), both 16-byte aligned. Links are 16-bit,
// 65535 meaning none: at most 65534 objects, and objects + 2 pairs + 2 at
// most 65534 pair nodes. The octree has max(408, objects x 408 / 1023)
// nodes; a cell with four fitting entries becomes a child node while nodes
// last, else it keeps its entries as a list.
//
// Every node and every list cell also keeps a bound: a box holding the
// stored boxes of all entries under it. A walk skips a node or a list
// whose bound misses the query box, so it visits the same overlapping
// entries in the same order while it reads only the part of the tree near
// the query. Inserts grow the bounds on the way down; removals leave them
// large (still holding every entry), and after as many removals as there
// are objects they are all built again from the entries.

#include <cstddef>
#include <cstdint>

#include "physics/core/utils/bbox.h"
#include "physics/core/utils/bitmatrix.h"

/// The "none" link.
constexpr uint16_t kOlpFarfieldNone = 0xFFFF;
/// The octant value of an entry kept in its node's own list.
constexpr uint8_t kOlpFarfieldNodeList = 63;

/// One half of a pair, in one object's circular list.
struct OlpPairNode
{
    uint16_t previous;
    uint16_t next;
    uint16_t other;   ///< the partner object
    uint16_t partner; ///< the other half, in the partner's list
};

struct OlpPairLists
{
    uint32_t objectCount;
    uint32_t pairCapacity;
    OlpPairNode* nodes; ///< objectCount heads, then 2 x pairCapacity + 2 free nodes
    uint16_t freeHead;
};

/// A cell of an octree node: a list of entries or a child node.
struct OlpFarfieldCell
{
    uint16_t link; ///< list head or child node; none when empty
    uint8_t isList;
    uint8_t count; ///< marked entries (fitting the tight cell), at most 31
};

struct OlpFarfieldNode
{
    uint16_t listHead; ///< entries that fit no single octant
    uint16_t parent;
    uint16_t nextFree;
    uint8_t octant; ///< within the parent
    OlpFarfieldCell cells[8];
};

struct OlpFarfield
{
    OlpPairLists* pairs;
    uint32_t objectCount;
    uint32_t nodeCount;
    uint16_t nodeFreeHead;
    float margin;
    OlpBBox world;
    const OlpBitMatrix* exclusion; ///< null: nothing excluded
    OlpBBox* boxes;                ///< per object, grown by the margin
    OlpFarfieldNode* nodes;
    uint16_t* entryNext; ///< per object, the next entry in its list
    uint8_t* entryMarked;
    uint8_t* inserted;
    uint16_t* locationNode;
    uint8_t* locationOctant;
    uint16_t* groups;       ///< per object, its collision group
    OlpBBox* nodeBounds;    ///< per node: holds every entry under it
    OlpBBox* cellBounds;    ///< per node and octant: holds the entries of a list cell
    uint32_t staleRemovals; ///< removals since the bounds were last built
};

/// Bytes of the pair lists for `objects` objects and `pairs` pairs; 0 when
/// the counts exceed the 16-bit links.
size_t OlpFarfieldSize(uint32_t objects, uint32_t pairs);
/// Lays the pair lists out in `area`; null when the counts are refused.
OlpPairLists* OlpFarfieldInit(void* area, uint32_t objects, uint32_t pairs);
/// Bytes of the octree table for `objects` objects.
size_t OlpFarfieldGridSize(uint32_t objects);
/// Lays the octree table out in `area`: world box, empty root, groups 0, no
/// exclusion, `margin`. Null when the count is refused.
OlpFarfield* OlpFarfieldInitGrid(void* area, OlpPairLists* pairs, uint32_t objects, const OlpBBox* world,
                                 float margin);
/// Stores `box` grown by the margin for `id`, adds a pair for every
/// overlapping stored box (groups permitting) and files the entry. An id
/// already present is removed first. False for a bad id.
bool OlpFarfieldInsert(OlpFarfield* table, uint32_t id, const OlpBBox* box);
/// Removes every pair of `id` and its entry; false for a bad or absent id.
bool OlpFarfieldRemove(OlpFarfield* table, uint32_t id);
/// The box as inserted (the stored one shrunk by the margin); null for an absent id.
OlpBBox* OlpFarfieldGetBox(const OlpFarfield* table, uint32_t id, OlpBBox* out);
/// Writes the partners of `id` not in the bit set `excluded` (may be null)
/// to `out`, ascending when `sort`; returns their number.
uint32_t OlpFarfieldListPairs(const OlpPairLists* pairs, uint32_t id, uint16_t* out, const uint32_t* excluded,
                              int32_t sort);
uint16_t OlpFarfieldGetObjectCell(const OlpFarfield* table, uint32_t id);
/// Sets the collision group of `id` (takes effect at its next insert).
void OlpFarfieldSetObjectCell(OlpFarfield* table, uint32_t id, uint16_t group);
/// The group exclusion matrix (null switches exclusion off). Groups a and
/// b are excluded when bit a + b x columns or b + a x columns is set.
void OlpFarfieldSetMode(OlpFarfield* table, const OlpBitMatrix* matrix);
void OlpFarfieldSetMargin(OlpFarfield* table, float margin);
/// Calls `callback(id, data)` for every stored box that overlaps `box`.
void OlpFarfieldQuery(const OlpFarfield* table, const OlpBBox* box, void (*callback)(uint32_t id, void* data),
                      void* data);
