#pragma once
// The Direct3D 9 device driver of the graphics engine: the device record the
// engine takes at EngineOpen, the handler of its numbered device requests,
// the driver's options (call them between EngineOpen and EngineStart unless
// noted), the frame entry points (camera begin/end update, clear, present)
// and the device-loss recovery.
//
// Use: EngineSetDeviceDriver(D3D9DriverGet()) before EngineInit; EngineOpen
// with the output window (an HWND of platform/win32) as the display id.

#include <cstdint>

#include "graphics/core/device.h"
#include "platform/d3d9/d3d9.h"

struct Camera;
struct Raster;

/// One entry of the video-mode table.
struct D3D9VideoModeEntry
{
    uint32_t width;
    uint32_t height;
    uint32_t refreshRate; ///< hertz
    uint32_t format;      ///< D3DFORMAT
    uint32_t flags;       ///< bit 0: exclusive full screen; 0: the desktop mode used windowed
};

/// Release and restore callbacks around a device reset (no arguments).
using D3D9DeviceCallback = void (*)();

/// The driver for EngineSetDeviceDriver: its device record and its attach
/// (which registers the raster extension).
const DeviceDriver* D3D9DriverGet();
/// The device record that the register request copies into the engine.
const DeviceBlock* D3D9DriverGetDevice();
/// The request handler: 1 on success, 0 on failure or for an unhandled request.
int32_t D3D9SystemHandler(int32_t request, void* out, void* inOut, int32_t number);
/// Fills `count` device entry points (slot array indexed by DeviceFunctionIndex).
int32_t D3D9GetStandardFunctions(void* slots, void* unused, int32_t count);

/// The created device (null outside started), the Direct3D object, the caps copy.
IDirect3DDevice9* D3D9GetDevice();
IDirect3D9* D3D9GetDirect3D();
const D3DCAPS9* D3D9GetCaps();
/// The video-mode table (built on first use) and its entry count.
const D3D9VideoModeEntry* D3D9GetVideoModes(int32_t* count);
/// The presentation parameters of the device (creation and every reset).
const D3DPRESENT_PARAMETERS* D3D9GetPresentParameters();
/// 1 when the chosen depth format has stencil bits.
uint32_t D3D9GetHasStencil();

// ---- options ----
uint32_t D3D9EngineGetMaxMultiSamplingLevels();
/// Requested levels = min(levels, maximum); the non-maskable quality to use.
uint32_t D3D9EngineSetMultiSamplingLevels(uint32_t levels);
/// Caps full-screen refresh rates at `hz` (0: none), lowered to a rate that exists.
uint32_t D3D9EngineSetRefreshRate(uint32_t hz);
uint32_t D3D9EngineSetMultiThreadSafe(uint32_t flag);
uint32_t D3D9EngineSetSoftwareVertexProcessing(uint32_t flag);
/// Any time; while started answers the device's SetDialogBoxMode result.
uint32_t D3D9EngineSetDialogBoxMode(uint32_t flag);
/// True when the adapter accepts one of the DXT texture formats.
bool D3D9DeviceSupportsDXTTexture();
/// Stencil value that camera clears use.
void D3D9SetStencilClear(uint32_t value);
uint32_t D3D9GetStencilClear();
void D3D9SetDeviceReleaseCallback(D3D9DeviceCallback callback);
D3D9DeviceCallback D3D9GetDeviceReleaseCallback();
/// The callback run after every successful device reset; the scene renderer chains its own.
void D3D9SetDeviceEventCallback(D3D9DeviceCallback callback);
D3D9DeviceCallback D3D9GetDeviceEventCallback();

// ---- frame entry points and device loss ----
/// kDeviceFnCameraBeginUpdate: (-, camera, -) -> 1 when a scene is open and rendering may go on.
int32_t D3D9CameraBeginUpdate(void* out, void* camera, int32_t number);
/// kDeviceFnCameraEndUpdate: (-, -, -) -> 1.
int32_t D3D9CameraEndUpdate(void* out, void* camera, int32_t number);
/// kDeviceFnCameraClear: (camera, colour RGBA bytes, flags 1 image 2 z 4 stencil) -> 1/0.
int32_t D3D9CameraClear(void* camera, void* colour, int32_t flags);
/// kDeviceFnRasterShowRaster: (raster, window, flags bit 0 vertical sync) -> 1 when presented.
int32_t D3D9RasterShowRaster(void* raster, void* window, int32_t flags);
/// 1 when a scene is open (device tested and reset when it needs it).
int32_t D3D9TestDeviceAndBeginScene();
/// Public recovery call: true when the device is usable.
bool D3D9RestoreLostDevice();
/// Run-time video-mode change; 0 only when neither the new nor the old mode could be reset.
int32_t D3D9ChangeVideoMode(int32_t index);
int32_t D3D9ChangeMultiSamplingLevels(uint32_t levels);
/// Gives the camera a swap chain, frame-buffer and z-buffer rasters for `window`.
int32_t D3D9CameraAttachWindow(Camera* camera, HWND window);
/// The camera being updated (between begin and end update), or null.
Camera* D3D9GetCurrentCamera();
/// Where the scene renderer caches its view x projection product; cleared at
/// every camera begin update.
void** D3D9ViewProjectionCache();
