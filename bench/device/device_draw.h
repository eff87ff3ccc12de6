// The benchmark scenes drawn through the software device: one setup and one
// frame function per scene, shared by bench_device and the comparison.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/device/device_scenes.h"
#include "platform/d3d9/d3d9.h"

namespace devbench {

/// A windowed 640 x 480 X8R8G8B8 device with a D24S8 depth buffer.
class DeviceScene
{
  public:
    DeviceScene();
    ~DeviceScene();
    DeviceScene(const DeviceScene&) = delete;
    DeviceScene& operator=(const DeviceScene&) = delete;

    /// False when the device could not be created.
    bool Ok() const { return m_device != nullptr; }
    /// Gouraud quads, bilinear-textured (texture x diffuse) or colour only.
    void SetupFill(bool textured);
    /// Clears, draws the ten quads and presents.
    void DrawFillFrame(bool frontToBack);
    /// The lit sphere of MakeSphere(segments); its triangle count.
    uint32_t SetupSphere(int segments);
    /// Clears, draws the sphere and presents.
    void DrawSphereFrame();
    /// The back buffer as 640 x 480 XRGB words.
    std::vector<uint32_t> ReadBack();

  private:
    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DTexture9* m_texture = nullptr;
    IDirect3DVertexBuffer9* m_vertices = nullptr;
    IDirect3DIndexBuffer9* m_indices = nullptr;
    UINT m_vertexCount = 0, m_triangleCount = 0;
};

} // namespace devbench
