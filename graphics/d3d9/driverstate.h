#pragma once
// Private to the Direct3D 9 driver: the one state block that every part of
// the driver shares (device, adapter, modes, presentation parameters, caches,
// buffers, transforms, lights, engine render states). Single-threaded; lives
// from process start and is cleared at device close.

#include <cstdint>

#include "graphics/core/cpu.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "platform/d3d9/d3d9.h"

struct Camera;
struct FreeList;
struct GrowArray;
struct Raster;

constexpr uint32_t kD3D9RenderStates = 210;
constexpr uint32_t kD3D9Stages = 8;
constexpr uint32_t kD3D9StageTypes = 33;
constexpr uint32_t kD3D9SamplerTypes = 14;
constexpr uint32_t kD3D9StageEntries = kD3D9Stages * kD3D9StageTypes;
constexpr uint32_t kD3D9SamplerEntries = kD3D9Stages * kD3D9SamplerTypes;
constexpr uint32_t kD3D9TransformSlots = 260;
constexpr uint32_t kD3D9DynamicSlots = 4;
/// Bytes of each dynamic slot's buffer (a larger lock grows one).
constexpr uint32_t kD3D9DynamicSlotSize = 0x40000;

/// One deferred state: what the engine wants, what the device was sent, and
/// whether the device's value is known at all (it is not after start or a
/// reset, whatever the value: then the first flush always sends).
struct D3D9DeferredState
{
    uint32_t wanted;
    uint32_t sent;
    uint8_t queued;
    uint8_t known;
};

struct D3D9SamplerEntry
{
    uint32_t value;
    uint8_t known;
};

struct D3D9StageQueueEntry
{
    uint16_t stage;
    uint16_t type;
};

struct D3D9CurrentMode
{
    uint32_t width;
    uint32_t height;
    uint32_t refreshRate;
    D3DFORMAT format;
    uint32_t depth; ///< colour bits
    uint32_t flags; ///< bit 0 exclusive full screen
};

/// Per-stage texture record of the engine render states.
struct D3D9StageRecord
{
    Raster* raster;
    uint32_t addressU;
    uint32_t addressV;
    uint32_t filterMode;
    uint32_t borderColour;
    uint32_t maxAnisotropy;
};

/// The engine's own view of its render states (kept through resets).
struct D3D9EngineStates
{
    uint32_t zTest, zWrite;
    uint32_t stencilEnable, stencilFail, stencilZFail, stencilPass, stencilFunction, stencilRef;
    uint32_t stencilMask, stencilWriteMask;
    uint32_t vertexAlpha, textureAlpha;
    uint32_t cullMode;
    uint32_t fogEnable, fogType;
    float fogDensity;
    uint32_t fogColour;
    uint32_t shadeMode;
    uint32_t srcBlend, destBlend;
    uint32_t alphaFunction, alphaTest;
    D3D9StageRecord stages[kD3D9Stages];
};

struct D3D9StaticRange;
struct D3D9StaticSet;
struct D3D9DynamicEntry;

struct D3D9DynamicSlot
{
    IDirect3DVertexBuffer9* buffer;
    uint32_t size;
    uint32_t used;
    D3D9DynamicEntry* entry;
};

struct D3D9LightEntry
{
    D3DLIGHT9 light;
    uint32_t enabled;
};

struct D3D9MaterialKey
{
    float diffuse;
    float ambient;
    uint32_t colour;
    uint32_t flags;
    float ambientLight[3];
};

struct D3D9DriverState
{
    // Adapter and device.
    IDirect3D9* d3d;
    uint32_t adapter;
    D3DDEVTYPE deviceType;
    HWND window;
    IDirect3DDevice9* device;
    uint32_t started;
    uint32_t inScene;
    IDirect3DSurface9* defaultRenderTarget; ///< no reference held
    IDirect3DSurface9* defaultDepthStencil; ///< no reference held
    D3DCAPS9 caps;

    // Video modes.
    uint32_t totalModeCount;
    D3D9VideoModeEntry* modes;
    int32_t modeCount;
    int32_t currentModeIndex;
    D3D9CurrentMode mode;
    uint32_t backBufferDepth;
    D3DDISPLAYMODE desktop;
    D3DPRESENT_PARAMETERS present;
    uint32_t hasStencil;

    // Multisampling and options.
    uint32_t maxMultiSamples;
    uint32_t requestedMultiSamples;
    uint32_t nonMaskableCount;
    uint32_t nonMaskableQuality;
    uint32_t refreshCap;
    uint32_t multiThreadSafe;
    uint32_t softwareVertexProcessing;
    uint32_t dialogBoxMode;
    uint32_t stencilClear;
    CpuFeatures cpu;
    D3D9DeviceCallback releaseCallback;
    D3D9DeviceCallback restoreCallback;

    // Camera update.
    Camera* currentCamera;
    uint32_t backBufferCopy;
    D3DMATRIX projection;

    // State caches.
    D3D9DeferredState renderStates[kD3D9RenderStates];
    uint32_t renderQueue[kD3D9RenderStates];
    uint32_t renderQueueCount;
    D3D9DeferredState stageStates[kD3D9StageEntries];
    D3D9StageQueueEntry stageQueue[kD3D9StageEntries];
    uint32_t stageQueueCount;
    D3D9SamplerEntry samplerStates[kD3D9SamplerEntries];
    D3DMATERIAL9 material;
    uint32_t materialKnown;
    D3D9BindingCache bindings;

    // Buffers and declarations.
    FreeList* setList;
    FreeList* rangeList;
    FreeList* bufferNodeList;
    FreeList* dynamicList;
    D3D9StaticSet* staticSets;
    D3D9DynamicEntry* dynamicEntries;
    D3D9DynamicSlot slots[kD3D9DynamicSlots];
    uint32_t currentSlot;
    uint32_t staticBufferSize;
    GrowArray* declarations;

    // Transforms, lights, material.
    FreeList* transformList;
    D3DMATRIX* transforms[kD3D9TransformSlots];
    uint32_t worldIsIdentity;
    GrowArray* lights;
    D3D9MaterialKey materialKey;
    uint32_t materialKeyKnown;
    float ambientLight[3];

    // Engine render states.
    D3D9EngineStates engine;
    int32_t anisotropyOffset;
};

/// The driver's state block.
D3D9DriverState& D3D9State();
/// Clears the state block (at device close) and sets the options' defaults.
void D3D9DriverStateClear();

/// True with hardware transform and lighting in the caps copy.
inline bool D3D9HardwareVertexProcessing()
{
    return (D3D9State().caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
}

/// Colour depth in bits of a display or back-buffer format (0 for others).
uint32_t D3D9FormatColourDepth(D3DFORMAT format);

// Cross-part internals.
/// Forgets the binding caches (FVF, declaration, shaders, indices, streams).
void D3D9BindingsForget();
/// Forgets the cached render targets and depth-stencil surface.
void D3D9TargetsForget();
/// Transform cache: empties every slot and takes a fresh identity world.
bool D3D9TransformCacheReset();
void D3D9TransformCacheDestroy();
/// Light cache: frees it, count 0.
void D3D9LightCacheFree();
/// Sends every cached light again; true when the last LightEnable succeeded.
bool D3D9LightCacheResend();
/// Forgets the material and the surface-material key.
void D3D9MaterialForget();
/// Engine render-state variables and stage records to their start values.
void D3D9EngineStatesDefault();
