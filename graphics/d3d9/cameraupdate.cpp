// The device entry points that frame a picture: camera begin update (view
// and projection, render targets, viewport, scene), end update, camera
// clear and show raster (present), and the attachment of a camera to a
// window of its own through an additional swap chain.

#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/core/cpu.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/devicereset.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/rasterext.h"

namespace {

void* gViewProjection;

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void SetViewTransform(Camera* camera)
{
    D3DMATRIX view = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    if (Frame* frame = CameraGetFrame(camera)) {
        Matrix inverse;
        MatrixInvert(&inverse, FrameGetLTM(frame));
        const V3d* rows[4] = {&inverse.right, &inverse.up, &inverse.at, &inverse.pos};
        for (int i = 0; i < 4; ++i) {
            view.m[i][0] = rows[i]->x;
            view.m[i][1] = rows[i]->y;
            view.m[i][2] = rows[i]->z;
            view.m[i][3] = i == 3 ? 1.0f : 0.0f;
        }
    }
    // The engine's frames are right-handed, the device's view space left-handed.
    for (auto& row : view.m) {
        row[0] = -row[0];
    }
    D3D9SetTransform(D3DTS_VIEW, &view);
}

void SetProjectionTransform(Camera* camera)
{
    D3DMATRIX& p = D3D9State().projection;
    std::memset(&p, 0, sizeof(p));
    p.m[0][0] = camera->recipViewWindow.x;
    p.m[1][1] = camera->recipViewWindow.y;
    p.m[2][0] = camera->viewOffset.x * p.m[0][0];
    p.m[2][1] = camera->viewOffset.y * p.m[1][1];
    p.m[3][0] = -p.m[2][0];
    p.m[3][1] = -p.m[2][1];
    const float depth = camera->farPlane - camera->nearPlane;
    if (camera->projection == kCameraParallel) {
        p.m[2][2] = 1.0f / depth;
        p.m[2][3] = 0.0f;
        p.m[3][3] = 1.0f;
    } else {
        p.m[2][2] = camera->farPlane / depth;
        p.m[2][3] = 1.0f;
        p.m[3][3] = 0.0f;
    }
    p.m[3][2] = -(p.m[2][2] * camera->nearPlane);
    D3D9SetTransform(D3DTS_PROJECTION, &p);
    gViewProjection = nullptr;
}

bool EmptyClient(HWND window, RECT* client)
{
    return !GetClientRect(window, client) || client->right <= client->left || client->bottom <= client->top;
}

/// The output window's client size differs from the mode: reset the device
/// to it, or back to the old size (shrinking the window again) when that fails.
bool ResizeDevice(uint32_t width, uint32_t height)
{
    D3D9DriverState& s = D3D9State();
    const UINT oldWidth = s.present.BackBufferWidth;
    const UINT oldHeight = s.present.BackBufferHeight;
    D3D9ReleaseForReset();
    if (SUCCEEDED(s.device->TestCooperativeLevel()) && s.present.Windowed) {
        s.present.BackBufferWidth = width;
        s.present.BackBufferHeight = height;
    }
    if (SUCCEEDED(s.device->Reset(&s.present)) && D3D9RecreateAfterReset()) {
        s.mode.width = width;
        s.mode.height = height;
        return true;
    }
    D3D9ReleaseForReset();
    if (s.present.Windowed) {
        s.present.BackBufferWidth = oldWidth;
        s.present.BackBufferHeight = oldHeight;
    }
    if (FAILED(s.device->Reset(&s.present))) {
        return false;
    }
    D3D9ResizeWindowClient(oldWidth, oldHeight);
    D3D9RecreateAfterReset();
    return true;
}

/// Binds the targets of the camera's frame buffer; false when nothing can be
/// drawn (empty or minimised window, device not restorable). A clear keeps
/// whatever target a copied camera texture has bound.
bool SetupTargets(Camera* camera, bool forClear, bool* swapChainCamera)
{
    D3D9DriverState& s = D3D9State();
    *swapChainCamera = false;
    Raster* frameBuffer = camera->frameBuffer;
    Raster* top = frameBuffer ? D3D9RasterGetTop(frameBuffer) : nullptr;
    D3D9RasterExtension* body = top ? D3D9RasterGetExtension(top) : nullptr;
    RECT client{};
    if (body && body->swapChain) {
        *swapChainCamera = true;
        // A minimised window has nothing to draw into, like the output window.
        if (EmptyClient(body->window, &client) || IsIconic(body->window)) {
            return false;
        }
        if (uint32_t(client.right) != uint32_t(top->originalWidth) ||
            uint32_t(client.bottom) != uint32_t(top->originalHeight)) {
            if (frameBuffer == top && !D3D9CameraAttachWindow(camera, body->window)) {
                return false;
            }
            frameBuffer = camera->frameBuffer;
            top = D3D9RasterGetTop(frameBuffer);
            body = D3D9RasterGetExtension(top);
        }
        D3D9SetRenderTarget(0, static_cast<IDirect3DSurface9*>(body->object));
        IUnknown* depth =
            camera->zBuffer ? D3D9RasterGetExtension(D3D9RasterGetTop(camera->zBuffer))->object : nullptr;
        D3D9SetDepthStencilSurface(static_cast<IDirect3DSurface9*>(depth));
        return true;
    }
    if (s.window) {
        if (EmptyClient(s.window, &client) || IsIconic(s.window)) {
            return false;
        }
        if (uint32_t(client.right) != s.mode.width || uint32_t(client.bottom) != s.mode.height) {
            if (!ResizeDevice(uint32_t(client.right), uint32_t(client.bottom))) {
                return false;
            }
        }
    }
    if (top && top->type == kRasterTypeCameraTexture) {
        IDirect3DSurface9* surface = D3D9RasterGetSurface(top);
        D3DSURFACE_DESC desc{};
        if (surface && SUCCEEDED(surface->GetDesc(&desc)) && (desc.Usage & D3DUSAGE_RENDERTARGET)) {
            D3D9SetRenderTarget(0, surface);
            IDirect3DSurface9* depth = nullptr;
            if (camera->zBuffer) {
                Raster* zTop = D3D9RasterGetTop(camera->zBuffer);
                depth = zTop->type == kRasterTypeZBuffer
                            ? static_cast<IDirect3DSurface9*>(D3D9RasterGetExtension(zTop)->object)
                            : nullptr;
            }
            D3D9SetDepthStencilSurface(depth);
        } else if (!forClear) {
            s.backBufferCopy = 1;
            D3D9SetRenderTarget(0, s.defaultRenderTarget);
            D3D9SetDepthStencilSurface(s.defaultDepthStencil);
        }
        if (surface) {
            surface->Release();
        }
        return true;
    }
    D3D9SetRenderTarget(0, s.defaultRenderTarget);
    D3D9SetDepthStencilSurface(s.defaultDepthStencil);
    return true;
}

void SetViewport(const Raster* frameBuffer, bool origin)
{
    D3DVIEWPORT9 viewport = {
        0, 0, D3D9State().present.BackBufferWidth, D3D9State().present.BackBufferHeight, 0.0f, 1.0f};
    if (frameBuffer) {
        viewport.X = origin ? 0 : DWORD(frameBuffer->xOffset);
        viewport.Y = origin ? 0 : DWORD(frameBuffer->yOffset);
        viewport.Width = DWORD(frameBuffer->width);
        viewport.Height = DWORD(frameBuffer->height);
    }
    D3D9State().device->SetViewport(&viewport);
}

D3DTEXTUREFILTERTYPE CopyFilter()
{
    const DWORD caps = D3D9State().caps.StretchRectFilterCaps;
    return (caps & (D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT)) ? D3DTEXF_POINT : D3DTEXF_NONE;
}

/// Copies the frame buffer's rectangle of the back buffer into its texture.
void CopyBackBufferToTexture(Raster* frameBuffer)
{
    IDirect3DSurface9* surface = D3D9RasterGetSurface(frameBuffer);
    if (!surface) {
        return;
    }
    const RECT rect = {frameBuffer->xOffset, frameBuffer->yOffset, frameBuffer->xOffset + frameBuffer->width,
                       frameBuffer->yOffset + frameBuffer->height};
    D3D9State().device->StretchRect(D3D9State().defaultRenderTarget, &rect, surface, &rect, CopyFilter());
    surface->Release();
}

} // namespace

