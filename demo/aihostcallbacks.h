#pragma once
// The demo's side of the AI host block: memory through the engine's
// allocator, the AI clock, collision queries over the level's worlds
// (aiworldqueries.h), debug drawing (aidebuglines.h) and the AI's file
// functions over the engine's file-system manager.
//
// Start-up order: AiRegisterModules, AiHostCallbacks (the application may then
// put its own queries into words 9 to 11), TimerCalibrate, AiEngineInitialize,
// SetAiCollisionWorlds, the AI data, DebugLinesInit.
#include <cstddef>

#include "ai/runtime/host.h"

/// The entity limit the demo gives the AI.
constexpr uint32_t kAiHostMaxEntities = 200;

/// True when every AI module's classes are registered (agents, entity
/// attributes, the demo's entity and action classes and escort classes, graph
/// data, managers, path finder, entity and sound managers); stops at the first false.
bool AiRegisterModules();
/// Fills all 28 words: memory, clock, the world queries, debug drawing, files.
void AiHostCallbacks(Zelk::AiHostInterface* block);

/// The engine's allocate, reallocate and free (memory hint 0).
void* AiHostAlloc(size_t size);
void* AiHostRealloc(void* block, size_t size);
void AiHostFree(void* block);
