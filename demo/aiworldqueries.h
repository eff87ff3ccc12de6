#pragma once
// The AI's collision queries over the level's static worlds: a ray cast, a
// segment test and a can-go test for a body of some radius, answered from the
// worlds' triangles. The list of worlds is set once the worlds are loaded;
// before that every query sees no world. Points are three floats x, y, z in
// world units. The ignored and mode arguments are the AI's and unused here.
#include <cstdint>

struct World;

/// The most worlds the list holds.
constexpr int32_t kAiMaxCollisionWorlds = 5;
/// Most spheres one can-go test places; a longer way spaces them further apart.
constexpr int32_t kAiMaxCanGoSamples = 4096;

/// Keeps the first `count` worlds: 1; 0 (the list unchanged) for a count
/// above kAiMaxCollisionWorlds or below 0.
int32_t SetAiCollisionWorlds(World* const* worlds, int32_t count);
/// Empties the list.
void ClearAiCollisionWorlds();

/// Distance from `from` to the nearest triangle on the segment to `to`, as
/// hit fraction x `length`; `length` with a zero normal when nothing is hit,
/// 0 with a zero normal for from equal to to, -1 without worlds (normal
/// untouched). Otherwise `normal` receives the hit triangle's unit normal.
float WorldsRayCast(const float* from, const float* to, const void* ignored, int mode, float length,
                    float* normal);
/// 1 when no triangle lies on the segment (also without worlds or for from equal to to), else 0.
int WorldsSegmentClear(const float* from, const float* to, const void* ignored, int mode);
/// 1 when spheres of `radius` placed every `radius` along the way (the start
/// excluded) touch no triangle, else 0. A radius of 0, negative or not a number
/// is the segment test; a way shorter than the radius is free. Beyond
/// kAiMaxCanGoSamples spheres they are spread over the way, and the segment must be clear too.
int WorldsCanGo(const float* from, const float* to, float radius, const void* ignored, int mode);
