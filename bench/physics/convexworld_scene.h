#pragma once
// The convex-on-world step scene: 1764 convex hulls (42 x 42, 1.15 m apart,
// 16 hull shapes of 24-point clouds) dropped from 3 m over the middle of the
// sample terrain (WorldSoupTerrain of 20,000 triangles over 200 m), which
// this engine collides with as one triangle list over the built world (its
// sectors' collision trees and edge data), at 60 Hz with gravity -10.

#include <memory>
#include <vector>

#include "graphics/core/matrix.h"
#include "physics/core/body/body.h"
#include "physics/core/volume/convexhull.h"
#include "tools/worldbuild/worldbuild.h"

constexpr int kConvexWorldSide = 42;
constexpr int kConvexWorldBodies = kConvexWorldSide * kConvexWorldSide;
constexpr int kConvexWorldShapes = 16;
constexpr int kConvexWorldTriangles = 20000;

/// Starts the engine with the scene library, collision trees and edge data
/// (the scene's world needs them); false on failure.
bool ConvexWorldEngineStart();

struct ConvexWorldScene
{
    ConvexWorldScene();
    ~ConvexWorldScene();
    ConvexWorldScene(const ConvexWorldScene&) = delete;
    ConvexWorldScene& operator=(const ConvexWorldScene&) = delete;

    void Step();

    WorldSoup soup; ///< the terrain's triangles, for the peers
    Material* material = nullptr;
    World* world = nullptr;
    OlpVolume* ground = nullptr; ///< the triangle list over `world`
    std::vector<OlpConvexHull*> hulls;
    std::vector<OlpBodyDef*> defs; ///< one per hull shape
    std::vector<OlpBody*> bodies;
    std::vector<Matrix> poses;
    OlpContext* context = nullptr;
    bool ready = false;
};

/// Body `k`'s start: its hull shape is k % 16.
Matrix ConvexWorldStart(int k);
/// The terrain's height at (x, z) by its formula (the triangles follow it
/// within 7.4 mm: on hills they lie under it, in hollows over it).
float ConvexWorldHeight(float x, float z);
/// Share of bodies that moved less than 0.1 m/s over the last step, and the
/// deepest hull vertex below the terrain's triangles, from the poses alone.
void ConvexWorldMeasure(const ConvexWorldScene& scene, const std::vector<Matrix>& before,
                        const std::vector<Matrix>& after, float step, double* resting, float* penetration);
