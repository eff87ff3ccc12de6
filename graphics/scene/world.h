#pragma once
// Worlds: the static scene, a binary tree of axis-aligned splitting planes
// whose leaves (world sectors) hold the static triangles, plus the world's
// material list and its members (clumps, lights).

#include <cstdint>

#include "graphics/core/bbox.h"
#include "graphics/core/linklist.h"
#include "graphics/core/object.h"
#include "graphics/core/vector.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/scenetypes.h"

struct Clump;
struct Light;
struct Material;
struct Mesh;
struct MeshHeader;
struct Pipeline;
struct ResourcesEntry;
struct Stream;
struct WorldSector;

/// ObjectHeader::type of worlds.
constexpr uint8_t kObjectTypeWorld = 7;
/// World format flag: plane sectors carry separate left and right values.
constexpr uint32_t kWorldSectorOverlap = 0x40000000;
/// Sector::type of an atomic sector; plane sectors hold the axis (0 x, 4 y, 8 z).
constexpr int32_t kSectorAtomic = -1;
/// Private flag: the world, its sectors and arrays are one allocation.
constexpr uint8_t kWorldPrivateSingleAllocation = 0x01;
/// Render orders.
constexpr uint32_t kWorldRenderFrontToBack = 1;
constexpr uint32_t kWorldRenderBackToFront = 2;
/// Limits of a world: vertices and triangles per sector, the depth of the
/// sector tree (plane sectors on any path from the root) and texture sets.
constexpr uint32_t kWorldSectorMaxVertices = 65535;
constexpr uint32_t kWorldSectorMaxTriangles = 65535;
constexpr int32_t kWorldMaxDepth = 64;
constexpr int32_t kWorldMaxTexCoordSets = 8;

/// The start of both kinds of sector.
struct Sector
{
    int32_t type;
};

struct PlaneSector
{
    int32_t type; ///< the splitting axis as the byte offset of the component: 0, 4, 8
    float value;
    Sector* left;
    Sector* right;
    float leftValue;  ///< largest coordinate on the axis reached by the left subtree
    float rightValue; ///< smallest reached by the right subtree
};

struct WorldSectorTriangle
{
    uint16_t vertex[3];
    uint16_t material; ///< relative to the sector's material-list window base
};

/// A vertex normal packed as signed bytes scaled by 128.
struct PackedNormal
{
    int8_t x, y, z, pad;
};

using WorldSectorCallBackRender = WorldSector* (*)(WorldSector* sector);

struct WorldSector
{
    int32_t type; ///< kSectorAtomic
    WorldSectorTriangle* triangles;
    V3d* vertices;
    PackedNormal* normals;
    TexCoords* texCoords[8];
    RGBA* preLitColours;
    ResourcesEntry* instanced;
    LinkList atomicTies;
    LinkList lightTies;
    BBox boundingBox; ///< the tree's cell
    BBox storedBox;   ///< as saved
    MeshHeader* mesh;
    Pipeline* pipeline;
    uint16_t materialListWindowBase;
    uint16_t numVertices;
    uint16_t numTriangles;
    // World-sector plug-in data follows (WorldSectorRegisterPlugin).
};

struct World
{
    ObjectHeader object; ///< type 7
    uint32_t format;
    uint32_t renderOrder; ///< 1 front to back, 2 back to front
    MaterialList materials;
    Sector* root;
    int32_t numTexCoordSets;
    int32_t numClumps;
    LinkList* clumpIterator;
    LinkList clumps;
    LinkList localLights;
    LinkList globalLights;
    V3d origin;
    BBox boundingBox;
    WorldSectorCallBackRender renderCallBack;
    Pipeline* pipeline;
    // World plug-in data follows (WorldRegisterPlugin).
};

/// The 64-byte struct of a saved world, decoded.
struct WorldChunkInfo
{
    uint32_t rootIsWorldSector;
    V3d invOrigin; ///< the origin negated
    uint32_t numTriangles;
    uint32_t numVertices;
    uint32_t numPlaneSectors;
    uint32_t numWorldSectors;
    uint32_t colSectorSize;
    uint32_t format; ///< texture-set count in bits 16-23, bit 30 set, format flags
    BBox boundingBox;
};

/// The 24-byte struct of a saved plane sector, decoded.
struct PlaneSectorChunkInfo
{
    int32_t type;
    float value;
    uint32_t leftIsWorldSector;
    uint32_t rightIsWorldSector;
    float leftValue;
    float rightValue;
};

/// The 44-byte head of a saved atomic sector, decoded.
struct WorldSectorChunkInfo
{
    uint32_t materialListWindowBase;
    uint32_t numTriangles;
    uint32_t numVertices;
    BBox storedBox;
    uint32_t unused[2];
};

