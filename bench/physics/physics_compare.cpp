// bench_physics_compare <scene>: the same work through this engine and
// through Bullet, in interleaved rounds within one run, as one table of
// figure, ours, peer and ratio.
//
//   shapes   support points and features (Bullet: localGetSupportingVertex,
//            which gives one point whatever the feature) and line
//            tests (Bullet: btCollisionWorld::rayTestSingle) per second on
//            equal shapes, over the tables of bench/physics/shapes_scene.
//   distance GJK with the penetration search over 2000 hull pairs and the
//            separating-axis query over 2000 box pairs (Bullet:
//            btGjkPairDetector with btVoronoiSimplexSolver and
//            btGjkEpaPenetrationDepthSolver for both), the pairs that
//            overlap and those apart in separate rows, each with the range
//            of ours less Bullet's: the same distance for hulls apart and
//            the same least depth for boxes overlapping; for hulls
//            overlapping ours is the depth along the way out that the
//            shift search finds (at least the least depth), for boxes
//            apart the largest gap over the 15 axes (at most the
//            distance); hull builds against btConvexHullComputer.
//   contacts whole-snapshot passes per second of the contact pass on the
//            snapshots of bench/physics/contacts_scene (box stacks, hulls on
//            a terrain) against Bullet's dispatcher narrow phase
//            (btCollisionDispatcher::dispatchAllCollisionPairs after one
//            broadphase update), with the records, manifolds and contact
//            points each makes.
//   broadphase  1000 and 3000 boxes, 5 % moving each step for 200 steps:
//            steps per second of this engine's far field, Bullet's
//            btDbvtBroadphase and ODE's hash space, and the pair count of
//            each (exact box overlaps) against a brute force.
//   step     boxes3000 (3000 cubes in a 10 x 10 x 30 lattice dropped on a
//            plane), 1200 steps at 60 Hz (20 s; or the steps given, in the
//            rounds given: 120 steps measure the step while all is awake)
//            through this engine's whole step,
//            Bullet (btDiscreteDynamicsWorld, dbvt broadphase,
//            sequential-impulse solver) and ODE (quick step, hash space):
//            steps per second, the share of bodies resting (below 0.1 m/s)
//            and the deepest overlap that this engine's contact pass finds
//            on each engine's final poses; convex1764 (1764 hulls of six
//            shapes dropped on a 20,000-triangle height field) the same with
//            btConvexHullShape over btBvhTriangleMeshShape and ODE's dConvex
//            over dTriMesh (left out, and said, when ODE's build cannot
//            collide the two); ragdolls (bench/physics/ragdolls_compare) the
//            heap of 100 ragdolls against Bullet and ODE; convex1764-world
//            (bench/physics/convexworld_compare) 1764 hulls on the sample
//            terrain's built world, ours as one triangle list.
#include <BulletCollision/NarrowPhaseCollision/btGjkEpaPenetrationDepthSolver.h>
#include <BulletCollision/NarrowPhaseCollision/btGjkPairDetector.h>
#include <BulletCollision/NarrowPhaseCollision/btPointCollector.h>
#include <BulletCollision/NarrowPhaseCollision/btVoronoiSimplexSolver.h>
#include <LinearMath/btConvexHullComputer.h>
#include <btBulletCollisionCommon.h>
#include <btBulletDynamicsCommon.h>
#include <ode/ode.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "bench/physics/broadphase_scene.h"
#include "bench/physics/contacts_scene.h"
#include "bench/physics/convexworld_compare.h"
#include "bench/physics/convexworld_scene.h"
#include "bench/physics/distance_scene.h"
#include "bench/physics/peerworlds.h"
#include "bench/physics/ragdolls_compare.h"
#include "bench/physics/shapes_scene.h"
#include "bench/physics/step_scene.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/sat.h"
#include "physics/qhull/qhullbuild.h"

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

/// Bullet's answer for one pair: GJK, and EPA when the cores overlap.
bool BulletDistance(const DistancePair& p, const std::vector<std::unique_ptr<btConvexShape>>& peers,
                    btVoronoiSimplexSolver& simplex, btGjkEpaPenetrationDepthSolver& epa, float* distance)
{
    btGjkPairDetector detector(peers[p.a.shape].get(), peers[p.b.shape].get(), &simplex, &epa);
    btGjkPairDetector::ClosestPointInput input;
    input.m_transformA = BulletPose(p.a.frame);
    input.m_transformB = BulletPose(p.b.frame);
    btPointCollector output;
    detector.getClosestPoints(input, output, nullptr);
    *distance = output.m_hasResult ? output.m_distance : NAN;
    return output.m_hasResult;
}

