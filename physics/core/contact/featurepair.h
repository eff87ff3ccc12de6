#pragma once
// The closest features of one part pair (what the narrow phase measures and
// the contact generator clips), and the clipping of two features into
// contact points.
//
// Triangle flags (triangle-type volumes, descriptor flag 64): bit 0 the
// triangle is one-sided (its face normal is never turned towards the other
// side); bits 1 to 3 the edges AB, BC and CA may give a contact normal of
// their own. A feature whose edge bits hold an edge the flags lack, or a
// face feature of a one-sided triangle, takes the triangle's face normal
// instead. The value 14 (all edges, two-sided) holds no face normal.

#include <cstdint>

#include "physics/core/contact/contact.h"
#include "physics/core/volume/volume.h"

/// Descriptor flags read here besides those of volume.h.
constexpr uint8_t kOlpVolumeKeepDirection = 0x20; ///< clipping keeps the measured direction (cylinders)
constexpr uint8_t kOlpVolumeTriangleType = 0x40;  ///< a face normal and edge flags (triangles)

constexpr uint16_t kOlpTriangleOneSided = 0x1;
constexpr uint16_t kOlpTriangleNoFaceNormal = 14;

/// Most points the clipping of two features writes.
constexpr uint32_t kOlpClipMaxPoints = 16;

/// One side of a feature pair.
struct OlpFeatureHalf
{
    OlpSupportFeature feature; ///< the support plane (normal, offset), points and edge bits (id)
    void* object;
    uint32_t part;
    uint32_t featureId;
    V3d faceNormal; ///< world space, triangle-type volumes only
    float slide;
    float bounce;
    float margin;
    uint16_t descriptorFlags;
    uint16_t triangleFlags; ///< 0 unless the volume is triangle-type
};

struct OlpFeaturePair
{
    OlpFeatureHalf a;
    OlpFeatureHalf b;
    V3d direction;  ///< unit, from B towards A
    float midPlane; ///< offset of the mid-plane between the surfaces along the direction
    float distance; ///< between the surfaces; negative when they overlap
};

/// The closest point of segment [a, b] to p: writes it and returns the
/// segment parameter clamped to [0, 1].
float OlpClipPointSegment(const V3d* p, const V3d* a, const V3d* b, V3d* out);
/// Point p against a convex polygon seen along `normal`: 1 with `out` = p
/// when p lies inside every edge; else 0 with `out` the closest point of
/// the edge p lies farthest outside, and *edgeParameter its parameter.
int32_t OlpClipPointPolygon(const V3d* p, const OlpFeaturePoint* polygon, uint32_t count, const V3d* normal,
                            V3d* out, float* edgeParameter);
/// Closest points of segments [a0, a1] and [b0, b1], parameters in [0, 1].
void OlpClipSegments(const V3d* a0, const V3d* a1, const V3d* b0, const V3d* b1, float* s, float* t, V3d* onA,
                     V3d* onB);
/// Adds p projected onto the plane (normal, offset) unless it lies within
/// 1e-6 of the previous or the first point added; false when `out` is full.
bool OlpClipAddPoint(OlpFeaturePoint* out, uint32_t* count, const V3d* p, const V3d* normal, float offset);
/// Clips feature A against feature B along the record's direction: the
/// contact points on the mid-plane (at most kOlpClipMaxPoints into `out`),
/// their number returned. A single closest pair of points turns the
/// direction, mid-plane and working distance (between the cores) towards
/// that pair and rebuilds both support planes through it; kinds become
/// vertex, edge or face as the clipped features are.
uint32_t OlpGeneralPrimitiveCollide(const OlpFeaturePoint* pointsA, uint32_t countA,
                                    const OlpFeaturePoint* pointsB, uint32_t countB, float marginDifference,
                                    float* midPlane, V3d* normal, float* distance, uint8_t* kindA,
                                    uint8_t* kindB, OlpFeaturePair* record, OlpFeaturePoint* out);
/// Turns clipped points into the contact's points: separations measured
/// between the two support planes, points farther than the contact
/// distance clipped away, at most four kept (those spanning the largest
/// triangles, the deepest always).
void OlpContactClipPoints(const OlpFeaturePair* record, const OlpFeaturePoint* points, uint32_t count,
                          float combinedMargin, float contactDistance, OlpContact* contact);
/// Makes one contact from a feature pair; 1 when it has at least one point.
int32_t OlpContactFromFeatures(OlpFeaturePair* record, float contactDistance, OlpContact* contact);
