// Line tests against a brute-force march along the segment over each
// rounded shape's distance function, and hostile arguments.
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/raytests.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"

#include <algorithm>
#include <functional>
#include <random>

using namespace olp;

namespace {

class VolumeLines : public VolumeTest
{
};

using Distance = std::function<float(V3d)>;

float RoundedBoxDistance(V3d p, V3d h, float m)
{
    V3d q = Abs(p) - h;
    V3d outside = {std::fmax(q.x, 0.0f), std::fmax(q.y, 0.0f), std::fmax(q.z, 0.0f)};
    return Length(outside) + std::fmin(std::fmax(q.x, std::fmax(q.y, q.z)), 0.0f) - m;
}

float CapsuleDistance(V3d p, float r, float h)
{
    V3d core = {0.0f, 0.0f, std::clamp(p.z, -h, h)};
    return Length(p - core) - r;
}

float RoundedCylinderDistance(V3d p, float r, float h, float m)
{
    float dx = std::sqrt(p.x * p.x + p.y * p.y) - r;
    float dz = std::fabs(p.z) - h;
    float outside =
        std::sqrt(std::fmax(dx, 0.0f) * std::fmax(dx, 0.0f) + std::fmax(dz, 0.0f) * std::fmax(dz, 0.0f));
    return outside + std::fmin(std::fmax(dx, dz), 0.0f) - m;
}

struct March
{
    bool hit;
    float fraction;
    float closest; ///< smallest distance met along the segment
};

/// The first fraction where the distance reaches 0, found on a fine grid
/// and refined by bisection (in double).
March BruteForce(const Distance& distance, V3d a, V3d b)
{
    const int steps = 5000;
    March result = {false, 0.0f, 3.4e38f};
    double previous = 0.0;
    for (int i = 0; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        V3d p = a + (b - a) * static_cast<float>(t);
        float d = distance(p);
        result.closest = std::fmin(result.closest, std::fabs(d));
        if (d <= 0.0f) {
            double lo = previous;
            double hi = t;
            if (i == 0) {
                return {true, 0.0f, 0.0f};
            }
            for (int k = 0; k < 40; ++k) {
                double mid = 0.5 * (lo + hi);
                (distance(a + (b - a) * static_cast<float>(mid)) <= 0.0f ? hi : lo) = mid;
            }
            result.hit = true;
            result.fraction = static_cast<float>(hi);
            return result;
        }
        previous = t;
    }
    return result;
}

struct Shape
{
    const char* name;
    OlpVolume* volume;
    Distance distance;
    float reach; ///< segments run within this box
};

/// `matrix` goes to the dispatcher; `placement` is where the shape really
/// is (its frame, the matrix, or both), for the distance function.
void CompareWithBruteForce(const Shape& shape, const Matrix* matrix, const Matrix* placement, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-shape.reach, shape.reach);
    // Ends nearer the shape, so that about half the segments hit.
    std::uniform_real_distribution<float> near(-0.5f * shape.reach, 0.5f * shape.reach);
    int hits = 0;
    int compared = 0;
    for (int n = 0; n < 200; ++n) {
        V3d a = {coordinate(random), coordinate(random), coordinate(random)};
        V3d b = {near(random), near(random), near(random)};
        Distance local = shape.distance;
        if (placement != nullptr) {
            a = TransformPoint(*placement, a);
            b = TransformPoint(*placement, b);
            local = [&shape, placement](V3d p) {
                return shape.distance(InverseTransformPoint(*placement, p));
            };
        }
        March expected = BruteForce(local, a, b);
        if (expected.closest < 1e-3f && !expected.hit) {
            continue; // grazing: either answer is right
        }
        OlpLineResult result;
        int32_t hit = OlpVolumeLineIntersect(shape.volume, matrix, &a, &b, &result);
        ++compared;
        ASSERT_EQ(hit != 0, expected.hit)
            << shape.name << " segment " << n << " from " << a.x << " " << a.y << " " << a.z << " to " << b.x
            << " " << b.y << " " << b.z << " expected t " << expected.fraction << " got " << result.fraction
            << " seed " << seed;
        if (!expected.hit) {
            continue;
        }
        ++hits;
        EXPECT_NEAR(result.fraction, expected.fraction, 1e-4f) << shape.name << " segment " << n;
        V3d point = a + (b - a) * result.fraction;
        ExpectNearV3(result.point, point, 1e-3f * shape.reach);
        EXPECT_NEAR(Length(result.normal), 1.0f, 1e-4f) << shape.name;
        if (result.fraction > 0.0f) {
            // The normal points out: a small step along it leaves the surface.
            EXPECT_GT(local(result.point + result.normal * 1e-2f), 0.0f) << shape.name << " segment " << n;
        }
    }
    EXPECT_GT(hits, 50) << shape.name;
    EXPECT_GT(compared, 160) << shape.name;
}

} // namespace

