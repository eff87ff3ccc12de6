// Vertex and pixel shaders through the shader interpreter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/d3dx9/d3dx9shader.h"
#include "testdevice.h"

using namespace d3d9test;

namespace {

struct ShaderVertex
{
    float x, y, z;
    D3DCOLOR colour;
    float u, v;
};

} // namespace

TEST(Shaders, VertexAndPixelShaderDrawAQuad)
{
    {
        TestDevice t(16, 16);
        IDirect3DDevice9* d = t.device;
        std::vector<DWORD> vs = Assemble("vs_1_1\n"
                                         "dcl_position v0\n"
                                         "dcl_color v1\n"
                                         "dcl_texcoord v2\n"
                                         "dp4 oPos.x, v0, c0\n"
                                         "dp4 oPos.y, v0, c1\n"
                                         "dp4 oPos.z, v0, c2\n"
                                         "dp4 oPos.w, v0, c3\n"
                                         "mov oD0, v1\n"
                                         "mov oT0, v2\n");
        std::vector<DWORD> ps = Assemble("ps_1_1\n"
                                         "tex t0\n"
                                         "mul r0, t0, v0\n");
        ASSERT_FALSE(vs.empty());
        ASSERT_FALSE(ps.empty());
        IDirect3DVertexShader9* vshader = nullptr;
        IDirect3DPixelShader9* pshader = nullptr;
        ASSERT_EQ(d->CreateVertexShader(vs.data(), &vshader), D3D_OK);
        ASSERT_EQ(d->CreatePixelShader(ps.data(), &pshader), D3D_OK);
        IDirect3DPixelShader9* wrongKind = nullptr;
        EXPECT_EQ(d->CreatePixelShader(vs.data(), &wrongKind), D3DERR_INVALIDCALL);
        UINT size = 0;
        vshader->GetFunction(nullptr, &size);
        EXPECT_EQ(size, vs.size() * 4);
        // Transposed identity rows: the quad spans clip space x, y in [-1, 1].
        const float constants[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        d->SetVertexShaderConstantF(0, constants, 4);
        d->SetVertexShader(vshader);
        d->SetPixelShader(pshader);
        vshader->Release();
        pshader->Release();
        IDirect3DTexture9* tex = MakeTexture(d, 2, 1, {0xFFFFFFFF, 0xFF808080});
        d->SetTexture(0, tex);
        tex->Release();
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                              {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                              {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                              D3DDECL_END()};
        IDirect3DVertexDeclaration9* decl = nullptr;
        ASSERT_EQ(d->CreateVertexDeclaration(elements, &decl), D3D_OK);
        d->SetVertexDeclaration(decl);
        decl->Release();
        ShaderVertex v[4] = {{-1, 1, 0.5f, 0xFFFF8000, 0, 0},
                             {1, 1, 0.5f, 0xFFFF8000, 1, 0},
                             {-1, -1, 0.5f, 0xFFFF8000, 0, 1},
                             {1, -1, 0.5f, 0xFFFF8000, 1, 1}};
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ShaderVertex)), D3D_OK);
        // Left half: white texel x orange; right half: grey texel x orange.
        EXPECT_EQ(t.Pixel(3, 8), 0xFFFF8000u);
        uint32_t right = t.Pixel(12, 8);
        EXPECT_NEAR(Red(right), 128, 2);
        EXPECT_NEAR(Green(right), 64, 2);
        EXPECT_EQ(Blue(right), 0);
    }
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

TEST(Shaders, TexkillDiscardsPixels)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    // Kills pixels whose first texture coordinate is negative.
    std::vector<DWORD> ps = Assemble("ps_1_1\n"
                                     "texkill t0\n"
                                     "mov r0, v0\n");
    IDirect3DPixelShader9* pshader = nullptr;
    ASSERT_EQ(d->CreatePixelShader(ps.data(), &pshader), D3D_OK);
    d->SetPixelShader(pshader);
    pshader->Release();
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    DrawRect(d, 0, 0, 8, 8, 0.5f, 0xFF00FF00, -1, 0, 1, 1);
    EXPECT_EQ(t.Pixel(1, 4), 0xFF000000u) << "u < 0: killed";
    EXPECT_EQ(t.Pixel(6, 4), 0xFF00FF00u);
}
