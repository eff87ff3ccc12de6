// A spinning, lit, textured cube in an SDL2 window through the software
// Direct3D 9 device. Ends when the window is closed or, for unattended runs,
// after OLAI_EXIT_AFTER_FRAMES frames (OLAI_SCREENSHOT=path.png keeps the
// last one).
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_cli.h"

namespace {

struct Vertex
{
    float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// 24 vertices (4 per face, each face with its own normal) and 36 indices;
// faces wound clockwise as seen from outside.
void BuildCube(std::vector<Vertex>* vertices, std::vector<uint16_t>* indices)
{
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 6; ++f) {
        float nx = n[f][0], ny = n[f][1], nz = n[f][2];
        // Two axes across the face, chosen so that (right, up, normal) is left-handed.
        float ux = std::fabs(ny) > 0.5f ? 1.0f : 0.0f, uy = std::fabs(ny) > 0.5f ? 0.0f : 1.0f, uz = 0.0f;
        float rx = uy * nz - uz * ny, ry = uz * nx - ux * nz, rz = ux * ny - uy * nx;
        const float corners[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
        uint16_t base = uint16_t(vertices->size());
        for (const auto& c : corners)
            vertices->push_back({nx + rx * c[0] + ux * c[1], ny + ry * c[0] + uy * c[1],
                                 nz + rz * c[0] + uz * c[1], nx, ny, nz, (c[0] + 1) * 0.5f,
                                 (1 - c[1]) * 0.5f});
        indices->insert(indices->end(), {base, uint16_t(base + 2), uint16_t(base + 1), base,
                                         uint16_t(base + 3), uint16_t(base + 2)});
    }
}

IDirect3DTexture9* MakeCheckerTexture(IDirect3DDevice9* device)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                     &texture, nullptr)))
        return nullptr;
    D3DLOCKED_RECT lr;
    texture->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool light = ((x / 8) + (y / 8)) & 1;
            uint32_t c = light ? 0xFFF0D070u : 0xFF3060A0u;
            static_cast<uint32_t*>(lr.pBits)[y * (lr.Pitch / 4) + x] = c;
        }
    texture->UnlockRect(0);
    return texture;
}

D3DMATRIX Identity()
{
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

D3DMATRIX Rotation(float yaw, float pitch)
{
    float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    // Yaw about y, then pitch about x (row vectors).
    D3DMATRIX m = Identity();
    m.m[0][0] = cy;
    m.m[0][1] = sy * sp;
    m.m[0][2] = -sy * cp;
    m.m[1][1] = cp;
    m.m[1][2] = sp;
    m.m[2][0] = sy;
    m.m[2][1] = -cy * sp;
    m.m[2][2] = cy * cp;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app(
        "A spinning cube drawn through the software Direct3D 9 device in an SDL window, until Escape or the "
        "window is closed. Unattended: OLAI_EXIT_AFTER_FRAMES=N, OLAI_SCREENSHOT=path.png.",
        "cube");
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    HWND window = Win32WindowCreate("cube", 640, 480);
    if (!window) {
        std::fprintf(stderr, "cube: cannot open a window\n");
        return 1;
    }
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params{};
    params.Windowed = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9* device = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                         &params, &device))) {
        std::fprintf(stderr, "cube: cannot create the device\n");
        if (d3d)
            d3d->Release();
        Win32WindowDestroy(window);
        return 1;
    }
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
    BuildCube(&vertices, &indices);
    IDirect3DTexture9* texture = MakeCheckerTexture(device);
    device->SetTexture(0, texture);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0.4f, -0.6f, 0.7f};
    device->SetLight(0, &light);
    device->LightEnable(0, 1);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF303030);
    device->SetFVF(kFvf);

    float angle = 0.0f;
    while (true) {
        Win32PumpEvents();
        if (Win32PeekQuit())
            break;
        RECT client;
        GetClientRect(window, &client);
        float aspect = client.bottom > 0 ? float(client.right) / float(client.bottom) : 1.0f;
        D3DMATRIX world = Rotation(angle, angle * 0.6f), view = Identity(), proj{};
        view.m[3][2] = 5.0f;
        const float ys = 1.0f / std::tan(0.5f), zn = 0.5f, zf = 50.0f;
        proj.m[0][0] = ys / aspect;
        proj.m[1][1] = ys;
        proj.m[2][2] = zf / (zf - zn);
        proj.m[2][3] = 1;
        proj.m[3][2] = -zn * zf / (zf - zn);
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202830, 1.0f, 0);
        device->BeginScene();
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(vertices.size()), UINT(indices.size() / 3),
                                       indices.data(), D3DFMT_INDEX16, vertices.data(), sizeof(Vertex));
        device->EndScene();
        if (device->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST &&
            device->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
            device->Reset(&params);
        angle += 0.02f;
    }
    device->SetTexture(0, nullptr);
    if (texture)
        texture->Release();
    device->Release();
    d3d->Release();
    Win32WindowDestroy(window);
    return 0;
}
