// GJK, the penetration search and the separating-axis query.
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/gjk.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sat.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/triangle.h"

#include <algorithm>
#include <random>
#include <vector>

using namespace olp;

namespace {

class VolumeDistance : public VolumeTest
{
};

/// A hull made by hand: the 8 corners of a box of half extents h about c,
/// faces counter-clockwise from outside.
OlpConvexHull* BoxHull(V3d h, V3d c = {0, 0, 0})
{
    OlpConvexHull* hull = OlpConvexHullAlloc(8, 24, 6);
    for (int i = 0; i < 8; ++i) {
        hull->vertices[i] = c + V3d{i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z};
    }
    // Faces as vertex loops, counter-clockwise seen from outside.
    const int loops[6][4] = {{1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3},
                             {0, 1, 5, 4}, {4, 5, 7, 6}, {0, 2, 3, 1}};
    const V3d normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    uint32_t e = 0;
    for (int f = 0; f < 6; ++f) {
        hull->faceNormals[f] = normals[f];
        hull->faceEdgeStart[f] = static_cast<uint16_t>(e);
        for (int i = 0; i < 4; ++i) {
            hull->edges[e++] = {0.0f, static_cast<uint16_t>(loops[f][i]),
                                static_cast<uint16_t>(loops[f][(i + 1) % 4]), 0, static_cast<uint16_t>(f)};
        }
    }
    hull->faceEdgeStart[6] = 24;
    // Leaving edges grouped by vertex (order round the vertex not needed by the queries here).
    uint16_t at = 0;
    for (uint16_t v = 0; v < 8; ++v) {
        hull->vertexEdgeStart[v] = at;
        for (uint16_t i = 0; i < 24; ++i) {
            if (hull->edges[i].from == v) {
                hull->vertexEdges[at++] = i;
            }
        }
    }
    hull->vertexEdgeStart[8] = at;
    return OlpConvexHullFinalize(hull);
}

float PointTriangleDistanceSq(V3d p, V3d a, V3d b, V3d c)
{
    // Closest point by the triangle's Voronoi regions.
    V3d ab = b - a, ac = c - a, ap = p - a;
    float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return LengthSq(p - a);
    V3d bp = p - b;
    float d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return LengthSq(p - b);
    float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return LengthSq(p - (a + ab * (d1 / (d1 - d3))));
    V3d cp = p - c;
    float d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return LengthSq(p - c);
    float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return LengthSq(p - (a + ac * (d2 / (d2 - d6))));
    float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        return LengthSq(p - (b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
    }
    float denominator = 1.0f / (va + vb + vc);
    return LengthSq(p - (a + ab * (vb * denominator) + ac * (vc * denominator)));
}

float SegmentDistanceSq(V3d p1, V3d q1, V3d p2, V3d q2)
{
    // Sampled finely, then refined: a brute force on purpose.
    float best = 3.4e38f;
    for (int i = 0; i <= 64; ++i) {
        V3d a = p1 + (q1 - p1) * (i / 64.0f);
        V3d d = q2 - p2;
        float t = std::clamp(Dot(a - p2, d) / std::max(LengthSq(d), 1e-12f), 0.0f, 1.0f);
        best = std::min(best, LengthSq(a - (p2 + d * t)));
    }
    return best;
}

/// Distance between two separated hulls over vertex-face and edge-edge pairs.
float BruteDistance(const OlpConvexHull* a, V3d shiftA, const OlpConvexHull* b)
{
    float best = 3.4e38f;
    auto vertexFaces = [&](const OlpConvexHull* points, V3d shiftP, const OlpConvexHull* faces, V3d shiftF) {
        for (uint32_t v = 0; v < points->vertexCount; ++v) {
            V3d p = points->vertices[v] + shiftP;
            for (uint32_t f = 0; f < faces->faceCount; ++f) {
                uint32_t first = faces->faceEdgeStart[f];
                V3d o = faces->vertices[faces->edges[first].from] + shiftF;
                for (uint32_t i = first + 1; i + 1 < faces->faceEdgeStart[f + 1]; ++i) {
                    best = std::min(
                        best, PointTriangleDistanceSq(p, o, faces->vertices[faces->edges[i].from] + shiftF,
                                                      faces->vertices[faces->edges[i].to] + shiftF));
                }
            }
        }
    };
    vertexFaces(a, shiftA, b, {0, 0, 0});
    vertexFaces(b, {0, 0, 0}, a, shiftA);
    for (uint32_t i = 0; i < a->edgeCount; ++i) {
        for (uint32_t j = 0; j < b->edgeCount; ++j) {
            const OlpHullEdge& ea = a->edges[i];
            const OlpHullEdge& eb = b->edges[j];
            if (ea.from < ea.to && eb.from < eb.to) {
                best = std::min(best,
                                SegmentDistanceSq(a->vertices[ea.from] + shiftA, a->vertices[ea.to] + shiftA,
                                                  b->vertices[eb.from], b->vertices[eb.to]));
            }
        }
    }
    return std::sqrt(best);
}

Matrix At(V3d position)
{
    return Translation(position);
}

} // namespace

TEST(VolumeGjk, SubsetLists)
{
    const std::vector<uint8_t> seven = {7, 3, 5, 6, 1, 2, 4, 0};
    const std::vector<uint8_t> fifteen = {15, 7, 11, 13, 14, 3, 5, 6, 9, 10, 12, 1, 2, 4, 8, 0};
    EXPECT_EQ(std::vector<uint8_t>(OlpGjkSubsets(7), OlpGjkSubsets(7) + 8), seven);
    EXPECT_EQ(std::vector<uint8_t>(OlpGjkSubsets(15), OlpGjkSubsets(15) + 16), fifteen);
    EXPECT_EQ(OlpGjkSubsets(0)[0], 0);
}

TEST_F(VolumeDistance, SpheresGiveTheCentreDifference)
{
    alignas(16) OlpVolume a, b;
    OlpSphereInit(&a, 0.5f);
    OlpSphereInit(&b, 1.0f);
    Matrix frameA = At({3, 4, 0});
    Matrix frameB = At({0, 0, 0});
    OlpPartPair pair = {{&a, &frameA}, {&b, &frameB}};
    OlpDistance gjk, sat;
    ASSERT_EQ(OlpGjkPenetration(&pair, 10.0f, &gjk, 1.0f), 1);
    ASSERT_EQ(OlpSatQuery(&pair, 10.0f, 1.0f, &sat), 1);
    for (const OlpDistance& d : {gjk, sat}) {
        ExpectNearV3(d.direction, {0.6f, 0.8f, 0}, 1e-4f);
        EXPECT_NEAR(d.distance, 3.5f, 1e-4f);
        EXPECT_NEAR(d.midPlane, 1.0f + 1.75f, 1e-4f);
    }
}

TEST_F(VolumeDistance, FarCylinderAgainstAHullAnswersTwo)
{
    OlpConvexHull* hull = BoxHull({1, 1, 1});
    alignas(16) OlpVolume cube, cylinder;
    OlpConvexInit(&cube, hull);
    OlpConvexHullRelease(hull);
    OlpCylinderInit(&cylinder, 0.5f, 1.0f);
    Matrix frameA = At({20, 0, 0});
    Matrix frameB = At({0, 0, 0});
    OlpPartPair pair = {{&cylinder, &frameA}, {&cube, &frameB}};
    OlpGjkSimplex simplex;
    OlpDistance out;
    EXPECT_EQ(OlpGjkDistance(&pair, nullptr, 1.0f, &simplex, &out, 1.0f), 2);
    EXPECT_EQ(OlpGjkDistance(&pair, nullptr, 100.0f, &simplex, &out, 1.0f), 1);
    EXPECT_NEAR(out.distance, 18.5f, 1e-3f);
    ExpectNearV3(out.direction, {1, 0, 0}, 1e-3f);
    OlpVolumeDestroyContents(&cube);
}

TEST_F(VolumeDistance, OverlapIsResolvedByShifting)
{
    OlpConvexHull* hull = BoxHull({1, 1, 1});
    alignas(16) OlpVolume cube, sphere;
    OlpConvexInit(&cube, hull);
    OlpConvexHullRelease(hull);
    OlpSphereInit(&sphere, 0.5f);
    Matrix frameA = At({0.1f, -0.2f, 0.8f});
    Matrix frameB = At({0, 0, 0});
    OlpPartPair pair = {{&sphere, &frameA}, {&cube, &frameB}};
    OlpGjkSimplex simplex;
    OlpDistance out;
    ASSERT_EQ(OlpGjkDistance(&pair, nullptr, 10.0f, &simplex, &out, 1.0f), 1);
    EXPECT_EQ(out.distance, -1.0f);
    ASSERT_EQ(OlpGjkPenetration(&pair, 10.0f, &out, 1.0f), 1);
    ExpectNearV3(out.direction, {0, 0, 1}, 1e-3f);
    EXPECT_NEAR(out.distance, -0.7f, 1e-3f);
    OlpVolumeDestroyContents(&cube);
}

TEST_F(VolumeDistance, AHullSunkIntoALargeTriangleLeavesAlongItsNormal)
{
    // A terrain triangle 4 m wide facing up, and a tilted box hull near one
    // of its corners with its lowest corner `depth` under it: the boxes'
    // centres lie mostly side by side, yet the way out is straight up.
    alignas(16) OlpVolume triangle, hull;
    const V3d a = {0, 0, 0}, b = {0, 0, 4}, c = {4, 0, 0};
    OlpTriangleInit(&triangle, &a, &b, &c);
    OlpConvexHull* box = BoxHull({0.25f, 0.1f, 0.15f});
    OlpConvexInit(&hull, box);
    const float depth = 0.007f;
    for (V3d at : {V3d{3.0f, 0.0f, 0.5f}, V3d{0.6f, 0.0f, 3.0f}, V3d{0.4f, 0.0f, 0.4f}}) {
        const float s = 1.0f / std::sqrt(2.0f);
        Matrix frame = MakeFrame({s, 0.0f, s}, 6.0f, at);
        float lowest = 3.4e38f;
        for (uint32_t v = 0; v < box->vertexCount; ++v) {
            lowest = std::min(lowest, TransformPoint(frame, box->vertices[v]).y);
        }
        frame.pos.y -= lowest + depth;
        OlpPartPair pair = {{&triangle, nullptr}, {&hull, &frame}};
        OlpDistance out;
        ASSERT_EQ(OlpGjkPenetration(&pair, 0.05f, &out, 1.0f), 1);
        // From the hull (B) towards the triangle (A): down.
        ExpectNearV3(out.direction, {0, -1, 0}, 1e-3f);
        EXPECT_NEAR(out.distance, -depth, 1e-4f);
        EXPECT_NEAR(out.midPlane, 0.5f * depth, 1e-4f);
    }
    OlpVolumeDestroyContents(&hull);
    OlpConvexHullRelease(box);
}

TEST_F(VolumeDistance, RandomHullPairsAgreeWithBruteForce)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::normal_distribution<float> normal;
    int failures = 0;
    int compared = 0;
    const int pairs = 2000;
    OlpConvexHull* shapes[8];
    for (OlpConvexHull*& shape : shapes) {
        // Random cubes' corners jittered: small hulls made by hand are boxes;
        // random boxes at random orientations come from the frames below.
        shape =
            BoxHull({0.3f + 0.7f * std::fabs(coordinate(random)), 0.3f + 0.7f * std::fabs(coordinate(random)),
                     0.3f + 0.7f * std::fabs(coordinate(random))});
    }
    for (int n = 0; n < pairs; ++n) {
        OlpConvexHull* ha = shapes[random() % 8];
        OlpConvexHull* hb = shapes[random() % 8];
        V3d direction = {normal(random), normal(random), normal(random)};
        direction = direction * (1.0f / Length(direction));
        V3d shift = direction * (2.0f + 2.0f * std::fabs(coordinate(random)));
        alignas(16) OlpVolume a, b;
        OlpConvexInit(&a, ha);
        OlpConvexInit(&b, hb);
        Matrix frameA = At(shift);
        OlpPartPair pair = {{&a, &frameA}, {&b, nullptr}};
        OlpGjkSimplex simplex;
        OlpDistance out;
        int32_t answer = OlpGjkDistance(&pair, nullptr, 100.0f, &simplex, &out, 1.0f);
        // Axis-aligned boxes overlap when their intervals overlap on every axis.
        V3d reach = ha->box.max + hb->box.max;
        bool overlap =
            std::fabs(shift.x) < reach.x && std::fabs(shift.y) < reach.y && std::fabs(shift.z) < reach.z;
        float brute = overlap ? 0.0f : BruteDistance(ha, shift, hb);
        if (overlap) {
            EXPECT_NE(answer, 2);
            if (answer == 1) {
                EXPECT_EQ(out.distance, -1.0f) << n;
            }
        } else if (brute > 1e-3f) {
            ++compared;
            if (answer != 1) {
                ++failures;
            } else {
                EXPECT_NEAR(out.distance, brute, 1e-4f * 4.0f) << n;
            }
        }
        OlpVolumeDestroyContents(&a);
        OlpVolumeDestroyContents(&b);
    }
    for (OlpConvexHull* shape : shapes) {
        OlpConvexHullRelease(shape);
    }
    EXPECT_GT(compared, pairs / 2);
    EXPECT_LT(failures, compared / 200);
}

