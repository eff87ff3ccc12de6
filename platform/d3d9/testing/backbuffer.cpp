#include "platform/d3d9/testing/backbuffer.h"

#include <cstddef>

#include "platform/d3d9/d3d9.h"

namespace d3d9test {

std::vector<uint32_t> BackBufferPixels(IDirect3DDevice9* device, int width, int height)
{
    std::vector<uint32_t> pixels;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) {
        return pixels;
    }
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        pixels.reserve(std::size_t(width) * std::size_t(height));
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                                y * locked.Pitch);
            for (int x = 0; x < width; ++x) {
                pixels.push_back(row[x] | 0xFF000000);
            }
        }
        surface->UnlockRect();
    }
    surface->Release();
    return pixels;
}

uint32_t BackBufferPixel(IDirect3DDevice9* device, int x, int y)
{
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) {
        return 0;
    }
    uint32_t value = 0;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        value = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                  y * locked.Pitch)[x];
        surface->UnlockRect();
    }
    surface->Release();
    return value & 0xFFFFFF;
}

} // namespace d3d9test
