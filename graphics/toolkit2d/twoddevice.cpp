// The 2-D device state: target camera, CTM stack, viewport, flatness, layer
// depth and the cached device matrices.

#include "graphics/toolkit2d/twoddevice.h"

#include <algorithm>
#include <cmath>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/toolkit2d/path.h"

namespace {

struct TwoDDevice
{
    Camera* camera;
    float rasterWidth, rasterHeight;
    float viewWidth, viewHeight; ///< twice the camera's view window
    Matrix* ctm[kTwoDCTMStackSize];
    int32_t ctmIndex;
    Matrix base;          ///< user viewport units to the default 2-D unit
    Matrix device;        ///< 2-D units to camera space
    Matrix inverseDevice; ///< camera space to 2-D units
    Matrix world;         ///< device x the camera frame's world matrix
    bool matrixValid;
    float flatness;
    float tolerance;
    bool toleranceValid;
    float layerDepth;
    int32_t curveDepth;
    uint32_t im3DFlags;
    float viewport[4];
    uint16_t indices[kTwoDBatchVertices];
};

TwoDDevice gDevice;
/// The end-update callback the target camera had before the forwarder. It
/// outlives the toolkit: cameras keep calling the forwarder after a close.
CameraUpdateFunc gSavedEndUpdate = nullptr;

void SetIdentity(Matrix* matrix)
{
    *matrix = {};
    matrix->right.x = matrix->up.y = matrix->at.z = 1.0f;
    matrix->flags = kMatrixFlagsAll;
}

void InvalidateCaches()
{
    gDevice.matrixValid = false;
    gDevice.toleranceValid = false;
}

/// The layer depth, or 1 under parallel projection, where depth scales nothing.
float EffectiveDepth()
{
    return gDevice.camera && gDevice.camera->projection == kCameraParallel ? 1.0f : gDevice.layerDepth;
}

void UpdateDeviceMatrix()
{
    if (gDevice.matrixValid) {
        return;
    }
    const float d = EffectiveDepth();
    Matrix& m = gDevice.device;
    MatrixMultiply(&m, gDevice.ctm[gDevice.ctmIndex], &gDevice.base);
    const V3d depth = {d, d, 1.0f};
    MatrixScale(&m, &depth, kCombinePostConcat);
    const float s = std::min(gDevice.viewWidth, gDevice.viewHeight);
    // Camera space x runs to the left of the screen; 2-D x runs to the right.
    const V3d unit = {-s, s, 1.0f};
    MatrixScale(&m, &unit, kCombinePostConcat);
    const V3d corner = {gDevice.viewWidth * d * 0.5f, -gDevice.viewHeight * d * 0.5f, 0.0f};
    MatrixTranslate(&m, &corner, kCombinePostConcat);
    MatrixInvert(&gDevice.inverseDevice, &m);
    gDevice.matrixValid = true;
}

/// Half extents of the view on the 2-D plane, in camera space.
V2d HalfExtents()
{
    const float d = EffectiveDepth();
    return {gDevice.viewWidth * d * 0.5f, gDevice.viewHeight * d * 0.5f};
}

V2d ToTwoD(const V3d& camera, bool point)
{
    V3d out;
    if (point) {
        V3dTransformPoint(&out, &camera, &gDevice.inverseDevice);
    } else {
        V3dTransformVector(&out, &camera, &gDevice.inverseDevice);
    }
    return {out.x, out.y};
}

/// Makes the next stack entry current (created on first use), or false when full.
bool PushEntry()
{
    if (gDevice.ctmIndex >= kTwoDCTMStackSize - 1) {
        return false;
    }
    Matrix*& next = gDevice.ctm[gDevice.ctmIndex + 1];
    if (!next && !(next = MatrixCreate())) {
        return false;
    }
    ++gDevice.ctmIndex;
    return true;
}

} // namespace

