#pragma once
// Collision data (plug-in 0x11D): a precomputed tree over the triangles of a
// world sector or geometry, so that triangle queries test only the triangles
// near a primitive. Trees travel in the object's extension data as chunk
// 0x2C (an older layout is converted on reading); this plug-in builds none.
// It also keeps the counter and per-atomic stamps of the atomic queries.
//
// Tree invariants (checked when a tree is read): triangles under a node's
// left reference lie at or below its left value on the node's axis, those
// under its right reference at or above its right value; leaves from left to
// right cover consecutive positions; at most 32 nodes on a path; leaves of at
// most 254 triangles; a position maps to a triangle through the remap when
// there is one.

#include <cstdint>

#include "graphics/core/bbox.h"

struct Geometry;
struct Stream;
struct World;
struct WorldSector;
struct IntersectionLine;
struct Sector;

/// Plug-in id of the collision data and of its error records.
constexpr uint32_t kPluginIdCollision = 0x11D;
/// Chunk type of a collision tree.
constexpr uint32_t kChunkCollisionData = 0x2C;
/// CollisionData::flags: a remap array is present.
constexpr uint32_t kCollisionDataRemap = 0x1;
/// Error code {kPluginIdCollision, 1}: an old-layout tree with a leaf too large, discarded.
constexpr uint32_t kErrorCollisionLeafTooLarge = 1;
/// CollisionTreeRef::count of a reference naming an inner node.
constexpr uint8_t kCollisionInnerNode = 0xFF;
/// Largest leaf, and deepest path, a tree may have.
constexpr uint32_t kCollisionMaxLeaf = 254;
constexpr int32_t kCollisionMaxDepth = 32;

struct CollisionTreeRef
{
    uint8_t axis;   ///< the node's axis code (0, 4, 8) in bits 2 and 3
    uint8_t count;  ///< kCollisionInnerNode, or a leaf's triangle count
    uint16_t index; ///< node index, or a leaf's first position
};

struct CollisionTreeNode
{
    CollisionTreeRef left;
    float leftValue;
    CollisionTreeRef right;
    float rightValue;
};
static_assert(sizeof(CollisionTreeNode) == 16, "a node is 16 bytes in memory and in the stream");

struct CollisionData
{
    uint32_t flags;
    BBox boundingBox;
    uint16_t numTriangles; ///< positions (and remap entries)
    uint16_t numNodes;
    CollisionTreeNode* nodes; ///< null without nodes
    uint16_t* remap;          ///< position to triangle index; null without kCollisionDataRemap
};

/// Registers the engine, atomic, world-sector and geometry plug-ins and the
/// stream callbacks; 1, or 0 when a registration failed. After WorldLibraryAttach.
int32_t CollisionPluginAttach();
void* CollisionPluginOpen(void* instance, int32_t offset, int32_t size);
void* CollisionPluginClose(void* instance, int32_t offset, int32_t size);

/// A record with room for the nodes and remap (contents not set); null
/// (kErrorOutOfMemory) on failure.
CollisionData* CollisionDataCreate(int32_t numTriangles, int32_t numNodes, const BBox* boundingBox,
                                   uint32_t flags);
void CollisionDataDestroy(CollisionData* data);
/// Body bytes of chunk 0x2C: (nodes + 3) x 16, + 2 per triangle with a remap.
uint32_t CollisionDataStreamGetSize(const CollisionData* data);
/// Writes chunk 0x2C's body's struct chunk; the data or null.
const CollisionData* CollisionDataStreamWrite(const CollisionData* data, Stream* stream);
/// Reads chunk 0x2C's body (the caller found the header): a checked tree
/// whose positions map below `ownerTriangles`, or null.
CollisionData* CollisionDataStreamRead(Stream* stream, int32_t ownerTriangles);
/// The old layout (node count and triangle count already read); null with
/// *discarded set when a leaf holds more than 239 triangles ({0x11D, 1}).
CollisionData* CollisionDataStreamReadOld(Stream* stream, int32_t numTriangles, int32_t numNodes,
                                          const BBox* box, int32_t ownerTriangles, bool* discarded);
