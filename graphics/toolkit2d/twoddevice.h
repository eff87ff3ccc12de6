#pragma once
// The 2-D device: where and how the toolkit draws. 2-D coordinates pass
// through the current transformation matrix (CTM, a stack of 32 entries),
// the base matrix of the user viewport and the device matrix onto a plane at
// the layer depth in front of the target camera, and are drawn there with
// immediate-mode 3-D. The default 2-D unit is the shorter side of the view,
// with the origin at the bottom-left corner and y up: a 4:3 camera spans
// (0, 0) to (4/3, 1).
//
// Usage: TwoDToolkitOpen(camera) once the engine has started (toolkit2d.h),
// then draw between CameraBeginUpdate and CameraEndUpdate of that camera.
// The state is one set for the process, used from the rendering thread only.
// Matrices and the tolerance are cached and recomputed after a change.

#include <cstdint>

#include "graphics/core/matrix.h"

struct Camera;
struct Path;

/// Entries of the CTM stack.
constexpr int32_t kTwoDCTMStackSize = 32;
/// Vertices one immediate-mode batch of the toolkit holds (the identity
/// index table and the brush module's vertex scratch).
constexpr int32_t kTwoDBatchVertices = 256;

/// Opens the device state: CTM entry 0 identity, flatness 0.5, layer depth
/// 1.0, curve depth 7, viewport (0, 0, 1, 1), no camera. False when the
/// first CTM entry cannot be made.
bool TwoDDeviceOpen();
/// Destroys the CTM entries; the target stays until TwoDDeviceSetCamera(null).
void TwoDDeviceClose();

/// Makes `camera` the target: raster and view sizes, viewport (0, 0, aspect,
/// 1) or (0, 0, 1, 1/aspect), and the camera's end-update callback routed
/// through the toolkit. Null clears the target and answers false; so does a
/// camera without a frame-buffer raster (nothing changes then).
bool TwoDDeviceSetCamera(Camera* camera);
Camera* TwoDDeviceGetCamera();
/// The end-update callback the toolkit installs: calls the callback the
/// camera had before (the engine's default when there was none).
Camera* TwoDCameraEndUpdateForward(Camera* camera);

/// CTM stack. Push copies the current entry into the next one; false at the
/// last entry (index 31), nothing changed. Push does not touch the caches.
bool TwoDCTMPush();
/// Push, the new entry being `matrix` x previous (a copy for null). False
/// when full; the caches are invalidated either way.
bool TwoDCTMPushMultiply(const Matrix* matrix);
/// Push, the new entry being a copy of `matrix`. False when full.
bool TwoDCTMPushLoad(const Matrix* matrix);
/// Back to the previous entry; false at entry 0.
bool TwoDCTMPop();
/// Current entry = identity.
bool TwoDCTMSetIdentity();
/// Rotation by `degrees` about the view axis, applied before the current matrix.
bool TwoDCTMRotate(float degrees);
/// Scale by (x, y), applied before the current matrix.
bool TwoDCTMScale(float x, float y);
/// Translation by (x, y), applied before the current matrix.
bool TwoDCTMTranslate(float x, float y);
/// The current entry (edit it only through the functions above).
Matrix* TwoDCTMGet();
/// Index of the current entry, 0..31.
int32_t TwoDCTMGetIndex();
/// The point (x, y) through the inverse of the current CTM.
V2d* TwoDCTMInverseTransformPoint(V2d* out, const V2d* point);

/// Maximum deviation of a flattened curve, in pixels; f > 0, else false.
bool TwoDDeviceSetFlatness(float flatness);
float TwoDDeviceGetFlatness();
/// Distance of the 2-D plane in front of the camera, in world units; d > 0,
/// else false. Ignored under parallel projection.
bool TwoDDeviceSetLayerDepth(float depth);
float TwoDDeviceGetLayerDepth();
/// Flags ORed into every immediate-mode transform of the toolkit.
bool TwoDDeviceSetIm3DFlags(uint32_t flags);
uint32_t TwoDDeviceGetIm3DFlags();
/// Maximum subdivision depth of a curve (7).
int32_t TwoDDeviceGetCurveDepth();
/// Makes the user rectangle (x, y, w, h) span the raster. w, h > 0, else
/// false and nothing changes. The CTM stack is left as it was.
bool TwoDDeviceSetViewport(float x, float y, float w, float h);
bool TwoDDeviceGetViewport(float* x, float* y, float* w, float* h);

/// The matrix from 2-D units to world space (device matrix x the camera
/// frame's world matrix); the cached device matrices are rebuilt when stale.
/// Null without a target camera.
const Matrix* TwoDDeviceUpdateMatrix();
/// Camera space back to 2-D units.
const Matrix* TwoDDeviceGetInverseMatrix();
/// True when the 2-D plane is seen mirrored.
bool TwoDDeviceIsFlipped();
/// Squared curve tolerance in 2-D units (the flatness in pixels, mapped back).
float TwoDDeviceGetTolerance();
/// One pixel to the right (a), one pixel up (b) and the raster's
/// bottom-left corner (o), in 2-D units.
bool TwoDDeviceGetPixelAxes(V2d* a, V2d* b, V2d* o);
/// Empties `path` and fills it with the closed rectangle of the whole view.
bool TwoDDeviceGetScreenPath(Path* path);
/// False when the rectangle (x, y, w, h) lies wholly beyond one edge of the view.
bool TwoDDeviceRectVisible(float x, float y, float w, float h);

/// The index list 0, 1, ..., 255 for indexed drawing of one batch.
const uint16_t* TwoDDeviceGetIndexTable();
/// Sets an engine render state through the device (value held in a pointer).
void TwoDDeviceSetRenderState(int32_t state, const void* value);