TEST_F(VolumeDistance, FaceToFaceBoxesWinOnAFace)
{
    V3d half = {1, 1, 1};
    alignas(16) OlpVolume a, b;
    OlpBoxInit(&a, &half);
    OlpBoxInit(&b, &half);
    Matrix frameA = At({0.3f, -0.2f, 2.5f});
    Matrix frameB = At({0, 0, 0});
    OlpPartPair pair = {{&a, &frameA}, {&b, &frameB}};
    OlpDistance out;
    ASSERT_EQ(OlpSatQuery(&pair, 10.0f, 1.0f, &out), 1);
    ExpectNearV3(out.direction, {0, 0, 1});
    EXPECT_NEAR(out.distance, 0.5f, 1e-5f);
    EXPECT_NEAR(out.midPlane, 1.25f, 1e-5f);
    // Overlapping: the least overlap, still on the face.
    frameA = At({0.1f, 0.0f, 1.8f});
    ASSERT_EQ(OlpSatQuery(&pair, 10.0f, 1.0f, &out), 1);
    ExpectNearV3(out.direction, {0, 0, 1});
    EXPECT_NEAR(out.distance, -0.2f, 1e-5f);
    // Turned 45 degrees about z: the parallel z edges give no axis, and
    // the answer stays finite.
    Matrix turned = MakeFrame({0, 0, 1}, 45.0f, {3.0f, 0.0f, 0.0f});
    pair.a.frame = &turned;
    ASSERT_EQ(OlpSatQuery(&pair, 10.0f, 1.0f, &out), 1);
    ExpectNearV3(out.direction, {1, 0, 0}, 1e-5f);
    EXPECT_NEAR(out.distance, 3.0f - 1.0f - std::sqrt(2.0f), 1e-4f);
}

