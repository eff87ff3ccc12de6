#include "bench/device/device_draw.h"

#include <algorithm>
#include <cstring>

namespace devbench {

DeviceScene::DeviceScene()
{
    m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    p.EnableAutoDepthStencil = 1;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (m_d3d)
        m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &m_device);
}

DeviceScene::~DeviceScene()
{
    if (m_device) {
        m_device->SetTexture(0, nullptr);
        m_device->SetStreamSource(0, nullptr, 0, 0);
        m_device->SetIndices(nullptr);
    }
    for (IUnknown* object :
         std::initializer_list<IUnknown*>{m_texture, m_vertices, m_indices, m_device, m_d3d})
        if (object)
            object->Release();
}

void DeviceScene::SetupFill(bool textured)
{
    IDirect3DDevice9* d = m_device;
    if (textured) {
        if (!m_texture) {
            d->CreateTexture(kTextureSide, kTextureSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture,
                             nullptr);
            const std::vector<uint32_t> texels = TextureTexels();
            D3DLOCKED_RECT lr;
            m_texture->LockRect(0, &lr, nullptr, 0);
            for (int y = 0; y < kTextureSide; ++y)
                std::memcpy(static_cast<uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch),
                            texels.data() + size_t(y) * kTextureSide, kTextureSide * 4);
            m_texture->UnlockRect(0);
        }
        d->SetTexture(0, m_texture);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    } else {
        d->SetTexture(0, nullptr);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
}

void DeviceScene::DrawFillFrame(bool frontToBack)
{
    IDirect3DDevice9* d = m_device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    for (int q = 0; q < kQuads; ++q) {
        QuadVertex v[4];
        QuadVertices(q, frontToBack, v);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(QuadVertex));
    }
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
}

uint32_t DeviceScene::SetupSphere(int segments)
{
    IDirect3DDevice9* d = m_device;
    const SphereMesh mesh = MakeSphere(segments);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    if (m_vertices)
        m_vertices->Release();
    if (m_indices)
        m_indices->Release();
    d->CreateVertexBuffer(UINT(mesh.vertices.size() * sizeof(SphereVertex)), D3DUSAGE_WRITEONLY, 0,
                          D3DPOOL_MANAGED, &m_vertices, nullptr);
    d->CreateIndexBuffer(UINT(mesh.indices.size() * 4), D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                         &m_indices, nullptr);
    void* data;
    m_vertices->Lock(0, 0, &data, 0);
    std::copy(mesh.vertices.begin(), mesh.vertices.end(), static_cast<SphereVertex*>(data));
    m_vertices->Unlock();
    m_indices->Lock(0, 0, &data, 0);
    std::copy(mesh.indices.begin(), mesh.indices.end(), static_cast<uint32_t*>(data));
    m_indices->Unlock();
    const SphereView view = MakeSphereView();
    D3DMATRIX m;
    std::memcpy(&m, view.world, sizeof m);
    d->SetTransform(D3DTS_WORLD, &m);
    std::memcpy(&m, view.view, sizeof m);
    d->SetTransform(D3DTS_VIEW, &m);
    std::memcpy(&m, view.projection, sizeof m);
    d->SetTransform(D3DTS_PROJECTION, &m);
    D3DMATERIAL9 material{};
    material.Diffuse = {kMaterialDiffuse[0], kMaterialDiffuse[1], kMaterialDiffuse[2], kMaterialDiffuse[3]};
    material.Ambient = {kMaterialAmbient[0], kMaterialAmbient[1], kMaterialAmbient[2], kMaterialAmbient[3]};
    d->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {kLightDirection[0], kLightDirection[1], kLightDirection[2]};
    d->SetLight(0, &light);
    d->LightEnable(0, 1);
    d->SetTexture(0, nullptr);
    d->SetRenderState(D3DRS_LIGHTING, 1);
    d->SetRenderState(D3DRS_AMBIENT, kAmbientArgb);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    d->SetStreamSource(0, m_vertices, 0, sizeof(SphereVertex));
    d->SetIndices(m_indices);
    m_vertexCount = UINT(mesh.vertices.size());
    m_triangleCount = UINT(mesh.indices.size() / 3);
    return m_triangleCount;
}

void DeviceScene::DrawSphereFrame()
{
    IDirect3DDevice9* d = m_device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, m_vertexCount, 0, m_triangleCount);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
}

std::vector<uint32_t> DeviceScene::ReadBack()
{
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    IDirect3DSurface9* back = nullptr;
    if (m_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK)
        return pixels;
    D3DLOCKED_RECT lr;
    if (back->LockRect(&lr, nullptr, D3DLOCK_READONLY) == D3D_OK) {
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(pixels.data() + size_t(y) * kWidth,
                        static_cast<const uint8_t*>(lr.pBits) + size_t(y) * size_t(lr.Pitch), kWidth * 4);
        back->UnlockRect();
    }
    back->Release();
    return pixels;
}

} // namespace devbench
