// Feature clipping and contact points: the pieces, and feature pairs made
// by hand.
#include <algorithm>

#include "physics/core/contact/tests/contacttesting.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

OlpFeaturePoint P(float x, float y, float z)
{
    return {{x, y, z}, 0.0f};
}

/// A feature pair of two horizontal features: A above (its plane faces
/// down at height `topA`), B below (facing up at height `topB`).
OlpFeaturePair Stacked(std::vector<OlpFeaturePoint> a, float topA, std::vector<OlpFeaturePoint> b, float topB)
{
    OlpFeaturePair r{};
    r.direction = {0, 0, 1};
    r.distance = topA - topB;
    r.midPlane = 0.5f * (topA + topB);
    r.a.feature.normal = {0, 0, -1};
    r.a.feature.offset = -topA;
    r.b.feature.normal = {0, 0, 1};
    r.b.feature.offset = topB;
    std::copy(a.begin(), a.end(), r.a.feature.inlinePoints);
    std::copy(b.begin(), b.end(), r.b.feature.inlinePoints);
    r.a.feature.points = r.a.feature.inlinePoints;
    r.b.feature.points = r.b.feature.inlinePoints;
    r.a.feature.count = static_cast<uint16_t>(a.size());
    r.b.feature.count = static_cast<uint16_t>(b.size());
    r.a.slide = 0.3f;
    r.b.slide = 0.7f;
    r.a.bounce = 0.9f;
    r.b.bounce = 0.1f;
    r.a.featureId = 5;
    r.b.featureId = 9;
    return r;
}

std::vector<OlpFeaturePoint> Square(float half, float z)
{
    return {P(-half, -half, z), P(half, -half, z), P(half, half, z), P(-half, half, z)};
}

} // namespace

TEST(ContactClip, SegmentsAndPolygons)
{
    V3d a0 = {-1, 0, 1}, a1 = {1, 0, 1}, b0 = {0, -1, 0}, b1 = {0, 1, 0};
    float s, t;
    V3d onA, onB;
    OlpClipSegments(&a0, &a1, &b0, &b1, &s, &t, &onA, &onB);
    EXPECT_FLOAT_EQ(s, 0.5f);
    EXPECT_FLOAT_EQ(t, 0.5f);
    ExpectNearV3(onA, {0, 0, 1});
    ExpectNearV3(onB, {0, 0, 0});
    // Past the ends both parameters clamp.
    V3d c0 = {3, 5, 0}, c1 = {3, 9, 0};
    OlpClipSegments(&a0, &a1, &c0, &c1, &s, &t, &onA, &onB);
    EXPECT_FLOAT_EQ(s, 1.0f);
    EXPECT_FLOAT_EQ(t, 0.0f);

    std::vector<OlpFeaturePoint> square = Square(1.0f, 0.0f);
    V3d up = {0, 0, 1};
    for (float winding : {1.0f, -1.0f}) {
        std::vector<OlpFeaturePoint> polygon = square;
        if (winding < 0) {
            std::reverse(polygon.begin(), polygon.end());
        }
        V3d inside = {0.5f, 0.2f, 3.0f}, outside = {3.0f, 0.5f, 0.0f}, q;
        float u;
        EXPECT_EQ(OlpClipPointPolygon(&inside, polygon.data(), 4, &up, &q, &u), 1);
        EXPECT_EQ(OlpClipPointPolygon(&outside, polygon.data(), 4, &up, &q, &u), 0);
        ExpectNearV3(q, {1.0f, 0.5f, 0.0f});
    }
}

TEST(ContactClip, ScoresAndSpacing)
{
    V3d a = {0, 0, 0}, b = {1, 1, 0}, c = {2, 0, 0};
    // Squared area of the parallelogram (4) over |c - a|^4 + 1 (17).
    EXPECT_FLOAT_EQ(OlpContactPointScore(&a, &b, &c), 4.0f / 17.0f);
    V3d flat = {1, 0, 0};
    EXPECT_FLOAT_EQ(OlpContactPointScore(&a, &flat, &c), 0.0f);

    OlpContact contact{};
    struct Case
    {
        V3d p;
        float spacing;
        int32_t added;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0.1f, 1},       {{0.05f, 0.04f, 0}, 0.1f, 0}, // near the first point
        {{1, 0, 0}, 0.1f, 1},       {{1.05f, 0, 0.04f}, 0.1f, 0}, // near the last point
        {{0.5f, 0.5f, 0}, 0.1f, 1}, {{0.5f, 0.55f, 0}, -1.0f, 1}, // spacing below 0 accepts
        {{9, 9, 9}, 0.0f, 0},                                     // full
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OlpContactAddPoint(&c.p, 0.0f, &contact, c.spacing), c.added) << c.p.x << "," << c.p.y;
    }
    EXPECT_EQ(contact.count, 4u);
}

