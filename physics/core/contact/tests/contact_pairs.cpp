// Feature pairs measured on real volumes and turned into merged contacts.
#include <random>

#include "physics/core/contact/tests/contacttesting.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"
#include "physics/qhull/qhullbuild.h"

using namespace olp;

namespace {

class ContactPairs : public ContactTest
{
};

Matrix Identity()
{
    return Translation({0, 0, 0});
}

} // namespace

TEST_F(ContactPairs, BoxOnAPlaneGivesOneRecordOfFourPoints)
{
    OlpVolume box, plane;
    V3d half = {0.5f, 0.4f, 0.3f};
    OlpBoxInit(&box, &half);
    OlpVolumeSetMargin(&box, 0.01f);
    OlpPlaneInit(&plane);
    box.slide = 0.6f;
    plane.bounce = 0.05f;
    // Cores 0.03 above the plane: the surfaces 0.02 apart.
    Matrix up = Translation({1, 2, 0.33f});
    Matrix ground = Identity();
    ASSERT_EQ(Measure(&box, &up, &plane, &ground), 1);
    EXPECT_NEAR(area.records[0].distance, 0.02f, 1e-4f);
    std::vector<OlpContact> contacts = Generate();
    ASSERT_EQ(contacts.size(), 1u);
    const OlpContact& c = contacts[0];
    EXPECT_EQ(c.count, 4u);
    ExpectNearV3(c.normal, {0, 0, 1}, 1e-5f);
    for (uint32_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(c.points[i].separation, 0.02f, 1e-4f);
        EXPECT_NEAR(std::fabs(c.points[i].position.x - 1.0f), 0.5f, 1e-4f);
    }
    EXPECT_FLOAT_EQ(c.slide, 0.2f);
    EXPECT_FLOAT_EQ(c.bounce, 0.05f);
    EXPECT_EQ(c.kindA, kOlpFeatureFace);
}

TEST_F(ContactPairs, BoxOnBoxTurnedClipsEightPointsAndKeepsFour)
{
    OlpVolume lower, upper;
    V3d half = {1, 1, 0.5f};
    OlpBoxInit(&lower, &half);
    OlpBoxInit(&upper, &half);
    Matrix base = Identity();
    Matrix turned = MakeFrame({0, 0, 1}, 45.0f, {0, 0, 0.99f});
    ASSERT_EQ(Measure(&upper, &turned, &lower, &base), 1);
    OlpFeaturePair& r = area.records[0];
    EXPECT_EQ(r.a.feature.count, 4u);
    EXPECT_EQ(r.b.feature.count, 4u);
    float working = r.distance;
    uint8_t kindA = kOlpFeatureFace, kindB = kOlpFeatureFace;
    OlpFeaturePair copy = r;
    OlpFeaturePoint clipped[kOlpClipMaxPoints];
    EXPECT_EQ(OlpGeneralPrimitiveCollide(copy.a.feature.inlinePoints, 4, copy.b.feature.inlinePoints, 4, 0.0f,
                                         &copy.midPlane, &copy.direction, &working, &kindA, &kindB, &copy,
                                         clipped),
              8u);
    std::vector<OlpContact> contacts = Generate();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_EQ(contacts[0].count, 4u);
    ExpectNearV3(contacts[0].normal, {0, 0, 1}, 1e-4f);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(contacts[0].points[i].separation, -0.01f, 1e-4f);
    }
}

TEST_F(ContactPairs, DistanceAtTheMaximumMakesNoFeaturePair)
{
    OlpVolume a, b;
    OlpSphereInit(&a, 1.0f);
    OlpSphereInit(&b, 1.0f);
    area.contactDistance = 0.5f;
    Matrix fa = Translation({0, 0, 2.5f});
    Matrix fb = Identity();
    EXPECT_EQ(Measure(&a, &fa, &b, &fb), 0);
    fa = Translation({0, 0, 2.49f});
    EXPECT_EQ(Measure(&a, &fa, &b, &fb), 1);
}

