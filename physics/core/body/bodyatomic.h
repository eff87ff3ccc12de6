#pragma once
// Bodies on atomics: extension 0x901 on every atomic holds the body
// attached to it. An attached body reads its pose from the atomic frame's
// modelling matrix and writes the simulated pose back into it, marking the
// frame changed so the atomic follows. Destroying either side detaches.
//
// Usage: OlpBodyPluginAttach between EngineInit and EngineOpen (after the
// scene library); then OlpBodyAttach(atomic, body) for each pair.

#include <cstdint>

#include "physics/core/body/body.h"

struct Atomic;

constexpr uint32_t kOlpBodyPluginId = 0x901;

/// Registers the atomic extension and makes the body type's write back
/// move attached atomics; 1 (also when already attached), 0 when the
/// registry refuses.
int32_t OlpBodyPluginAttach();
/// True once the extension is registered with the running engine.
bool OlpBodyPluginAttached();
/// The body attached to the atomic; null when none or not registered.
OlpBody* OlpBodyGetFromAtomic(const Atomic* atomic);
/// Attaches `body` (null detaches) to the atomic: the body attached before
/// loses its source matrix; the new one takes the matrix of the atomic's
/// frame (none without a frame) and, when active, its pose. The atomic.
Atomic* OlpBodyAttach(Atomic* atomic, OlpBody* body);