// Box pairs with closed-form answers, through both routes: the
// separating-axis query on boxes and the penetration query on the same
// boxes as hulls. Each answers its own question. Apart, GJK gives the
// distance and the axes their largest gap, which is the distance only when
// the closest features are a face and a corner or two edges. Overlapping,
// the axes give the least depth (a facet of the difference of two boxes
// lies across one of the 15 axes) and the shift search the depth along
// the way out that pushing B along the line between the centres finds:
// the least depth only when that line leaves through the shallowest side.
TEST_F(VolumeDistance, BoxPairsAnswerInClosedForm)
{
    const float root2 = std::sqrt(2.0f);
    struct Case
    {
        const char* name;
        V3d halfA, halfB;
        Matrix frameA, frameB;
        float axes; ///< the separating-axis query's distance
        float gjk;  ///< the penetration query's distance
    };
    const V3d unit = {0.5f, 0.5f, 0.5f};
    const V3d slab = {0.25f, 0.5f, 0.5f};
    const Matrix origin = At({0, 0, 0});
    // Turned 45 degrees about y, A's lowest edge runs along y; about x, B's
    // highest along x: the two cross above the origin.
    const Matrix crossedB = MakeFrame({1, 0, 0}, 45.0f, {0, 0, 0});
    const Case cases[] = {
        {"faces apart", unit, unit, At({1.5f, 0.2f, 0.1f}), origin, 0.5f, 0.5f},
        {"corners apart", unit, unit, At({1.5f, 1.5f, 1.5f}), origin, 0.5f, 0.5f * std::sqrt(3.0f)},
        {"crossed edges apart", unit, unit, MakeFrame({0, 1, 0}, 45.0f, {0, 0, 1.6f}), crossedB, 1.6f - root2,
         1.6f - root2},
        {"faces overlapping", unit, unit, At({0.8f, 0.3f, 0.0f}), origin, -0.2f, -0.2f},
        {"corner into a face", unit, unit, MakeFrame({0, 0, 1}, 45.0f, {0, 0, 0}), At({1.1f, 0, 0}),
         0.6f - 0.5f * root2, 0.6f - 0.5f * root2},
        {"crossed edges overlapping", unit, unit, MakeFrame({0, 1, 0}, 45.0f, {0, 0, 1.3f}), crossedB,
         1.3f - root2, 1.3f - root2},
        // Least depth 0.3 along x; the centres' line (0.2, 0.5) leaves
        // through the y sides, 0.5 deep.
        {"way out not the shallowest", slab, slab, At({0.2f, 0.5f, 0.0f}), origin, -0.3f, -0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        alignas(16) OlpVolume boxA, boxB, hullA, hullB;
        OlpBoxInit(&boxA, &c.halfA);
        OlpBoxInit(&boxB, &c.halfB);
        OlpConvexHull* shapeA = BoxHull(c.halfA);
        OlpConvexHull* shapeB = BoxHull(c.halfB);
        OlpConvexInit(&hullA, shapeA);
        OlpConvexInit(&hullB, shapeB);
        OlpPartPair boxes = {{&boxA, &c.frameA}, {&boxB, &c.frameB}};
        OlpPartPair hulls = {{&hullA, &c.frameA}, {&hullB, &c.frameB}};
        OlpDistance axes, gjk;
        ASSERT_EQ(OlpSatQuery(&boxes, 10.0f, 1.0f, &axes), 1);
        ASSERT_EQ(OlpGjkPenetration(&hulls, 10.0f, &gjk, 1.0f), 1);
        EXPECT_NEAR(axes.distance, c.axes, 1e-4f);
        EXPECT_NEAR(gjk.distance, c.gjk, 2e-4f);
        // Either distance is the gap of the two boxes along its own direction.
        for (const OlpDistance& d : {axes, gjk}) {
            V3d direction = d.direction;
            EXPECT_NEAR(OlpSatAxisOverlap(&boxes, &direction), d.distance, 2e-4f);
            ExpectNearV3(direction, d.direction);
        }
        OlpVolumeDestroyContents(&hullA);
        OlpVolumeDestroyContents(&hullB);
        OlpConvexHullRelease(shapeA);
        OlpConvexHullRelease(shapeB);
    }
}

TEST_F(VolumeDistance, CapsulesAndSpheresUseTheClosestPointsOfTheirCores)
{
    alignas(16) OlpVolume capsule, sphere;
    OlpCapsuleInit(&capsule, 0.5f, 1.0f);
    OlpSphereInit(&sphere, 0.25f);
    Matrix frameA = At({0, 0, 0});
    Matrix frameB = At({1, 0, 3}); // beyond the capsule's top end
    OlpPartPair pair = {{&capsule, &frameA}, {&sphere, &frameB}};
    OlpDistance out;
    ASSERT_EQ(OlpSatQuery(&pair, 10.0f, 1.0f, &out), 1);
    float centreDistance = std::sqrt(1.0f + 4.0f);
    EXPECT_NEAR(out.distance, centreDistance - 0.75f, 1e-4f);
    ExpectNearV3(out.direction, V3d{-1, 0, -2} * (1.0f / centreDistance), 1e-4f);
}

TEST_F(VolumeDistance, PlanesOnEitherSide)
{
    alignas(16) OlpVolume plane, sphere;
    OlpPlaneInit(&plane);
    OlpSphereInit(&sphere, 0.5f);
    Matrix floor = At({0, 0, 1});
    Matrix ball = At({2, 3, 2.2f});
    for (int route = 0; route < 2; ++route) {
        OlpDistance out;
        OlpPartPair sphereOnTop = {{&sphere, &ball}, {&plane, &floor}};
        ASSERT_EQ(route == 0 ? OlpGjkPenetration(&sphereOnTop, 10.0f, &out, 1.0f)
                             : OlpSatQuery(&sphereOnTop, 10.0f, 1.0f, &out),
                  1);
        ExpectNearV3(out.direction, {0, 0, 1});
        EXPECT_NEAR(out.distance, 0.7f, 1e-5f);
        EXPECT_NEAR(out.midPlane, 1.35f, 1e-5f);
        OlpPartPair planeFirst = {{&plane, &floor}, {&sphere, &ball}};
        ASSERT_EQ(route == 0 ? OlpGjkPenetration(&planeFirst, 10.0f, &out, 1.0f)
                             : OlpSatQuery(&planeFirst, 10.0f, 1.0f, &out),
                  1);
        ExpectNearV3(out.direction, {0, 0, -1});
        EXPECT_NEAR(out.distance, 0.7f, 1e-5f);
        EXPECT_NEAR(out.midPlane, -1.35f, 1e-5f);
    }
}
