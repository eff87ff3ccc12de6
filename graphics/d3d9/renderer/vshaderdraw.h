// Drawing with generated vertex shaders: the descriptor of an object, the
// per-mesh callbacks (find the shader, draw a mesh, end) and the per-mesh
// constant uploads (material factors, colour, fog) shared by the shader
// nodes and the skinned-atomic node.
#pragma once

#include <cstdint>

#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/d3d9/renderer/vertexshader.h"
#include "graphics/scene/scenetypes.h"

struct Material;

/// Bytes 1-3 of an object's descriptor (kind 1: an atomic; any other kind:
/// the current world, for its sectors): prelit, normals (renormalised when
/// the geometry changes or its frame scales), texture sets, material colour
/// (modulate flag) and the engine's fog type while fog is on. The morph bit
/// stays clear: instancing already blends the morph targets into one
/// position on the processor, and the instanced vertices carry no second
/// position for a morphing shader to read. The light counts are left 0 for
/// the lighting callback.
void VertexShaderDescriptorFromObject(void* object, int32_t kind, VertexShaderDescriptor* descriptor);

/// The engine's fog type (1 linear, 2 exponential, 3 exponential squared)
/// while fog is on, else 0: the descriptor's fog bits.
uint32_t D3D9VertexShaderFogType();

/// The shader of a descriptor from the cache (`object` is not read); *layout gets its constant layout.
IDirect3DVertexShader9* D3D9VertexShaderFindCallback(void* object, VertexShaderDescriptor descriptor,
                                                     VertexShaderConstantLayout* layout);
/// Draws one mesh with its vertex shader: no pixel shader, the material's
/// texture modulated with the shader's colour on stage 0 (or the colour
/// alone), indexed or from the mesh's base vertex.
void D3D9VertexShaderRenderCallback(InstancedData* data, InstancedMesh* mesh,
                                    VertexShaderDescriptor descriptor,
                                    const VertexShaderConstantLayout* layout);
/// Runs after an object's last mesh; nothing to do for the plain shaders.
void D3D9VertexShaderEndCallback(void* object, int32_t objectType, VertexShaderDescriptor descriptor);

/// What the device holds of the per-mesh constants of the object being drawn.
struct VertexShaderMeshConstants
{
    VertexShaderDescriptor descriptor; ///< light counts as uploaded
    float ambient;                     ///< material factors the uploaded light colours carry
    float diffuse;
    uint8_t colourRegister; ///< 0xFF: not uploaded yet
    RGBA colour;
    uint8_t fogRegister;
};

/// Starts an object whose light registers (from the constant buffer, unscaled) are on the device.
void VertexShaderMeshConstantsBegin(VertexShaderMeshConstants* state, VertexShaderDescriptor descriptor);
/// Before a mesh: the light colours rescaled by the material's ambient and
/// diffuse factors when they changed, the material colour and the fog
/// register when their registers or values changed. `material` null: white, factors 1.
void VertexShaderMeshConstantsUpload(VertexShaderMeshConstants* state, const Material* material,
                                     const VertexShaderConstantLayout* layout);
/// Vertex alpha for a mesh: on when its material colour or its pre-lit colours have alpha.
void VertexShaderMeshVertexAlpha(const InstancedMesh* mesh);