void** D3D9ViewProjectionCache()
{
    return &gViewProjection;
}

Camera* D3D9GetCurrentCamera()
{
    return D3D9State().currentCamera;
}

int32_t D3D9CameraBeginUpdate(void*, void* object, int32_t)
{
    D3D9DriverState& s = D3D9State();
    auto* camera = static_cast<Camera*>(object);
    if (!s.device || !camera) {
        return 0;
    }
    FpuForceSinglePrecision();
    s.currentCamera = camera;
    SetViewTransform(camera);
    SetProjectionTransform(camera);
    bool swapChain = false;
    if (SetupTargets(camera, false, &swapChain)) {
        SetViewport(camera->frameBuffer, false);
        D3D9SetRenderState(D3DRS_FOGSTART, FloatBits(camera->fogPlane));
        D3D9SetRenderState(D3DRS_FOGEND, FloatBits(camera->farPlane));
        if (D3D9TestDevice() && D3D9OpenScene()) {
            return 1;
        }
    }
    // No end update follows a refused begin: the camera must not stay current.
    s.currentCamera = nullptr;
    return 0;
}

int32_t D3D9CameraEndUpdate(void*, void*, int32_t)
{
    D3D9DriverState& s = D3D9State();
    Camera* camera = s.currentCamera;
    if (camera && camera->frameBuffer && s.backBufferCopy) {
        Raster* top = D3D9RasterGetTop(camera->frameBuffer);
        if (!D3D9RasterGetExtension(top)->swapChain && top->type == kRasterTypeCameraTexture) {
            CopyBackBufferToTexture(camera->frameBuffer);
        }
    }
    s.backBufferCopy = 0;
    s.currentCamera = nullptr;
    return 1;
}