/// The pairs that Bullet finds overlapping (or apart): in each regime our
/// query answers its own question, so each is timed and checked apart.
std::vector<DistancePair> PairsInRegime(const std::vector<DistancePair>& pairs,
                                        const std::vector<std::unique_ptr<btConvexShape>>& peers,
                                        bool overlapping)
{
    btVoronoiSimplexSolver simplex;
    btGjkEpaPenetrationDepthSolver epa;
    std::vector<DistancePair> chosen;
    for (const DistancePair& p : pairs) {
        float distance;
        if (BulletDistance(p, peers, simplex, epa, &distance) && (distance <= 0.0f) == overlapping) {
            chosen.push_back(p);
        }
    }
    return chosen;
}

/// Ours and Bullet's distances for one set of pairs, timed in rounds, with
/// the range of ours minus Bullet's: one-sided where ours is a bound.
void ComparePairs(const char* label, int rounds, const std::vector<DistancePair>& pairs,
                  const std::vector<OlpVolume*>& ours,
                  const std::vector<std::unique_ptr<btConvexShape>>& peers, bool gjk)
{
    std::vector<float> ourDistances(pairs.size());
    std::vector<float> peerDistances(pairs.size());
    int failures = 0;
    Race race = RunRounds(
        rounds,
        [&] {
            failures = 0;
            for (size_t i = 0; i < pairs.size(); ++i) {
                const DistancePair& p = pairs[i];
                OlpPartPair pair = {{ours[p.a.shape], &p.a.frame}, {ours[p.b.shape], &p.b.frame}};
                OlpDistance out = {};
                int32_t answer = gjk ? OlpGjkPenetration(&pair, 100.0f, &out, 1.0f)
                                     : OlpSatQuery(&pair, 100.0f, 1.0f, &out);
                failures += answer == 0;
                ourDistances[i] = answer != 0 ? out.distance : NAN;
            }
        },
        [&] {
            btVoronoiSimplexSolver simplex;
            btGjkEpaPenetrationDepthSolver epa;
            for (size_t i = 0; i < pairs.size(); ++i) {
                BulletDistance(pairs[i], peers, simplex, epa, &peerDistances[i]);
            }
        });
    float lowest = 0.0f;
    float highest = 0.0f;
    int compared = 0;
    int equal = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (std::isnan(peerDistances[i]) || std::isnan(ourDistances[i])) {
            continue;
        }
        ++compared;
        float gap = ourDistances[i] - peerDistances[i];
        lowest = std::min(lowest, gap);
        highest = std::max(highest, gap);
        equal += std::fabs(gap) <= 1e-4f;
    }
    PrintRow(label, double(rounds) * pairs.size(), race);
    std::printf("  compared %d, our failures %d; ours - Bullet from %.2e to %.2e, within 1e-4 on %d\n",
                compared, failures, lowest, highest, equal);
}

int CompareDistance(int rounds)
{
    DistanceScene scene = MakeDistanceScene();
    std::vector<std::unique_ptr<btConvexShape>> hulls;
    for (const std::vector<V3d>& cloud : scene.clouds) {
        auto shape = std::make_unique<btConvexHullShape>();
        for (const V3d& p : cloud) {
            shape->addPoint(btVector3(p.x, p.y, p.z), false);
        }
        shape->recalcLocalAabb();
        shape->setMargin(0.0f);
        hulls.push_back(std::move(shape));
    }
    std::vector<std::unique_ptr<btConvexShape>> boxes;
    for (const V3d& h : scene.boxHalfExtents) {
        auto box = std::make_unique<btBoxShape>(btVector3(h.x, h.y, h.z));
        box->setMargin(0.0f);
        boxes.push_back(std::move(box));
    }
    std::printf("distance: %zu hull pairs, %zu box pairs, %d interleaved rounds\n", scene.hullPairs.size(),
                scene.boxPairs.size(), rounds);
    std::printf("%-34s %12s %12s %8s\n", "figure (millions per second)", "ours", "Bullet", "ratio");
    // Apart, GJK gives the distance on both sides. Overlapping, ours is the
    // overlap along the way out that shifting B along the line between the
    // boxes' centres finds, at least Bullet's least depth (EPA).
    ComparePairs("hull pairs apart, distance (GJK)", rounds, PairsInRegime(scene.hullPairs, hulls, false),
                 scene.hulls, hulls, true);
    ComparePairs("hull pairs overlapping, depth along the shift (Bullet: least depth, EPA)", rounds,
                 PairsInRegime(scene.hullPairs, hulls, true), scene.hulls, hulls, true);
    // The largest gap over the 15 axes: overlapping, the least depth, as
    // EPA's; apart, at most the distance (equal when the closest features
    // are a face and a corner or two edges).
    ComparePairs("box pairs overlapping, least depth (separating axes)", rounds,
                 PairsInRegime(scene.boxPairs, boxes, true), scene.boxes, boxes, false);
    ComparePairs("box pairs apart, largest axis gap (Bullet: distance, GJK)", rounds,
                 PairsInRegime(scene.boxPairs, boxes, false), scene.boxes, boxes, false);

    Race builds = RunRounds(
        rounds,
        [&] {
            for (const std::vector<V3d>& cloud : scene.clouds) {
                OlpConvexHullRelease(OlpQHullBuildHull(static_cast<uint32_t>(cloud.size()), cloud.data(),
                                                       nullptr, OlpQHullDiscard()));
            }
        },
        [&] {
            for (const std::vector<V3d>& cloud : scene.clouds) {
                btConvexHullComputer computer;
                computer.compute(&cloud[0].x, static_cast<int>(sizeof(V3d)), static_cast<int>(cloud.size()),
                                 0.0f, 0.0f);
            }
        });
    PrintRow("hull builds (24 points)", double(rounds) * scene.clouds.size(), builds);
    DestroyDistanceScene(scene);
    return 0;
}

