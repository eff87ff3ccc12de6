#include "agents_level.h"

namespace AgentsBench {

std::vector<Box> LevelBoxes()
{
    std::vector<Box> boxes;
    const float t = 0.25f; // half a wall's thickness
    // Outer walls.
    boxes.push_back({{-1.0f, -1.0f, -1.0f}, {kSize + 1.0f, 3.0f, 0.0f}});
    boxes.push_back({{-1.0f, -1.0f, kSize}, {kSize + 1.0f, 3.0f, kSize + 1.0f}});
    boxes.push_back({{-1.0f, -1.0f, 0.0f}, {0.0f, 3.0f, kSize}});
    boxes.push_back({{kSize, -1.0f, 0.0f}, {kSize + 1.0f, 3.0f, kSize}});
    // Room walls every 16 m, each room side with a door 3 m wide in its middle.
    for (int line = 1; line < 4; ++line) {
        const float c = 16.0f * float(line);
        for (int room = 0; room < 4; ++room) {
            const float a = 16.0f * float(room), b = a + 16.0f, door0 = a + 6.5f, door1 = a + 9.5f;
            boxes.push_back({{c - t, -1.0f, a}, {c + t, 3.0f, door0}}); // wall along z
            boxes.push_back({{c - t, -1.0f, door1}, {c + t, 3.0f, b}});
            boxes.push_back({{a, -1.0f, c - t}, {door0, 3.0f, c + t}}); // wall along x
            boxes.push_back({{door1, -1.0f, c - t}, {b, 3.0f, c + t}});
        }
    }
    return boxes;
}

bool InsideWall(float x, float z, float margin)
{
    for (const Box& b : LevelBoxes())
        if (x >= b.min[0] - margin && x <= b.max[0] + margin && z >= b.min[2] - margin &&
            z <= b.max[2] + margin)
            return true;
    return false;
}

std::vector<float> WalkablePoints()
{
    std::vector<float> points;
    for (int z = 1; z < int(kSize); ++z)
        for (int x = 1; x < int(kSize); ++x)
            if (!InsideWall(float(x), float(z), 0.4f)) {
                points.push_back(float(x));
                points.push_back(float(z));
            }
    return points;
}

} // namespace AgentsBench
