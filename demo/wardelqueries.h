#pragma once
// The demo's answers to the AI's collision queries, over the framework's
// physics world (its worlds and registered objects), and the graph
// generator's hooks. They replace words 9 to 11 of the AI host block. Points
// are three floats x, y, z. Mode 1 leaves the registered (dynamic) objects
// out of a test; any other mode includes them. Without a physics world every
// way is clear.
#include "ai/runtime/vec3.h"

/// Distance to the nearest hit on from-to as hit fraction x `length`; `length`
/// when nothing is hit or from equals to. `normal` (may be null) receives the
/// hit's unit normal, (0, 0, 0) without a hit.
float PhysicsWorldRayCast(const float* from, const float* to, const void* ignored, int mode, float length,
                          float* normal);
/// 1 when nothing lies on the segment (or from equals to), else 0.
int PhysicsWorldSegmentClear(const float* from, const float* to, const void* ignored, int mode);
/// 1 when a tube of `radius` around from-to is free (or from equals to), else 0.
int PhysicsWorldCanGo(const float* from, const float* to, float radius, const void* ignored, int mode);

/// Graph-generator hooks; `entity` is the AI entity of a demo character.
/// Places the character at `point` (lowered by half its height), inputs cleared.
void CharacterPlaceHook(const Zelk::CVec3* point, void* entity);
/// Turns the character to the heading `second->y`, inputs cleared.
void CharacterTurnHook(const Zelk::CVec3* first, const Zelk::CVec3* second, void* entity);
/// Keeps every point: 1.
int KeepEveryPoint(const Zelk::CVec3* point);
