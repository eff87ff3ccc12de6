// Vertex shaders written at run time (the text: vertexshadertext.h),
// assembled and created on the device, and kept between draws in a sorted
// cache of 256 shaders. The cache is the renderer module's data in the
// running engine: it lives from the engine's open to its close and is
// reset and flushed with the default pipelines.
#pragma once

#include "graphics/d3d9/renderer/vertexshadertext.h"
#include "platform/d3d9/d3d9.h"
#include <cstdint>

/// Writes the shader under the current profile, assembles and creates it;
/// the device shader or null (no profile, text that does not assemble).
IDirect3DVertexShader9* VertexShaderWrite(VertexShaderDescriptor descriptor,
                                          VertexShaderConstantLayout* layout);
/// The cached shader of a descriptor (written on a miss; a null shader is
/// cached too); *layout gets its constant layout.
IDirect3DVertexShader9* VertexShaderFind(VertexShaderDescriptor descriptor,
                                         VertexShaderConstantLayout* layout);
/// Empties the cache without releasing shaders; picks profile and budget
/// from the device caps (profile 10 clears the normalised declaration types).
void VertexShaderCacheReset();
/// Releases every cached shader and empties the cache.
void VertexShaderCacheFlush();
/// The profile and constant budget chosen by the last reset.
int VertexShaderProfile();
uint32_t VertexShaderBudget();
/// Shaders in the cache (at most 256).
uint32_t VertexShaderCacheCount();

/// Bytes of the cache in the renderer module's data (zeroed at the engine's open).
uint32_t VertexShaderCacheDataSize();
