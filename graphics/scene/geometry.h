#pragma once
// Geometries: the shared, reference-counted mesh data of atomics: vertex
// arrays split into morph targets, texture coordinates, pre-lit colours,
// triangles with material indices, a material list and the meshes built
// from the triangles.

#include <cstdint>

#include "graphics/core/camera.h"
#include "graphics/core/object.h"
#include "graphics/core/vector.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/scenetypes.h"

struct MeshHeader;
struct ResourcesEntry;
struct Geometry;

/// ObjectHeader::type of geometries.
constexpr uint8_t kObjectTypeGeometry = 8;

/// Geometry format flags.
constexpr uint32_t kGeometryTriStrip = 0x01;
constexpr uint32_t kGeometryPositions = 0x02;
constexpr uint32_t kGeometryTextured = 0x04; ///< one texture-coordinate set
constexpr uint32_t kGeometryPreLit = 0x08;
constexpr uint32_t kGeometryNormals = 0x10;
constexpr uint32_t kGeometryLight = 0x20;
constexpr uint32_t kGeometryModulateMaterialColor = 0x40;
constexpr uint32_t kGeometryTextured2 = 0x80; ///< two or more texture-coordinate sets
constexpr uint32_t kGeometryNative = 0x01000000;
constexpr uint32_t kGeometryNativeInstance = 0x02000000;

/// Lock flags.
constexpr uint16_t kGeometryLockTriangles = 0x0001;
constexpr uint16_t kGeometryLockVertices = 0x0002;
constexpr uint16_t kGeometryLockNormals = 0x0004;
constexpr uint16_t kGeometryLockAll = 0x0FFF;

/// At most this many texture-coordinate sets.
constexpr int32_t kGeometryMaxTexCoordSets = 8;
/// Material index of a triangle of no material.
constexpr uint16_t kGeometryNoMaterial = 0xFFFF;

struct GeometryTriangle
{
    uint16_t vertex[3];
    uint16_t material; ///< index in the geometry's material list, or kGeometryNoMaterial
};

struct MorphTarget
{
    Geometry* parent;
    Sphere boundingSphere;
    V3d* vertices;
    V3d* normals; ///< null without kGeometryNormals
};

struct Geometry
{
    ObjectHeader object; ///< type 8
    uint32_t format;     ///< kGeometry... flags
    uint16_t lockFlags;
    int16_t refCount;
    int32_t numTriangles;
    int32_t numVertices;
    int32_t numMorphTargets;
    int32_t numTexCoordSets;
    MaterialList materials;
    GeometryTriangle* triangles;
    RGBA* preLitColours;
    TexCoords* texCoords[kGeometryMaxTexCoordSets];
    MeshHeader* mesh;          ///< null until unlocked
    ResourcesEntry* instanced; ///< the renderer's instanced data
    MorphTarget* morphTargets;
    // Geometry plug-in data follows (GeometryRegisterPlugin).
};