TEST(ContactClip, FaceOnFaceKeepsTheDeepestAndTheLargestTriangles)
{
    // A square on a larger square: four points, separations = the gap.
    OlpFeaturePair r = Stacked(Square(1.0f, 0.02f), 0.02f, Square(2.0f, 0.0f), 0.0f);
    OlpContact c;
    ASSERT_EQ(OlpContactFromFeatures(&r, 0.05f, &c), 1);
    EXPECT_EQ(c.count, 4u);
    for (uint32_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(c.points[i].separation, 0.02f, 1e-5f);
        EXPECT_NEAR(c.points[i].position.z, 0.01f, 1e-5f);
        EXPECT_EQ(c.points[i].featureA, 5u);
        EXPECT_EQ(c.points[i].featureB, 9u);
    }
    ExpectNearV3(c.normal, {0, 0, 1});
    EXPECT_EQ(c.kindA, kOlpFeatureFace);
    EXPECT_FLOAT_EQ(c.slide, 0.3f);
    EXPECT_FLOAT_EQ(c.bounce, 0.1f);

    // Eight clipped points: the four near the middles of the square's
    // sides span the smallest triangles and go; the deepest corner stays.
    std::vector<OlpFeaturePoint> octagon = {P(1, -1, 0), P(1.01f, 0, 0),  P(1, 1, 0),   P(0, 1.02f, 0),
                                            P(-1, 1, 0), P(-1.03f, 0, 0), P(-1, -1, 0), P(0, -1.04f, 0)};
    OlpFeaturePair tilted = Stacked(Square(1.0f, 0.0f), 0.0f, Square(3.0f, 0.0f), 0.0f);
    tilted.a.feature.normal = {0.05f, 0.05f, -0.9975f}; // (-1, -1) is the deepest
    tilted.a.feature.offset = 0.0f;
    OlpContact reduced{};
    OlpContactClipPoints(&tilted, octagon.data(), 8, 0.0f, 0.5f, &reduced);
    ASSERT_EQ(reduced.count, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(std::fabs(reduced.points[i].position.x), 1.0f) << i;
        EXPECT_FLOAT_EQ(std::fabs(reduced.points[i].position.y), 1.0f) << i;
    }
}

TEST(ContactClip, NothingWhenTooFarOrEveryPointAbove)
{
    // Apart by more than the contact distance plus the margins.
    OlpFeaturePair far = Stacked(Square(1.0f, 0.2f), 0.2f, Square(2.0f, 0.0f), 0.0f);
    OlpContact c;
    EXPECT_EQ(OlpContactFromFeatures(&far, 0.05f, &c), 0);
    // Within reach at one corner by the direction, but the tilted face of A
    // lies above B's plane everywhere beyond the contact distance.
    OlpFeaturePair above = Stacked(Square(1.0f, 0.0f), 0.0f, Square(2.0f, 0.0f), 0.0f);
    above.a.feature.offset = -0.5f;
    OlpContact none{};
    OlpContactClipPoints(&above, above.a.feature.points, 4, 0.0f, 0.05f, &none);
    EXPECT_EQ(none.count, 0u);
}

TEST(ContactClip, EdgeAcrossEdgeAndPointOnFace)
{
    // Crossed edges give one point, both kinds edges, the direction along
    // the closest pair.
    OlpFeaturePair r = Stacked({P(-1, 0, 0.01f), P(1, 0, 0.01f)}, 0.01f, {P(0, -1, 0), P(0, 1, 0)}, 0.0f);
    OlpContact c;
    ASSERT_EQ(OlpContactFromFeatures(&r, 0.05f, &c), 1);
    EXPECT_EQ(c.count, 1u);
    EXPECT_EQ(c.kindA, kOlpFeatureEdge);
    EXPECT_EQ(c.kindB, kOlpFeatureEdge);
    ExpectNearV3(c.normal, {0, 0, 1});
    EXPECT_NEAR(c.points[0].separation, 0.01f, 1e-5f);
    // Parallel overlapping edges give the two ends of the overlap on B.
    OlpFeaturePair parallel =
        Stacked({P(-1, 0, 0.01f), P(1, 0, 0.01f)}, 0.01f, {P(0, 0, 0), P(3, 0, 0)}, 0.0f);
    ASSERT_EQ(OlpContactFromFeatures(&parallel, 0.05f, &c), 1);
    ASSERT_EQ(c.count, 2u);
    EXPECT_NEAR(c.points[0].position.x, 0.0f, 1e-5f);
    EXPECT_NEAR(c.points[1].position.x, 1.0f, 1e-5f);
    // A vertex over a face is a face contact at the vertex.
    OlpFeaturePair vertex = Stacked({P(0.3f, 0.2f, 0.02f)}, 0.02f, Square(1.0f, 0.0f), 0.0f);
    ASSERT_EQ(OlpContactFromFeatures(&vertex, 0.05f, &c), 1);
    EXPECT_EQ(c.count, 1u);
    EXPECT_EQ(c.kindB, kOlpFeatureFace);
    ExpectNearV3(c.points[0].position, {0.3f, 0.2f, 0.01f});
    EXPECT_NEAR(c.points[0].separation, 0.02f, 1e-5f);
    // Beside the face, the vertex meets the nearest edge point and the
    // normal turns towards it.
    OlpFeaturePair beside = Stacked({P(1.02f, 0.0f, 0.0f)}, 0.0f, Square(1.0f, 0.0f), 0.0f);
    ASSERT_EQ(OlpContactFromFeatures(&beside, 0.05f, &c), 1);
    ExpectNearV3(c.normal, {1, 0, 0});
    EXPECT_NEAR(c.points[0].separation, 0.02f, 1e-5f);
}
