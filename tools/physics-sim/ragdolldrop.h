#pragma once
// physics-sim run ragdoll-drop: two ragdolls dropped on the ground plane,
// one tipped over and turned; they must come to rest with every joint's two
// anchors together.

#include <string>

#include "physics/core/pipeline/scenes/scenes.h"

/// The scenario's name.
inline const char* kRagdollDropName = "ragdoll-drop";

/// Runs the drop (2400 steps, 40 s, unless `options` says otherwise); per ragdoll
/// its pelvis, the heights are the pelvis heights. `gap` gets the widest
/// joint gap at the end, metres.
ScenarioReport RunRagdollDrop(const ScenarioOptions& options, float* gap);
/// Runs, prints (with the joint gap) and plots; 0 on success.
int RunRagdollDropCommand(const ScenarioOptions& options, const std::string& svgPath,
                          const std::string& csvPath);

/// The heap's name: 100 ragdolls in crossed layers (the benchmark's heap).
inline const char* kRagdollHeapName = "ragdoll-heap";

/// Runs the heap (600 steps, 10 s, unless `options` says otherwise) and
/// prints, every second, the ragdolls asleep, the lowest part centre and the
/// widest joint gap; 0 when it ends bounded (finite, above -0.1 m).
int RunRagdollHeapCommand(const ScenarioOptions& options);