bool TwoDDeviceOpen()
{
    gDevice = {};
    gDevice.ctm[0] = MatrixCreate();
    if (!gDevice.ctm[0]) {
        return false;
    }
    SetIdentity(gDevice.ctm[0]);
    gDevice.flatness = 0.5f;
    gDevice.layerDepth = 1.0f;
    gDevice.curveDepth = 7;
    SetIdentity(&gDevice.base);
    for (int32_t i = 0; i < kTwoDBatchVertices; ++i) {
        gDevice.indices[i] = uint16_t(i);
    }
    gDevice.viewport[2] = gDevice.viewport[3] = 1.0f;
    return true;
}

void TwoDDeviceClose()
{
    for (Matrix*& entry : gDevice.ctm) {
        if (entry) {
            MatrixDestroy(entry);
            entry = nullptr;
        }
    }
    gDevice.ctmIndex = 0;
}

Camera* TwoDCameraEndUpdateForward(Camera* camera)
{
    return gSavedEndUpdate ? gSavedEndUpdate(camera) : CameraEndUpdateDefault(camera);
}

bool TwoDDeviceSetCamera(Camera* camera)
{
    if (!camera) {
        gDevice.camera = nullptr;
        return false;
    }
    if (!camera->frameBuffer) {
        return false;
    }
    gDevice.rasterWidth = float(camera->frameBuffer->width);
    gDevice.rasterHeight = float(camera->frameBuffer->height);
    gDevice.viewWidth = 2.0f * camera->viewWindow.x;
    gDevice.viewHeight = 2.0f * camera->viewWindow.y;
    // Never save the forwarder itself, or it would call itself.
    if (camera->endUpdate != TwoDCameraEndUpdateForward && camera != gDevice.camera) {
        gSavedEndUpdate = camera->endUpdate;
        camera->endUpdate = TwoDCameraEndUpdateForward;
    }
    gDevice.camera = camera;
    InvalidateCaches();
    gDevice.viewport[0] = gDevice.viewport[1] = 0.0f;
    if (gDevice.viewWidth > gDevice.viewHeight) {
        gDevice.viewport[2] = gDevice.viewWidth / gDevice.viewHeight;
        gDevice.viewport[3] = 1.0f;
    } else {
        gDevice.viewport[2] = 1.0f;
        gDevice.viewport[3] = gDevice.viewHeight / gDevice.viewWidth;
    }
    return true;
}

Camera* TwoDDeviceGetCamera()
{
    return gDevice.camera;
}

bool TwoDCTMPush()
{
    if (!PushEntry()) {
        return false;
    }
    *gDevice.ctm[gDevice.ctmIndex] = *gDevice.ctm[gDevice.ctmIndex - 1];
    return true;
}

bool TwoDCTMPushMultiply(const Matrix* matrix)
{
    InvalidateCaches();
    if (!PushEntry()) {
        return false;
    }
    const Matrix* previous = gDevice.ctm[gDevice.ctmIndex - 1];
    if (matrix) {
        MatrixMultiply(gDevice.ctm[gDevice.ctmIndex], matrix, previous);
    } else {
        *gDevice.ctm[gDevice.ctmIndex] = *previous;
    }
    return true;
}

bool TwoDCTMPushLoad(const Matrix* matrix)
{
    InvalidateCaches();
    if (!PushEntry()) {
        return false;
    }
    *gDevice.ctm[gDevice.ctmIndex] = *matrix;
    return true;
}

bool TwoDCTMPop()
{
    if (gDevice.ctmIndex <= 0) {
        return false;
    }
    --gDevice.ctmIndex;
    InvalidateCaches();
    return true;
}

bool TwoDCTMSetIdentity()
{
    SetIdentity(gDevice.ctm[gDevice.ctmIndex]);
    InvalidateCaches();
    return true;
}

bool TwoDCTMRotate(float degrees)
{
    const V3d axis = {0.0f, 0.0f, 1.0f};
    MatrixRotate(gDevice.ctm[gDevice.ctmIndex], &axis, degrees, kCombinePreConcat);
    InvalidateCaches();
    return true;
}