TEST_F(ContactPairs, AnObjectWithoutContactsOnlyGetsTouches)
{
    OlpObj quiet, keeper;
    ASSERT_NE(OlpObjInit(&quiet, 1, 0), nullptr);
    ASSERT_NE(OlpObjInit(&keeper, 1, 0), nullptr);
    quiet.flags = kOlpObjFlagNoContacts | kOlpObjFlagTouchList;
    keeper.flags = kOlpObjFlagTouchList;
    OlpVolume a, b;
    OlpSphereInit(&a, 1.0f);
    OlpSphereInit(&b, 1.0f);
    Matrix fa = Translation({0, 0, 1.9f});
    Matrix fb = Identity();
    ASSERT_EQ(Measure(&a, &fa, &b, &fb, &quiet, &keeper), 1);
    EXPECT_TRUE(Generate().empty());
    ASSERT_NE(quiet.touches, nullptr);
    EXPECT_EQ(quiet.touches->contact, nullptr);
    EXPECT_EQ(quiet.touches->other, &keeper);
    ASSERT_NE(keeper.touches, nullptr);
    EXPECT_EQ(keeper.touches->other, &quiet);
    EXPECT_EQ(keeper.touches->contact, nullptr);

    // Without the flag both get a touch pointing at the contact.
    quiet.flags = kOlpObjFlagTouchList;
    quiet.touches = keeper.touches = nullptr;
    std::vector<OlpContact> out(2);
    ASSERT_EQ(OlpContactGenerate(&area, area.records, 1, out.data(), 2), 1u);
    ASSERT_NE(quiet.touches, nullptr);
    EXPECT_EQ(quiet.touches->contact, &out[0]);
    EXPECT_EQ(keeper.touches->contact, &out[0]);
    OlpObjDeinit(&quiet);
    OlpObjDeinit(&keeper);
}

TEST_F(ContactPairs, ABoxOnTwoCoplanarTrianglesGivesOneMergedRecord)
{
    OlpVolume box;
    V3d half = {0.5f, 0.5f, 0.5f};
    OlpBoxInit(&box, &half);
    V3d p0 = {-2, -2, 0}, p1 = {2, -2, 0}, p2 = {2, 2, 0}, p3 = {-2, 2, 0};
    OlpVolume t0, t1;
    OlpTriangleInit(&t0, &p0, &p1, &p2);
    OlpTriangleInit(&t1, &p0, &p2, &p3);
    // The box straddles the shared diagonal.
    Matrix up = Translation({0.2f, -0.1f, 0.51f});
    Matrix world = Identity();
    ASSERT_EQ(Measure(&box, &up, &t0, &world, nullptr, nullptr, 0, 1), 1);
    ASSERT_EQ(Measure(&box, &up, &t1, &world, nullptr, nullptr, 0, 2), 1);
    std::vector<OlpContact> contacts = Generate();
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_GE(contacts[0].count, 3u);
    EXPECT_LE(contacts[0].count, 4u);
    ExpectNearV3(contacts[0].normal, {0, 0, 1}, 1e-4f);
    for (uint32_t i = 0; i < contacts[0].count; ++i) {
        EXPECT_NEAR(contacts[0].points[i].separation, 0.01f, 1e-4f);
    }
}

