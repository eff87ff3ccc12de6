// The benchmark level of the standard agents: a 64 x 64 m floor divided into
// 4 x 4 rooms of 16 m by walls 0.5 m thick, each wall with a 3 m door in its
// middle, and the agents' starts and goal draws. Shared by the AI benchmark and
// its Detour crowd comparison, so that both walk the same level.
#pragma once
#include <cstdint>
#include <vector>

namespace AgentsBench {

struct Box
{
    float min[3];
    float max[3];
};

inline constexpr float kSize = 64.0f; // metres; the floor spans [0, 64] in x and z
inline constexpr int kWanderers = 64;
inline constexpr int kFollowers = 16; // follower i follows wanderer i
inline constexpr int kShooters = 8;   // shooter i aims at wanderer 16 + i
inline constexpr float kStep = 1.0f / 30.0f;

/// The walls (outer walls and the room walls with their doors).
std::vector<Box> LevelBoxes();
/// True when the point (x, z) lies inside a wall, or within margin of one.
bool InsideWall(float x, float z, float margin);
/// The 1 m grid points of the floor that lie clear of the walls (0.4 m margin), as x, z pairs.
std::vector<float> WalkablePoints();

} // namespace AgentsBench
