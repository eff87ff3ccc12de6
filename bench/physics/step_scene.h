#pragma once
// The step benchmark's scene: 3000 one-metre cubes in a 10 x 10 x 30
// lattice with 5 cm gaps, dropped on a plane (y up, gravity -10), as bodies
// of a whole context with capacities from the body reservation.

#include <memory>
#include <vector>

#include "physics/core/pipeline/scenes/scenes.h"

/// Lattice spacing and the first layer's height.
constexpr float kStepBoxPitch = 1.05f;
constexpr float kStepBoxBase = 0.55f;
/// Move limit of both solver passes (the demo's menu allows up to 5000).
constexpr uint32_t kStepIterations = 5000;

/// The lattice (`columns` x `columns` x `layers` boxes) over a plane.
std::unique_ptr<PipelineScene> MakeStepBoxes(int columns = 10, int layers = 30);
/// The centre of box `i` of the lattice at the start.
V3d StepBoxStart(int i, int columns);
/// The hull scene: 1764 convex hulls of six shapes (24-point clouds about
/// 0.5 x 0.4 x 0.3 m) in a 42 x 42 grid 1.1 m apart, dropped from 1 m over
/// a height field of 20,000 triangles (100 x 100 cells of 0.5 m, y up).
constexpr int kStepHullSide = 42;
constexpr int kStepHullShapes = 6;
struct StepHullWorld
{
    std::vector<OlpConvexHull*> hulls;    ///< per shape
    std::vector<std::vector<V3d>> shapes; ///< the hull vertices per shape
    std::vector<V3d> terrain;             ///< three corners per triangle
    std::vector<V3d> starts;              ///< per body
    std::vector<int> shapeOf;             ///< per body
    StepHullWorld() = default;
    StepHullWorld(const StepHullWorld&) = delete;
    StepHullWorld& operator=(const StepHullWorld&) = delete;
    ~StepHullWorld();
};
std::unique_ptr<StepHullWorld> MakeStepHullWorld();
/// The hull scene as bodies of a whole context, the terrain a grid of
/// triangle volumes of the context.
std::unique_ptr<PipelineScene> MakeStepHulls(const StepHullWorld& world);

/// The share of bodies slower than 0.1 m/s.
double StepRestShare(const PipelineScene& scene);
