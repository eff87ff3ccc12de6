#pragma once
// Edge data of static triangles (extension 0x902 on world sectors and
// geometries): four bits per triangle, one for its face and one for each
// edge (first to second vertex, second to third, third to first). A set bit
// lets triangle lists make contacts against that face or edge; computing
// the bits clears the edges a neighbour shares at a flat or convex crease
// and the faces hidden behind a neighbour, so sliding bodies do not catch
// on inner edges.
//
// Usage: OlpRefPairRegister / OlpRefPairRegisterGeometry between EngineInit
// and EngineOpen; then OlpRefPairPrepareWorld (world) or
// OlpRefPairComputeGeometry (geometry) once the object is built. Blocks go
// with the object's stream and are freed with the object.

#include <cstdint>

struct Geometry;
struct World;
struct WorldSector;

constexpr uint32_t kOlpRefPairPluginId = 0x902;
/// Bits of one triangle: its face, then its three edges.
constexpr uint32_t kOlpRefPairFace = 0x1;
constexpr uint32_t kOlpRefPairEdges = 0xE;
/// Error {kOlpRefPairPluginId, 1}: a stored block whose size does not fit its object.
constexpr uint32_t kOlpRefPairErrorSize = 1;

/// A bit block: the words follow the header in the same allocation.
struct OlpRefPair
{
    uint32_t* words;   ///< the words just after this header
    uint32_t byteSize; ///< 4 x words + 8, as stored
    uint32_t wordCount;
};

/// Words of a block for `triangles` triangles: (triangles >> 3) + 1.
uint32_t OlpRefPairWordCount(uint32_t triangles);
/// Registers the extension (with its stream callbacks) on world sectors; 0
/// when already registered, else 1 when the registry gave an offset.
int32_t OlpRefPairRegister();
/// The same on geometries.
int32_t OlpRefPairRegisterGeometry();
bool OlpRefPairRegistered();
bool OlpRefPairGeometryRegistered();
/// The sector's block; null without one or without the registration.
OlpRefPair* OlpRefPairGetA(const WorldSector* sector);
/// The geometry's block; null without one or without the registration.
OlpRefPair* OlpRefPairGetB(const Geometry* geometry);
/// A block for the sector's triangles with every bit set (replacing any
/// old one); null without the registration or memory.
OlpRefPair* OlpRefPairCreateSector(WorldSector* sector);
OlpRefPair* OlpRefPairCreateGeometry(Geometry* geometry);
/// Clears the bits of the sector's triangles against the triangles of its
/// world that have collision data; null without a block.
WorldSector* OlpRefPairComputeA(WorldSector* sector);
/// Clears the bits of the geometry's triangles against its own; null without a block.
Geometry* OlpRefPairComputeB(Geometry* geometry);
/// Creates and computes the geometry's block; null on failure.
Geometry* OlpRefPairComputeGeometry(Geometry* geometry);
/// Creates the blocks of every sector of the world, then computes them; null on failure.
World* OlpRefPairPrepareWorld(World* world);
