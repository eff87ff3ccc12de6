// D3DX-style matrix and vector helpers. Row-vector convention: a point p is
// transformed as p x M, the translation is in row 3 (m[3][0..2]), and
// A x B applies A first. Every function accepts `out` aliasing an input and
// returns `out`.
#pragma once

struct D3DXVECTOR3
{
    float x, y, z;
};

struct D3DXVECTOR4
{
    float x, y, z, w;
};

struct D3DXMATRIX
{
    float m[4][4]; ///< m[row][column]
};

/// out = identity.
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
/// out = a x b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
/// out = transpose(a x b) (the form uploaded as vertex-shader constants).
D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
/// out = transpose(m).
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
/// Determinant of m.
float D3DXMatrixDeterminant(const D3DXMATRIX* m);
/// out = inverse(m); *determinant (when not null) gets det(m). Returns null
/// and leaves out unchanged when m is singular (determinant 0 or not finite).
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
/// Translation, scaling and rotations about the axes (angles in radians,
/// clockwise looking along the axis towards the origin, as D3DX defines them).
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
/// Left-handed perspective projection: vertical field of view in radians,
/// aspect = width / height, z mapped to 0 at zNear and 1 at zFar.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear, float zFar);

/// out = (v, 1) x m, divided by the resulting w (w 0 leaves x, y, z undivided).
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// out = (v, 0) x m: a direction, without translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// out = (v, 1) x m with its w.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// out = v x m.
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
float D3DXVec3Length(const D3DXVECTOR3* v);
/// out = v / |v|; a zero vector gives (0, 0, 0).
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