TEST_F(VolumeLines, RoundedShapesAgreeWithABruteForceMarch)
{
    V3d half = {1.0f, 0.5f, 2.0f};
    OlpVolume* box = OlpBoxCreate(&half);
    OlpVolumeSetMargin(box, 0.3f);
    OlpVolume* sharpBox = OlpBoxCreate(&half);
    OlpVolume* capsule = OlpCapsuleCreate(0.6f, 1.2f);
    OlpVolume* cylinder = OlpCylinderCreate(1.0f, 0.8f);
    OlpVolumeSetMargin(cylinder, 0.25f);
    OlpVolume* sharpCylinder = OlpCylinderCreate(1.0f, 0.8f);
    OlpVolume* sphere = OlpSphereCreate(1.3f);
    const Shape shapes[] = {
        {"rounded box", box, [&](V3d p) { return RoundedBoxDistance(p, half, 0.3f); }, 4.0f},
        {"box", sharpBox, [&](V3d p) { return RoundedBoxDistance(p, half, 0.0f); }, 4.0f},
        {"capsule", capsule, [](V3d p) { return CapsuleDistance(p, 0.6f, 1.2f); }, 3.0f},
        {"rounded cylinder", cylinder, [](V3d p) { return RoundedCylinderDistance(p, 1.0f, 0.8f, 0.25f); },
         3.0f},
        {"cylinder", sharpCylinder, [](V3d p) { return RoundedCylinderDistance(p, 1.0f, 0.8f, 0.0f); }, 3.0f},
        {"sphere", sphere, [](V3d p) { return Length(p) - 1.3f; }, 3.0f},
    };
    Matrix frame = MakeFrame({0.48f, 0.6f, 0.64f}, 37.0f, {0.5f, -1.0f, 2.0f});
    uint32_t seed = 1;
    for (const Shape& shape : shapes) {
        CompareWithBruteForce(shape, nullptr, nullptr, seed++);
        OlpVolumeSetFrame(shape.volume, &frame);
        CompareWithBruteForce(shape, nullptr, &frame, seed++);
        Matrix identity = Translation({0, 0, 0});
        OlpVolumeSetFrame(shape.volume, &identity);
        shape.volume->frame.flags |= kMatrixFlagIdentity;
        CompareWithBruteForce(shape, &frame, &frame, seed++);
        OlpVolumeDestroy(shape.volume);
    }
}

TEST_F(VolumeLines, SegmentsAcrossSeveralRegionsReportTheWholeFraction)
{
    // From a corner region through an edge region into a face region, where
    // the rounded face is hit.
    V3d half = {1, 1, 1};
    alignas(16) OlpVolume box;
    OlpBoxInit(&box, &half);
    OlpVolumeSetMargin(&box, 0.5f);
    V3d a = {-3, 2.5f, 3};
    V3d b = {1.4f, 0.3f, -2};
    OlpLineResult result;
    ASSERT_EQ(OlpVolumeLineIntersect(&box, nullptr, &a, &b, &result), 1);
    March expected = BruteForce([&](V3d p) { return RoundedBoxDistance(p, half, 0.5f); }, a, b);
    ASSERT_TRUE(expected.hit);
    EXPECT_NEAR(result.fraction, expected.fraction, 1e-4f);
}