bool TwoDCTMScale(float x, float y)
{
    const V3d scale = {x, y, 1.0f};
    MatrixScale(gDevice.ctm[gDevice.ctmIndex], &scale, kCombinePreConcat);
    InvalidateCaches();
    return true;
}

bool TwoDCTMTranslate(float x, float y)
{
    const V3d translation = {x, y, 0.0f};
    MatrixTranslate(gDevice.ctm[gDevice.ctmIndex], &translation, kCombinePreConcat);
    InvalidateCaches();
    return true;
}

Matrix* TwoDCTMGet()
{
    return gDevice.ctm[gDevice.ctmIndex];
}

int32_t TwoDCTMGetIndex()
{
    return gDevice.ctmIndex;
}

V2d* TwoDCTMInverseTransformPoint(V2d* out, const V2d* point)
{
    Matrix inverse;
    MatrixInvert(&inverse, TwoDCTMGet());
    const V3d in = {point->x, point->y, 0.0f};
    V3d result;
    V3dTransformPoint(&result, &in, &inverse);
    *out = {result.x, result.y};
    return out;
}

bool TwoDDeviceSetFlatness(float flatness)
{
    if (!(flatness > 0.0f)) {
        return false;
    }
    gDevice.flatness = flatness;
    gDevice.toleranceValid = false;
    return true;
}

float TwoDDeviceGetFlatness()
{
    return gDevice.flatness;
}

bool TwoDDeviceSetLayerDepth(float depth)
{
    if (!(depth > 0.0f)) {
        return false;
    }
    gDevice.layerDepth = depth;
    // The tolerance is measured through the device matrix, so it goes stale too.
    InvalidateCaches();
    return true;
}

float TwoDDeviceGetLayerDepth()
{
    return gDevice.layerDepth;
}

bool TwoDDeviceSetIm3DFlags(uint32_t flags)
{
    gDevice.im3DFlags = flags;
    return true;
}

uint32_t TwoDDeviceGetIm3DFlags()
{
    return gDevice.im3DFlags;
}

int32_t TwoDDeviceGetCurveDepth()
{
    return gDevice.curveDepth;
}

bool TwoDDeviceSetViewport(float x, float y, float w, float h)
{
    if (!(w > 0.0f) || !(h > 0.0f) || !gDevice.camera) {
        return false;
    }
    SetIdentity(&gDevice.base);
    // Work with an identity CTM; the caller's matrix comes back afterwards
    // whatever the depth of the stack.
    Matrix* current = TwoDCTMGet();
    const Matrix saved = *current;
    SetIdentity(current);
    InvalidateCaches();
    V2d a, b, o;
    TwoDDeviceGetPixelAxes(&a, &b, &o);
    a.x *= gDevice.rasterWidth / w;
    a.y *= gDevice.rasterWidth / w;
    b.x *= gDevice.rasterHeight / h;
    b.y *= gDevice.rasterHeight / h;
    const V3d origin = {o.x, o.y, 0.0f};
    MatrixTranslate(&gDevice.base, &origin, kCombinePreConcat);
    const V3d scale = {VectorSqrt(a.x * a.x + a.y * a.y), VectorSqrt(b.x * b.x + b.y * b.y), 1.0f};
    MatrixScale(&gDevice.base, &scale, kCombinePreConcat);
    const V3d corner = {-x, -y, 0.0f};
    MatrixTranslate(&gDevice.base, &corner, kCombinePreConcat);
    gDevice.viewport[0] = x;
    gDevice.viewport[1] = y;
    gDevice.viewport[2] = w;
    gDevice.viewport[3] = h;
    *current = saved;
    InvalidateCaches();
    return true;
}

bool TwoDDeviceGetViewport(float* x, float* y, float* w, float* h)
{
    *x = gDevice.viewport[0];
    *y = gDevice.viewport[1];
    *w = gDevice.viewport[2];
    *h = gDevice.viewport[3];
    return true;
}