/// Counts ODE's pairs whose boxes really overlap.
void CountOdePair(void* data, dGeomID a, dGeomID b)
{
    dReal ba[6], bb[6];
    dGeomGetAABB(a, ba);
    dGeomGetAABB(b, bb);
    bool overlap = ba[0] <= bb[1] && bb[0] <= ba[1] && ba[2] <= bb[3] && bb[2] <= ba[3] && ba[4] <= bb[5] &&
                   bb[4] <= ba[5];
    *static_cast<uint32_t*>(data) += overlap;
}

int CompareBroadphase(int rounds)
{
    dInitODE2(0);
    std::printf("broadphase: 5 %% of the boxes move each step, 200 steps a round, %d interleaved rounds\n",
                rounds);
    std::printf("%-26s %12s %12s %12s %10s\n", "steps per second", "ours", "Bullet", "ODE", "ours/Bullet");
    for (uint32_t count : {1000u, 3000u}) {
        BroadphaseScene scene = MakeBroadphaseScene(count, 200);
        FarfieldRun ours(scene);

        btDefaultCollisionConfiguration configuration;
        btCollisionDispatcher dispatcher(&configuration);
        btDbvtBroadphase dbvt;
        std::vector<btBroadphaseProxy*> proxies;
        for (uint32_t i = 0; i < count; ++i) {
            const OlpBBox& b = scene.boxes[i];
            proxies.push_back(dbvt.createProxy(btVector3(b.min.x, b.min.y, b.min.z),
                                               btVector3(b.max.x, b.max.y, b.max.z), BOX_SHAPE_PROXYTYPE,
                                               nullptr, 1, -1, &dispatcher));
        }
        dbvt.calculateOverlappingPairs(&dispatcher);

        dSpaceID space = dHashSpaceCreate(nullptr);
        std::vector<dGeomID> geoms;
        for (uint32_t i = 0; i < count; ++i) {
            const OlpBBox& b = scene.boxes[i];
            dGeomID g = dCreateBox(space, b.max.x - b.min.x, b.max.y - b.min.y, b.max.z - b.min.z);
            dGeomSetPosition(g, 0.5f * (b.max.x + b.min.x), 0.5f * (b.max.y + b.min.y),
                             0.5f * (b.max.z + b.min.z));
            geoms.push_back(g);
        }
        double times[3] = {0, 0, 0};
        uint32_t odePairs = 0;
        for (int round = 0; round < rounds; ++round) {
            times[0] += Time([&] {
                for (size_t s = 0; s < scene.steps.size(); ++s) {
                    ours.Step(scene, s);
                }
            });
            times[1] += Time([&] {
                for (const auto& step : scene.steps) {
                    for (const auto& [id, b] : step) {
                        dbvt.setAabb(proxies[id], btVector3(b.min.x, b.min.y, b.min.z),
                                     btVector3(b.max.x, b.max.y, b.max.z), &dispatcher);
                    }
                    dbvt.calculateOverlappingPairs(&dispatcher);
                }
            });
            times[2] += Time([&] {
                for (const auto& step : scene.steps) {
                    for (const auto& [id, b] : step) {
                        dGeomSetPosition(geoms[id], 0.5f * (b.max.x + b.min.x), 0.5f * (b.max.y + b.min.y),
                                         0.5f * (b.max.z + b.min.z));
                    }
                    odePairs = 0;
                    dSpaceCollide(space, &odePairs, CountOdePair);
                }
            });
        }
        // The final boxes: every step applied in order.
        std::vector<OlpBBox> final = scene.boxes;
        for (const auto& step : scene.steps) {
            for (const auto& [id, b] : step) {
                final[id] = b;
            }
        }
        btOverlappingPairCache* cache = dbvt.getOverlappingPairCache();
        uint32_t bulletPairs = 0;
        for (int i = 0; i < cache->getNumOverlappingPairs(); ++i) {
            const btBroadphasePair& pair = cache->getOverlappingPairArray()[i];
            bulletPairs += TestAabbAgainstAabb2(pair.m_pProxy0->m_aabbMin, pair.m_pProxy0->m_aabbMax,
                                                pair.m_pProxy1->m_aabbMin, pair.m_pProxy1->m_aabbMax);
        }
        double steps = double(rounds) * scene.steps.size();
        char label[64];
        std::snprintf(label, sizeof label, "%u boxes", count);
        std::printf("%-26s %12.0f %12.0f %12.0f %10.2f\n", label, steps / times[0], steps / times[1],
                    steps / times[2], times[1] / times[0]);
        std::printf("  pairs: ours %u, Bullet %u, ODE %u, brute force %u\n", ours.PairCount(), bulletPairs,
                    odePairs, BruteForcePairs(final));
        for (btBroadphaseProxy* proxy : proxies) {
            dbvt.destroyProxy(proxy, &dispatcher);
        }
        dSpaceDestroy(space);
    }
    dCloseODE();
    return 0;
}

