#pragma once
// Vertex and index buffers, vertex declarations, shaders and draw calls of
// the Direct3D 9 device. Static geometry shares large managed buffers, one
// family per stride; per-frame geometry goes into four rotating dynamic
// buffers, appended to without overwriting and discarded when full. Every
// draw call flushes the queued render states first.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

/// Space of `size` bytes in a shared static buffer of stride `stride` (> 0).
/// 1, or 0 when a new buffer could not be created.
int32_t D3D9VertexBufferCreateSpace(uint32_t stride, uint32_t size, IDirect3DVertexBuffer9** buffer,
                                    uint32_t* offset);
/// Returns such space, merging it with free neighbours.
void D3D9VertexBufferFreeSpace(uint32_t stride, uint32_t size, IDirect3DVertexBuffer9* buffer,
                               uint32_t offset);
/// Bytes of new static buffers (default 0x20000).
void D3D9SetStaticVertexBufferSize(uint32_t bytes);

/// A dynamic buffer of `size` bytes written through `owner` (which the
/// driver clears when it releases the buffer at a reset). 1/0.
int32_t D3D9DynamicVertexBufferCreate(uint32_t size, IDirect3DVertexBuffer9** owner);
/// Marks it free for reuse.
void D3D9DynamicVertexBufferDestroy(IDirect3DVertexBuffer9* buffer);
/// Locks room for count x stride bytes (stride > 0) in the dynamic slots:
/// the buffer, the data and the index of the first vertex. 1/0.
int32_t D3D9DynamicVertexBufferLock(uint32_t stride, uint32_t count, IDirect3DVertexBuffer9** buffer,
                                    void** data, uint32_t* firstVertex);
/// Unlocks a vertex or index buffer (an IDirect3DVertexBuffer9 or
/// IDirect3DIndexBuffer9); 1/0.
int32_t D3D9BufferUnlock(IDirect3DVertexBuffer9* buffer);
int32_t D3D9BufferUnlock(IDirect3DIndexBuffer9* buffer);
/// Managed, write-only index buffers of 16- and 32-bit indices. 1/0.
int32_t D3D9IndexBufferCreate(uint32_t count, IDirect3DIndexBuffer9** buffer);
int32_t D3D9IndexBuffer32Create(uint32_t count, IDirect3DIndexBuffer9** buffer);

/// A declaration shared by equal element lists (ended by type 17); 1/0.
int32_t D3D9VertexDeclarationCreate(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out);
/// Drops one reference; at 0 the cache forgets the interface (the list stays).
void D3D9VertexDeclarationRelease(IDirect3DVertexDeclaration9* declaration);

int32_t D3D9CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader);
int32_t D3D9CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader);
/// Release; the remaining count.
uint32_t D3D9ReleaseObject(IUnknown* object);
uint32_t D3D9ReleaseInterface(IUnknown* object);
int32_t D3D9SetVertexShaderConstant(uint32_t first, const float* data, uint32_t count);
int32_t D3D9SetPixelShaderConstant(uint32_t first, const float* data, uint32_t count);

/// Draw calls (flush first); 1 when the device drew.
int32_t D3D9DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t minIndex, uint32_t vertexCount,
                                   uint32_t primitiveCount, const uint16_t* indices, const void* vertices,
                                   uint32_t stride);
int32_t D3D9DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount, const void* vertices,
                            uint32_t stride);
int32_t D3D9DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertex, uint32_t minIndex,
                                 uint32_t vertexCount, uint32_t startIndex, uint32_t primitiveCount);
int32_t D3D9DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex, uint32_t primitiveCount);

/// Device start / stop; new frame at present; around a device reset.
bool D3D9BuffersOpen();
void D3D9BuffersClose();
void D3D9DynamicBuffersNewFrame();
void D3D9DynamicBuffersRelease();
bool D3D9DynamicBuffersRestore();
/// Releases every cached declaration and frees the cache (device stop).
void D3D9VertexDeclarationsClose();
