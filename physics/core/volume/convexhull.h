#pragma once
// Convex hulls: one reference-counted block holding the vertices, face
// normals and a half-edge structure of a convex polyhedron, with cached
// bounds and mass data. Many convex volumes may share one hull.
//
// Counts are limited by the 16-bit indices: at most 65535 vertices, faces
// and half-edges. Every face's half-edges run counter-clockwise seen from
// outside (along its normal); the half-edges leaving a vertex are listed in
// order round it.

#include <cstddef>
#include <cstdint>

#include "physics/core/volume/volume.h"

/// One directed edge of a face.
struct OlpHullEdge
{
    float inverseLength; ///< 1 / |to - from|; 0 kept for a zero-length edge
    uint16_t from;
    uint16_t to;
    uint16_t neighbourFace; ///< the face across the edge
    uint16_t ownFace;
};
static_assert(sizeof(OlpHullEdge) == 12, "a half-edge is 12 bytes");

/// Hull flags.
constexpr uint32_t kOlpHullFinalized = 0x01; ///< derived data computed
constexpr uint32_t kOlpHullMassReady = 0x02; ///< mass data computed
/// The largest vertex, face or half-edge count.
constexpr uint32_t kOlpHullMaxCount = 65535;

struct OlpConvexHull
{
    size_t size;               ///< bytes of the whole block
    V3d* vertices;             ///< vertexCount positions
    uint16_t* vertexEdgeStart; ///< vertexCount + 1: vertex i's leaving edges are [start i, start i+1)
    V3d* faceNormals;          ///< faceCount unit normals
    uint16_t* faceEdgeStart;   ///< faceCount + 1: face f's edges are [start f, start f+1)
    OlpHullEdge* edges;        ///< edgeCount half-edges, grouped by face
    uint16_t* vertexEdges;     ///< edgeCount half-edge indices grouped by vertex
    uint16_t vertexCount;
    uint16_t faceCount;
    uint16_t edgeCount;
    OlpBBox box;
    OlpSphere sphere;
    float volume;    ///< mass cache
    float thickness; ///< mass cache
    V3d centre;      ///< mass cache
    OlpMassProperties mass;
    uint32_t refCount;
    uint32_t flags;
};

/// A hull block for n vertices, m half-edges and k faces (each at most
/// 65535), reference count 1, flags 0, arrays laid out but not filled;
/// null for a count too large or when the memory refuses.
OlpConvexHull* OlpConvexHullAlloc(uint32_t vertexCount, uint32_t edgeCount, uint32_t faceCount);
/// Inverse edge lengths, the vertices' box and sphere; sets flag 0x01.
OlpConvexHull* OlpConvexHullFinalize(OlpConvexHull* hull);
OlpConvexHull* OlpConvexHullAddRef(OlpConvexHull* hull);
/// Drops one reference and frees the block at zero; null is ignored. 1.
int32_t OlpConvexHullRelease(OlpConvexHull* hull);
/// True for a hull with 2 (n + k) = m + 4, n >= 3, m >= 6 and its arrays.
bool OlpConvexHullIsValid(const OlpConvexHull* hull);
/// Hill-climbs from `start` (0 when out of range) to the vertex farthest
/// along `direction`, stopping early once a value exceeds `bound`; writes
/// the vertex index and returns its dot product.
float OlpConvexHullSupportVertex(const OlpConvexHull* hull, const V3d* direction, uint32_t start, float bound,
                                 uint32_t* vertex);
/// Volume integrals of the hull (projection method): centre of mass, the
/// inertia tensor per unit volume about it (9 floats) and the volume. 1.
int32_t OlpConvexHullMassProperties(const OlpConvexHull* hull, V3d* centre, float tensor[9], float* volume);
/// Computes the cached mass data and core thickness once (flag 0x02).
OlpConvexHull* OlpConvexHullEnsureMass(OlpConvexHull* hull);
