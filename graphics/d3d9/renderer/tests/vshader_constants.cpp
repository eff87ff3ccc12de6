// Object-space constants: lights through the world matrix, the cached
// world-view-projection product, the orthonormal inverse, and the colour,
// fog and light-colour registers.
#include "graphics/d3d9/renderer/tests/renderertesting.h"

#include <cmath>
#include <cstring>

#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"

namespace {

class VertexShaderConstants : public RendererFixture
{
  protected:
    void TearDown() override
    {
        D3D9VertexShaderSetWorldMatrix(nullptr);
        RendererFixture::TearDown();
    }

    static void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b)
    {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_NEAR(a.m[r][c], b.m[r][c], 1e-5) << r << "," << c;
            }
        }
    }
};

Matrix ScaleThenTranslate(float scale, V3d translation)
{
    Matrix m = {};
    m.right = {scale, 0, 0};
    m.up = {0, scale, 0};
    m.at = {0, 0, scale};
    m.pos = translation;
    return m;
}

} // namespace

TEST_F(VertexShaderConstants, LightsComeIntoObjectSpace)
{
    const Matrix world = ScaleThenTranslate(2.0f, {10, 0, 0});
    D3D9VertexShaderSetWorldMatrix(&world);
    V3d position;
    const V3d light = {12, 0, 0};
    D3D9VertexShaderLightPosition(&light, &position);
    EXPECT_NEAR(position.x, 1.0f, 1e-5);
    EXPECT_NEAR(position.y, 0.0f, 1e-5);
    float radius = 0;
    D3D9VertexShaderLightRadius(4.0f, &radius);
    EXPECT_NEAR(radius, 2.0f, 1e-5);
    V3d direction;
    const V3d down = {0, -1, 0};
    D3D9VertexShaderLightDirection(&down, &direction);
    EXPECT_NEAR(direction.y, -1.0f, 1e-5) << "directions keep unit length";

    // A world flagged identity leaves everything as it is.
    Matrix identity = ScaleThenTranslate(3.0f, {5, 5, 5});
    identity.flags = kMatrixFlagIdentity;
    D3D9VertexShaderSetWorldMatrix(&identity);
    D3D9VertexShaderLightPosition(&light, &position);
    EXPECT_EQ(position.x, 12.0f);
    D3D9VertexShaderLightRadius(4.0f, &radius);
    EXPECT_EQ(radius, 4.0f);
}

TEST_F(VertexShaderConstants, OrthonormalInverseUndoesTheMatrix)
{
    D3DXMATRIX rotation, translation, m, inverse, product, identity;
    D3DXMatrixRotationY(&rotation, 0.7f);
    D3DXMatrixTranslation(&translation, 1, 2, 3);
    D3DXMatrixMultiply(&m, &rotation, &translation);
    D3D9MatrixInvertOrthonormal(&inverse, &m);
    D3DXMatrixMultiply(&product, &m, &inverse);
    D3DXMatrixIdentity(&identity);
    ExpectNear(product, identity);
}

TEST_F(VertexShaderConstants, WorldViewProjectionIsTheProductAndStaysCached)
{
    D3DXMATRIX view, projection;
    D3DXMatrixTranslation(&view, 0, 0, 5);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.5f, 0.1f, 100.0f);
    D3D9SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(&view));
    D3D9SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(&projection));
    *D3D9ViewProjectionCache() = nullptr; // what a camera's begin update does

    const Matrix world = ScaleThenTranslate(2.0f, {1, 0, 0});
    D3D9VertexShaderSetWorldMatrix(&world);
    D3DXMATRIX out, expected, worldMatrix, wv, wvp;
    D3D9VertexShaderCalcWorldViewProjection(&out);
    D3DXMatrixScaling(&worldMatrix, 2, 2, 2);
    worldMatrix.m[3][0] = 1;
    D3DXMatrixMultiply(&wv, &worldMatrix, &view);
    D3DXMatrixMultiply(&wvp, &wv, &projection);
    D3DXMatrixTranspose(&expected, &wvp);
    ExpectNear(out, expected);
    EXPECT_NE(*D3D9ViewProjectionCache(), nullptr);

    // A new view without a camera change keeps the cached product.
    D3DXMATRIX other;
    D3DXMatrixTranslation(&other, 0, 0, 50);
    D3D9SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(&other));
    D3D9VertexShaderCalcWorldViewProjection(&out);
    ExpectNear(out, expected);
    *D3D9ViewProjectionCache() = nullptr;
    D3D9VertexShaderCalcWorldViewProjection(&out);
    EXPECT_GT(std::fabs(out.m[3][3] - expected.m[3][3]), 1.0f) << "recomputed after the camera changed";
}

namespace {

D3DXMATRIX Product(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    D3DXMATRIX out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out.m[r][c] = 0.0f;
            for (int k = 0; k < 4; ++k) {
                out.m[r][c] += a.m[r][k] * b.m[k][c];
            }
        }
    }
    return out;
}

D3DXMATRIX Transposed(const D3DXMATRIX& a)
{
    D3DXMATRIX out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out.m[r][c] = a.m[c][r];
        }
    }
    return out;
}

