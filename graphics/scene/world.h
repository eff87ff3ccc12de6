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

struct MeshHeader;
struct Pipeline;
struct ResourcesEntry;
struct WorldSector;

/// ObjectHeader::type of worlds.
constexpr uint8_t kObjectTypeWorld = 7;
/// World format flag: plane sectors carry separate left and right values.
constexpr uint32_t kWorldSectorOverlap = 0x40000000;
/// Sector::type of an atomic sector; plane sectors hold the axis (0 x, 4 y, 8 z).
constexpr int32_t kSectorAtomic = -1;

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
