// Reading back what a device drew, shared by the rendering tests of every
// folder.
#pragma once

#include <cstdint>
#include <vector>

class IDirect3DDevice9;

namespace d3d9test {

/// The top-left `width` x `height` pixels of the device's 32-bit back buffer
/// as 0xFFRRGGBB words, row by row (alpha set, as the window shows none);
/// empty when the back buffer cannot be read. The back buffer must be at
/// least that large.
std::vector<uint32_t> BackBufferPixels(IDirect3DDevice9* device, int width, int height);
/// The back buffer's pixel at (x, y) as 0xRRGGBB; 0 when it cannot be read.
uint32_t BackBufferPixel(IDirect3DDevice9* device, int x, int y);

} // namespace d3d9test