D3DXMATRIX WithLastRow0001(D3DXMATRIX m)
{
    m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
    m.m[3][3] = 1.0f;
    return m;
}

D3DXMATRIX WithLastColumn0001(D3DXMATRIX m)
{
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
    return m;
}

} // namespace

// The products offered to applications' shaders, with a scaled and moved
// world and with none, against products written out here.
TEST_F(VertexShaderConstants, FurtherProductsAreTheProductsTheyName)
{
    D3DXMATRIX view, projection, matrix;
    D3DXMatrixRotationY(&view, 0.4f);
    view.m[3][0] = 3;
    view.m[3][2] = 7;
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.5f, 0.1f, 100.0f);
    for (int i = 0; i < 16; ++i) {
        matrix.m[i / 4][i % 4] = float(i % 5) - 1.5f + 0.25f * float(i);
    }
    D3D9SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(&view));
    D3D9SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(&projection));

    const Matrix world = ScaleThenTranslate(2.0f, {1, -2, 4});
    D3DXMATRIX world4x4;
    D3DXMatrixScaling(&world4x4, 2, 2, 2);
    world4x4.m[3][0] = 1;
    world4x4.m[3][1] = -2;
    world4x4.m[3][2] = 4;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (const Matrix* set : {&world, static_cast<const Matrix*>(nullptr)}) {
        SCOPED_TRACE(set ? "world" : "no world");
        D3D9VertexShaderSetWorldMatrix(set);
        const D3DXMATRIX& w = set ? world4x4 : identity;
        const D3DXMATRIX wv = Product(w, view);
        D3DXMATRIX out;
        D3D9VertexShaderTransposeWorldView(&out);
        ExpectNear(out, Transposed(wv));
        D3D9VertexShaderWorldView(&out);
        ExpectNear(out, WithLastColumn0001(wv));
        D3D9VertexShaderWorldTimes(&out, &matrix);
        ExpectNear(out, Product(w, matrix));
        D3D9VertexShaderTransposeWorldViewTimes(&out, &matrix);
        ExpectNear(out, WithLastRow0001(Transposed(Product(wv, matrix))));
        D3D9VertexShaderTransposeProjection(&out);
        ExpectNear(out, Transposed(projection));
    }
}

TEST_F(VertexShaderConstants, ColourFogAndMorphRegisters)
{
    float reg[4];
    const RGBA colour = {255, 0, 51, 255};
    D3D9VertexShaderSetColorConstant(reg, &colour);
    EXPECT_FLOAT_EQ(reg[0], 1.0f);
    EXPECT_FLOAT_EQ(reg[2], 0.2f);
    D3D9VertexShaderSetMorphConstant(reg, 0.25f);
    EXPECT_FLOAT_EQ(reg[0], 0.25f);
    EXPECT_FLOAT_EQ(reg[1], 0.75f);

    // The software device has W fog: no register is written.
    EXPECT_FALSE(D3D9VertexShaderSetFogConstants(reg, 2));
}

TEST_F(VertexShaderConstants, LightColoursScaleAcrossGroups)
{
    // c4 ambient, one directional (c5, c6), five points: group c7, c8..c15, group c16, c17, c18.
    const VertexShaderDescriptor d = VertexShaderDescriptorMake(1, 5, 0, 0, 0, 0, 0, kVertexShaderNormals);
    float registers[15][4];
    for (auto& r : registers) {
        r[0] = r[1] = r[2] = r[3] = 1.0f;
    }
    D3D9VertexShaderScaleLightColors(registers, d, 0.5f, 2.0f);
    const float expected[15] = {0.5f, 1, 2, 1, 1, 2, 1, 2, 1, 2, 1, 2, 1, 1, 2};
    for (int i = 0; i < 15; ++i) {
        EXPECT_FLOAT_EQ(registers[i][0], expected[i]) << "c" << 4 + i;
        EXPECT_FLOAT_EQ(registers[i][3], 1.0f);
    }
}

namespace {

class VertexShaderFog : public RendererFixture
{
  protected:
    void SetUp() override
    {
        D3D9AdapterConfig adapter = D3D9DefaultAdapter();
        adapter.caps.RasterCaps &= ~D3DPRASTERCAPS_WFOG;
        D3D9SetAdapters(&adapter, 1);
        RendererFixture::SetUp();
    }
};

} // namespace

TEST_F(VertexShaderFog, ExponentialConstantsMatchTheFixedFunctionCurves)
{
    const float density = 0.3f;
    uint32_t bits;
    std::memcpy(&bits, &density, sizeof bits);
    D3D9SetRenderState(D3DRS_FOGDENSITY, bits);
    float reg[4];
    ASSERT_TRUE(D3D9VertexShaderSetFogConstants(reg, 2));
    EXPECT_NEAR(std::exp2(-5.0f * reg[0]), std::exp(-5.0f * density), 1e-5);
    ASSERT_TRUE(D3D9VertexShaderSetFogConstants(reg, 3));
    const float scaled = 5.0f * reg[0];
    EXPECT_NEAR(std::exp2(-scaled * scaled), std::exp(-(5.0f * density) * (5.0f * density)), 1e-5);
    EXPECT_FALSE(D3D9VertexShaderSetFogConstants(reg, 1)) << "no camera is being updated";
}
