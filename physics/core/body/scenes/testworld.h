#pragma once
// The physics test world, built in code through the scene library's world
// builder: a floor of 2 m tiles (x -8..8, z -4..4, y 0), a ramp rising
// kTestWorldRampRise over kTestWorldRampRun along x from kTestWorldRampStart,
// a step 0.3 m high (x -6..-4) and a 1 m box (x -2..-1, z 1..2), split into
// two sectors or more, with collision trees and edge data prepared. The
// engine must be started with the scene library, the collision plug-in and
// the edge data registered (OlpRefPairRegister).

#include "graphics/core/vector.h"

struct Material;
struct World;

constexpr float kTestWorldRampRun = 4.0f;
constexpr float kTestWorldRampRise = 2.0f;
constexpr V3d kTestWorldRampStart = {2.0f, 0.0f, 0.0f};

/// The world on `material`; null when it cannot be built.
World* TestWorldBuild(Material* material);
