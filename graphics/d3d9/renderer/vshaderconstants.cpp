// The object-space constants of the generated vertex shaders. The derived
// matrices are computed at their first use after the world matrix is set,
// so an object pays only for what its shader needs.
#include "graphics/d3d9/renderer/vshaderconstants.h"

#include <cmath>
#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"

namespace {

struct WorldState
{
    const Matrix* world = nullptr; ///< null or flagged identity: every derived matrix is the identity
    D3DXMATRIX world4x4;
    D3DXMATRIX inverse, direction, orthoWorld;
    bool inverseValid = false, directionValid = false, orthoValid = false;
};

WorldState gState;
VertexShaderRegister gConstants[kVertexShaderConstantRegisters];
D3DXMATRIX gViewProjection;

// log2(e): the shader's exp is base 2, so e^-(d density) = 2^-(d density log2 e).
constexpr float kLog2E = 1.442695f;
// sqrt(log2 e): the squared form squares the scaled distance, e^-(d density)^2 = 2^-(d density sqrt(log2
// e))^2.
constexpr float kSqrtLog2E = 1.2011224f;

bool HasWorld()
{
    return gState.world && !(gState.world->flags & kMatrixFlagIdentity);
}

void FromEngine(D3DXMATRIX* out, const Matrix* m)
{
    const V3d* rows[4] = {&m->right, &m->up, &m->at, &m->pos};
    for (int r = 0; r < 4; ++r) {
        out->m[r][0] = rows[r]->x;
        out->m[r][1] = rows[r]->y;
        out->m[r][2] = rows[r]->z;
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
}

const D3DXMATRIX* Inverse()
{
    if (!gState.inverseValid) {
        if (!HasWorld()) {
            D3DXMatrixIdentity(&gState.inverse);
        } else if ((gState.world->flags & kMatrixFlagsOrthonormal) == kMatrixFlagsOrthonormal) {
            D3D9MatrixInvertOrthonormal(&gState.inverse, &gState.world4x4);
        } else {
            Matrix inverse;
            MatrixInvertGeneral(&inverse, gState.world);
            FromEngine(&gState.inverse, &inverse);
        }
        gState.inverseValid = true;
    }
    return &gState.inverse;
}

// The inverse made orthonormal: turns world directions into object directions without scale.
const D3DXMATRIX* Direction()
{
    if (!gState.directionValid) {
        if (!HasWorld()) {
            D3DXMatrixIdentity(&gState.direction);
        } else {
            const D3DXMATRIX* inv = Inverse();
            Matrix m = {};
            m.right = {inv->m[0][0], inv->m[0][1], inv->m[0][2]};
            m.up = {inv->m[1][0], inv->m[1][1], inv->m[1][2]};
            m.at = {inv->m[2][0], inv->m[2][1], inv->m[2][2]};
            m.pos = {inv->m[3][0], inv->m[3][1], inv->m[3][2]};
            MatrixOrthoNormalize(&m, &m);
            FromEngine(&gState.direction, &m);
        }
        gState.directionValid = true;
    }
    return &gState.direction;
}

const D3DXMATRIX* OrthoWorld()
{
    if (!gState.orthoValid) {
        if (!HasWorld()) {
            D3DXMatrixIdentity(&gState.orthoWorld);
        } else if ((gState.world->flags & kMatrixFlagsOrthonormal) == kMatrixFlagsOrthonormal) {
            gState.orthoWorld = gState.world4x4;
        } else {
            Matrix m;
            MatrixOrthoNormalize(&m, gState.world);
            FromEngine(&gState.orthoWorld, &m);
        }
        gState.orthoValid = true;
    }
    return &gState.orthoWorld;
}

const D3DXMATRIX* ViewProjection()
{
    void** cache = D3D9ViewProjectionCache();
    if (!*cache) {
        D3DXMATRIX view, projection;
        D3D9GetTransform(D3DTS_VIEW, reinterpret_cast<D3DMATRIX*>(&view));
        D3D9GetTransform(D3DTS_PROJECTION, reinterpret_cast<D3DMATRIX*>(&projection));
        D3DXMatrixMultiply(&gViewProjection, &view, &projection);
        *cache = &gViewProjection;
    }
    return static_cast<const D3DXMATRIX*>(*cache);
}

D3DXMATRIX Transform(D3DTRANSFORMSTATETYPE state)
{
    D3DXMATRIX m;
    D3D9GetTransform(state, reinterpret_cast<D3DMATRIX*>(&m));
    return m;
}

// The world (identity without one) times the view.
D3DXMATRIX WorldView()
{
    const D3DXMATRIX view = Transform(D3DTS_VIEW);
    if (!HasWorld()) {
        return view;
    }
    D3DXMATRIX worldView;
    D3DXMatrixMultiply(&worldView, &gState.world4x4, &view);
    return worldView;
}

void LastRowIdentity(D3DXMATRIX* m)
{
    m->m[3][0] = 0.0f;
    m->m[3][1] = 0.0f;
    m->m[3][2] = 0.0f;
    m->m[3][3] = 1.0f;
}

void Scale(float* reg, float factor)
{
    reg[0] *= factor;
    reg[1] *= factor;
    reg[2] *= factor;
}

} // namespace

VertexShaderRegister* D3D9VertexShaderConstantBuffer()
{
    return gConstants;
}

void D3D9VertexShaderSetWorldMatrix(const Matrix* world)
{
    gState.world = world;
    if (world) {
        FromEngine(&gState.world4x4, world);
    } else {
        D3DXMatrixIdentity(&gState.world4x4);
    }
    gState.inverseValid = gState.directionValid = gState.orthoValid = false;
}

void D3D9VertexShaderCalcWorldViewProjection(D3DXMATRIX* out)
{
    if (HasWorld()) {
        D3DXMatrixMultiplyTranspose(out, &gState.world4x4, ViewProjection());
    } else {
        D3DXMatrixTranspose(out, ViewProjection());
    }
}

void D3D9VertexShaderGetInverseWorld(D3DXMATRIX* out)
{
    *out = *Inverse();
}

void D3D9MatrixInvertOrthonormal(D3DXMATRIX* out, const D3DXMATRIX* in)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out->m[r][c] = in->m[c][r];
        }
        out->m[r][3] = 0.0f;
    }
    for (int c = 0; c < 3; ++c) {
        out->m[3][c] = -(in->m[3][0] * in->m[c][0] + in->m[3][1] * in->m[c][1] + in->m[3][2] * in->m[c][2]);
    }
    out->m[3][3] = 1.0f;
}