TEST_F(VolumeLines, StartsInsideHitAtZeroWithTheNearestFace)
{
    V3d half = {1, 2, 3};
    alignas(16) OlpVolume box;
    OlpBoxInit(&box, &half);
    struct Case
    {
        V3d start;
        V3d normal;
    } cases[] = {{{0.9f, 0, 0}, {1, 0, 0}}, {{0, -1.8f, 0}, {0, -1, 0}}, {{0.5f, 0.5f, 2.9f}, {0, 0, 1}}};
    for (const Case& c : cases) {
        V3d end = {10, 10, 10};
        OlpLineResult result;
        ASSERT_EQ(OlpVolumeLineIntersect(&box, nullptr, &c.start, &end, &result), 1);
        EXPECT_EQ(result.fraction, 0.0f);
        ExpectNearV3(result.point, c.start);
        ExpectNearV3(result.normal, c.normal);
    }
    alignas(16) OlpVolume capsule;
    OlpCapsuleInit(&capsule, 0.5f, 1.0f);
    V3d start = {0.2f, 0, 1.1f};
    V3d end = {5, 5, 5};
    OlpLineResult result;
    ASSERT_EQ(OlpVolumeLineIntersect(&capsule, nullptr, &start, &end, &result), 1);
    EXPECT_EQ(result.fraction, 0.0f);
    alignas(16) OlpVolume plane;
    OlpPlaneInit(&plane);
    V3d below = {0, 0, -1};
    V3d above = {0, 0, 3};
    ASSERT_EQ(OlpVolumeLineIntersect(&plane, nullptr, &above, &below, &result), 1);
    EXPECT_FLOAT_EQ(result.fraction, 0.75f);
    ExpectNearV3(result.normal, {0, 0, 1});
    ASSERT_EQ(OlpVolumeLineIntersect(&plane, nullptr, &below, &above, &result), 1);
    EXPECT_EQ(result.fraction, 0.0f);
}

TEST(VolumeRayTests, AnswersOfTheSegmentTests)
{
    V3d s = {0, 0, 5};
    V3d down = {0, 0, -10};
    V3d up = {0, 0, 10};
    OlpRayFraction f;
    EXPECT_EQ(OlpRaySlab(&f, &s, &down, 2, 1.0f, 1.0f), 1);
    EXPECT_FLOAT_EQ(f.numerator / f.denominator, 0.4f);
    EXPECT_EQ(OlpRaySlab(&f, &s, &up, 2, 1.0f, 1.0f), -1);
    V3d shortDown = {0, 0, -1};
    EXPECT_EQ(OlpRaySlab(&f, &s, &shortDown, 2, 1.0f, 1.0f), 0);
    EXPECT_EQ(OlpRaySlab(nullptr, &s, &down, 2, 1.0f, 6.0f), 1);
    EXPECT_EQ(OlpRaySlab(nullptr, &s, &down, 2, 1.0f, 1.0f), 0);
    V3d centre = {0, 0, 0};
    EXPECT_EQ(OlpRaySphere(&f, &s, &down, &centre, 2.0f), 1);
    EXPECT_FLOAT_EQ(f.numerator / f.denominator, 0.3f);
    EXPECT_EQ(OlpRaySphere(&f, &s, &up, &centre, 2.0f), -1);
    V3d axis = {1, 0, 0};
    EXPECT_EQ(OlpRayCylinder(&f, &s, &down, &centre, &axis, 2.0f, 0, 0), 1);
    EXPECT_FLOAT_EQ(f.numerator / f.denominator, 0.3f);
    EXPECT_EQ(OlpRayCylinder(&f, &s, &up, &centre, &axis, 2.0f, 1, 0), 0);
    V3d inside = {0, 0, 1};
    EXPECT_EQ(OlpRayCylinder(&f, &inside, &up, &centre, &axis, 2.0f, 0, 1), 0);
    EXPECT_EQ(OlpRayCylinder(&f, &inside, &up, &centre, &axis, 2.0f, 0, 0), 1);
    EXPECT_EQ(f.numerator, 0.0f);
    // A torus of radii 2 and 0.5 about z, met from above at its tube.
    V3d start = {2, 0, 3};
    V3d z = {0, 0, 1};
    EXPECT_EQ(OlpRayTorus(&f, &start, &down, &centre, &z, 2.0f, 0.5f), 1);
    EXPECT_NEAR(f.numerator / f.denominator, 0.25f, 1e-5f);
    V3d through = {0, 0, 3};
    EXPECT_EQ(OlpRayTorus(&f, &through, &down, &centre, &z, 2.0f, 0.5f), 0);
}

