#pragma once
// Private to the driver: the reset sequence shared by the frame entry points.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

/// Unbinds the device's textures, indices, streams 0-3, shaders and
/// declaration (before a Reset and at device stop); needs a device.
void D3D9DeviceUnbindAll();
/// Unbinds everything and releases the default pool before a Reset.
void D3D9ReleaseForReset();
/// After a successful Reset: default surfaces, default pool, dynamic
/// buffers, render states, lights, immediate-mode buffers, then the restore
/// callback (which runs even when a step failed). True when all came back.
bool D3D9RecreateAfterReset();
/// Release, Reset with the driver's parameters (once more with the
/// desktop's format for a windowed device refused with INVALIDCALL when
/// `windowedRetry`), re-create on success. The Reset result.
HRESULT D3D9ResetWithParameters(bool windowedRetry);
/// TestCooperativeLevel, resetting a device that needs it; 0 (scene closed)
/// while the device is lost or the reset failed.
int32_t D3D9TestDevice();
/// BeginScene unless a scene is open; 1 when one is open.
int32_t D3D9OpenScene();
/// Sizes the output window's client area (un-maximising it first).
bool D3D9ResizeWindowClient(uint32_t width, uint32_t height);