/// Bullet's copy of a contact snapshot: one collision object per body and
/// the ground as a static plane or a triangle mesh.
struct BulletContacts
{
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btCollisionObject>> objects;
    std::unique_ptr<btTriangleMesh> mesh;

    explicit BulletContacts(const ContactScene& scene)
    {
        if (scene.terrainVertices.empty()) {
            shapes.push_back(std::make_unique<btStaticPlaneShape>(btVector3(0, 0, 1), 0.0f));
        } else {
            mesh = std::make_unique<btTriangleMesh>();
            const std::vector<V3d>& v = scene.terrainVertices;
            for (size_t i = 0; i + 2 < v.size(); i += 3) {
                mesh->addTriangle(btVector3(v[i].x, v[i].y, v[i].z),
                                  btVector3(v[i + 1].x, v[i + 1].y, v[i + 1].z),
                                  btVector3(v[i + 2].x, v[i + 2].y, v[i + 2].z));
            }
            shapes.push_back(std::make_unique<btBvhTriangleMeshShape>(mesh.get(), true));
        }
        Add(shapes.back().get(), Matrix{{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0});
        size_t firstHull = shapes.size();
        for (const std::vector<V3d>& vertices : scene.hullVertices) {
            auto hull = std::make_unique<btConvexHullShape>();
            for (const V3d& p : vertices) {
                hull->addPoint(btVector3(p.x, p.y, p.z), false);
            }
            hull->recalcLocalAabb();
            hull->setMargin(0.001f);
            shapes.push_back(std::move(hull));
        }
        shapes.push_back(std::make_unique<btBoxShape>(btVector3(0.5f, 0.5f, 0.5f)));
        btCollisionShape* box = shapes.back().get();
        for (const auto& body : scene.bodies) {
            Add(body->shape < 0 ? box : shapes[firstHull + static_cast<size_t>(body->shape)].get(),
                body->pose);
        }
        world.performDiscreteCollisionDetection();
    }
    void Add(btCollisionShape* shape, const Matrix& pose)
    {
        objects.push_back(std::make_unique<btCollisionObject>());
        objects.back()->setCollisionShape(shape);
        objects.back()->setWorldTransform(BulletPose(pose));
        world.addCollisionObject(objects.back().get());
    }
    void Dispatch()
    {
        dispatcher.dispatchAllCollisionPairs(broadphase.getOverlappingPairCache(), world.getDispatchInfo(),
                                             &dispatcher);
    }
    /// Manifolds with points, and their points.
    std::pair<int, int> Counts()
    {
        int manifolds = 0, points = 0;
        for (int i = 0; i < dispatcher.getNumManifolds(); ++i) {
            int n = dispatcher.getManifoldByIndexInternal(i)->getNumContacts();
            manifolds += n > 0;
            points += n;
        }
        return {manifolds, points};
    }
    ~BulletContacts()
    {
        for (auto& object : objects) {
            world.removeCollisionObject(object.get());
        }
    }
};

int CompareContacts(int rounds)
{
    std::printf("contacts: snapshot passes (contact pass against one dispatch), %d interleaved rounds\n",
                rounds);
    std::printf("%-34s %12s %12s %8s\n", "figure (millions per second)", "ours", "Bullet", "ratio");
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    params.words[kOlpParamContacts] = 8192;
    OlpPipeline* pipeline = OlpPipelineCreate(nullptr, &params, 1.0f);
    pipeline->batch.contactDistance = 0.05f;
    const int repeats = 10;
    for (int which = 0; which < 2; ++which) {
        std::unique_ptr<ContactScene> scene = which == 0 ? MakeStackScene() : MakeTerrainScene();
        BulletContacts peer(*scene);
        uint32_t made = 0;
        Race race = RunRounds(
            rounds,
            [&] {
                for (int r = 0; r < repeats; ++r) {
                    made = OlpBatchContactPass(&pipeline->batch, scene->pairs.data(),
                                               static_cast<uint32_t>(scene->pairs.size()), ContactSceneBox,
                                               nullptr, pipeline->contacts, pipeline->contactCapacity);
                }
            },
            [&] {
                for (int r = 0; r < repeats; ++r) {
                    peer.Dispatch();
                }
            });
        uint32_t points = 0;
        for (uint32_t i = 0; i < made; ++i) {
            points += pipeline->contacts[i].count;
        }
        std::pair<int, int> counts = peer.Counts();
        // Both sides take the whole snapshot once per pass: passes per second.
        double passes = double(rounds) * repeats;
        int peerPairs = peer.broadphase.getOverlappingPairCache()->getNumOverlappingPairs();
        const char* name = which == 0 ? "contacts, 1000 boxes in stacks" : "contacts, 1764 hulls on terrain";
        std::printf("%-34s %12.6f %12.6f %8.2f\n", name, passes / race.ours / 1e6, passes / race.peer / 1e6,
                    race.peer / race.ours);
        std::printf(
            "  ours: %zu pairs, %u records with %u points, %.0f records/s; Bullet: %d pairs, %d manifolds "
            "with %d points, %.0f manifolds/s\n",
            scene->pairs.size(), made, points, passes * made / race.ours, peerPairs, counts.first,
            counts.second, passes * counts.first / race.peer);
        DestroyContactScene(*scene);
    }
    OlpPipelineDestroy(pipeline);
    return 0;
}

constexpr int kStepCount = 1200; ///< 20 s at 60 Hz
constexpr int kStepColumns = 10;
constexpr int kStepLayers = 30;
constexpr int kStepBodies = kStepColumns * kStepColumns * kStepLayers;

struct StepResult
{
    double stepsPerSecond = 0.0;
    double resting = 0.0;
    std::vector<Matrix> poses;
    const char* missing = nullptr; ///< why the run was left out
};

using StepSceneMaker = std::function<std::unique_ptr<PipelineScene>()>;

/// The deepest overlap our contact pass finds with the bodies at `poses`.
float MeasurePenetration(const StepSceneMaker& make, const std::vector<Matrix>& poses)
{
    std::unique_ptr<PipelineScene> scene = make();
    for (size_t i = 0; i < poses.size(); ++i) {
        scene->bodies[i]->pose = poses[i];
        OlpObjResetPartPose(&scene->bodies[i]->body->base, 0);
        OlpObjUpdateBounds(&scene->bodies[i]->body->base);
    }
    OlpPipelineCollisionStages(scene->pipeline, scene->step);
    return scene->Penetration();
}

StepResult StepOurs(const StepSceneMaker& make, int steps)
{
    std::unique_ptr<PipelineScene> scene = make();
    double seconds = Time([&] {
        for (int n = 0; n < steps; ++n) {
            scene->Step();
        }
    });
    StepResult r;
    r.stepsPerSecond = steps / seconds;
    r.resting = StepRestShare(*scene);
    for (const auto& b : scene->bodies) {
        r.poses.push_back(b->pose);
    }
    return r;
}

/// Adds a body of mass 1 and friction 0.5 centred at `at`.
void AddBulletBody(BulletWorld& w, btCollisionShape* shape, const btVector3& inertia, const V3d& at)
{
    btTransform t;
    t.setIdentity();
    t.setOrigin({at.x, at.y, at.z});
    btRigidBody::btRigidBodyConstructionInfo info(1.0f, nullptr, shape, inertia);
    info.m_startWorldTransform = t;
    info.m_friction = 0.5f;
    w.bodies.push_back(std::make_unique<btRigidBody>(info));
    w.world.addRigidBody(w.bodies.back().get());
}

/// Steps `w` over the static `ground` `steps` times, then takes every body
/// out of the world again.
StepResult RunBullet(BulletWorld& w, btRigidBody& ground, int steps)
{
    double seconds = Time([&] {
        for (int n = 0; n < steps; ++n) {
            w.world.stepSimulation(1.0f / 60.0f, 0);
        }
    });
    StepResult r;
    r.stepsPerSecond = steps / seconds;
    int resting = 0;
    for (auto& body : w.bodies) {
        resting += body->getLinearVelocity().length() < 0.1f ? 1 : 0;
        r.poses.push_back(FromBullet(body->getWorldTransform()));
        w.world.removeRigidBody(body.get());
    }
    w.world.removeRigidBody(&ground);
    r.resting = static_cast<double>(resting) / static_cast<double>(w.bodies.size());
    return r;
}

StepResult StepBullet(int steps)
{
    BulletWorld w;
    btStaticPlaneShape planeShape({0, 1, 0}, 0);
    btRigidBody ground(0.0f, nullptr, &planeShape);
    ground.setFriction(0.5f);
    w.world.addRigidBody(&ground);
    btBoxShape boxShape({0.5f, 0.5f, 0.5f});
    btVector3 inertia;
    boxShape.calculateLocalInertia(1.0f, inertia);
    for (int i = 0; i < kStepBodies; ++i) {
        AddBulletBody(w, &boxShape, inertia, StepBoxStart(i, kStepColumns));
    }
    return RunBullet(w, ground, steps);
}

/// Bullet's hull scene: btConvexHullShape bodies over a btBvhTriangleMeshShape.
StepResult StepBulletHulls(const StepHullWorld& hulls, int steps)
{
    BulletWorld w;
    btTriangleMesh mesh;
    for (size_t t = 0; t + 2 < hulls.terrain.size(); t += 3) {
        const V3d* v = &hulls.terrain[t];
        mesh.addTriangle({v[0].x, v[0].y, v[0].z}, {v[1].x, v[1].y, v[1].z}, {v[2].x, v[2].y, v[2].z});
    }
    btBvhTriangleMeshShape terrainShape(&mesh, true);
    btRigidBody ground(0.0f, nullptr, &terrainShape);
    ground.setFriction(0.5f);
    w.world.addRigidBody(&ground);
    std::vector<std::unique_ptr<btConvexHullShape>> shapes;
    std::vector<btVector3> inertias;
    for (const auto& points : hulls.shapes) {
        shapes.push_back(std::make_unique<btConvexHullShape>());
        for (const V3d& p : points) {
            shapes.back()->addPoint({p.x, p.y, p.z}, false);
        }
        shapes.back()->recalcLocalAabb();
        inertias.emplace_back();
        shapes.back()->calculateLocalInertia(1.0f, inertias.back());
    }
    for (size_t i = 0; i < hulls.starts.size(); ++i) {
        auto shape = static_cast<size_t>(hulls.shapeOf[i]);
        AddBulletBody(w, shapes[shape].get(), inertias[shape], hulls.starts[i]);
    }
    return RunBullet(w, ground, steps);
}

/// Steps per second over `steps` steps of `w` colliding in `space`.
double RunOde(OdeWorld& w, dSpaceID space, int steps)
{
    double seconds = Time([&] {
        for (int n = 0; n < steps; ++n) {
            OdeStep(w, space, 1.0 / 60.0);
        }
    });
    return steps / seconds;
}

/// The resting share and final poses of `bodies` into `r`.
void CollectOde(const std::vector<dBodyID>& bodies, StepResult& r)
{
    int resting = 0;
    for (dBodyID body : bodies) {
        const dReal* v = dBodyGetLinearVel(body);
        resting += std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) < 0.1 ? 1 : 0;
        r.poses.push_back(OdePose(body));
    }
    r.resting = bodies.empty() ? 0.0 : static_cast<double>(resting) / static_cast<double>(bodies.size());
}

