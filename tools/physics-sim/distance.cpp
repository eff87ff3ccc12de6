#include "tools/physics-sim/distance.h"

#include <cstdio>
#include <vector>

#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/gjk.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sat.h"
#include "physics/core/volume/sphere.h"
#include "physics/qhull/qhullbuild.h"
#include "tools/physics-sim/hull.h"

namespace {

Matrix Place(float x, float y, float z)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = {x, y, z};
    m.flags = 0x3;
    return m;
}

struct Row
{
    const char* name;
    OlpVolume* a;
    Matrix frameA;
    OlpVolume* b;
    Matrix frameB;
};

} // namespace

int RunDistance()
{
    V3d half = {1, 1, 1};
    std::vector<V3d> cloud = RandomCloud(60, 4);
    OlpConvexHull* hull = OlpQHullBuildHull(60, cloud.data(), nullptr, OlpQHullDiscard());
    std::vector<Row> rows = {
        {"sphere r 0.5 / sphere r 1, 5 apart", OlpSphereCreate(0.5f), Place(3, 4, 0), OlpSphereCreate(1.0f),
         Place(0, 0, 0)},
        {"box / box, face to face", OlpBoxCreate(&half), Place(0.3f, 0, 2.5f), OlpBoxCreate(&half),
         Place(0, 0, 0)},
        {"box / box, overlapping 0.2", OlpBoxCreate(&half), Place(0, 0, 1.8f), OlpBoxCreate(&half),
         Place(0, 0, 0)},
        {"capsule / sphere past its end", OlpSphereCreate(0.25f), Place(1, 0, 3),
         OlpCapsuleCreate(0.5f, 1.0f), Place(0, 0, 0)},
        {"sphere over a plane", OlpSphereCreate(0.5f), Place(2, 3, 2.2f), OlpPlaneCreate(), Place(0, 0, 1)},
        {"cylinder / hull", OlpCylinderCreate(0.5f, 1.0f), Place(5, 0, 0), OlpConvexCreate(hull),
         Place(0, 0, 0)},
        {"sphere sunk in a hull", OlpSphereCreate(0.5f), Place(0, 0, 0.5f), OlpConvexCreate(hull),
         Place(0, 0, 0)},
    };
    OlpConvexHullRelease(hull);
    std::printf("%-36s %-5s %28s %10s %10s\n", "pair (A / B)", "route", "direction B to A", "distance",
                "mid-plane");
    for (Row& row : rows) {
        OlpPartPair pair = {{row.a, &row.frameA}, {row.b, &row.frameB}};
        bool gjk = ((row.a->descriptor->flags | row.b->descriptor->flags) & kOlpVolumeMeasureGjk) != 0;
        OlpDistance out = {};
        int32_t answer =
            gjk ? OlpGjkPenetration(&pair, 100.0f, &out, 1.0f) : OlpSatQuery(&pair, 100.0f, 1.0f, &out);
        if (answer == 0) {
            std::printf("%-36s %-5s %28s\n", row.name, gjk ? "GJK" : "SAT", "no result");
        } else {
            std::printf("%-36s %-5s (%8.4f, %8.4f, %8.4f) %10.4f %10.4f\n", row.name, gjk ? "GJK" : "SAT",
                        out.direction.x, out.direction.y, out.direction.z, out.distance, out.midPlane);
        }
        OlpVolumeDestroy(row.a);
        OlpVolumeDestroy(row.b);
    }
    return 0;
}