int32_t D3D9CameraClear(void* object, void* colourBytes, int32_t flags)
{
    D3D9DriverState& s = D3D9State();
    auto* camera = static_cast<Camera*>(object);
    if (!s.device || !camera) {
        return 0;
    }
    const auto* rgba = static_cast<const uint8_t*>(colourBytes);
    const D3DCOLOR colour = (flags & 1) ? D3DCOLOR(rgba[3]) << 24 | D3DCOLOR(rgba[0]) << 16 |
                                              D3DCOLOR(rgba[1]) << 8 | D3DCOLOR(rgba[2])
                                        : 0;
    bool swapChain = false;
    if (!SetupTargets(camera, true, &swapChain)) {
        return 0;
    }
    SetViewport(camera->frameBuffer, swapChain);
    Raster* top = camera->frameBuffer ? D3D9RasterGetTop(camera->frameBuffer) : nullptr;
    DWORD clearFlags = 0;
    if (swapChain) {
        clearFlags = DWORD(flags) & 7;
    } else if (top && top->type == kRasterTypeCameraTexture) {
        clearFlags = DWORD(flags) & 7;
        if (!camera->zBuffer) {
            clearFlags &= ~(D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
        }
    } else {
        if (flags & 1) {
            clearFlags |= D3DCLEAR_TARGET;
        }
        if (flags & 2) {
            clearFlags |= D3DCLEAR_ZBUFFER | (s.hasStencil ? D3DCLEAR_STENCIL : 0);
        }
        if ((flags & 4) && s.hasStencil) {
            clearFlags |= D3DCLEAR_STENCIL;
        }
    }
    if (FAILED(s.device->Clear(0, nullptr, clearFlags, colour, 1.0f, s.stencilClear))) {
        return 0;
    }
    if (top && top->type == kRasterTypeCameraTexture && !swapChain) {
        IDirect3DSurface9* surface = D3D9RasterGetSurface(top);
        D3DSURFACE_DESC desc{};
        if (surface && SUCCEEDED(surface->GetDesc(&desc)) && !(desc.Usage & D3DUSAGE_RENDERTARGET)) {
            CopyBackBufferToTexture(camera->frameBuffer);
        }
        if (surface) {
            surface->Release();
        }
    }
    return 1;
}

int32_t D3D9RasterShowRaster(void* object, void*, int32_t flags)
{
    D3D9DriverState& s = D3D9State();
    if (!s.device) {
        return 0;
    }
    if (s.inScene) {
        s.device->EndScene();
        s.inScene = 0;
    }
    const bool vsync = (flags & 1) != 0;
    if (vsync != (s.present.PresentationInterval == D3DPRESENT_INTERVAL_ONE)) {
        s.present.PresentationInterval = vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
        D3D9ResetWithParameters(false);
    }
    auto* raster = static_cast<Raster*>(object);
    IDirect3DSwapChain9* chain =
        raster ? D3D9RasterGetExtension(D3D9RasterGetTop(raster))->swapChain : nullptr;
    HRESULT result = chain ? chain->Present(nullptr, nullptr, nullptr, nullptr, 0)
                           : s.device->Present(nullptr, nullptr, nullptr, nullptr);
    if (result == D3DERR_DEVICELOST && s.device->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) {
        result = D3D9ResetWithParameters(false);
    }
    D3D9DynamicBuffersNewFrame();
    return SUCCEEDED(result) ? 1 : 0;
}

int32_t D3D9CameraAttachWindow(Camera* camera, HWND window)
{
    D3D9DriverState& s = D3D9State();
    if (!s.device || !s.present.Windowed || !window || window == s.window) {
        return 0;
    }
    if (camera->frameBuffer) {
        RasterDestroy(camera->frameBuffer);
        camera->frameBuffer = nullptr;
    }
    if (camera->zBuffer) {
        RasterDestroy(camera->zBuffer);
        camera->zBuffer = nullptr;
    }
    D3DPRESENT_PARAMETERS params = s.present;
    RECT rect{};
    GetWindowRect(window, &rect);
    const bool empty = rect.right == rect.left || rect.bottom == rect.top;
    params.BackBufferWidth = params.BackBufferHeight = empty ? 1 : 0;
    params.hDeviceWindow = window;
    params.EnableAutoDepthStencil = 0;
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(s.device->CreateAdditionalSwapChain(&params, &chain))) {
        return 0;
    }
    IDirect3DSurface9* backBuffer = nullptr;
    D3DSURFACE_DESC desc{};
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) ||
        FAILED(backBuffer->GetDesc(&desc))) {
        if (backBuffer) {
            backBuffer->Release();
        }
        chain->Release();
        return 0;
    }
    Raster* frameBuffer =
        RasterCreate(int32_t(desc.Width), int32_t(desc.Height), 0, kRasterTypeCamera | kRasterFlagNoPixels);
    Raster* zBuffer = frameBuffer
                          ? RasterCreate(int32_t(desc.Width), int32_t(desc.Height), 0, kRasterTypeZBuffer)
                          : nullptr;
    IDirect3DSurface9* depth = nullptr;
    if (!zBuffer ||
        FAILED(s.device->CreateDepthStencilSurface(desc.Width, desc.Height, s.present.AutoDepthStencilFormat,
                                                   D3DMULTISAMPLE_NONE, 0, 0, &depth, nullptr))) {
        if (zBuffer) {
            RasterDestroy(zBuffer);
        }
        if (frameBuffer) {
            RasterDestroy(frameBuffer);
        }
        backBuffer->Release();
        chain->Release();
        return 0;
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(frameBuffer);
    body->object = backBuffer; // held without a reference: the swap chain owns it
    body->format = desc.Format;
    body->hasAlpha = desc.Format == D3DFMT_A8R8G8B8;
    body->swapChain = chain;
    body->window = window;
    frameBuffer->depth = int32_t(D3D9FormatColourDepth(desc.Format));
    // The z-buffer raster made its own surface (or took the device's): the
    // swap chain's depth surface replaces it.
    D3D9RasterExtension* zBody = D3D9RasterGetExtension(zBuffer);
    if (zBody->object && !(zBody->mipFlags & kZBufferUsesAutoSurface)) {
        zBody->object->Release();
    }
    zBody->object = depth;
    zBody->mipFlags = 0;
    camera->frameBuffer = frameBuffer;
    camera->zBuffer = zBuffer;
    backBuffer->Release();
    return 1;
}