StepResult StepOde(int steps)
{
    OdeWorld w = OpenOdeWorld(0.5);
    dSpaceID space = dHashSpaceCreate(nullptr);
    dCreatePlane(space, 0, 1, 0, 0);
    std::vector<dBodyID> bodies;
    for (int i = 0; i < kStepBodies; ++i) {
        V3d at = StepBoxStart(i, kStepColumns);
        dBodyID body = dBodyCreate(w.world);
        dMass mass;
        dMassSetBoxTotal(&mass, 1.0, 1.0, 1.0, 1.0);
        dBodySetMass(body, &mass);
        dBodySetPosition(body, at.x, at.y, at.z);
        dGeomSetBody(dCreateBox(space, 1.0, 1.0, 1.0), body);
        bodies.push_back(body);
    }
    StepResult r;
    r.stepsPerSecond = RunOde(w, space, steps);
    CollectOde(bodies, r);
    CloseOdeWorld(w, space, nullptr);
    return r;
}

/// ODE's hull scene: dConvex bodies over a dTriMesh; left out when the
/// packaged build does not collide the two (checked on one overlapping hull).
StepResult StepOdeHulls(const StepHullWorld& hulls, int steps)
{
    StepResult r;
    OdeWorld w = OpenOdeWorld(0.5);
    dSpaceID space = dHashSpaceCreate(nullptr);
    std::vector<float> vertices;
    std::vector<dTriIndex> indices;
    for (const V3d& v : hulls.terrain) {
        vertices.insert(vertices.end(), {v.x, v.y, v.z});
        indices.push_back(static_cast<dTriIndex>(indices.size()));
    }
    dTriMeshDataID mesh = dGeomTriMeshDataCreate();
    dGeomTriMeshDataBuildSingle(mesh, vertices.data(), 3 * sizeof(float),
                                static_cast<int>(hulls.terrain.size()), indices.data(),
                                static_cast<int>(indices.size()), 3 * sizeof(dTriIndex));
    dGeomTriMeshDataPreprocess2(mesh, 1u << dTRIDATAPREPROCESS_BUILD_FACE_ANGLES, nullptr);
    dGeomID terrain = dCreateTriMesh(space, mesh, nullptr, nullptr, nullptr);
    std::vector<OdeConvex> shapes;
    std::vector<float> radii; // of the spheres whose mass each body takes
    for (const OlpConvexHull* hull : hulls.hulls) {
        shapes.push_back(OdeConvexOf(hull));
        radii.push_back(hull->sphere.radius + olp::Length(hull->sphere.centre));
    }
    // The probe: a hull centred on the terrain must touch it.
    dGeomID probe = OdeConvexGeom(space, shapes[0]);
    V3d at = hulls.starts[0];
    dGeomSetPosition(probe, at.x, at.y - 1.0f, at.z);
    dReal box[6];
    dGeomGetAABB(probe, box); // brings both boxes up to date
    dGeomGetAABB(terrain, box);
    dContactGeom touch[4];
    bool collides = dCollide(probe, terrain, 4, touch, sizeof(dContactGeom)) > 0;
    dGeomDestroy(probe);
    std::vector<dBodyID> bodies;
    if (!collides) {
        r.missing = "its packaged build does not collide convex hulls with a triangle mesh";
    } else {
        for (size_t i = 0; i < hulls.starts.size(); ++i) {
            auto shape = static_cast<size_t>(hulls.shapeOf[i]);
            dBodyID body = dBodyCreate(w.world);
            dMass mass;
            dMassSetSphereTotal(&mass, 1.0, radii[shape]);
            dBodySetMass(body, &mass);
            dBodySetPosition(body, hulls.starts[i].x, hulls.starts[i].y, hulls.starts[i].z);
            dGeomSetBody(OdeConvexGeom(space, shapes[shape]), body);
            bodies.push_back(body);
        }
        r.stepsPerSecond = RunOde(w, space, steps);
    }
    CollectOde(bodies, r);
    CloseOdeWorld(w, space, mesh);
    return r;
}