const Matrix* TwoDDeviceUpdateMatrix()
{
    if (!gDevice.camera) {
        return nullptr;
    }
    UpdateDeviceMatrix();
    if (Frame* frame = CameraGetFrame(gDevice.camera)) {
        MatrixMultiply(&gDevice.world, &gDevice.device, FrameGetLTM(frame));
    } else {
        gDevice.world = gDevice.device;
    }
    return &gDevice.world;
}

const Matrix* TwoDDeviceGetInverseMatrix()
{
    UpdateDeviceMatrix();
    return &gDevice.inverseDevice;
}

bool TwoDDeviceIsFlipped()
{
    const Matrix* m = TwoDDeviceUpdateMatrix();
    return m && m->right.x * m->up.y - m->up.x * m->right.y < 0.0f;
}

float TwoDDeviceGetTolerance()
{
    if (!gDevice.camera) {
        // No camera to measure pixels by: 2-D units count as pixels.
        return gDevice.flatness * gDevice.flatness;
    }
    if (!gDevice.toleranceValid) {
        UpdateDeviceMatrix();
        // One flatness worth of pixels along the raster, on the 2-D plane.
        const V3d step = {gDevice.viewWidth / gDevice.rasterWidth * gDevice.flatness * EffectiveDepth(), 0.0f,
                          0.0f};
        V3d out;
        V3dTransformVector(&out, &step, &gDevice.inverseDevice);
        gDevice.tolerance = out.x * out.x + out.y * out.y + out.z * out.z;
        gDevice.toleranceValid = true;
    }
    return gDevice.tolerance;
}

bool TwoDDeviceGetPixelAxes(V2d* a, V2d* b, V2d* o)
{
    UpdateDeviceMatrix();
    const float d = EffectiveDepth();
    *a = ToTwoD({-(gDevice.viewWidth / gDevice.rasterWidth) * d, 0.0f, 0.0f}, false);
    *b = ToTwoD({0.0f, (gDevice.viewHeight / gDevice.rasterHeight) * d, 0.0f}, false);
    *o = ToTwoD({gDevice.viewWidth * d * 0.5f, -gDevice.viewHeight * d * 0.5f, 0.0f}, true);
    return true;
}

bool TwoDDeviceGetScreenPath(Path* path)
{
    UpdateDeviceMatrix();
    const V2d half = HalfExtents();
    const V2d corners[4] = {
        ToTwoD({-half.x, -half.y, 0.0f}, true),
        ToTwoD({half.x, -half.y, 0.0f}, true),
        ToTwoD({half.x, half.y, 0.0f}, true),
        ToTwoD({-half.x, half.y, 0.0f}, true),
    };
    PathReset(path);
    PathMoveTo(path, corners[0].x, corners[0].y);
    for (int32_t i = 1; i < 4; ++i) {
        PathLineTo(path, corners[i].x, corners[i].y);
    }
    PathClose(path);
    return true;
}

bool TwoDDeviceRectVisible(float x, float y, float w, float h)
{
    if (!gDevice.camera) {
        return false;
    }
    UpdateDeviceMatrix();
    // Outcodes in camera space, where the view spans -W..W and -H..H
    // wherever the camera stands.
    const V2d half = HalfExtents();
    const V3d corners[4] = {{x, y, 0.0f}, {x + w, y, 0.0f}, {x + w, y + h, 0.0f}, {x, y + h, 0.0f}};
    uint32_t shared = 0xF;
    for (const V3d& corner : corners) {
        V3d p;
        V3dTransformPoint(&p, &corner, &gDevice.device);
        const uint32_t code = (p.x < -half.x ? 1u : 0u) | (p.x > half.x ? 2u : 0u) |
                              (p.y < -half.y ? 4u : 0u) | (p.y > half.y ? 8u : 0u);
        shared &= code;
    }
    return shared == 0;
}

const uint16_t* TwoDDeviceGetIndexTable()
{
    return gDevice.indices;
}

void TwoDDeviceSetRenderState(int32_t state, const void* value)
{
    EngineInstance* engine = EngineGetInstance();
    if (engine->device.renderStateSet) {
        engine->device.renderStateSet(state, const_cast<void*>(value));
    }
}
