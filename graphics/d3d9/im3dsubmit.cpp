// The default immediate-mode 3-D nodes: the instance node that passes the
// transform packet on, and the Direct3D 9 submit node that copies the
// vertices into the device's dynamic buffers and draws them unlit.

#include <cstring>
#include <initializer_list>

#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/im3d.h"

namespace {

constexpr uint32_t kIndexCapacity = 0xFFFF;
constexpr uint32_t kShortListLimit = 8;

struct SubmitBuffers
{
    IDirect3DIndexBuffer9* indices;
    uint32_t position;                     ///< in indices
    IDirect3DVertexDeclaration9* textured; ///< position, colour, u, v (24 bytes)
    IDirect3DVertexDeclaration9* plain;    ///< position, colour (16 bytes)
    IDirect3DVertexDeclaration9* full;     ///< the 36-byte vertex itself
};

SubmitBuffers gBuffers;

constexpr D3DVERTEXELEMENT9 kFull[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};
constexpr D3DVERTEXELEMENT9 kTextured[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};
constexpr D3DVERTEXELEMENT9 kPlain[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    D3DDECL_END(),
};

/// Writes vertex `from` in the chosen layout at `to`.
uint8_t* PutVertex(uint8_t* to, const Im3DVertex& from, bool textured)
{
    std::memcpy(to, &from.x, 12);
    std::memcpy(to + 12, &from.colour, 4);
    if (!textured) {
        return to + 16;
    }
    std::memcpy(to + 16, &from.u, 8);
    return to + 24;
}

bool MapType(int32_t type, uint32_t n, D3DPRIMITIVETYPE* primitive, uint32_t* count)
{
    int64_t primitives;
    switch (type) {
    case kIm3DLineList:
        primitives = n / 2;
        break;
    case kIm3DPolyLine:
        primitives = int64_t(n) - 1;
        break;
    case kIm3DTriList:
        primitives = n / 3;
        break;
    case kIm3DTriStrip:
    case kIm3DTriFan:
        primitives = int64_t(n) - 2;
        break;
    default:
        return false;
    }
    *primitive = D3DPRIMITIVETYPE(type + 1);
    *count = primitives > 0 ? uint32_t(primitives) : 0;
    return primitives > 0;
}

int32_t InstanceBody(PipelineNode*, const PipelineExecution*)
{
    return 1;
}

int32_t SubmitBody(PipelineNode*, const PipelineExecution* execution)
{
    const auto* render = static_cast<const Im3DRenderPacket*>(execution->data);
    const Im3DTransformPacket* transform = Im3DGetTransformPacket();
    IDirect3DDevice9* device = D3D9State().device;
    if (!transform || !device) {
        return 0;
    }
    const bool textured = (transform->flags & kIm3DTextured) != 0;
    const uint32_t stride = textured ? 24 : 16;
    D3D9SetVertexAlphaEnable((transform->flags & kIm3DNoVertexAlpha) ? 0 : 1);
    D3D9SetWorldMatrix(transform->matrix);
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    D3D9SetRenderState(D3DRS_CLIPPING, (transform->flags & kIm3DNoClip) ? 0 : 1);
    if (D3D9GetTexture(0)) {
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    } else {
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    }
    D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    D3D9SetVertexDeclaration(textured ? gBuffers.textured : gBuffers.plain);
    D3D9SetVertexShader(nullptr);
    D3D9SetPixelShader(nullptr);

    const uint32_t n = render->indices ? render->indexCount : transform->vertexCount;
    D3DPRIMITIVETYPE primitive;
    uint32_t primitives = 0;
    if (!MapType(render->type, n, &primitive, &primitives)) {
        return 0;
    }
    const bool indexed = render->indices && (n > transform->vertexCount || n > kShortListLimit);
    // Short index lists are expanded: only the named vertices are copied.
    const uint32_t copied = (render->indices && !indexed) ? n : transform->vertexCount;
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* data = nullptr;
    uint32_t first = 0;
    if (!D3D9DynamicVertexBufferLock(stride, copied, &buffer, &data, &first)) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(data);
    for (uint32_t i = 0; i < copied; ++i) {
        const uint32_t index = (render->indices && !indexed) ? render->indices[i] : i;
        out = PutVertex(out, transform->vertices[index], textured);
    }
    buffer->Unlock();
    D3D9SetStreamSource(0, buffer, 0, stride);
    if (!indexed) {
        return D3D9DrawPrimitive(primitive, first, primitives);
    }
    if (n > kIndexCapacity || !gBuffers.indices) {
        return 0;
    }
    DWORD flags = D3DLOCK_NOOVERWRITE;
    if (gBuffers.position + n >= 0x10000) {
        gBuffers.position = 0;
        flags = D3DLOCK_DISCARD;
    }
    void* indexData = nullptr;
    if (FAILED(gBuffers.indices->Lock(gBuffers.position * 2, n * 2, &indexData, flags))) {
        return 0;
    }
    std::memcpy(indexData, render->indices, size_t(n) * 2);
    gBuffers.indices->Unlock();
    D3D9SetIndices(gBuffers.indices);
    const uint32_t start = gBuffers.position;
    gBuffers.position += n;
    return D3D9DrawIndexedPrimitive(primitive, int32_t(first), 0, transform->vertexCount, start, primitives);
}

PipelineNodeDefinition gInstanceNode = {
    "ImmInstance.csl", InstanceBody, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
    nullptr,           nullptr,      0,       nullptr, 0,       0,
};

PipelineNodeDefinition gSubmitNode = {
    "nodeD3D9SubmitNoLight.csl",
    SubmitBody,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    0,
    nullptr,
    nullptr,
    0,
    nullptr,
    0,
    0,
};

} // namespace

PipelineNodeDefinition* Im3DInstanceNodeDefinition()
{
    return &gInstanceNode;
}

PipelineNodeDefinition* Im3DSubmitNodeDefinition()
{
    return &gSubmitNode;
}

bool Im3DD3D9CreateBuffers()
{
    IDirect3DDevice9* device = D3D9State().device;
    if (!device) {
        return false;
    }
    Im3DD3D9ReleaseBuffers();
    const D3DPOOL pool = D3D9HardwareVertexProcessing() ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
    if (FAILED(device->CreateIndexBuffer(kIndexCapacity * 2, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                         D3DFMT_INDEX16, pool, &gBuffers.indices, nullptr))) {
        gBuffers.indices = nullptr;
        return false;
    }
    if (!D3D9VertexDeclarationCreate(kFull, &gBuffers.full) ||
        !D3D9VertexDeclarationCreate(kTextured, &gBuffers.textured) ||
        !D3D9VertexDeclarationCreate(kPlain, &gBuffers.plain)) {
        Im3DD3D9ReleaseBuffers();
        return false;
    }
    return true;
}

void Im3DD3D9ReleaseBuffers()
{
    if (gBuffers.indices) {
        gBuffers.indices->Release();
    }
    for (IDirect3DVertexDeclaration9* declaration : {gBuffers.full, gBuffers.textured, gBuffers.plain}) {
        D3D9VertexDeclarationRelease(declaration);
    }
    gBuffers = {};
}
