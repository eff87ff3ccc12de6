#pragma once
// Cameras: frame-bearing objects that say from where and through which
// window the scene is rendered. A camera derives, whenever its frame is
// synchronised, a view matrix (world to screen coordinates 0..1 across the
// view window), a frustum of six planes and eight corners with its bounding
// box, and the z scale and shift that map depth into the device's z range.
// Rendering is bracketed by CameraBeginUpdate and CameraEndUpdate.

#include <cstdint>

#include "graphics/core/bbox.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/object.h"
#include "graphics/core/plugin.h"

struct Camera;
struct Raster;
struct Stream;

enum CameraProjection : int32_t
{
    kCameraPerspective = 1,
    kCameraParallel = 2,
};

/// Begin- and end-update callbacks: the camera, or null on failure.
using CameraUpdateFunc = Camera* (*)(Camera* camera);

struct FrustumPlane
{
    V3d normal;       ///< unit, pointing out of the frustum
    float distance;   ///< normal . (a point of the plane)
    uint8_t signs[3]; ///< 1 where the normal's component has its sign bit clear
};

struct Camera
{
    ObjectHasFrame object; ///< type 4; parent = the camera's frame; sync = CameraSync
    int32_t projection;    ///< CameraProjection
    CameraUpdateFunc beginUpdate;
    CameraUpdateFunc endUpdate;
    Matrix viewMatrix; ///< world to view
    Raster* frameBuffer;
    Raster* zBuffer;
    V2d viewWindow;      ///< half extents at distance 1 (default 1, 1)
    V2d recipViewWindow; ///< 1 / viewWindow
    V2d viewOffset;
    float nearPlane; ///< default 0.05
    float farPlane;  ///< default 10
    float fogPlane;  ///< default 5
    float zScale;    ///< depth to device z: zScale * f(depth) + zShift
    float zShift;
    FrustumPlane frustumPlanes[6]; ///< far, near, then the four sides
    BBox frustumBoundBox;
    V3d frustumCorners[8]; ///< four on the near plane, then four on the far plane
    // Camera plug-in data follows (CameraRegisterPlugin).
};

/// New camera with the defaults (perspective, window 1 x 1, near 0.05, far
/// 10, fog 5), no frame and no rasters; null when out of memory.
Camera* CameraCreate();
/// Plug-in destructors, off its frame, memory released. 1.
int32_t CameraDestroy(Camera* camera);
/// New camera with the same frame, callbacks, window, offset, clip planes,
/// rasters (shared) and projection; null when out of memory.
Camera* CameraClone(const Camera* camera);

/// Calls the camera's begin-/end-update callback; its result.
Camera* CameraBeginUpdate(Camera* camera);
Camera* CameraEndUpdate(Camera* camera);
/// The defaults: begin makes the camera current (EngineInstance::currentCamera),
/// synchronises the dirty frames and calls the device; end calls the device
/// and clears the current camera. Null when the device fails.
Camera* CameraBeginUpdateDefault(Camera* camera);
Camera* CameraEndUpdateDefault(Camera* camera);

/// Window half extents (x, y > 0) and their reciprocals; marks the frame dirty.
Camera* CameraSetViewWindow(Camera* camera, const V2d* window);
Camera* CameraSetViewOffset(Camera* camera, const V2d* offset);
/// Clip distances in world units (0 < near < far); z scale and shift
/// recomputed; marks the frame dirty.
Camera* CameraSetNearClipPlane(Camera* camera, float distance);
Camera* CameraSetFarClipPlane(Camera* camera, float distance);
Camera* CameraSetFogDistance(Camera* camera, float distance);
/// kCameraPerspective or kCameraParallel; anything else records kErrorBadArgument
/// "Invalid projection type specified" and answers null, camera unchanged.
Camera* CameraSetProjection(Camera* camera, int32_t projection);
inline Frame* CameraGetFrame(const Camera* camera)
{
    return ObjectHasFrameGetFrame(&camera->object);
}
/// Hangs the camera from `frame` (or none).
Camera* CameraSetFrame(Camera* camera, Frame* frame);

/// Recomputes z scale and shift from the clip planes, the projection and
/// the device's z-buffer range.
Camera* CameraUpdateZScale(Camera* camera);
/// The frame-sync callback: view matrix, frustum and its box from the
/// frame's world matrix.
void CameraSync(void* camera);

struct Sphere
{
    V3d centre;
    float radius;
};
/// Frustum test of a sphere: 0 outside, 1 crossing the boundary, 2 inside.
/// A sphere touching a plane from outside is not outside.
int32_t CameraFrustumTestSphere(const Camera* camera, const Sphere* sphere);

/// The device's camera clear with an RGBA colour (4 bytes) and clear-mode
/// flags; the camera, or null when the device fails.
Camera* CameraClear(Camera* camera, const uint8_t colour[4], int32_t flags);

/// Shows the camera's frame-buffer raster in `window` (RasterShowRaster, which
/// also starts a new frame of the resources arena); null when it fails.
Camera* CameraShowRaster(Camera* camera, void* window, uint32_t flags);

/// Stream form, chunk 5: a 32-byte struct chunk (view window, view offset,
/// near, far, fog, projection) and the camera's extension chunk.
/// Body size: extension size + 56.
uint32_t CameraStreamGetSize(const Camera* camera);
/// Writes chunk 5; the camera, or null on a stream failure.
const Camera* CameraStreamWrite(const Camera* camera, Stream* stream);
/// Reads the body of a chunk 5 that the caller has found into a new camera
/// without a frame. Null on short or malformed data (an unknown projection
/// included); nothing is left allocated.
Camera* CameraStreamRead(Stream* stream);

/// Camera plug-ins (see plugin.h); offsets or -1.
int32_t CameraRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                             PluginDestructor destructor, PluginCopy copy);
int32_t CameraGetPluginOffset(uint32_t pluginId);
int32_t CameraRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                   PluginStreamGetSize getSize);
int32_t CameraSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always);
PluginRegistry* CameraGetRegistry();

/// Cameras per free-list block and blocks to preallocate (defaults 4, 1);
/// before EngineInit.
void CameraSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Registers the camera module (core module 0x405) with the engine at EngineInit.
int32_t CameraModuleAttach();
