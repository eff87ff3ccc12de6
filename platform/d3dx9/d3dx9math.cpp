// D3DX-style matrix and vector helpers (row vectors).
#include "platform/d3dx9/d3dx9math.h"

#include <cmath>

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out->m[r][c] = r == c ? 1.0f : 0.0f;
        }
    }
    return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b)
{
    D3DXMATRIX result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            result.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] +
                             a->m[r][3] * b->m[3][c];
        }
    }
    *out = result;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b)
{
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, a, b);
    return D3DXMatrixTranspose(out, &product);
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m)
{
    D3DXMATRIX result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            result.m[r][c] = m->m[c][r];
        }
    }
    *out = result;
    return out;
}

namespace {

// Cofactor expansion on 2x2 sub-determinants of the top and bottom row pairs.
struct Minors
{
    float s[6];
    float c[6];
};

Minors ComputeMinors(const D3DXMATRIX* m)
{
    const float(*a)[4] = m->m;
    Minors k;
    k.s[0] = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    k.s[1] = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    k.s[2] = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    k.s[3] = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    k.s[4] = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    k.s[5] = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    k.c[5] = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    k.c[4] = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    k.c[3] = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    k.c[2] = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    k.c[1] = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    k.c[0] = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    return k;
}

float Determinant(const Minors& k)
{
    return k.s[0] * k.c[5] - k.s[1] * k.c[4] + k.s[2] * k.c[3] + k.s[3] * k.c[2] - k.s[4] * k.c[1] +
           k.s[5] * k.c[0];
}

} // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m)
{
    return Determinant(ComputeMinors(m));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m)
{
    const float(*a)[4] = m->m;
    const Minors k = ComputeMinors(m);
    const float det = Determinant(k);
    if (determinant != nullptr) {
        *determinant = det;
    }
    if (det == 0.0f || !std::isfinite(det)) {
        return nullptr;
    }
    const float inv = 1.0f / det;
    const float* s = k.s;
    const float* c = k.c;
    D3DXMATRIX r;
    r.m[0][0] = (a[1][1] * c[5] - a[1][2] * c[4] + a[1][3] * c[3]) * inv;
    r.m[0][1] = (-a[0][1] * c[5] + a[0][2] * c[4] - a[0][3] * c[3]) * inv;
    r.m[0][2] = (a[3][1] * s[5] - a[3][2] * s[4] + a[3][3] * s[3]) * inv;
    r.m[0][3] = (-a[2][1] * s[5] + a[2][2] * s[4] - a[2][3] * s[3]) * inv;
    r.m[1][0] = (-a[1][0] * c[5] + a[1][2] * c[2] - a[1][3] * c[1]) * inv;
    r.m[1][1] = (a[0][0] * c[5] - a[0][2] * c[2] + a[0][3] * c[1]) * inv;
    r.m[1][2] = (-a[3][0] * s[5] + a[3][2] * s[2] - a[3][3] * s[1]) * inv;
    r.m[1][3] = (a[2][0] * s[5] - a[2][2] * s[2] + a[2][3] * s[1]) * inv;
    r.m[2][0] = (a[1][0] * c[4] - a[1][1] * c[2] + a[1][3] * c[0]) * inv;
    r.m[2][1] = (-a[0][0] * c[4] + a[0][1] * c[2] - a[0][3] * c[0]) * inv;
    r.m[2][2] = (a[3][0] * s[4] - a[3][1] * s[2] + a[3][3] * s[0]) * inv;
    r.m[2][3] = (-a[2][0] * s[4] + a[2][1] * s[2] - a[2][3] * s[0]) * inv;
    r.m[3][0] = (-a[1][0] * c[3] + a[1][1] * c[1] - a[1][2] * c[0]) * inv;
    r.m[3][1] = (a[0][0] * c[3] - a[0][1] * c[1] + a[0][2] * c[0]) * inv;
    r.m[3][2] = (-a[3][0] * s[3] + a[3][1] * s[1] - a[3][2] * s[0]) * inv;
    r.m[3][3] = (a[2][0] * s[3] - a[2][1] * s[1] + a[2][2] * s[0]) * inv;
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z)
{
    D3DXMatrixIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z)
{
    D3DXMatrixIdentity(out);
    out->m[0][0] = x;
    out->m[1][1] = y;
    out->m[2][2] = z;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->m[1][1] = c;
    out->m[1][2] = s;
    out->m[2][1] = -s;
    out->m[2][2] = c;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->m[0][0] = c;
    out->m[0][2] = -s;
    out->m[2][0] = s;
    out->m[2][2] = c;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->m[0][0] = c;
    out->m[0][1] = s;
    out->m[1][0] = -s;
    out->m[1][1] = c;
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear, float zFar)
{
    const float yScale = 1.0f / std::tan(fovY * 0.5f);
    const float xScale = yScale / aspect;
    for (auto& row : out->m) {
        for (float& v : row) {
            v = 0.0f;
        }
    }
    out->m[0][0] = xScale;
    out->m[1][1] = yScale;
    out->m[2][2] = zFar / (zFar - zNear);
    out->m[2][3] = 1.0f;
    out->m[3][2] = -zNear * zFar / (zFar - zNear);
    return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m)
{
    const float in[4] = {v->x, v->y, v->z, v->w};
    float r[4];
    for (int c = 0; c < 4; ++c) {
        r[c] = in[0] * m->m[0][c] + in[1] * m->m[1][c] + in[2] * m->m[2][c] + in[3] * m->m[3][c];
    }
    *out = {r[0], r[1], r[2], r[3]};
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    const D3DXVECTOR4 in = {v->x, v->y, v->z, 1.0f};
    return D3DXVec4Transform(out, &in, m);
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    if (r.w != 0.0f) {
        const float inv = 1.0f / r.w;
        r.x *= inv;
        r.y *= inv;
        r.z *= inv;
    }
    *out = {r.x, r.y, r.z};
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    const D3DXVECTOR4 in = {v->x, v->y, v->z, 0.0f};
    D3DXVECTOR4 r;
    D3DXVec4Transform(&r, &in, m);
    *out = {r.x, r.y, r.z};
    return out;
}

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    const D3DXVECTOR3 r = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    *out = r;
    return out;
}

float D3DXVec3Length(const D3DXVECTOR3* v)
{
    return std::sqrt(D3DXVec3Dot(v, v));
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v)
{
    const float length = D3DXVec3Length(v);
    if (length == 0.0f) {
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    const float inv = 1.0f / length;
    *out = {v->x * inv, v->y * inv, v->z * inv};
    return out;
}