using StepRun = std::function<StepResult(int steps)>;

/// Runs each engine on one step scene `steps` steps from the drop, `rounds`
/// times in interleaved rounds, and prints its row: steps per second over
/// all rounds, the resting share and the deepest overlap on the last
/// round's final poses.
int PrintStepTable(const StepSceneMaker& make, const StepRun& bullet, const StepRun& ode, int steps,
                   int rounds)
{
    std::printf("%-8s %12s %9s %14s  %s\n", "engine", "steps/s", "resting", "penetration", "settings");
    struct Entry
    {
        const char* name;
        StepRun run;
        const char* settings;
        double seconds = 0.0;
        StepResult last;
    };
    Entry entries[] = {
        {"ours", [&make](int n) { return StepOurs(make, n); }, "moves 5000 / 5000, tolerances 1e-5", 0.0, {}},
        {"bullet", bullet, "sequential impulse, 10 iterations, friction 0.5", 0.0, {}},
        {"ode", ode, "quick step, 20 iterations, mu 0.5, 4 points a pair", 0.0, {}},
    };
    for (int round = 0; round < rounds; ++round) {
        for (Entry& e : entries) {
            e.last = e.run(steps);
            e.seconds += e.last.missing == nullptr ? steps / e.last.stepsPerSecond : 0.0;
        }
    }
    for (const Entry& e : entries) {
        if (e.last.missing != nullptr) {
            std::printf("%-8s left out: %s\n", e.name, e.last.missing);
            continue;
        }
        std::printf("%-8s %12.1f %8.1f%% %12.4f m  %s\n", e.name, steps * rounds / e.seconds,
                    100.0 * e.last.resting, static_cast<double>(MeasurePenetration(make, e.last.poses)),
                    e.settings);
    }
    return 0;
}