void D3D9VertexShaderTransposeWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix)
{
    if (HasWorld()) {
        D3DXMatrixMultiplyTranspose(out, &gState.world4x4, matrix);
        LastRowIdentity(out);
    } else {
        D3DXMatrixTranspose(out, matrix);
    }
}

void D3D9VertexShaderTransposeOrthoWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix)
{
    if (HasWorld()) {
        D3DXMatrixMultiplyTranspose(out, OrthoWorld(), matrix);
        LastRowIdentity(out);
    } else {
        D3DXMatrixTranspose(out, matrix);
    }
}

void D3D9VertexShaderTransposeOrthoWorldViewTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix)
{
    const D3DXMATRIX view = Transform(D3DTS_VIEW);
    D3DXMATRIX worldView;
    D3DXMatrixMultiply(&worldView, OrthoWorld(), &view);
    D3DXMatrixMultiplyTranspose(out, &worldView, matrix);
    LastRowIdentity(out);
}

void D3D9VertexShaderTransposeOrthoWorld(D3DXMATRIX* out)
{
    D3DXMatrixTranspose(out, OrthoWorld());
    if (!HasWorld()) {
        out->m[0][3] = out->m[1][3] = out->m[2][3] = 0.0f;
        out->m[3][3] = 1.0f;
    }
}

void D3D9VertexShaderTransposeWorldView(D3DXMATRIX* out)
{
    const D3DXMATRIX worldView = WorldView();
    D3DXMatrixTranspose(out, &worldView);
}

void D3D9VertexShaderWorldView(D3DXMATRIX* out)
{
    *out = WorldView();
    out->m[0][3] = out->m[1][3] = out->m[2][3] = 0.0f;
    out->m[3][3] = 1.0f;
}

void D3D9VertexShaderWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix)
{
    if (HasWorld()) {
        D3DXMatrixMultiply(out, &gState.world4x4, matrix);
    } else {
        *out = *matrix;
    }
}

void D3D9VertexShaderTransposeWorldViewTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix)
{
    const D3DXMATRIX worldView = WorldView();
    D3DXMatrixMultiplyTranspose(out, &worldView, matrix);
    LastRowIdentity(out);
}

void D3D9VertexShaderTransposeProjection(D3DXMATRIX* out)
{
    const D3DXMATRIX projection = Transform(D3DTS_PROJECTION);
    D3DXMatrixTranspose(out, &projection);
}

void D3D9VertexShaderLightDirection(const V3d* in, V3d* out)
{
    if (!HasWorld()) {
        *out = *in;
        return;
    }
    D3DXVECTOR3 v = {in->x, in->y, in->z};
    D3DXVECTOR3 r;
    D3DXVec3TransformNormal(&r, &v, Direction());
    *out = {r.x, r.y, r.z};
}

void D3D9VertexShaderLightPosition(const V3d* in, V3d* out)
{
    D3DXVECTOR3 v = {in->x, in->y, in->z};
    D3DXVECTOR3 r;
    D3DXVec3TransformCoord(&r, &v, Inverse());
    *out = {r.x, r.y, r.z};
}

void D3D9VertexShaderLightRadius(float radius, float* out)
{
    if (!HasWorld()) {
        *out = radius;
        return;
    }
    const D3DXVECTOR3 diagonal = {0.57735026f, 0.57735026f, 0.57735026f};
    D3DXVECTOR3 r;
    D3DXVec3TransformNormal(&r, &diagonal, Inverse());
    *out = radius * std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
}

void D3D9VertexShaderScaleLightColors(float (*registers)[4], VertexShaderDescriptor descriptor, float ambient,
                                      float diffuse)
{
    Scale(registers[0], ambient);
    uint32_t reg = 1;
    for (uint32_t i = 0; i < VertexShaderDirectional(descriptor); ++i, reg += 2) {
        Scale(registers[reg + 1], diffuse);
    }
    const uint32_t points = VertexShaderPoint(descriptor);
    for (uint32_t i = 0; i < points; ++i) {
        if (i % 4 == 0) {
            ++reg; // the group's radius register
        }
        Scale(registers[reg + 1], diffuse);
        reg += 2;
    }
    const uint32_t spots = VertexShaderSpot(descriptor);
    for (uint32_t i = 0; i < spots; ++i) {
        if (i % 4 == 0) {
            ++reg;
        }
        Scale(registers[reg + 3], diffuse);
        reg += 4;
    }
}

void D3D9VertexShaderSetColorConstant(float* out, const RGBA* colour)
{
    constexpr float kByte = 1.0f / 255.0f;
    out[0] = colour->red * kByte;
    out[1] = colour->green * kByte;
    out[2] = colour->blue * kByte;
    out[3] = colour->alpha * kByte;
}

bool D3D9VertexShaderSetFogConstants(float* out, uint32_t fogType)
{
    const D3DCAPS9* caps = D3D9GetCaps();
    if (caps && (caps->RasterCaps & D3DPRASTERCAPS_WFOG)) {
        return false;
    }
    if (fogType == 1) {
        const Camera* camera = D3D9GetCurrentCamera();
        if (!camera) {
            return false;
        }
        const float range = camera->farPlane - camera->fogPlane;
        // Equal planes would divide by zero: no fog (factor 1) then.
        out[0] = range != 0.0f ? -1.0f / range : 0.0f;
        out[1] = range != 0.0f ? camera->farPlane / range : 1.0f;
    } else {
        uint32_t bits = 0;
        D3D9GetRenderState(D3DRS_FOGDENSITY, &bits);
        float density;
        std::memcpy(&density, &bits, sizeof density);
        out[0] = density * (fogType == 3 ? kSqrtLog2E : kLog2E);
        out[1] = 0.0f;
    }
    out[2] = 0.0f;
    out[3] = 1.0f;
    return true;
}

void D3D9VertexShaderSetMorphConstant(float* out, float t)
{
    out[0] = t;
    out[1] = 1.0f - t;
    out[2] = 1.0f;
    out[3] = 0.0f;
}

void D3D9VertexShaderSetTexTransform(float (*out)[4], const D3DXMATRIX* matrix)
{
    for (int column = 0; column < 2; ++column) {
        for (int row = 0; row < 4; ++row) {
            out[column][row] = matrix->m[row][column];
        }
    }
}