/// True when the tree keeps the invariants above for an owner of `ownerTriangles`.
bool CollisionDataValidate(const CollisionData* data, int32_t ownerTriangles);

/// Accessors: Set stores without freeing a previous record; Destroy frees.
Geometry* GeometrySetCollisionData(Geometry* geometry, CollisionData* data);
Geometry* GeometryDestroyCollisionData(Geometry* geometry);
int32_t GeometryHasCollisionData(const Geometry* geometry);
CollisionData* GeometryGetCollisionData(const Geometry* geometry);
WorldSector* WorldSectorSetCollisionData(WorldSector* sector, CollisionData* data);
WorldSector* WorldSectorDestroyCollisionData(WorldSector* sector);
int32_t WorldSectorHasCollisionData(const WorldSector* sector);
CollisionData* WorldSectorGetCollisionData(const WorldSector* sector);
/// Over the sectors with triangles.
World* WorldDestroyCollisionData(World* world);
int32_t WorldHasCollisionData(World* world);
/// The atomic-query counter and an atomic's stamp (atomic queries); the plug-in must be attached.
uint32_t* CollisionQueryCounter();
uint32_t* AtomicCollisionStamp(const struct Atomic* atomic);

/// Iterators over the walks, for callers that drive them a leaf at a time.
/// Next may be called only while `pending` is above 0.
struct WorldSectorBoxIterator
{
    BBox box;
    Sector* stack[65];
    int32_t pending;
};
struct WorldSectorLineIterator
{
    V3d start, direction, reciprocal, tolerance;
    struct Entry
    {
        Sector* sector;
        float t0, t1;
    } stack[65];
    int32_t pending;
    float t0, t1; ///< the interval of the sector Next returned
};
struct CollisionTreeLineIterator
{
    const CollisionData* data;
    V3d start, direction, reciprocal, tolerance;
    CollisionTreeRef root;
    struct Entry
    {
        CollisionTreeRef ref;
        float t0, t1;
    } stack[33];
    int32_t pending;
};
struct CollisionTreeBoxIterator
{
    const CollisionData* data;
    BBox outer, inner;
    CollisionTreeRef root;
    struct Entry
    {
        CollisionTreeRef ref;
        uint32_t mask;
    } stack[33];
    int32_t pending;
};

void WorldSectorBoxIteratorInit(WorldSectorBoxIterator* iterator, const World* world, const BBox* box);
WorldSector* WorldSectorBoxIteratorNext(WorldSectorBoxIterator* iterator);
/// `tolerance` null: 1e-6 x the larger end coordinate per axis.
void WorldSectorLineIteratorInit(WorldSectorLineIterator* iterator, const World* world,
                                 const IntersectionLine* line, const V3d* tolerance);
WorldSector* WorldSectorLineIteratorNext(WorldSectorLineIterator* iterator);
/// Drops pending entries starting beyond tmax and lowers the others' ends to it.
void WorldSectorLineIteratorClip(WorldSectorLineIterator* iterator, float tmax);
void CollisionTreeLineIteratorInit(CollisionTreeLineIterator* iterator, const CollisionData* data,
                                   const IntersectionLine* line, const V3d* tolerance);
void CollisionTreeLineIteratorInitFromSector(CollisionTreeLineIterator* iterator, const CollisionData* data,
                                             const WorldSectorLineIterator* sector);
/// A leaf: its first position and count.
void CollisionTreeLineIteratorNext(CollisionTreeLineIterator* iterator, uint16_t* first, uint16_t* count);
void CollisionTreeLineIteratorClip(CollisionTreeLineIterator* iterator, float tmax);
void CollisionTreeBoxIteratorInit(CollisionTreeBoxIterator* iterator, const CollisionData* data,
                                  const BBox* outer, const BBox* inner);
/// A range of positions (a leaf, or a whole subtree inside the inner box)
/// with its outside mask (0: inside, no test needed).
void CollisionTreeBoxIteratorNext(CollisionTreeBoxIterator* iterator, uint16_t* first, uint16_t* count,
                                  uint32_t* mask);
