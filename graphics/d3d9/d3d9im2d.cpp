// Immediate-mode 2-D: screen-space vertices copied into dynamic buffers
// (the driver's own or the shared dynamic slots) and drawn at once.

#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/driverstate.h"

namespace {

constexpr uint32_t kStride = sizeof(Im2DVertex);
constexpr uint32_t kVertexBytes = 0x40000;
constexpr uint32_t kIndexBytes = kIm2DMaxIndices * 2;
constexpr DWORD kUsage = D3DUSAGE_DYNAMIC | D3DUSAGE_DONOTCLIP | D3DUSAGE_WRITEONLY;

constexpr D3DVERTEXELEMENT9 kElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

struct Im2DState
{
    bool ownBuffer;
    IDirect3DVertexBuffer9* vertexBuffer;
    uint32_t nextVertex;
    IDirect3DIndexBuffer9* indexBuffer;
    uint32_t nextIndex;
    IDirect3DVertexDeclaration9* declaration;
};

Im2DState gIm2D;

/// A locked run of vertices.
struct VertexSpace
{
    IDirect3DVertexBuffer9* buffer;
    Im2DVertex* data;
    uint32_t first;
};

bool LockVertices(uint32_t count, VertexSpace* space)
{
    if (count == 0 || count > uint32_t(kIm2DMaxVertices)) {
        return false;
    }
    if (gIm2D.ownBuffer) {
        DWORD flags = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;
        if (gIm2D.nextVertex + count >= uint32_t(kIm2DMaxVertices) + 1) {
            gIm2D.nextVertex = 0;
            flags = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
        }
        void* data = nullptr;
        if (FAILED(gIm2D.vertexBuffer->Lock(gIm2D.nextVertex * kStride, count * kStride, &data, flags))) {
            return false;
        }
        *space = {gIm2D.vertexBuffer, static_cast<Im2DVertex*>(data), gIm2D.nextVertex};
        return true;
    }
    void* data = nullptr;
    if (!D3D9DynamicVertexBufferLock(kStride, count, &space->buffer, &data, &space->first)) {
        return false;
    }
    space->data = static_cast<Im2DVertex*>(data);
    return true;
}

/// Screen offset of the raster being drawn into: the current camera's frame
/// buffer, or (for the primitive entry points) the context raster.
void DrawOffset(bool useContext, float* dx, float* dy)
{
    *dx = *dy = 0.0f;
    const Camera* camera = D3D9State().currentCamera;
    const Raster* target = camera ? camera->frameBuffer : (useContext ? RasterGetCurrentContext() : nullptr);
    if (target) {
        *dx = float(target->xOffset);
        *dy = float(target->yOffset);
    }
}

void CopyVertex(Im2DVertex* to, const Im2DVertex& from, float dx, float dy)
{
    *to = from;
    to->x += dx;
    to->y += dy;
}

void CopyVertices(Im2DVertex* to, const Im2DVertex* from, uint32_t count, float dx, float dy)
{
    if (dx == 0.0f && dy == 0.0f) {
        std::memcpy(to, from, count * sizeof(Im2DVertex));
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        CopyVertex(&to[i], from[i], dx, dy);
    }
}

void SetDrawState(IDirect3DVertexBuffer9* buffer)
{
    D3D9SetVertexDeclaration(gIm2D.declaration);
    D3D9SetVertexShader(nullptr);
    D3D9SetPixelShader(nullptr);
    D3D9SetRenderState(D3DRS_CLIPPING, 0);
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    if (D3D9GetTexture(0)) {
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    } else {
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    }
    D3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    D3D9SetStreamSource(0, buffer, 0, kStride);
    D3D9RenderStateFlush();
}

bool MapType(int32_t type, uint32_t count, D3DPRIMITIVETYPE* primitive, uint32_t* primitives)
{
    int64_t n = count;
    switch (type) {
    case kIm2DLineList:
        n = n / 2;
        break;
    case kIm2DPolyLine:
        n = n - 1;
        break;
    case kIm2DTriList:
        n = n / 3;
        break;
    case kIm2DTriStrip:
    case kIm2DTriFan:
        n = n - 2;
        break;
    default:
        return false;
    }
    *primitive = D3DPRIMITIVETYPE(type + 1);
    *primitives = n > 0 ? uint32_t(n) : 0;
    return n > 0;
}

int32_t DrawNamed(const Im2DVertex* vertices, int32_t count, const int32_t* names, uint32_t n,
                  D3DPRIMITIVETYPE type)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (names[i] < 0 || names[i] >= count) {
            return 0;
        }
    }
    VertexSpace space{};
    if (!D3D9State().device || !LockVertices(n, &space)) {
        return 0;
    }
    float dx, dy;
    DrawOffset(false, &dx, &dy);
    for (uint32_t i = 0; i < n; ++i) {
        CopyVertex(&space.data[i], vertices[names[i]], dx, dy);
    }
    space.buffer->Unlock();
    SetDrawState(space.buffer);
    gIm2D.nextVertex = space.first + n;
    return SUCCEEDED(D3D9State().device->DrawPrimitive(type, space.first, 1)) ? 1 : 0;
}

} // namespace

