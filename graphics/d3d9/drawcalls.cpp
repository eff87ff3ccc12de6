// The device calls the engine makes through the driver: index buffers,
// shaders and their constants, releases and the draw calls.

#include <cassert>

#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/driverstate.h"

namespace {

/// Unbinds stream 0 and the index buffer (user-pointer draws replace them).
void UnbindForUserPointers()
{
    D3D9BindingCache& b = D3D9State().bindings;
    if (b.streams[0].buffer != 0) {
        D3D9SetStreamSource(0, nullptr, 0, 0);
    }
    if (b.indices != 0) {
        D3D9SetIndices(nullptr);
    }
}

} // namespace

int32_t D3D9IndexBufferCreate(uint32_t count, IDirect3DIndexBuffer9** buffer)
{
    return SUCCEEDED(D3D9State().device->CreateIndexBuffer(count * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                           D3DPOOL_MANAGED, buffer, nullptr))
               ? 1
               : 0;
}

int32_t D3D9IndexBuffer32Create(uint32_t count, IDirect3DIndexBuffer9** buffer)
{
    return SUCCEEDED(D3D9State().device->CreateIndexBuffer(count * 4, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32,
                                                           D3DPOOL_MANAGED, buffer, nullptr))
               ? 1
               : 0;
}

int32_t D3D9BufferUnlock(IDirect3DVertexBuffer9* buffer)
{
    return SUCCEEDED(buffer->Unlock()) ? 1 : 0;
}

int32_t D3D9BufferUnlock(IDirect3DIndexBuffer9* buffer)
{
    return SUCCEEDED(buffer->Unlock()) ? 1 : 0;
}

int32_t D3D9CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader)
{
    if (FAILED(D3D9State().device->CreateVertexShader(tokens, shader))) {
        return 0;
    }
    D3D9State().bindings.vertexShader = kD3D9CacheUnset;
    return 1;
}

int32_t D3D9CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader)
{
    return SUCCEEDED(D3D9State().device->CreatePixelShader(tokens, shader)) ? 1 : 0;
}

uint32_t D3D9ReleaseObject(IUnknown* object)
{
    return object->Release();
}

uint32_t D3D9ReleaseInterface(IUnknown* object)
{
    return object->Release();
}

int32_t D3D9SetVertexShaderConstant(uint32_t first, const float* data, uint32_t count)
{
    return SUCCEEDED(D3D9State().device->SetVertexShaderConstantF(first, data, count)) ? 1 : 0;
}

int32_t D3D9SetPixelShaderConstant(uint32_t first, const float* data, uint32_t count)
{
    return SUCCEEDED(D3D9State().device->SetPixelShaderConstantF(first, data, count)) ? 1 : 0;
}

int32_t D3D9DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t vertexCount,
                                   uint32_t primitiveCount, const uint16_t* indices, const void* vertices,
                                   uint32_t stride)
{
    assert(stride > 0);
    UnbindForUserPointers();
    D3D9RenderStateFlush();
    return SUCCEEDED(D3D9State().device->DrawIndexedPrimitiveUP(type, minIndex, vertexCount, primitiveCount,
                                                                indices, D3DFMT_INDEX16, vertices, stride))
               ? 1
               : 0;
}

int32_t D3D9DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                            uint32_t stride)
{
    assert(stride > 0);
    UnbindForUserPointers();
    D3D9RenderStateFlush();
    return SUCCEEDED(D3D9State().device->DrawPrimitiveUP(type, primitiveCount, vertices, stride)) ? 1 : 0;
}

int32_t D3D9DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertex, uint32_t minIndex,
                                 uint32_t vertexCount, uint32_t startIndex, uint32_t primitiveCount)
{
    D3D9RenderStateFlush();
    return SUCCEEDED(D3D9State().device->DrawIndexedPrimitive(type, baseVertex, minIndex, vertexCount,
                                                              startIndex, primitiveCount))
               ? 1
               : 0;
}

int32_t D3D9DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount)
{
    D3D9RenderStateFlush();
    return SUCCEEDED(D3D9State().device->DrawPrimitive(type, startVertex, primitiveCount)) ? 1 : 0;
}
