// D3DX-style entry points: the assembler's buffers and the matrix helpers.
#include "platform/d3dx9/d3dx9math.h"
#include "platform/d3dx9/d3dx9shader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(D3DXAssembleShader, ReturnsTokensInABuffer)
{
    const char text[] = "vs_1_1\ndcl_position0 v0\nm4x4 oPos.xyzw, v0, c[0]\nmov oD0, c[4]\n";
    ID3DXBuffer* tokens = nullptr;
    ASSERT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION,
                                 &tokens, nullptr),
              D3DX_OK);
    ASSERT_NE(tokens, nullptr);
    const uint32_t expected[] = {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x00000014, 0xC00F0000,
                                 0x90E40000, 0xA0E40000, 0x00000001, 0xD00F0000, 0xA0E40004, 0x0000FFFF};
    ASSERT_EQ(tokens->GetBufferSize(), sizeof expected);
    EXPECT_EQ(std::memcmp(tokens->GetBufferPointer(), expected, sizeof expected), 0);
    EXPECT_EQ(tokens->AddRef(), 2u);
    EXPECT_EQ(tokens->Release(), 1u);

    ID3DXBuffer* text2 = nullptr;
    ASSERT_EQ(D3DXDisassembleShader(static_cast<const uint32_t*>(tokens->GetBufferPointer()), false, nullptr,
                                    &text2),
              D3DX_OK);
    EXPECT_STREQ(static_cast<const char*>(text2->GetBufferPointer()),
                 "vs_1_1\ndcl_position0 v0\nm4x4 oPos, v0, c0\nmov oD0, c4\n");
    text2->Release();
    EXPECT_EQ(tokens->Release(), 0u);
}

TEST(D3DXAssembleShader, ReportsErrorsWithTheLine)
{
    const char text[] = "vs_2_0\ndcl_position0 v0\nm4x4 oPos, v0, c0\nmov oD0, v4\n";
    ID3DXBuffer* tokens = reinterpret_cast<ID3DXBuffer*>(&tokens); // must be cleared
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, 0, &tokens, &errors),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(tokens, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "line 4: input register v4 is not declared\n");
    errors->Release();
    // Without an error buffer the failure is still reported; the length bounds the text read.
    EXPECT_EQ(D3DXAssembleShader(text, 5, nullptr, nullptr, 0, &tokens, nullptr), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXAssembleShader(nullptr, 0, nullptr, nullptr, 0, &tokens, nullptr), D3DX_E_INVALIDARG);
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
        }
    }
}

D3DXMATRIX SampleMatrix()
{
    D3DXMATRIX rx, ry, s, t, m;
    D3DXMatrixRotationX(&rx, 0.3f);
    D3DXMatrixRotationY(&ry, -1.1f);
    D3DXMatrixScaling(&s, 2.0f, 0.5f, 3.0f);
    D3DXMatrixTranslation(&t, 4.0f, -5.0f, 6.0f);
    D3DXMatrixMultiply(&m, &s, &rx);
    D3DXMatrixMultiply(&m, &m, &ry); // aliasing out and input
    return *D3DXMatrixMultiply(&m, &m, &t);
}

TEST(D3DXMatrix, MultiplyFollowsRowVectors)
{
    // A point is scaled first, then translated: (1, 1, 1) -> (2, 3, 4) + (10, 0, 0).
    D3DXMATRIX s, t, m;
    D3DXMatrixScaling(&s, 2, 3, 4);
    D3DXMatrixTranslation(&t, 10, 0, 0);
    D3DXMatrixMultiply(&m, &s, &t);
    D3DXVECTOR3 p = {1, 1, 1};
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    EXPECT_FLOAT_EQ(out.x, 12);
    EXPECT_FLOAT_EQ(out.y, 3);
    EXPECT_FLOAT_EQ(out.z, 4);
    D3DXVec3TransformNormal(&out, &p, &m);
    EXPECT_FLOAT_EQ(out.x, 2);
    // Rotation about z by +90 degrees takes x to y.
    D3DXMATRIX rz;
    D3DXMatrixRotationZ(&rz, 1.5707963f);
    D3DXVECTOR3 x = {1, 0, 0};
    D3DXVec3TransformNormal(&out, &x, &rz);
    EXPECT_NEAR(out.x, 0, 1e-6);
    EXPECT_NEAR(out.y, 1, 1e-6);
}

TEST(D3DXMatrix, InverseTransposeAndDeterminant)
{
    const D3DXMATRIX m = SampleMatrix();
    D3DXMATRIX inv, product, identity;
    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_NEAR(det, 3.0f, 1e-4); // rotations keep volume; scaling 2 x 0.5 x 3
    EXPECT_NEAR(D3DXMatrixDeterminant(&m), det, 1e-5);
    D3DXMatrixMultiply(&product, &m, &inv);
    ExpectMatrixNear(product, *D3DXMatrixIdentity(&identity), 1e-5f);

    D3DXMATRIX singular = {};
    singular.m[3][3] = 1;
    D3DXMATRIX untouched = m;
    EXPECT_EQ(D3DXMatrixInverse(&untouched, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    ExpectMatrixNear(untouched, m, 0);

    D3DXMATRIX t, tt, mt;
    D3DXMatrixTranspose(&t, &m);
    EXPECT_EQ(t.m[3][0], m.m[0][3]);
    EXPECT_EQ(t.m[0][3], m.m[3][0]);
    D3DXMatrixTranspose(&tt, &t);
    ExpectMatrixNear(tt, m, 0);
    D3DXMatrixMultiplyTranspose(&mt, &m, &inv);
    ExpectMatrixNear(mt, identity, 1e-5f);
    D3DXMATRIX a = m;
    D3DXMatrixMultiplyTranspose(&a, &a, &m);
    D3DXMATRIX expected;
    D3DXMatrixMultiply(&expected, &m, &m);
    D3DXMatrixTranspose(&expected, &expected);
    ExpectMatrixNear(a, expected, 0);
}

TEST(D3DXVector, TransformsAndBasics)
{
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 1.5707963f, 1.0f, 1.0f, 101.0f);
    D3DXVECTOR3 nearPoint = {0, 0, 1}, farPoint = {0, 0, 101};
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &nearPoint, &proj);
    EXPECT_NEAR(out.z, 0.0f, 1e-6);
    D3DXVec3TransformCoord(&out, &farPoint, &proj);
    EXPECT_NEAR(out.z, 1.0f, 1e-6);
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &farPoint, &proj);
    EXPECT_FLOAT_EQ(h.w, 101.0f);

    D3DXVECTOR3 a = {1, 0, 0}, b = {0, 1, 0}, c;
    D3DXVec3Cross(&c, &a, &b);
    EXPECT_EQ(c.z, 1.0f);
    EXPECT_EQ(D3DXVec3Dot(&a, &b), 0.0f);
    D3DXVECTOR3 v = {3, 0, 4};
    EXPECT_FLOAT_EQ(D3DXVec3Length(&v), 5.0f);
    D3DXVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    D3DXVECTOR3 zero = {0, 0, 0};
    D3DXVec3Normalize(&zero, &zero);
    EXPECT_EQ(zero.x, 0.0f);
}

} // namespace
