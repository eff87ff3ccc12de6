#include "bench/effects/effects_grid.h"

#include <cstring>
#include <initializer_list>

namespace fxbench {

std::vector<GridVertex> GridVertices()
{
    std::vector<GridVertex> out;
    out.reserve(size_t(kWidth / kCell) * (kHeight / kCell) * 6);
    for (int y = 0; y < kHeight; y += kCell) {
        for (int x = 0; x < kWidth; x += kCell) {
            // Colours vary by cell so that the diffuse term is not constant.
            const uint32_t colour = 0xFF000000u | uint32_t(128 + x * 127 / kWidth) << 16 |
                                    uint32_t(128 + y * 127 / kHeight) << 8 | 0xC0;
            auto corner = [&](int dx, int dy) {
                const float px = float(x + dx * kCell) - 0.5f;
                const float py = float(y + dy * kCell) - 0.5f;
                const float u = float(x + dx * kCell) / float(kWidth);
                const float v = float(y + dy * kCell) / float(kHeight);
                return GridVertex{px, py, 0.5f, 1.0f, colour, u, v, 2.0f * u, 2.0f * v};
            };
            for (const auto& c :
                 {corner(0, 0), corner(1, 0), corner(0, 1), corner(1, 0), corner(1, 1), corner(0, 1)}) {
                out.push_back(c);
            }
        }
    }
    return out;
}

std::vector<uint32_t> GridTexels(int index)
{
    std::vector<uint32_t> texels(size_t(kTextureSide) * kTextureSide);
    for (int y = 0; y < kTextureSide; ++y) {
        for (int x = 0; x < kTextureSide; ++x) {
            const uint32_t a = uint32_t(x * 255 / (kTextureSide - 1));
            const uint32_t b = uint32_t(y * 255 / (kTextureSide - 1));
            const uint32_t check = ((x / 16 + y / 16) % 2) ? 255 : 96;
            texels[size_t(y) * kTextureSide + size_t(x)] = index == 0
                                                               ? 0xFF000000u | a << 16 | b << 8 | check
                                                               : 0xFF000000u | check << 16 | 255u << 8 | a;
        }
    }
    return texels;
}

DeviceGrid::DeviceGrid()
{
    m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    if (!m_d3d || FAILED(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                             &p, &m_device))) {
        return;
    }
    IDirect3DDevice9* d = m_device;
    for (int t = 0; t < 2; ++t) {
        if (FAILED(d->CreateTexture(kTextureSide, kTextureSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    &m_textures[t], nullptr))) {
            return;
        }
        const std::vector<uint32_t> texels = GridTexels(t);
        D3DLOCKED_RECT locked;
        m_textures[t]->LockRect(0, &locked, nullptr, 0);
        for (int y = 0; y < kTextureSide; ++y) {
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch),
                        texels.data() + size_t(y) * kTextureSide, kTextureSide * 4);
        }
        m_textures[t]->UnlockRect(0);
        d->SetTexture(DWORD(t), m_textures[t]);
        d->SetSamplerState(DWORD(t), D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(DWORD(t), D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(DWORD(t), D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(DWORD(t), D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(DWORD(t), D3DTSS_COLORARG2, t == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        d->SetTextureStageState(DWORD(t), D3DTSS_TEXCOORDINDEX, DWORD(t));
    }
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    const std::vector<GridVertex> vertices = GridVertices();
    const UINT bytes = UINT(vertices.size() * sizeof(GridVertex));
    void* data = nullptr;
    if (FAILED(d->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &m_vertices, nullptr)) ||
        FAILED(m_vertices->Lock(0, 0, &data, 0))) {
        return;
    }
    std::memcpy(data, vertices.data(), bytes);
    m_vertices->Unlock();
    m_triangles = UINT(vertices.size() / 3);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    d->SetStreamSource(0, m_vertices, 0, sizeof(GridVertex));
    m_ok = true;
}

DeviceGrid::~DeviceGrid()
{
    if (m_device) {
        m_device->SetTexture(0, nullptr);
        m_device->SetTexture(1, nullptr);
        m_device->SetStreamSource(0, nullptr, 0, 0);
    }
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{m_textures[0], m_textures[1], m_vertices, m_device, m_d3d}) {
        if (object) {
            object->Release();
        }
    }
}

void DeviceGrid::DrawFrame()
{
    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    m_device->BeginScene();
    m_device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, m_triangles);
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
}

std::vector<uint32_t> DeviceGrid::ReadBack()
{
    std::vector<uint32_t> out(size_t(kWidth) * kHeight);
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) {
        return out;
    }
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(out.data() + size_t(y) * kWidth,
                        static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch, kWidth * 4);
        }
        surface->UnlockRect();
    }
    surface->Release();
    return out;
}

} // namespace fxbench
