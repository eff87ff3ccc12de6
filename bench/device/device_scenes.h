// The software device's benchmark scenes, shared by bench_device and the
// side-by-side comparison with Mesa's OSMesa so that both draw exactly the
// same vertices, texture, matrices, material and light.
#pragma once

#include <cstdint>
#include <vector>

namespace devbench {

constexpr int kWidth = 640, kHeight = 480;
/// Full-screen quads per frame.
constexpr int kQuads = 10;
/// Side of the square test texture, texels.
constexpr int kTextureSide = 256;

/// A pre-transformed vertex: screen position (pixel centres on integers),
/// depth in [0, 1], 1/w, ARGB colour, texture coordinates.
struct QuadVertex
{
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

/// The four vertices (strip order) of the q-th quad drawn in a frame. Depth
/// runs from 0.9 down to 0.0 (back to front) or the other way round (front
/// to back: nine of ten fail LESSEQUAL). Texture coordinates repeat 4 times.
void QuadVertices(int q, bool frontToBack, QuadVertex out[4]);

/// The 256 x 256 ARGB texture (row-major, opaque).
std::vector<uint32_t> TextureTexels();

struct SphereVertex
{
    float x, y, z, nx, ny, nz;
};

/// A unit sphere of segments x segments/2 x 2 triangles (indexed list).
struct SphereMesh
{
    std::vector<SphereVertex> vertices;
    std::vector<uint32_t> indices;
};
SphereMesh MakeSphere(int segments);

/// Row-major matrices for row vectors (the Direct3D layout, which is also
/// what OpenGL reads as column-major for column vectors).
struct SphereView
{
    float world[16];
    float view[16];
    float projection[16]; ///< depth to [0, w]
};
SphereView MakeSphereView();

/// Material diffuse and ambient (RGBA), the directional light's direction
/// (where its light travels) and the scene's ambient colour.
constexpr float kMaterialDiffuse[4] = {1.0f, 0.8f, 0.6f, 1.0f};
constexpr float kMaterialAmbient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr float kLightDirection[3] = {1.0f, -1.0f, 1.0f};
constexpr uint32_t kAmbientArgb = 0xFF202020u;

} // namespace devbench
