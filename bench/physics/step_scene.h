#pragma once
// The step benchmark's scene: 3000 one-metre cubes in a 10 x 10 x 30
// lattice with 5 cm gaps, dropped on a plane (y up, gravity -10), as bodies
// of a whole context with capacities from the body reservation.

#include <memory>

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
/// The share of bodies slower than 0.1 m/s.
double StepRestShare(const PipelineScene& scene);