TEST_F(ContactPairs, AShadowedVertexRecordIsEmptied)
{
    OlpContact face{}, vertex{};
    face.normal = {0, 0, 1};
    face.kindB = kOlpFeatureFace;
    V3d p = {0, 0, 0};
    OlpContactAddPoint(&p, -0.01f, &face, 0.0f);
    vertex.normal = {0.6f, 0, 0.8f};
    vertex.kindB = kOlpFeatureVertex;
    V3d q = {0.5f, 0, 0.02f};
    OlpContactAddPoint(&q, 0.0f, &vertex, 0.0f);
    EXPECT_TRUE(OlpContactShadowed(&face, &vertex, 1.0f));
    OlpContact records[2] = {vertex, face};
    OlpContact out[2];
    ASSERT_EQ(OlpContactMerge(records, 2, 1, out, 2, 1.0f), 1u);
    EXPECT_EQ(out[0].kindB, kOlpFeatureFace);
    // With shadow removal off both stay.
    OlpContact again[2] = {vertex, face};
    EXPECT_EQ(OlpContactMerge(again, 2, 0, out, 2, 1.0f), 2u);
    // A record well below the face's plane is not shadowed.
    V3d deep = {0.5f, 0, -0.5f};
    OlpContact below{};
    OlpContactAddPoint(&deep, 0.0f, &below, 0.0f);
    EXPECT_FALSE(OlpContactShadowed(&face, &below, 1.0f));
}

