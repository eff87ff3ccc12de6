// Controls of the software device that Direct3D 9 does not have: counting
// live objects, configuring the adapters and their caps, and scripting the
// device into the lost, needs-reset, failed-reset and resized states, so
// that tests reach every recovery path of the engine.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"

/// Number of device objects (of every kind) alive in the process.
long D3D9LiveObjectCount();

/// The caps every new adapter starts with (the defaults that let the
/// renderer take its main paths: hardware T&L, stream offsets, vs 2.0,
/// ps 1.1, 2048 x 2048 textures, 8 lights, 256 vertex constants).
D3DCAPS9 D3D9DefaultCaps();

/// One adapter as Direct3DCreate9 will see it.
struct D3D9AdapterConfig
{
    D3DCAPS9 caps;
    char description[128];
    D3DDISPLAYMODE desktop; ///< the desktop mode (X8R8G8B8 1024 x 768 by default)
    bool hasDevice;         ///< false: GetDeviceCaps and CreateDevice fail (D3DERR_NOTAVAILABLE)
    bool supportsDxt;       ///< DXT1..5 textures pass CheckDeviceFormat
    bool supportsPalettes;  ///< P8 textures pass CheckDeviceFormat
    UINT textureMemory;     ///< what GetAvailableTextureMem answers, bytes
};
/// The default adapter configuration.
D3D9AdapterConfig D3D9DefaultAdapter();
/// Replaces the adapter list read by later Direct3DCreate9 calls (count 0:
/// Direct3DCreate9 answers null). At most 4 adapters.
void D3D9SetAdapters(const D3D9AdapterConfig* adapters, UINT count);
/// Back to one default adapter.
void D3D9ResetAdapters();

/// Scripted device conditions, applied to `device` at once:
enum class D3D9Condition
{
    Operational, ///< TestCooperativeLevel D3D_OK
    Lost,        ///< D3DERR_DEVICELOST from TestCooperativeLevel, Present and Reset
    NotReset,    ///< D3DERR_DEVICENOTRESET until a successful Reset
};
void D3D9ScriptCondition(IDirect3DDevice9* device, D3D9Condition condition);
/// The next `count` Reset calls fail with `result` (D3DERR_INVALIDCALL,
/// D3DERR_DEVICELOST, ...), leaving the device in the needs-reset state.
void D3D9ScriptResetFailures(IDirect3DDevice9* device, UINT count, HRESULT result);
/// Frames presented by the device since creation.
UINT D3D9PresentCount(IDirect3DDevice9* device);
/// Writes a surface of a colour format as an 8-bit RGBA PNG; false on failure.
bool D3D9SurfaceWritePng(IDirect3DSurface9* surface, const char* path);

/// Threads the software device draws with (the calling one included; 0:
/// OLAI_DEVICE_THREADS, else every core the process may run on), and whether every draw is split
/// into bands however small (tests compare pictures across thread counts).
/// Pictures are the same whatever the count.
void D3D9SetDeviceThreads(int threads, bool everyDraw);

/// Device methods that the call log records.
enum class D3D9Call : uint8_t
{
    SetRenderState,       ///< state, value
    SetTextureStageState, ///< stage, type, value
    SetSamplerState,      ///< sampler, type, value
    SetTexture,           ///< stage, texture
    SetLight,             ///< index
    LightEnable,          ///< index, enable
    SetMaterial,
    SetTransform,           ///< transform state
    SetIndices,             ///< buffer
    SetStreamSource,        ///< stream, buffer, offset
    SetVertexDeclaration,   ///< declaration
    SetFVF,                 ///< fvf
    SetVertexShader,        ///< shader
    SetPixelShader,         ///< shader
    DrawPrimitive,          ///< type, start vertex, primitives
    DrawIndexedPrimitive,   ///< type, base vertex, primitives
    DrawPrimitiveUP,        ///< type, primitives
    DrawIndexedPrimitiveUP, ///< type, primitives
};
/// One recorded call: the method and up to three arguments (interfaces as
/// their addresses), valid or not, and what the call passed beyond them, so
/// that the log can be replayed: SetTransform's matrix, SetMaterial's
/// material and SetLight's light as their bytes; SetStreamSource's stride in
/// data[0]; DrawIndexedPrimitive's minimum index, vertex count and start
/// index in data[0..2].
struct D3D9CallRecord
{
    D3D9Call call;
    uint64_t a, b, c;
    std::array<uint32_t, 26> data;
};
/// Clears the device's call log and records every later call of the listed
/// methods until D3D9CallLogStop (the recording device of the tests).
void D3D9CallLogStart(IDirect3DDevice9* device);
void D3D9CallLogStop(IDirect3DDevice9* device);
/// The calls recorded since the last start, in order.
std::vector<D3D9CallRecord> D3D9CallLog(IDirect3DDevice9* device);
/// How many calls of `call` were recorded since the last start.
UINT D3D9CallCount(IDirect3DDevice9* device, D3D9Call call);
/// Makes the recorded call again on the device (interfaces must still be
/// alive); D3DERR_INVALIDCALL for the user-pointer draws, whose vertices the
/// log does not keep.
HRESULT D3D9CallReplay(IDirect3DDevice9* device, const D3D9CallRecord& record);

/// The widest vectors the software device's span routines may use: 128
/// (SSE2), 256 (AVX2) or 512 bits (AVX-512); 0, the default: the widest the
/// processor has. Devices compile their states with the limit in force.
/// Pictures are the same whatever the width.
void D3D9SetVectorBits(int bits);