using WorldSectorCallBack = WorldSector* (*)(WorldSector* sector, void* data);
using WorldClumpCallBack = Clump* (*)(Clump* clump, void* data);
using WorldMaterialCallBack = Material* (*)(Material* material, void* data);
using WorldLightCallBack = Light* (*)(Light* light, void* data);
using WorldSectorMeshCallBack = Mesh* (*)(Mesh* mesh, MeshHeader* header, void* data);

/// Reads a chunk 0x0B body (the caller found the chunk): a new world in one
/// allocation with its sector tree, material list, sector boxes and meshes,
/// or null with the first error recorded and nothing left allocated. Refused:
/// counts the struct understates, sectors deeper than kWorldMaxDepth, counts
/// above 65535 per sector, more than 8 texture sets, vertex or material
/// indices outside their arrays, a native sector without saved meshes.
World* WorldStreamRead(Stream* stream);
/// Writes chunk 0x0B (header included); the world or null.
World* WorldStreamWrite(World* world, Stream* stream);
/// Bytes of the chunk 0x0B body.
uint32_t WorldStreamGetSize(const World* world);
/// Read the next struct chunk's first 64, 24 or 44 bytes into `info`
/// (zero-filled when shorter) and skip the rest; `size` gets the struct
/// size + 12. The info, or null.
WorldChunkInfo* WorldStreamReadChunkInfo(Stream* stream, WorldChunkInfo* info, int32_t* size);
PlaneSectorChunkInfo* PlaneSectorStreamReadChunkInfo(Stream* stream, PlaneSectorChunkInfo* info,
                                                     int32_t* size);
WorldSectorChunkInfo* WorldSectorStreamReadChunkInfo(Stream* stream, WorldSectorChunkInfo* info,
                                                     int32_t* size);

/// A world of one empty atomic sector covering `boundingBox` (world units):
/// render order back to front, no format flags, no materials, origin at the
/// box's minimum corner, meshes built. Null on failure.
World* WorldCreate(const BBox* boundingBox);
/// Takes every member out (clumps, lights, atomics, cameras), leaves the
/// open-world list, destroys the sectors, releases the materials, runs the
/// plug-in destructors and frees the memory. 1.
int32_t WorldDestroy(World* world);
/// A plane sector: both subtrees. An atomic sector: instanced data freed,
/// every tie returned, plug-in destructors, mesh header destroyed. 1.
int32_t WorldSectorDestroy(Sector* sector);

/// Draws the sectors the engine's current camera sees, each through
/// WorldSectorRender, then each visible atomic tied to a drawn sector once
/// per frame (render flag set, world sphere not outside the frustum). The world.
World* WorldRender(World* world);
/// The current world's sector render callback applied to the sector.
WorldSector* WorldSectorRender(WorldSector* sector);
/// Runs the sector's pipeline, else the current world's, else the default
/// sector pipeline; the sector (also one without triangles), or null when
/// the pipeline fails or none exists.
WorldSector* WorldSectorRenderDefault(WorldSector* sector);
/// Null restores WorldSectorRenderDefault; the world.
World* WorldSetSectorRenderCallBack(World* world, WorldSectorCallBackRender callBack);
WorldSectorCallBackRender WorldGetSectorRenderCallBack(const World* world);
/// Pre-instances every sector into native form (one render pass per sector
/// with instancing-only set). 1.
int32_t WorldInstance(World* world);

/// Walks; each stops when the callback answers null and returns the world.
/// Atomic sectors depth first, left before right.
World* WorldForAllSectors(World* world, WorldSectorCallBack callBack, void* data);
/// The next clump is taken before the call, so the callback may remove the clump.
World* WorldForAllClumps(World* world, WorldClumpCallBack callBack, void* data);
World* WorldForAllMaterials(World* world, WorldMaterialCallBack callBack, void* data);
/// Global lights first, then local ones.
World* WorldForAllLights(World* world, WorldLightCallBack callBack, void* data);
/// WorldForAllLights over the global lights of the engine's current world;
/// null without a current world.
World* CurrentWorldForAllGlobalLights(WorldLightCallBack callBack, void* data);
/// The local lights tied to the sector; the sector.
WorldSector* WorldSectorForAllLocalLights(WorldSector* sector, WorldLightCallBack callBack, void* data);
/// The sector's meshes; the sector, or null without a mesh header.
WorldSector* WorldSectorForAllMeshes(WorldSector* sector, WorldSectorMeshCallBack callBack, void* data);
/// The open world owning the sector, or null.
World* WorldSectorGetWorld(const WorldSector* sector);

/// Builds the meshes of every atomic sector that has triangles and no mesh
/// header (strips with kGeometryTriStrip); the world, or null on failure.
World* WorldBuildSectorMeshes(World* world);
/// Drops every sector's mesh header; the world, or null without a root.
World* WorldDestroySectorMeshes(World* world);