int CompareStepHulls(int steps, int rounds)
{
    std::unique_ptr<StepHullWorld> world = MakeStepHullWorld();
    StepSceneMaker make = [&world] { return MakeStepHulls(*world); };
    std::printf("convex1764: %zu hulls of %d shapes over %zu triangles, %d steps at 60 Hz, one thread, "
                "%d interleaved rounds\n",
                world->starts.size(), kStepHullShapes, world->terrain.size() / 3, steps, rounds);
    return PrintStepTable(
        make, [&](int n) { return StepBulletHulls(*world, n); },
        [&](int n) { return StepOdeHulls(*world, n); }, steps, rounds);
}

int CompareStep(const char* scene, int steps, int rounds)
{
    if (std::strcmp(scene, "convex1764") == 0) {
        return CompareStepHulls(steps, rounds);
    }
    if (std::strcmp(scene, "ragdolls") == 0) {
        return CompareRagdolls(steps, rounds);
    }
    if (std::strcmp(scene, "boxes3000") != 0) {
        std::fprintf(stderr,
                     "bench_physics_compare: unknown step scene %s (boxes3000, convex1764, ragdolls, "
                     "convex1764-world)\n",
                     scene);
        return 2;
    }
    StepSceneMaker make = [] { return MakeStepBoxes(kStepColumns, kStepLayers); };
    std::printf("boxes3000: %d boxes, %d steps at 60 Hz, one thread, %d interleaved rounds\n", kStepBodies,
                steps, rounds);
    return PrintStepTable(make, StepBullet, StepOde, steps, rounds);
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_physics_compare shapes|distance|contacts|broadphase [rounds]\n"
                         "       bench_physics_compare step boxes3000|convex1764|ragdolls [steps [rounds]]\n"
                         "       bench_physics_compare step convex1764-world\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage();
    }
    if (std::strcmp(argv[1], "step") == 0 && argc == 3 && std::strcmp(argv[2], "convex1764-world") == 0) {
        // The world needs the scene library, collision trees and edge data.
        int result = ConvexWorldEngineStart() ? CompareConvexWorld() : 1;
        EngineTestShutdown();
        return result;
    }
    if (std::strcmp(argv[1], "step") == 0) {
        const int steps = argc > 3 ? std::atoi(argv[3]) : kStepCount;
        const int rounds = argc > 4 ? std::atoi(argv[4]) : 1;
        if (argc < 3 || argc > 5 || steps < 2 || steps > 100000 || rounds < 1 || rounds > 100) {
            return Usage();
        }
        if (!EngineTestStart()) {
            return 1;
        }
        int result = CompareStep(argv[2], steps, rounds);
        EngineTestShutdown();
        return result;
    }
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (rounds < 1 || rounds > 1000) {
        return Usage();
    }
    if (!EngineTestStart()) {
        std::fprintf(stderr, "bench_physics_compare: the engine did not start\n");
        return 1;
    }
    int result = 0;
    if (std::strcmp(argv[1], "shapes") == 0) {
        result = CompareShapes(rounds);
    } else if (std::strcmp(argv[1], "distance") == 0) {
        result = CompareDistance(rounds);
    } else if (std::strcmp(argv[1], "contacts") == 0) {
        result = CompareContacts(rounds);
    } else if (std::strcmp(argv[1], "broadphase") == 0) {
        result = CompareBroadphase(rounds);
    } else {
        result = Usage();
    }
    EngineTestShutdown();
    return result;
}