TEST_F(VolumeLines, HostileArgumentsGiveNoNaN)
{
    V3d zero = {0, 0, 0};
    V3d nanHalf = {NAN, -1.0f, 0.0f};
    std::vector<OlpVolume*> volumes = {
        OlpSphereCreate(NAN),          OlpSphereCreate(-1.0f), OlpCapsuleCreate(NAN, -2.0f),
        OlpBoxCreate(&zero),           OlpBoxCreate(&nanHalf), OlpCylinderCreate(-1.0f, NAN),
        OlpCylinderCreate(0.0f, 0.0f), OlpPlaneCreate(),
    };
    OlpVolumeSetMargin(volumes[3], NAN);
    OlpVolumeSetMargin(volumes[6], 0.5f);
    struct Segment
    {
        V3d a, b;
    } segments[] = {
        {{0, 0, 0}, {0, 0, 0}},        // zero length at the centre
        {{3, 3, 3}, {3, 3, 3}},        // zero length outside
        {{-5, 0.5f, 0}, {5, 0.5f, 0}}, // tangent to the half-width 0.5 shapes
        {{-5, 0, 0}, {5, 0, 0}},       {{0, 0, 5}, {0, 0, -5}},
    };
    const V3d directions[] = {{0, 0, 0}, {0, 0, 1}, {1e-30f, 0, 0}, {0.6f, 0.8f, 0}, {1, 1, 1}};
    for (OlpVolume* volume : volumes) {
        ASSERT_NE(volume, nullptr);
        EXPECT_TRUE(OlpVolumeIsValid(volume)) << OlpVolumeGetTypeName(volume);
        for (const Segment& segment : segments) {
            OlpLineResult result;
            if (OlpVolumeLineIntersect(volume, nullptr, &segment.a, &segment.b, &result)) {
                EXPECT_TRUE(std::isfinite(result.fraction)) << OlpVolumeGetTypeName(volume);
                EXPECT_TRUE(IsFiniteV3(result.point)) << OlpVolumeGetTypeName(volume);
                EXPECT_TRUE(IsFiniteV3(result.normal)) << OlpVolumeGetTypeName(volume);
            }
        }
        for (const V3d& d : directions) {
            OlpSupportFeature feature;
            if (OlpVolumeGetSupportFeature(volume, nullptr, 1, &d, &feature) != nullptr &&
                volume->descriptor->typeId != kOlpTypePlane) {
                EXPECT_TRUE(IsFiniteV3(feature.normal)) << OlpVolumeGetTypeName(volume);
                EXPECT_TRUE(std::isfinite(feature.offset)) << OlpVolumeGetTypeName(volume);
                EXPECT_LE(feature.count, kOlpFeatureInlinePoints);
            }
            V3d point;
            if (volume->descriptor->typeId != kOlpTypePlane &&
                OlpVolumeGetSupportPoint(volume, nullptr, &d, &point) != nullptr) {
                EXPECT_TRUE(IsFiniteV3(point)) << OlpVolumeGetTypeName(volume);
            }
        }
        OlpBBox box;
        OlpVolumeGetBBox(volume, nullptr, 1, &box);
        EXPECT_TRUE(IsFiniteV3(box.max) && IsFiniteV3(box.min));
        OlpMassProperties properties;
        V3d centre;
        EXPECT_TRUE(std::isfinite(OlpVolumeGetMassProperties(volume, &properties, &centre)));
        EXPECT_TRUE(IsFiniteV3(properties.moments));
        OlpVolumeDestroy(volume);
    }
}
