#include "testdevice.h"

#include "platform/d3d9/testing/referenceimage.h"
#include "platform/d3dx9/d3dx9shader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace d3d9test {

TestDevice::TestDevice(UINT width, UINT height, D3DFORMAT backBuffer)
{
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = backBuffer;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = 1;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (d3d)
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device);
}

TestDevice::~TestDevice()
{
    if (device)
        device->Release();
    if (d3d)
        d3d->Release();
}

std::vector<uint32_t> TestDevice::Pixels()
{
    IDirect3DSurface9* bb = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DSURFACE_DESC desc;
    bb->GetDesc(&desc);
    // Through an A8R8G8B8 target, so that every back-buffer format reads back
    // the same way.
    IDirect3DSurface9 *argb = nullptr, *copy = nullptr;
    device->CreateRenderTarget(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, 0, &argb,
                               nullptr);
    device->StretchRect(bb, nullptr, argb, nullptr, D3DTEXF_NONE);
    device->CreateOffscreenPlainSurface(desc.Width, desc.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                                        nullptr);
    device->GetRenderTargetData(argb, copy);
    argb->Release();
    D3DLOCKED_RECT lr;
    copy->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    std::vector<uint32_t> out(size_t(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + x * 4;
            uint32_t c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
            out[size_t(y) * desc.Width + x] = desc.Format == D3DFMT_X8R8G8B8 ? (c | 0xFF000000u) : c;
        }
    copy->UnlockRect();
    copy->Release();
    bb->Release();
    return out;
}

uint32_t TestDevice::Pixel(int x, int y)
{
    return Pixels()[size_t(y) * params.BackBufferWidth + x];
}

void DrawRect(IDirect3DDevice9* device, float x0, float y0, float x1, float y1, float z, D3DCOLOR colour,
              float u0, float v0, float u1, float v1)
{
    // Pixel centres are at integers: the edges sit half a pixel before them.
    x0 -= 0.5f;
    y0 -= 0.5f;
    x1 -= 0.5f;
    y1 -= 0.5f;
    TVertex v[4] = {{x0, y0, z, 1, colour, u0, v0},
                    {x1, y0, z, 1, colour, u1, v0},
                    {x0, y1, z, 1, colour, u0, v1},
                    {x1, y1, z, 1, colour, u1, v1}};
    device->SetFVF(kTVertexFvf);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TVertex));
}

IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, UINT width, UINT height,
                               const std::vector<uint32_t>& texels)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(
            device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)))
        return nullptr;
    D3DLOCKED_RECT lr;
    texture->LockRect(0, &lr, nullptr, 0);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            uint32_t c = texels[size_t(y) * width + x];
            uint8_t* p = static_cast<uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch + x * 4;
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
            p[3] = uint8_t(c >> 24);
        }
    texture->UnlockRect(0);
    return texture;
}

std::string TestOutputDir()
{
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/" + program_invocation_short_name;
}

std::vector<DWORD> Assemble(const std::string& text)
{
    ID3DXBuffer *code = nullptr, *errors = nullptr;
    int32_t hr = D3DXAssembleShader(text.c_str(), uint32_t(text.size()), nullptr, nullptr, 0, &code, &errors);
    std::vector<DWORD> tokens;
    if (hr == 0 && code) {
        auto* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
    } else if (errors) {
        ADD_FAILURE() << static_cast<const char*>(errors->GetBufferPointer());
    }
    if (code)
        code->Release();
    if (errors)
        errors->Release();
    return tokens;
}

std::string CompareWithReference(const std::string& name, const std::vector<uint32_t>& pixels, UINT width,
                                 UINT height)
{
    return CompareWithReferenceIn(std::string(OLAI_TEST_SOURCE_DIR) + "/reference", TestOutputDir(), name,
                                  pixels, width, height);
}

} // namespace d3d9test
