#include "bench/device/device_scenes.h"

#include <cmath>

namespace devbench {

void QuadVertices(int q, bool frontToBack, QuadVertex out[4])
{
    const int order = frontToBack ? q : kQuads - 1 - q;
    const float z = float(order) / float(kQuads);
    const uint32_t a = 0xFF000000u | uint32_t(q * 25) << 16 | 0x4080;
    const uint32_t b = 0xFF00FF00u | uint32_t(255 - q * 25);
    const float right = float(kWidth) - 0.5f, bottom = float(kHeight) - 0.5f;
    out[0] = {-0.5f, -0.5f, z, 1, a, 0, 0};
    out[1] = {right, -0.5f, z, 1, b, 4, 0};
    out[2] = {-0.5f, bottom, z, 1, b, 0, 4};
    out[3] = {right, bottom, z, 1, a, 4, 4};
}

std::vector<uint32_t> TextureTexels()
{
    std::vector<uint32_t> texels(size_t(kTextureSide) * kTextureSide);
    for (int y = 0; y < kTextureSide; ++y)
        for (int x = 0; x < kTextureSide; ++x)
            texels[size_t(y) * kTextureSide + size_t(x)] =
                0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | uint32_t((x ^ y) & 255);
    return texels;
}

SphereMesh MakeSphere(int segments)
{
    const int rings = segments / 2;
    SphereMesh mesh;
    for (int r = 0; r <= rings; ++r) {
        const float phi = 3.14159265f * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            const float theta = 2 * 3.14159265f * float(s) / float(segments);
            const float x = std::sin(phi) * std::cos(theta), y = std::cos(phi),
                        z = std::sin(phi) * std::sin(theta);
            mesh.vertices.push_back({x, y, z, x, y, z});
        }
    }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const uint32_t a = uint32_t(r * (segments + 1) + s), b = a + uint32_t(segments) + 1;
            mesh.indices.insert(mesh.indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    return mesh;
}

SphereView MakeSphereView()
{
    SphereView v{};
    for (int i = 0; i < 4; ++i)
        v.world[i * 5] = v.view[i * 5] = 1.0f;
    v.view[14] = 3.0f; // the sphere 3 units in front of the eye
    v.projection[0] = 1.8f * 0.75f;
    v.projection[5] = 1.8f;
    v.projection[10] = 20.0f / 19.5f;
    v.projection[11] = 1.0f;
    v.projection[14] = -0.5f * 20.0f / 19.5f;
    return v;
}

} // namespace devbench
