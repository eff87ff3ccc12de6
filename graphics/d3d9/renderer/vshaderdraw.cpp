// The per-object descriptor, the per-mesh callbacks and the per-mesh
// constant uploads of the generated-shader path.
#include "graphics/d3d9/renderer/vshaderdraw.h"

#include <cstring>

#include "graphics/core/frame.h"
#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"

namespace {

constexpr uint8_t kUnset = 0xFF;
const RGBA kWhite = {255, 255, 255, 255};

} // namespace

void VertexShaderDescriptorFromObject(void* object, int32_t kind, VertexShaderDescriptor* descriptor)
{
    VertexShaderDescriptor d = 0;
    uint32_t flags = 0;
    if (kind == kInstancedAtomic) {
        const auto* atomic = static_cast<Atomic*>(object);
        const Geometry* geometry = atomic->geometry;
        flags = geometry->format;
        if (flags & kGeometryNormals) {
            d |= kVertexShaderNormals;
            Frame* frame = AtomicGetFrame(const_cast<Atomic*>(atomic));
            if ((D3D9GeometryGetExtension(geometry) & kGeometryLockAll) ||
                D3D9MatrixScalesNormals(frame ? FrameGetLTM(frame) : nullptr)) {
                d |= kVertexShaderNormalise;
            }
        }
        d |= uint32_t(geometry->numTexCoordSets & 0xF) << 12;
    } else {
        const auto* world = static_cast<const World*>(EngineGetInstance()->currentWorld);
        flags = world ? world->format : 0;
        const uint32_t sets = (flags & kGeometryTextured2) ? 2 : (flags & kGeometryTextured) ? 1 : 0;
        d |= sets << 12;
        if (flags & kGeometryNormals) {
            d |= kVertexShaderNormals;
        }
    }
    if (flags & kGeometryPreLit) {
        d |= kVertexShaderPrelit;
    }
    if (flags & kGeometryModulateMaterialColor) {
        d |= kVertexShaderMaterialColour;
    }
    *descriptor = d | D3D9VertexShaderFogType() << 24;
}

uint32_t D3D9VertexShaderFogType()
{
    uint32_t fog = 0;
    D3D9RenderStateGet(kRenderStateFogEnable, &fog);
    if (!fog) {
        return 0;
    }
    uint32_t type = 0;
    D3D9RenderStateGet(kRenderStateFogType, &type);
    return type & 0x3;
}

IDirect3DVertexShader9* D3D9VertexShaderFindCallback(void*, VertexShaderDescriptor descriptor,
                                                     VertexShaderConstantLayout* layout)
{
    return VertexShaderFind(descriptor, layout);
}

void D3D9VertexShaderRenderCallback(InstancedData* data, InstancedMesh* mesh, VertexShaderDescriptor,
                                    const VertexShaderConstantLayout*)
{
    if (D3D9GetBindingCache()->pixelShader != 0) {
        D3D9SetPixelShader(nullptr);
    }
    const Texture* texture = mesh->material ? mesh->material->texture : nullptr;
    D3D9SetTexture(texture, 0);
    if (texture) {
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
    InstancedMeshDraw(data, *mesh);
}

void D3D9VertexShaderEndCallback(void*, int32_t, VertexShaderDescriptor)
{
}

void VertexShaderMeshConstantsBegin(VertexShaderMeshConstants* state, VertexShaderDescriptor descriptor)
{
    *state = {descriptor, 1.0f, 1.0f, kUnset, {}, kUnset};
}

void VertexShaderMeshConstantsUpload(VertexShaderMeshConstants* state, const Material* material,
                                     const VertexShaderConstantLayout* layout)
{
    const float ambient = material ? material->surfaceProperties.ambient : 1.0f;
    const float diffuse = material ? material->surfaceProperties.diffuse : 1.0f;
    if (ambient != state->ambient || diffuse != state->diffuse) {
        // Scaled from the unscaled registers kept in the buffer, so a factor
        // of 0 cannot poison the next mesh's colours.
        const uint32_t end = VertexShaderLightRegisters(state->descriptor);
        VertexShaderRegister scaled[kVertexShaderConstantRegisters];
        std::memcpy(scaled, D3D9VertexShaderConstantBuffer() + 4, (end - 4) * sizeof(VertexShaderRegister));
        D3D9VertexShaderScaleLightColors(scaled, state->descriptor, ambient, diffuse);
        D3D9SetVertexShaderConstant(4, scaled[0], end - 4);
        state->ambient = ambient;
        state->diffuse = diffuse;
    }
    const RGBA colour = material ? material->colour : kWhite;
    if (layout->materialColour != kUnset &&
        (layout->materialColour != state->colourRegister || std::memcmp(&colour, &state->colour, 4) != 0)) {
        VertexShaderRegister reg;
        D3D9VertexShaderSetColorConstant(reg, &colour);
        D3D9SetVertexShaderConstant(layout->materialColour, reg, 1);
        state->colourRegister = layout->materialColour;
        state->colour = colour;
    }
    if (layout->fog != kUnset && layout->fog != state->fogRegister) {
        VertexShaderRegister reg;
        if (D3D9VertexShaderSetFogConstants(reg, VertexShaderFog(state->descriptor))) {
            D3D9SetVertexShaderConstant(layout->fog, reg, 1);
        }
        state->fogRegister = layout->fog;
    }
}

void VertexShaderMeshVertexAlpha(const InstancedMesh* mesh)
{
    const uint32_t alpha = mesh->material ? mesh->material->colour.alpha : 255;
    const uint32_t need = alpha != 255 || mesh->vertexAlpha != 0 ? 1 : 0;
    if (need != D3D9GetVertexAlphaEnable()) {
        D3D9SetVertexAlphaEnable(need);
    }
}
