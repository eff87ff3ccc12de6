#pragma once
// The skin pipeline: one node, "nodeD3D9SkinAtomicAllInOne.csl", that
// instances a skinned atomic's geometry, deforms its vertices on the
// processor every frame from the atomic's hierarchy and draws them through
// the scene renderer's lighting and render callbacks (fixed function), or
// keeps the vertices untouched for a vertex shader that blends them with a
// bone palette in its constants (shader path).
//
// The shader path is chosen only while the node holds the vertex-shader
// callbacks (descriptor, lighting, find, render, end): the node's init puts
// the renderer's there when the device can run the shaders; a caller may
// replace them, or clear them to force the software path.

#include <cstdint>

#include "graphics/d3d9/renderer/vshadernode.h"
#include "platform/d3d9/d3d9types.h"

struct Atomic;
struct Hierarchy;
struct Pipeline;
struct PipelineNode;
struct PipelineNodeDefinition;
struct Skin;

/// What the device allows, read when the pipeline is created.
struct SkinDeviceState
{
    bool hardwareTnL;         ///< DevCaps has D3DDEVCAPS_HWTRANSFORMANDLIGHT
    bool shaderPathUsable;    ///< hardware T&L, vs 1.1 and ps 1.1 or better
    uint32_t maxConstants;    ///< MaxVertexShaderConst; 0 without the shader path
    uint32_t maxPaletteBones; ///< (maxConstants - 12) / 3; 0 without the shader path
};

/// Registers of one palette bone: the first three columns of its matrix.
constexpr uint32_t kSkinPaletteRegisters = 3;
/// One bone's palette entry: three registers of four floats.
struct SkinPaletteBone
{
    float column[3][4];
};

/// The node's private data: the atomic node's callbacks first (so the
/// renderer's accessors and its lighting and render callbacks apply), then
/// the shader path's five.
struct SkinNodeData
{
    AllInOneNodeData base;
    VertexShaderLightingCallBack shaderDescriptor;
    VertexShaderConstantsCallBack shaderLighting;
    VertexShaderMaterialCallBack shaderFind;
    VertexShaderRenderCallBack shaderRender;
    VertexShaderEndCallBack shaderEnd;
};
/// A skin node's callbacks (to read or replace).
SkinNodeData* SkinNodeGetData(PipelineNode* node);

/// The shader descriptor of a skinned atomic (kind is not read), bone
/// weights aside: texture sets, prelit, normals renormalised, material
/// colour (modulate flag) and the engine's fog type while fog is on.
void SkinAtomicDescriptorCallback(void* atomic, int32_t kind, VertexShaderDescriptor* descriptor);

/// Reads the device caps, creates the pipeline (plug-in 0x116, data 1) with
/// its node and keeps it in the first of the table's slots; null on failure.
Pipeline* SkinPipelineCreate();
/// Destroys every pipeline in the table.
void SkinPipelinesDestroy();
/// The node definition "nodeD3D9SkinAtomicAllInOne.csl".
PipelineNodeDefinition* SkinNodeGet();
/// The device state read by the last SkinPipelineCreate.
const SkinDeviceState* SkinGetDeviceState();

/// Hardware T&L, the shader path usable and the skin's palette within the maximum palette bones.
bool SkinUsesShaderPath(const Atomic* atomic);
/// True without hardware T&L; else as SkinUsesShaderPath.
bool SkinUsesSingleStream(const Atomic* atomic);

/// The vertex element type of the blend weights for `maxWeights` (2 to 4)
/// and of the blend indices, the first the declaration types allow.
uint32_t SkinBlendWeightType(uint32_t maxWeights, uint32_t declTypes);
uint32_t SkinBlendIndexType(uint32_t maxWeights, uint32_t declTypes);
/// The palette slot of `bone` for a hierarchy of `nodeCount` nodes: the
/// split remap (0xFF and out-of-range slots give 0), else the bone's place
/// in the used list when the hierarchy has more nodes than the palette
/// holds, else the bone itself.
uint32_t SkinPaletteSlot(const Skin* skin, int32_t nodeCount, uint32_t bone);

/// The shader-path palette of the atomic, one entry per hierarchy node up
/// to the skin's bones, into `palette` (kSkinWorkspaceBones entries), taken
/// into the atomic's frame with the inverse of `world`. Recomputed only
/// when the hierarchy, the frame counter or the atomic's frame changed.
/// False (error recorded) for a hierarchy larger than the workspace.
bool SkinBonePaletteCompute(SkinPaletteBone* palette, const Atomic* atomic, const Skin* skin);
/// Uploads the palette at register `base` in runs: by the used list, by
/// consecutive used bones or whole; with split data the runs of mesh `mesh`
/// at their remapped slots. The number of SetVertexShaderConstantF calls.
uint32_t SkinBonePaletteUpload(const SkinPaletteBone* palette, const Skin* skin, int32_t nodeCount,
                               uint32_t base, uint32_t mesh);
/// Forgets the cached palette (the next compute recomputes).
void SkinBonePaletteForget();
