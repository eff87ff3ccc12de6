#pragma once
// physics-sim run world-drop: a box, a sphere and a ragdoll dropped on a
// test world built in code with the scene library's world builder (floor,
// ramp, step and box over two sectors, with collision trees and edge data)
// and colliding with it as one triangle list. The box and the sphere are
// bodies on atomics, whose frames follow them. Needs the engine started
// with the scene library, the collision plug-in, the edge data and the body
// attachment.

#include <string>

#include "physics/core/pipeline/scenes/scenes.h"

inline const char* kWorldDropName = "world-drop";

struct WorldDropReport
{
    ScenarioReport scenario;  ///< bodies: box, sphere, ragdoll pelvis
    float jointGap = 0.0f;    ///< the ragdoll's widest joint gap at the end, metres
    float slide = 0.0f;       ///< how far the box moved along the ramp after landing, metres
    float atomicError = 0.0f; ///< largest distance of an atomic's frame from its body's pose
    uint32_t sectors = 0;
};

WorldDropReport RunWorldDrop(const ScenarioOptions& options);
/// Runs, prints and plots; 0 on success.
int RunWorldDropCommand(const ScenarioOptions& options, const std::string& svgPath,
                        const std::string& csvPath);
