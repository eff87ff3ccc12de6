// bench_physics_compare <scene>: the same work through this engine and
// through Bullet, in interleaved rounds within one run, as one table of
// figure, ours, peer and ratio.
//
//   shapes   support points and features (Bullet: localGetSupportingVertex,
//            which gives one point whatever the feature) and line
//            tests (Bullet: btCollisionWorld::rayTestSingle) per second on
//            equal shapes, over the tables of bench/physics/shapes_scene.
#include <btBulletCollisionCommon.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "bench/physics/shapes_scene.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/volume/dispatch.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Seconds taken by `work`.
double Time(const std::function<void()>& work)
{
    Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Ours and the peer's total seconds over interleaved rounds.
struct Race
{
    double ours = 0.0;
    double peer = 0.0;
};

Race RunRounds(int rounds, const std::function<void()>& ours, const std::function<void()>& peer)
{
    Race race;
    for (int round = 0; round < rounds; ++round) {
        race.ours += Time(ours);
        race.peer += Time(peer);
    }
    return race;
}

void PrintRow(const std::string& figure, double items, const Race& race)
{
    double ours = items / race.ours;
    double peer = items / race.peer;
    std::printf("%-34s %12.2f %12.2f %8.2f\n", figure.c_str(), ours / 1e6, peer / 1e6, ours / peer);
}

std::unique_ptr<btCollisionShape> BulletShape(const ShapeCase& shape)
{
    std::unique_ptr<btCollisionShape> out;
    if (std::strcmp(shape.name, "sphere") == 0) {
        out = std::make_unique<btSphereShape>(shape.radius);
    } else if (std::strcmp(shape.name, "capsule") == 0) {
        out = std::make_unique<btCapsuleShapeZ>(shape.radius, 2.0f * shape.halfHeight);
    } else if (std::strcmp(shape.name, "box") == 0) {
        const V3d& h = shape.halfExtents;
        out = std::make_unique<btBoxShape>(btVector3(h.x, h.y, h.z));
        out->setMargin(0.0f);
    } else {
        out = std::make_unique<btCylinderShapeZ>(btVector3(shape.radius, shape.radius, shape.halfHeight));
        out->setMargin(0.0f);
    }
    return out;
}

int CompareShapes(int rounds)
{
    std::vector<ShapeCase> cases = MakeShapeCases();
    const std::vector<V3d>& directions = ShapeDirections();
    const std::vector<ShapeSegment>& segments = ShapeSegments();
    const int repeats = 200;
    std::printf("shapes: %zu directions and %zu segments, %d repeats, %d interleaved rounds\n",
                directions.size(), segments.size(), repeats, rounds);
    std::printf("%-34s %12s %12s %8s\n", "figure (millions per second)", "ours", "Bullet", "ratio");
    for (const ShapeCase& shape : cases) {
        std::unique_ptr<btCollisionShape> peer = BulletShape(shape);
        auto* convex = static_cast<btConvexShape*>(peer.get());
        double sink = 0.0;
        auto peerSupport = [&] {
            for (int r = 0; r < repeats; ++r) {
                for (const V3d& d : directions) {
                    sink += convex->localGetSupportingVertex(btVector3(d.x, d.y, d.z)).x();
                }
            }
        };
        Race points = RunRounds(
            rounds,
            [&] {
                V3d point;
                for (int r = 0; r < repeats; ++r) {
                    for (const V3d& d : directions) {
                        OlpVolumeGetSupportPoint(shape.volume, nullptr, &d, &point);
                        sink += point.x;
                    }
                }
            },
            peerSupport);
        PrintRow(std::string("support point, ") + shape.name, double(rounds) * repeats * directions.size(),
                 points);
        Race features = RunRounds(
            rounds,
            [&] {
                OlpSupportFeature feature;
                for (int r = 0; r < repeats; ++r) {
                    for (const V3d& d : directions) {
                        OlpVolumeGetSupportFeature(shape.volume, nullptr, 1, &d, &feature);
                        sink += feature.offset;
                    }
                }
            },
            peerSupport);
        PrintRow(std::string("support feature, ") + shape.name, double(rounds) * repeats * directions.size(),
                 features);

        btCollisionObject object;
        object.setCollisionShape(peer.get());
        btTransform identity;
        identity.setIdentity();
        object.setWorldTransform(identity);
        int oursHits = 0;
        int peerHits = 0;
        Race lines = RunRounds(
            rounds,
            [&] {
                OlpLineResult result;
                for (int r = 0; r < repeats / 10; ++r) {
                    for (const ShapeSegment& s : segments) {
                        oursHits += OlpVolumeLineIntersect(shape.volume, nullptr, &s.start, &s.end, &result);
                    }
                }
            },
            [&] {
                for (int r = 0; r < repeats / 10; ++r) {
                    for (const ShapeSegment& s : segments) {
                        btVector3 from(s.start.x, s.start.y, s.start.z);
                        btVector3 to(s.end.x, s.end.y, s.end.z);
                        btTransform fromTransform(btQuaternion::getIdentity(), from);
                        btTransform toTransform(btQuaternion::getIdentity(), to);
                        btCollisionWorld::ClosestRayResultCallback callback(from, to);
                        btCollisionWorld::rayTestSingle(fromTransform, toTransform, &object, peer.get(),
                                                        identity, callback);
                        peerHits += callback.hasHit();
                    }
                }
            });
        PrintRow(std::string("line test, ") + shape.name, double(rounds) * (repeats / 10) * segments.size(),
                 lines);
        std::printf("%-34s %12d %12d\n", "  hits (grazing ones may differ)", oursHits, peerHits);
        if (sink == 12345.0) {
            std::printf(" ");
        }
    }
    DestroyShapeCases(cases);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_physics_compare shapes [rounds]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage();
    }
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (rounds < 1 || rounds > 1000) {
        return Usage();
    }
    if (!EngineTestStart()) {
        std::fprintf(stderr, "bench_physics_compare: the engine did not start\n");
        return 1;
    }
    int result = std::strcmp(argv[1], "shapes") == 0 ? CompareShapes(rounds) : Usage();
    EngineTestShutdown();
    return result;
}
