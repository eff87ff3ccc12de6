// Triangle soups for the world builder.
#include "tools/worldbuild/worldshapes.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "graphics/scene/geometry.h"

WorldSoup WorldSoupRow(int count, const std::vector<Material*>& materials)
{
    WorldSoup soup;
    soup.materials = materials;
    for (int i = 0; i < count; ++i) {
        const float x = float(2 * i);
        const uint32_t first = uint32_t(soup.positions.size());
        soup.positions.push_back({x, 0, 0});
        soup.positions.push_back({x + 1, 0, 0});
        soup.positions.push_back({x, 1, 0});
        soup.triangles.push_back({{first, first + 1, first + 2}, 0});
    }
    return soup;
}

WorldSoup WorldSoupLane(Material* material)
{
    WorldSoup soup;
    soup.format = kGeometryNormals;
    soup.materials = {material};
    for (int i = 0; i < 4; ++i) {
        const float z = float(10 * i);
        const uint32_t first = uint32_t(soup.positions.size());
        for (V3d corner : {V3d{0, 0, z}, V3d{10, 0, z}, V3d{0, 0, z + 10}, V3d{10, 0, z + 10}}) {
            soup.positions.push_back(corner);
            soup.normals.push_back({0, 1, 0});
        }
        soup.triangles.push_back({{first, first + 2, first + 1}, 0});
        soup.triangles.push_back({{first + 1, first + 2, first + 3}, 0});
    }
    return soup;
}

WorldSoup WorldSoupTerrain(int32_t triangles, float size, const std::vector<Material*>& materials)
{
    WorldSoup soup;
    soup.format = kGeometryNormals | kGeometryTextured | kGeometryPreLit;
    soup.materials = materials;
    int32_t side = 1;
    while (2 * side * side < triangles) {
        ++side;
    }
    const float step = size / float(side);
    auto height = [](float x, float z) { return 2.0f * std::sin(0.05f * x) * std::cos(0.07f * z); };
    for (int32_t j = 0; j <= side; ++j) {
        for (int32_t i = 0; i <= side; ++i) {
            const float x = -0.5f * size + step * float(i);
            const float z = -0.5f * size + step * float(j);
            soup.positions.push_back({x, height(x, z), z});
            // The surface's normal from its slopes.
            const float dx = 0.1f * std::cos(0.05f * x) * std::cos(0.07f * z);
            const float dz = -0.14f * std::sin(0.05f * x) * std::sin(0.07f * z);
            const float length = std::sqrt(dx * dx + 1.0f + dz * dz);
            soup.normals.push_back({-dx / length, 1.0f / length, -dz / length});
            soup.uv.push_back({float(i) * 0.25f, float(j) * 0.25f});
            soup.preLit.push_back({uint8_t(128 + 127 * (i & 1)), 160, uint8_t(96 + (j % 64)), 255});
        }
    }
    const uint16_t count = uint16_t(materials.empty() ? 1 : materials.size());
    for (int32_t j = 0; j < side; ++j) {
        for (int32_t i = 0; i < side; ++i) {
            const uint32_t a = uint32_t(j * (side + 1) + i);
            const uint32_t b = a + 1;
            const uint32_t c = a + uint32_t(side) + 1;
            const uint32_t d = c + 1;
            const uint16_t material = uint16_t(((i / 8) + (j / 8)) % count);
            soup.triangles.push_back({{a, c, b}, material});
            soup.triangles.push_back({{b, c, d}, material});
        }
    }
    return soup;
}

float WorldSoupTerrainHeight(const WorldSoup& terrain, float x, float z)
{
    // A grid of (side + 1)^2 vertices row by row, two triangles a cell.
    const int32_t side = int32_t(std::lround(std::sqrt(double(terrain.positions.size())))) - 1;
    const V3d& origin = terrain.positions[0];
    const float step = terrain.positions[1].x - origin.x;
    const int32_t i = std::clamp(int32_t(std::floor((x - origin.x) / step)), 0, side - 1);
    const int32_t j = std::clamp(int32_t(std::floor((z - origin.z) / step)), 0, side - 1);
    float height = 0.0f;
    float outside = 3.4e38f;
    for (int32_t half = 0; half < 2; ++half) {
        const WorldSoupTriangle& t = terrain.triangles[size_t(2 * (j * side + i) + half)];
        const V3d& a = terrain.positions[t.vertex[0]];
        const V3d& b = terrain.positions[t.vertex[1]];
        const V3d& c = terrain.positions[t.vertex[2]];
        // Barycentric weights in the x-z plane; the triangle the point is least outside of.
        const float d = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
        const float u = ((x - a.x) * (c.z - a.z) - (c.x - a.x) * (z - a.z)) / d;
        const float v = ((b.x - a.x) * (z - a.z) - (x - a.x) * (b.z - a.z)) / d;
        const float miss = std::fmax(std::fmax(-u, -v), u + v - 1.0f);
        if (miss < outside) {
            outside = miss;
            height = a.y + u * (b.y - a.y) + v * (c.y - a.y);
        }
    }
    return height;
}
