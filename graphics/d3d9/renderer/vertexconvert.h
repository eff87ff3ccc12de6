#pragma once
// Vertex-element conversion: engine vertex data (floats, RGBA byte colours,
// byte indices) written into locked Direct3D 9 vertex memory as any
// D3DDECLTYPE 0 to 14, one element every `stride` bytes, and single elements
// read back as floats. Used by the atomic and sector instancing, skinning and
// material effects. The converters never allocate and never lock.
//
// Integer types round to the nearest integer (ties to even) and keep the low
// bits of the result without clamping; a value outside 64 bits or NaN gives 0.
// The fourth component of 4-component types is the type's unit value.

#include <cstdint>

#include "platform/d3d9/d3d9types.h"

/// Bytes of one element of D3DDECLTYPE `type` (0 to 16; 0 for 17 and beyond).
uint32_t VertexElementTypeSize(uint32_t type);
/// Bytes of one vertex of an element list ended by type 17; `endIndex` (optional)
/// receives the end element's index. Stops after 64 elements without an end.
uint32_t VertexDeclarationSize(const D3DVERTEXELEMENT9* elements, uint32_t* endIndex = nullptr);

/// Writes `count` 3-float vectors (positions, normals, tangents) as `type`; returns the element size.
uint32_t VertexConvert3(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride);
/// Writes `count` 2-float vectors (texture coordinates) as `type`; returns the element size.
uint32_t VertexConvert2(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride);
/// Writes a + (b - a) x factor per 3-float vector (normalised types scale both sides first).
uint32_t VertexConvertLerp3(uint32_t type, void* dst, const float* a, const float* b, float factor,
                            int32_t count, uint32_t stride);
/// Writes normals packed as 4 signed bytes (x, y, z, pad; 1/128 units) as `type`.
uint32_t VertexConvertPackedNormals(uint32_t type, void* dst, const int8_t* src, int32_t count,
                                    uint32_t stride);
/// Writes 4 skin weights per vertex; normalised integer types keep the sum exactly at the unit.
uint32_t VertexConvert(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride);
/// Writes 4 bone-index bytes per vertex; types 4 to 7 only (others write nothing).
uint32_t VertexConvertIndices(uint32_t type, void* dst, const uint8_t* src, int32_t count, uint32_t stride);
/// Like VertexConvertIndices with each byte replaced by remap[byte] (256 entries).
uint32_t VertexConvertBytes(uint32_t type, void* dst, const uint8_t* src, const uint8_t* remap, int32_t count,
                            uint32_t stride);
/// Writes RGBA byte colours as 0xAARRGGBB; 1 when some alpha is below 255, else 0.
uint32_t VertexColorsWrite(void* dst, const uint8_t* rgba, int32_t count, uint32_t stride);

/// Reads one 2-component element of `type` into out[0..1].
void VertexConvertBack(uint32_t type, float* out, const void* element);
/// Reads one 3-component element of `type` into out[0..2].
void VertexConvertBack3(uint32_t type, float* out, const void* element);

/// Per-component minimum and maximum of `count` 3-float vectors (zeros when count < 1).
void VertexRangeMinMax3(const float* values, int32_t count, float* min3, float* max3);
/// Per-component minimum and maximum of `count` 2-float vectors (zeros when count < 1).
void VertexRangeMinMax2(const float* values, int32_t count, float* min2, float* max2);
/// The most compact type holding 3-float data under the renderer's DeclTypes.
uint32_t VertexRangeFitsCompressed3(const float* values, int32_t count);
/// The most compact type holding 2-float data under the renderer's DeclTypes.
uint32_t VertexRangeFitsCompressed(const float* values, int32_t count);

/// The declaration types the renderer may use (D3DCAPS9 DeclTypes bits): the
/// value given to VertexDeclTypesSet, else the device caps (0 without a device).
uint32_t VertexDeclTypesGet();
/// Overrides the renderer's copy of DeclTypes (shader profiles clear some bits).
void VertexDeclTypesSet(uint32_t declTypes);
/// Forgets the override: DeclTypes follow the device caps again.
void VertexDeclTypesReset();