TEST_F(ContactPairs, AMergedRecordKeepsItsDeepestPoint)
{
    // Two records of nearly one plane (a hull across a shallow crease of two
    // triangles): the extremes of the group lie at its rim, the deepest point
    // in its middle. The merged record must keep it, or the solver never
    // sees the overlap; with room it is added, with four extremes it takes
    // the place of the nearest one.
    struct Case
    {
        const char* name;
        std::vector<V3d> rim; ///< of the first record, each at separation 0
        uint32_t count;       ///< points of the merged record
    };
    const Case cases[] = {
        {"three extremes", {{-1, 0, 0}, {1, 0, 0}}, 4},
        {"four extremes", {{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 4},
    };
    for (const Case& c : cases) {
        OlpContact rim{}, middle{};
        rim.normal = {0, 0, 1};
        for (const V3d& p : c.rim) {
            OlpContactAddPoint(&p, 0.0f, &rim, 0.0f);
        }
        const V3d tilted = {0.05f, 0, 1};
        OlpVecNormalize(&middle.normal, &tilted);
        const V3d edge = {0, -1, 0.005f}, deep = {0.1f, -0.3f, -0.02f};
        OlpContactAddPoint(&edge, 0.0f, &middle, 0.0f);
        OlpContactAddPoint(&deep, -0.025f, &middle, 0.0f);
        OlpContact records[2] = {rim, middle};
        OlpContact out[2];
        ASSERT_EQ(OlpContactMerge(records, 2, 0, out, 2, 1.0f), 1u) << c.name;
        EXPECT_EQ(out[0].count, c.count) << c.name;
        float deepest = 0.0f;
        for (uint32_t i = 0; i < out[0].count; ++i) {
            deepest = std::fmin(deepest, out[0].points[i].separation);
        }
        EXPECT_EQ(deepest, -0.025f) << c.name;
    }
}

TEST_F(ContactPairs, ASphereRollingOverAnInnerEdgeKeepsTheFaceNormal)
{
    // Two flat triangles sharing the edge x = 0; the shared edge may not give
    // a normal of its own (its bit cleared on both).
    V3d a = {-2, -2, 0}, b = {0, -2, 0}, c = {0, 2, 0}, e = {2, -2, 0};
    OlpVolume left, right;
    OlpTriangleInit(&left, &a, &b, &c);  // BC (bit 4) is the shared edge
    OlpTriangleInit(&right, &b, &e, &c); // CA (bit 8) is the shared edge
    OlpTriangleGetData(&left)->edgeFlags = 0xF & ~4u;
    OlpTriangleGetData(&right)->edgeFlags = 0xF & ~8u;
    OlpVolume sphere;
    OlpSphereInit(&sphere, 0.5f);
    Matrix world = Identity();
    int contactsSeen = 0;
    for (float x = -0.6f; x <= 0.6f; x += 0.05f) {
        area.recordCount = area.pointCount = 0;
        // Slightly sunk, so that the edge's rounded region is reached.
        Matrix at = Translation({x, 0.3f, 0.49f});
        Measure(&sphere, &at, &left, &world, nullptr, nullptr, 0, 1);
        Measure(&sphere, &at, &right, &world, nullptr, nullptr, 0, 2);
        for (const OlpContact& contact : Generate()) {
            ++contactsSeen;
            ExpectNearV3(contact.normal, {0, 0, 1}, 1e-4f);
        }
    }
    EXPECT_GT(contactsSeen, 20);
}

TEST_F(ContactPairs, EveryTypePairGivesSoundContacts)
{
    std::vector<V3d> cloud;
    std::mt19937 random(21);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int i = 0; i < 30; ++i) {
        cloud.push_back({unit(random), 0.5f * unit(random), 0.8f * unit(random)});
    }
    OlpConvexHull* hull = OlpQHullBuildHull(30, cloud.data(), nullptr, OlpQHullDiscard());
    ASSERT_NE(hull, nullptr);
    const int kinds = 8;
    auto make = [&](int kind, OlpVolume* v, float size) {
        V3d half = {0.5f * size, 0.3f * size, 0.2f * size};
        V3d zero = {0, 0, 0};
        V3d p0 = {0, 0, 0}, p1 = {size, 0, 0}, p2 = {0, size, 0}, p3 = {2 * size, 0, 0};
        switch (kind) {
        case 0:
            OlpSphereInit(v, 0.5f * size);
            break;
        case 1:
            OlpCapsuleInit(v, 0.2f * size, 0.4f * size);
            break;
        case 2:
            OlpBoxInit(v, &half);
            break;
        case 3:
            OlpBoxInit(v, &zero);
            break;
        case 4:
            OlpCylinderInit(v, 0.4f * size, 0.3f * size);
            break;
        case 5:
            OlpConvexInit(v, hull);
            break;
        case 6:
            OlpTriangleInit(v, &p0, &p1, &p2);
            break;
        default:
            OlpTriangleInit(v, &p0, &p1, &p3);
            break; // degenerate
        }
        OlpVolumeSetMargin(v, kind == 3 ? 0.1f : 0.02f * size);
    };
    int made = 0;
    for (int i = 0; i < kinds; ++i) {
        for (int j = 0; j < kinds; ++j) {
            for (int n = 0; n < 25; ++n) {
                OlpVolume a, b;
                make(i, &a, 1.0f + 0.5f * unit(random));
                make(j, &b, 1.0f + 0.5f * unit(random));
                V3d axis = {unit(random), unit(random), unit(random)};
                if (LengthSq(axis) < 1e-3f) {
                    axis = {0, 0, 1};
                }
                OlpVecNormalize(&axis, &axis);
                // Every fifth pose puts the two centres on one point.
                V3d offset =
                    n % 5 == 0 ? V3d{0, 0, 0} : V3d{0.6f * unit(random), 0.6f * unit(random), unit(random)};
                Matrix fa = MakeFrame(axis, 180.0f * unit(random), offset);
                Matrix fb = MakeFrame({0, 0, 1}, 180.0f * unit(random), {0, 0, 0});
                area.recordCount = area.pointCount = 0;
                area.contactDistance = 0.1f;
                if (Measure(&a, &fa, &b, &fb) == 0) {
                    OlpVolumeDestroyContents(&a);
                    OlpVolumeDestroyContents(&b);
                    continue;
                }
                for (const OlpContact& c : Generate()) {
                    ++made;
                    ASSERT_TRUE(IsUnit(c.normal)) << i << " " << j << " " << n;
                    ASSERT_LE(c.count, 4u);
                    for (uint32_t k = 0; k < c.count; ++k) {
                        ASSERT_TRUE(IsFiniteV3(c.points[k].position)) << i << " " << j << " " << n;
                        ASSERT_TRUE(std::isfinite(c.points[k].separation)) << i << " " << j << " " << n;
                    }
                }
                OlpVolumeDestroyContents(&a);
                OlpVolumeDestroyContents(&b);
            }
        }
    }
    EXPECT_GT(made, 500);
    OlpConvexHullRelease(hull);
}
