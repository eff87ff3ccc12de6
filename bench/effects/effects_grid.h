// The dual-textured grid of the effects benchmarks: 640 x 480 covered by
// 20 x 20-pixel quads whose two textures are modulated in one pass (the
// single-pass dual-texture effect, (9, 1) over a base), drawn through the
// software device; the comparison draws the same vertices and textures
// through OSMesa.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace fxbench {

constexpr int kWidth = 640, kHeight = 480;
/// Side of a grid quad, pixels.
constexpr int kCell = 20;
/// Side of the two square textures, texels.
constexpr int kTextureSide = 128;
/// Pixels covered by one frame.
constexpr double kGridPixels = double(kWidth) * kHeight;

/// A pre-transformed vertex: screen position (pixel centres on integers),
/// depth, 1/w, ARGB colour, two sets of texture coordinates.
struct GridVertex
{
    float x, y, z, rhw;
    uint32_t colour;
    float u0, v0;
    float u1, v1;
};

/// The grid as a triangle list, six vertices a quad; the second coordinate
/// set runs at twice the rate of the first.
std::vector<GridVertex> GridVertices();

/// The base (index 0) and second (index 1) textures as ARGB texels, row-major, opaque.
std::vector<uint32_t> GridTexels(int index);

/// The grid through the software device: stage 0 texture x diffuse, stage 1
/// texture x current, both bilinear.
class DeviceGrid
{
  public:
    DeviceGrid();
    ~DeviceGrid();
    DeviceGrid(const DeviceGrid&) = delete;
    DeviceGrid& operator=(const DeviceGrid&) = delete;

    bool Ok() const { return m_ok; }
    /// Clears, draws the grid in one call and presents.
    void DrawFrame();
    /// The back buffer as XRGB words, top row first.
    std::vector<uint32_t> ReadBack();

  private:
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DTexture9* m_textures[2] = {nullptr, nullptr};
    IDirect3DVertexBuffer9* m_vertices = nullptr;
    UINT m_triangles = 0;
    bool m_ok = false;
};

} // namespace fxbench