int32_t D3D9Im2DCreateBuffers()
{
    D3D9DriverState& s = D3D9State();
    gIm2D = {};
    if (!D3D9HardwareVertexProcessing() && s.device->GetAvailableTextureMem() > 0x800000) {
        if (SUCCEEDED(s.device->CreateVertexBuffer(kVertexBytes, kUsage, 0, D3DPOOL_DEFAULT,
                                                   &gIm2D.vertexBuffer, nullptr))) {
            gIm2D.ownBuffer = true;
        } else {
            gIm2D.vertexBuffer = nullptr;
        }
    }
    if (FAILED(s.device->CreateIndexBuffer(kIndexBytes, kUsage, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                           &gIm2D.indexBuffer, nullptr))) {
        gIm2D.indexBuffer = nullptr;
        D3D9Im2DReleaseBuffers();
        return 0;
    }
    D3D9VertexDeclarationCreate(kElements, &gIm2D.declaration);
    return 1;
}

void D3D9Im2DReleaseBuffers()
{
    if (gIm2D.declaration) {
        D3D9VertexDeclarationRelease(gIm2D.declaration);
    }
    if (gIm2D.vertexBuffer) {
        gIm2D.vertexBuffer->Release();
    }
    if (gIm2D.indexBuffer) {
        gIm2D.indexBuffer->Release();
    }
    gIm2D = {};
}

int32_t D3D9Im2DRenderLine(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b)
{
    const int32_t names[2] = {a, b};
    return DrawNamed(vertices, count, names, 2, D3DPT_LINELIST);
}

int32_t D3D9Im2DRenderTriangle(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b, int32_t c)
{
    const int32_t names[3] = {a, b, c};
    return DrawNamed(vertices, count, names, 3, D3DPT_TRIANGLELIST);
}

int32_t D3D9Im2DRenderPrimitive(int32_t type, Im2DVertex* vertices, int32_t count)
{
    D3DPRIMITIVETYPE primitive;
    uint32_t primitives = 0;
    VertexSpace space{};
    if (count <= 0 || !MapType(type, uint32_t(count), &primitive, &primitives) || !D3D9State().device ||
        !LockVertices(uint32_t(count), &space)) {
        return 0;
    }
    float dx, dy;
    DrawOffset(true, &dx, &dy);
    CopyVertices(space.data, vertices, uint32_t(count), dx, dy);
    space.buffer->Unlock();
    SetDrawState(space.buffer);
    gIm2D.nextVertex = space.first + uint32_t(count);
    return SUCCEEDED(D3D9State().device->DrawPrimitive(primitive, space.first, primitives)) ? 1 : 0;
}

int32_t D3D9Im2DRenderIndexedPrimitive(int32_t type, Im2DVertex* vertices, int32_t vertexCount,
                                       uint16_t* indices, int32_t indexCount)
{
    D3DPRIMITIVETYPE primitive;
    uint32_t primitives = 0;
    IDirect3DDevice9* device = D3D9State().device;
    if (vertexCount <= 0 || indexCount <= 0 ||
        !MapType(type, uint32_t(indexCount), &primitive, &primitives) || !device) {
        return 0;
    }
    // Indices naming no vertex would make the device read past the copied vertices.
    for (int32_t i = 0; i < indexCount; ++i) {
        if (indices[i] >= vertexCount) {
            return 0;
        }
    }
    float dx, dy;
    DrawOffset(true, &dx, &dy);
    VertexSpace space{};
    if (indexCount > vertexCount) {
        if (!gIm2D.indexBuffer || indexCount > kIm2DMaxIndices ||
            !LockVertices(uint32_t(vertexCount), &space)) {
            return 0;
        }
        CopyVertices(space.data, vertices, uint32_t(vertexCount), dx, dy);
        space.buffer->Unlock();
        DWORD flags = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;
        if (gIm2D.nextIndex + uint32_t(indexCount) >= uint32_t(kIm2DMaxIndices) + 1) {
            gIm2D.nextIndex = 0;
            flags = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
        }
        void* data = nullptr;
        if (FAILED(gIm2D.indexBuffer->Lock(gIm2D.nextIndex * 2, uint32_t(indexCount) * 2, &data, flags))) {
            return 0;
        }
        std::memcpy(data, indices, size_t(indexCount) * 2);
        gIm2D.indexBuffer->Unlock();
        SetDrawState(space.buffer);
        D3D9SetIndices(gIm2D.indexBuffer);
        const uint32_t firstIndex = gIm2D.nextIndex;
        gIm2D.nextIndex += uint32_t(indexCount);
        gIm2D.nextVertex = space.first + uint32_t(vertexCount);
        return SUCCEEDED(device->DrawIndexedPrimitive(primitive, INT(space.first), 0, uint32_t(vertexCount),
                                                      firstIndex, primitives))
                   ? 1
                   : 0;
    }
    if (!LockVertices(uint32_t(indexCount), &space)) {
        return 0;
    }
    for (int32_t i = 0; i < indexCount; ++i) {
        CopyVertex(&space.data[i], vertices[indices[i]], dx, dy);
    }
    space.buffer->Unlock();
    SetDrawState(space.buffer);
    gIm2D.nextVertex = space.first + uint32_t(indexCount);
    return SUCCEEDED(device->DrawPrimitive(primitive, space.first, primitives)) ? 1 : 0;
}
