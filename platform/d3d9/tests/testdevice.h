// Helpers of the device tests: a headless device, vertex records, textures
// made in code, and comparison of rendered frames with reference PNGs.
#pragma once

#include "platform/d3d9/d3d9control.h"

#include <cstdint>
#include <string>
#include <vector>

namespace d3d9test {

/// A headless device (no window) with a w x h X8R8G8B8 back buffer and a
/// D24S8 depth buffer. Released by the destructor.
struct TestDevice
{
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS params{};
    TestDevice(UINT width, UINT height, D3DFORMAT backBuffer = D3DFMT_X8R8G8B8);
    ~TestDevice();
    /// The back buffer as A8R8G8B8 words, row by row.
    std::vector<uint32_t> Pixels();
    uint32_t Pixel(int x, int y);
};

/// Pre-transformed vertex: screen x, y, z, rhw, diffuse, one 2-D texture set.
struct TVertex
{
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr DWORD kTVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

/// Draws an axis-aligned screen rectangle [x0, x1) x [y0, y1) as two
/// triangles with one colour and texture coordinates (u0, v0)-(u1, v1).
void DrawRect(IDirect3DDevice9* device, float x0, float y0, float x1, float y1, float z, D3DCOLOR colour,
              float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);

/// A managed A8R8G8B8 texture filled from `texels` (width x height words).
IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, UINT width, UINT height,
                               const std::vector<uint32_t>& texels);

/// Where this program writes: the folder's test output, in a folder named
/// after the program, since the SSE2 and scalar device programs run the same
/// tests side by side.
std::string TestOutputDir();

/// The tokens of an assembled shader (empty after a failure, which the
/// test reports).
std::vector<DWORD> Assemble(const std::string& text);

/// Compares a rendered frame with tests/reference/<name>.png: every channel
/// of at least 99.5 % of the pixels within 3 levels. With the environment
/// variable OLAI_UPDATE_REFERENCES=1 the reference is (re)written instead.
/// On a mismatch the actual frame and a difference image go to
/// TestOutputDir(). Returns an empty string on success, else why not.
std::string CompareWithReference(const std::string& name, const std::vector<uint32_t>& pixels, UINT width,
                                 UINT height);

/// Channel helpers: 0xAARRGGBB.
inline int Red(uint32_t c)
{
    return int((c >> 16) & 255);
}
inline int Green(uint32_t c)
{
    return int((c >> 8) & 255);
}
inline int Blue(uint32_t c)
{
    return int(c & 255);
}

} // namespace d3d9test
