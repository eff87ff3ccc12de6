#pragma once
// Distance between two volumes: GJK (module OlpGjk) with a penetration
// search by shifting, for volumes with curved or arbitrary cores. The
// separating-axis test for the others is in sat.h.
//
// GJK stops when the distance of the simplex's closest point exceeds the
// support's lower bound by at most 1e-4 scale (an absolute gap, so that
// distances agree with the exact ones within that), or when the lower
// bound is positive and a support vertex repeats or 40 iterations have run.
//
// Conventions: the direction points from side B towards side A; the
// mid-plane offset is measured along it; distances are between the
// surfaces (cores less both margins), negative when the volumes overlap;
// `scale` is the world's length unit (1 for metres).
//
// Penetration search: when the cores overlap, B is shifted away from A
// along the estimated direction by t and GJK runs again (at most 4
// passes). t starts at 0; the fallback shift is 0.01 scale plus the
// estimated overlap. After a pass that separates the cores by d with B
// shifted by t, the result is kept and t becomes 0.95 (t - d) + 0.05 t,
// closer to the smallest separating shift, so that the next pass finds
// the direction with less distortion; a pass that does not separate them
// sets t halfway to the fallback (or, before any success, to the fallback,
// which then grows by one scale step). The kept result is corrected by the
// shift's component along its direction: distance - t (dir . v) and
// mid-plane offset + t (dir . v) / 2. That is the overlap of the cores
// along the way out the shift finds: the least depth when the line between
// the boxes' centres leaves through the shallowest side, deeper otherwise.

#include <cstdint>

#include "physics/core/volume/volume.h"

/// One side of a query: a volume and its world frame (its effective frame:
/// the volume's frame composed with its body's pose; null for the identity).
struct OlpPairSide
{
    const OlpVolume* volume;
    const Matrix* frame;
};

/// The two sides of a query.
struct OlpPartPair
{
    OlpPairSide a;
    OlpPairSide b;
};

/// A vertex of the Minkowski difference A - B with the points on A and B.
struct OlpGjkVertex
{
    V3d a;
    V3d b;
};

struct OlpGjkSimplex
{
    OlpGjkVertex vertices[4];
    // Double precision: the sub-determinants of a flat tetrahedron are tiny
    // and their signs decide whether the origin lies inside it.
    double dots[4][4];          ///< y_i . y_j, y = a - b (+ offset)
    double determinants[16][4]; ///< Johnson's sub-determinants by subset and vertex
    uint32_t bits;              ///< vertices in use
    uint32_t newest;            ///< index of the newest vertex
    uint32_t newestBit;
    V3d offset; ///< added to every vertex of A - B
};

/// Result of a distance query.
struct OlpDistance
{
    V3d direction;  ///< unit, from B towards A
    float midPlane; ///< offset of the mid-plane along the direction
    float distance; ///< between the surfaces (GJK itself: between the cores)
};

/// For each bit set 0 to 15, its non-empty subsets from the largest to the
/// smallest, ended by 0.
const uint8_t* OlpGjkSubsets(uint32_t bits);
/// Lowest free vertex slot of the simplex; writes its bit.
uint32_t OlpGjkNewVertexSlot(const OlpGjkSimplex* simplex, uint32_t* bit);
/// The support vertex of A - B for `direction`: side < 1 gives A's support
/// in -direction minus B's in direction, else the reverse; plus `offset`
/// (may be null). Returns direction . vertex.
float OlpGjkSupport(OlpGjkVertex* out, V3d* difference, const V3d* direction, int32_t side,
                    const OlpPartPair* pair, const V3d* offset);
/// Dot products of the newest vertex with the others.
void OlpGjkUpdateDots(OlpGjkSimplex* simplex);
/// Sub-determinants of every subset of bits | newestBit holding the newest vertex.
void OlpGjkUpdateDeterminants(OlpGjkSimplex* simplex);
/// The closest point of `subset` on side A (0) or B (1), or of the
/// difference (2); true when every weight exceeds -1e-5 x the largest.
bool OlpGjkSimplexPoint(V3d* out, uint32_t subset, int32_t side, const OlpGjkSimplex* simplex);
/// The same with the newest vertex added; `subset` 0: the newest vertex alone.
bool OlpGjkClosestPoint(V3d* out, uint32_t subset, int32_t side, const OlpGjkSimplex* simplex);
/// Unit direction between the centres of the two world boxes (A minus B)
/// and the overlap of the cores along it (negative when apart).
float OlpGjkInitialDirection(const OlpPartPair* pair, V3d* direction);
/// GJK between the cores, B shifted by `offset` (may be null): 2 when they
/// are farther apart than `maxDistance`, 1 with the distance found (-1.0
/// when the cores overlap), 0 when the iteration fails.
int32_t OlpGjkDistance(const OlpPartPair* pair, const V3d* offset, float maxDistance, OlpGjkSimplex* simplex,
                       OlpDistance* out, float scale);
/// The pair query of the GJK route, planes included on either side; 1 when
/// it gives a result.
int32_t OlpGjkPenetration(const OlpPartPair* pair, float maxDistance, OlpDistance* out, float scale);
