// Generated triangle shapes for the mesh builders.
#include "tools/scenebuild/meshshapes.h"

#include "graphics/scene/mesh.h"

namespace {

// A small fixed linear congruential generator: shapes are identical on
// every platform.
uint32_t Next(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

} // namespace

MeshShape MeshShapeGrid(int columns, int rows)
{
    MeshShape shape{"grid", {}};
    auto vertex = [&](int x, int y) { return uint16_t(y * (columns + 1) + x); };
    for (int y = 0; y < rows; ++y) {
        uint16_t material = uint16_t(y * 3 / rows);
        for (int x = 0; x < columns; ++x) {
            shape.triangles.push_back({{vertex(x, y), vertex(x + 1, y), vertex(x + 1, y + 1)}, material});
            shape.triangles.push_back({{vertex(x, y), vertex(x + 1, y + 1), vertex(x, y + 1)}, material});
        }
    }
    return shape;
}

MeshShape MeshShapeFan(int count)
{
    MeshShape shape{"fan", {}};
    for (int i = 0; i < count; ++i) {
        shape.triangles.push_back({{0, uint16_t(i + 1), uint16_t(i + 2)}, uint16_t(i % 3)});
    }
    return shape;
}

MeshShape MeshShapeRibbon(int count)
{
    MeshShape shape{"ribbon", {}};
    for (int i = 0; i < count; ++i) {
        uint16_t a = uint16_t(i);
        uint16_t b = uint16_t(i + 1);
        uint16_t c = uint16_t(i + 2);
        // Consecutive triangles alternate winding in index order, so the
        // ribbon stays one consistently wound surface.
        if (i % 2 == 0) {
            shape.triangles.push_back({{a, b, c}, uint16_t(i * 3 / count)});
        } else {
            shape.triangles.push_back({{b, a, c}, uint16_t(i * 3 / count)});
        }
    }
    return shape;
}

MeshShape MeshShapeSoup(int count, int vertices, uint32_t seed)
{
    MeshShape shape{"soup", {}};
    uint32_t state = seed;
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 9) {
            shape.triangles.push_back(shape.triangles[Next(state) % shape.triangles.size()]);
            continue;
        }
        uint16_t a = uint16_t(Next(state) % uint32_t(vertices));
        uint16_t b = uint16_t(Next(state) % uint32_t(vertices));
        uint16_t c = uint16_t(Next(state) % uint32_t(vertices));
        if (a == b || b == c || a == c) {
            --i;
            continue;
        }
        shape.triangles.push_back({{a, b, c}, uint16_t(Next(state) % 3)});
    }
    return shape;
}

std::vector<MeshShape> MeshShapesStandard()
{
    return {MeshShapeGrid(8, 8), MeshShapeFan(20), MeshShapeRibbon(30), MeshShapeSoup(200, 60, 7)};
}

MeshBuildList* MeshShapeBuildList(const MeshShape& shape, Material* const materials[3])
{
    MeshBuildList* list = MeshBuildListCreate(uint32_t(shape.triangles.size()));
    for (const ShapeTriangle& t : shape.triangles) {
        if (!list || !MeshBuildListAddTriangle(list, materials[t.material], t.vertex[0], t.vertex[1],
                                               t.vertex[2], t.material, 0, 0, 0)) {
            if (list) {
                MeshBuildListDestroy(list);
            }
            return nullptr;
        }
    }
    return list;
}
