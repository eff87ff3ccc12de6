#pragma once
// The engine's side of the device driver: the device block that the driver
// delivers at EngineOpen, the numbered device requests through which the
// engine drives it, the 29 device entry points through which rasters,
// images, textures and cameras reach it, and the records of its queries.

#include <cstdint>

struct Im2DVertex;

/// Device requests, the `request` argument of DeviceRequest.
enum DeviceRequestCode : int32_t
{
    kDeviceRequestOpen = 0, ///< in: EngineOpenParams
    kDeviceRequestClose = 1,
    kDeviceRequestStart = 2,
    kDeviceRequestStop = 3,
    kDeviceRequestRegister = 4,           ///< out: DeviceBlock; in: MemoryFunctions (not kept)
    kDeviceRequestNumVideoModes = 5,      ///< out: int32_t
    kDeviceRequestVideoModeInfo = 6,      ///< out: VideoMode; number: mode index
    kDeviceRequestUseVideoMode = 7,       ///< number: mode index
    kDeviceRequestFocus = 8,              ///< number: 1 restored, 0 hidden
    kDeviceRequestCurrentVideoMode = 10,  ///< out: int32_t
    kDeviceRequestEntryPoints = 11,       ///< out: DeviceFunction[number]
    kDeviceRequestTextureMemorySize = 12, ///< out: int32_t bytes
    kDeviceRequestNumSubSystems = 13,     ///< out: int32_t
    kDeviceRequestSubSystemInfo = 14,     ///< out: SubSystemInfo; number: index
    kDeviceRequestCurrentSubSystem = 15,  ///< out: int32_t
    kDeviceRequestSetSubSystem = 16,      ///< number: index
    kDeviceRequestAfterStart = 17,
    kDeviceRequestBeforeStop = 18,
    kDeviceRequestMaxTextureSize = 19, ///< out: int32_t
    kDeviceRequestDeviceId = 22,       ///< out: uint16_t
};

/// The device's request handler. Non-zero (negative included) is success.
using DeviceSystemHandler = int32_t (*)(int32_t request, void* out, void* inOut, int32_t number);
/// A device entry point: (out, in/out, number) -> non-zero on success. What
/// the three arguments mean is given per entry point below.
using DeviceFunction = int32_t (*)(void* out, void* inOut, int32_t number);
/// Engine render-state set/get: state number, value (or where to store it).
using DeviceRenderStateSetFunc = int32_t (*)(int32_t state, void* value);
using DeviceRenderStateGetFunc = int32_t (*)(int32_t state, void* value);
/// Immediate-mode 2-D renderers of the device (screen-space vertices).
using DeviceIm2DLineFunc = int32_t (*)(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b);
using DeviceIm2DTriangleFunc = int32_t (*)(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b,
                                           int32_t c);
using DeviceIm2DPrimitiveFunc = int32_t (*)(int32_t primitiveType, Im2DVertex* vertices, int32_t count);
using DeviceIm2DIndexedPrimitiveFunc = int32_t (*)(int32_t primitiveType, Im2DVertex* vertices,
                                                   int32_t vertexCount, uint16_t* indices,
                                                   int32_t indexCount);

/// The device's record, copied into the engine instance by the register
/// request at EngineOpen (the driver answers it from its static record).
struct DeviceBlock
{
    float gamma; ///< 1.0 for the Direct3D 9 device
    DeviceSystemHandler systemHandler;
    float zBufferNear; ///< 0.0
    float zBufferFar;  ///< 1.0
    DeviceRenderStateSetFunc renderStateSet;
    DeviceRenderStateGetFunc renderStateGet;
    DeviceIm2DLineFunc im2DRenderLine;
    DeviceIm2DTriangleFunc im2DRenderTriangle;
    DeviceIm2DPrimitiveFunc im2DRenderPrimitive;
    DeviceIm2DIndexedPrimitiveFunc im2DRenderIndexedPrimitive;
    void* reserved[4];
};

/// Indices of the device entry points (EngineInstance::deviceFunctions).
/// Arguments are (out, in/out, number); see the modules that call them.
enum DeviceFunctionIndex : int32_t
{
    kDeviceFnCameraBeginUpdate = 1, ///< (-, camera, -)
    kDeviceFnRGBAToPixel = 2,
    kDeviceFnPixelToRGBA = 3,
    kDeviceFnRasterCreate = 4,  ///< (-, raster, type-and-format)
    kDeviceFnRasterDestroy = 5, ///< (-, raster, -)
    kDeviceFnImageFromRaster = 6,
    kDeviceFnRasterFromImage = 7,
    kDeviceFnTextureSetRaster = 8, ///< (texture, raster, -)
    kDeviceFnImageRasterFormat = 9,
    kDeviceFnCameraEndUpdate = 10,  ///< (-, camera, -)
    kDeviceFnSetContextRaster = 11, ///< (-, raster, -)
    kDeviceFnSubRaster = 12,        ///< (sub-raster, parent, -)
    kDeviceFnClearRect = 13,
    kDeviceFnClear = 14,
    kDeviceFnRasterLock = 15,   ///< (out pixels, raster, (level << 8) + mode)
    kDeviceFnRasterUnlock = 16, ///< (-, raster, -)
    kDeviceFnRasterRender = 17,
    kDeviceFnRasterRenderScaled = 18,
    kDeviceFnRasterRenderFast = 19,
    kDeviceFnRasterShowRaster = 20, ///< (raster, window, flags)
    kDeviceFnCameraClear = 21,      ///< (camera, colour, flags)
    kDeviceFnPaletteLock = 23,      ///< (out palette, raster, mode)
    kDeviceFnPaletteUnlock = 24,    ///< (-, raster, -)
    kDeviceFnNativeTextureSize = 25,
    kDeviceFnNativeTextureRead = 26,
    kDeviceFnNativeTextureWrite = 27,
    kDeviceFnMipLevels = 28, ///< (out count, raster, -)
    kDeviceFunctionCount = 29,
};

/// One video mode as the device describes it (request 6).
struct VideoMode
{
    int32_t width;
    int32_t height;
    int32_t depth;  ///< colour bits
    uint32_t flags; ///< kVideoModeExclusive
    int32_t refreshRate;
    int32_t format; ///< engine raster format code
};
constexpr uint32_t kVideoModeExclusive = 1;

/// A subsystem (adapter) description (request 14): its name, at most 79
/// characters and a NUL. A device answering request 14 must not write more.
constexpr int32_t kSubSystemNameSize = 80;
struct SubSystemInfo
{
    char name[kSubSystemNameSize];
};

/// The device driver the engine uses: getDevice answers the device record at
/// EngineOpen (null: no device, the open fails); attach runs at the end of
/// EngineInit to register the driver's plug-ins (null: nothing to attach).
struct DeviceDriver
{
    const DeviceBlock* (*getDevice)();
    bool (*attach)();
};

/// Sends request `request` to `device`'s handler. When the handler answers 0
/// the engine answers requests 13-18 itself (13: 1 subsystem; 14: index 0 is
/// "Only rendering sub system"; 15: 0; 16: index 0; 17, 18: success); any
/// other unanswered request records {1, kErrorCoreDeviceRequest} and fails.
/// Returns the handler's (or the fallback's) result, non-zero for success.
int32_t DeviceRequest(const DeviceBlock* device, int32_t request, void* out, void* inOut, int32_t number);
