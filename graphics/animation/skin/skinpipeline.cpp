// The skin pipeline node: instancing with the skin's layouts, the software
// deformation into the vertex stream every frame with the fixed-function
// draw through the scene renderer's lighting and render callbacks, and the
// shader draw through a bone palette in the vertex-shader constants.
#include "graphics/animation/skin/skinpipeline.h"

#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"
#include "graphics/d3d9/renderer/vshaderdraw.h"
#include "graphics/d3d9/renderer/vshaderlighting.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/scenetypes.h"

namespace {

constexpr uint32_t kSkinPipelineData = 1;
/// Registers before the palette that the generated shaders keep for
/// themselves (transform, lights base, material, fog).
constexpr uint32_t kShaderFixedRegisters = 12;

SkinDeviceState gDevice = {};
/// The shader path's palette, one entry per hierarchy node.
SkinPaletteBone gPalette[kSkinWorkspaceBones];
/// Whether the node being run holds the shader callbacks (read by the instancing).
bool gShaderCallbacks = false;

int32_t SkinNodeBody(PipelineNode* node, const PipelineExecution* execution);

int32_t SkinNodeInit(PipelineNode* node)
{
    // The atomic node's lighting and render callbacks are the renderer's defaults.
    AtomicNodeInit(node);
    SkinNodeData* data = SkinNodeGetData(node);
    data->base.instance = nullptr;
    data->base.reinstance = nullptr;
    if (gDevice.shaderPathUsable) {
        data->shaderDescriptor = SkinAtomicDescriptorCallback;
        data->shaderLighting = D3D9VertexShaderLightingCallback;
        data->shaderFind = D3D9VertexShaderFindCallback;
        data->shaderRender = D3D9VertexShaderRenderCallback;
        data->shaderEnd = D3D9VertexShaderEndCallback;
    } else {
        data->shaderDescriptor = nullptr;
        data->shaderLighting = nullptr;
        data->shaderFind = nullptr;
        data->shaderRender = nullptr;
        data->shaderEnd = nullptr;
    }
    return 1;
}

PipelineNodeDefinition gNode = {"nodeD3D9SkinAtomicAllInOne.csl",
                                SkinNodeBody,
                                nullptr,
                                nullptr,
                                SkinNodeInit,
                                nullptr,
                                nullptr,
                                nullptr,
                                0,
                                nullptr,
                                nullptr,
                                0,
                                nullptr,
                                sizeof(SkinNodeData),
                                0};

bool ShaderCallbacksPresent(const SkinNodeData* data)
{
    return data->shaderDescriptor && data->shaderFind && data->shaderRender;
}

uint32_t PaletteBoneCount(const Skin* skin)
{
    return SkinIsSplit(skin) ? skin->splitBoneLimit : skin->numUsedBones;
}

/// Stream of each element and the streams used: positions and normals of a
/// deformed skin (or data the geometry marks as changing) go to a dynamic
/// stream 0 of their own with hardware T&L; everything else to the last.
struct Layout
{
    D3DVERTEXELEMENT9 elements[kGeometryMaxTexCoordSets + 8];
    uint32_t streamCount;
};

Layout BuildLayout(const Atomic* atomic, const Skin* skin, InstancedData* data)
{
    const Geometry* geometry = atomic->geometry;
    const bool shader = skin && skin->shaderPath;
    const bool deformed = skin && !shader && SkinAtomicGetHierarchy(atomic);
    Layout layout = {};
    layout.streamCount =
        (D3D9GeometryGetExtension(geometry) & kGeometryLockAll) || (deformed && gDevice.hardwareTnL) ? 2 : 1;
    const uint32_t declTypes = VertexDeclTypesGet();
    const uint32_t normalType =
        shader && (declTypes & D3DDTCAPS_DEC3N) ? uint32_t(D3DDECLTYPE_DEC3N) : uint32_t(D3DDECLTYPE_FLOAT3);
    uint32_t count = 0;
    auto add = [&](uint16_t bit, uint32_t type, uint32_t usage, uint32_t usageIndex, bool moving) {
        const uint32_t stream = moving && layout.streamCount == 2 ? 0 : layout.streamCount - 1;
        InstancedStream& s = data->streams[stream];
        layout.elements[count++] = {static_cast<WORD>(stream), static_cast<WORD>(s.stride),
                                    static_cast<BYTE>(type),   0,
                                    static_cast<BYTE>(usage),  static_cast<BYTE>(usageIndex)};
        s.stride += VertexElementTypeSize(type);
        s.elementMask |= bit;
    };
    add(kInstancedPositions, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, true);
    if (geometry->format & kGeometryNormals) {
        add(kInstancedNormals, normalType, D3DDECLUSAGE_NORMAL, 0, true);
    }
    if (geometry->format & kGeometryPreLit) {
        add(kInstancedPreLit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, false);
    }
    for (int32_t set = 0; set < geometry->numTexCoordSets; ++set) {
        add(uint16_t(kInstancedTexCoords0 << set), D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, uint32_t(set),
            false);
    }
    if (shader) {
        if (skin->maxWeights > 1) {
            add(0, SkinBlendWeightType(skin->maxWeights, declTypes), D3DDECLUSAGE_BLENDWEIGHT, 0, false);
        }
        add(0, SkinBlendIndexType(skin->maxWeights, declTypes), D3DDECLUSAGE_BLENDINDICES, 0, false);
    }
    if (layout.streamCount == 2 && data->streams[1].stride == 0) {
        layout.streamCount = 1;
    }
    layout.elements[count] = D3DDECL_END();
    return layout;
}

bool CreateStreams(InstancedData* data, uint32_t streamCount)
{
    for (uint32_t s = 0; s < streamCount; ++s) {
        InstancedStream& stream = data->streams[s];
        const uint32_t size = data->numVertices * stream.stride;
        if (streamCount == 2 && s == 0) {
            stream.managed = 0;
            stream.offset = 0;
            if (!D3D9DynamicVertexBufferCreate(size, &stream.buffer)) {
                return false;
            }
        } else {
            stream.managed = 1;
            if (!D3D9VertexBufferCreateSpace(stream.stride, size, &stream.buffer, &stream.offset)) {
                return false;
            }
        }
    }
    InstancedMesh* meshes = InstancedDataMeshes(data);
    data->useOffsets = 0;
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        meshes[i].baseVertexIndex =
            streamCount == 1 ? data->streams[0].offset / data->streams[0].stride + meshes[i].minVertex
                             : meshes[i].minVertex;
    }
    return true;
}

/// Where an element lies in the locked streams; null when absent.
uint8_t* ElementMemory(const Layout& layout, uint8_t* const locked[2], uint32_t usage, uint32_t usageIndex,
                       uint32_t* type)
{
    for (const D3DVERTEXELEMENT9& element : layout.elements) {
        if (element.Type == D3DDECLTYPE_UNUSED) {
            break;
        }
        if (element.Usage == usage && element.UsageIndex == usageIndex && locked[element.Stream]) {
            *type = element.Type;
            return locked[element.Stream] + element.Offset;
        }
    }
    return nullptr;
}

/// Writes every element of a first instancing.
void FillStreams(const Atomic* atomic, const Skin* skin, InstancedData* data, const Layout& layout,
                 uint8_t* const locked[2])
{
    const Geometry* geometry = atomic->geometry;
    const int32_t n = geometry->numVertices;
    const MorphTarget& target = geometry->morphTargets[0];
    uint32_t type = 0;
    auto stride = [&](uint32_t usage, uint32_t index) {
        for (const D3DVERTEXELEMENT9& element : layout.elements) {
            if (element.Type == D3DDECLTYPE_UNUSED) {
                break;
            }
            if (element.Usage == usage && element.UsageIndex == index) {
                return data->streams[element.Stream].stride;
            }
        }
        return 0u;
    };
    if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_POSITION, 0, &type)) {
        VertexConvert3(type, memory, &target.vertices->x, n, stride(D3DDECLUSAGE_POSITION, 0));
    }
    if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_NORMAL, 0, &type)) {
        VertexConvert3(type, memory, &target.normals->x, n, stride(D3DDECLUSAGE_NORMAL, 0));
    }
    InstancedMesh* meshes = InstancedDataMeshes(data);
    if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_COLOR, 0, &type)) {
        const auto* rgba = reinterpret_cast<const uint8_t*>(geometry->preLitColours);
        const uint32_t step = stride(D3DDECLUSAGE_COLOR, 0);
        for (uint32_t i = 0; i < data->numMeshes; ++i) {
            InstancedMesh& mesh = meshes[i];
            mesh.vertexAlpha = VertexColorsWrite(memory + size_t(mesh.minVertex) * step,
                                                 rgba + 4 * mesh.minVertex, int32_t(mesh.numVertices), step);
        }
    }
    for (int32_t set = 0; set < geometry->numTexCoordSets; ++set) {
        if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_TEXCOORD, uint32_t(set), &type)) {
            VertexConvert2(type, memory, &geometry->texCoords[set]->u, n,
                           stride(D3DDECLUSAGE_TEXCOORD, uint32_t(set)));
        }
    }
    if (skin && skin->vertexBoneIndices) {
        if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_BLENDWEIGHT, 0, &type)) {
            VertexConvert(type, memory, skin->vertexBoneWeights, n, stride(D3DDECLUSAGE_BLENDWEIGHT, 0));
        }
        if (uint8_t* memory = ElementMemory(layout, locked, D3DDECLUSAGE_BLENDINDICES, 0, &type)) {
            // Each bone's byte becomes the first register of its palette slot.
            const Hierarchy* hierarchy = SkinAtomicGetHierarchy(atomic);
            const int32_t nodes = hierarchy ? hierarchy->nodeCount : int32_t(skin->numBones);
            uint8_t remap[256] = {};
            for (uint32_t bone = 0; bone < skin->numBones && bone < 256; ++bone) {
                remap[bone] = uint8_t(kSkinPaletteRegisters * SkinPaletteSlot(skin, nodes, bone));
            }
            VertexConvertBytes(type, memory, reinterpret_cast<const uint8_t*>(skin->vertexBoneIndices), remap,
                               n, stride(D3DDECLUSAGE_BLENDINDICES, 0));
        }
    }
}

/// The instance callback: palette size and path of the skin, layout, buffers, data.
int32_t SkinInstance(void* object, InstancedData* data, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* geometry = atomic->geometry;
    Skin* skin = SkinGeometryGetSkin(geometry);
    data->numVertices = uint32_t(geometry->numVertices);
    if (skin) {
        skin->paletteBoneCount = PaletteBoneCount(skin);
        skin->shaderPath = SkinAtomicGetHierarchy(atomic) && gShaderCallbacks && gDevice.shaderPathUsable &&
                                   skin->paletteBoneCount <= gDevice.maxPaletteBones
                               ? 1
                               : 0;
    }
    const Layout layout = BuildLayout(atomic, skin, data);
    if (layout.streamCount == 2) {
        D3D9RegisterDirtyObject(geometry);
    }
    if (!D3D9VertexDeclarationCreate(layout.elements, &data->declaration) ||
        !CreateStreams(data, layout.streamCount)) {
        return 0;
    }
    uint8_t* locked[2] = {nullptr, nullptr};
    for (uint32_t s = 0; s < layout.streamCount; ++s) {
        InstancedStream& stream = data->streams[s];
        void* memory = nullptr;
        if (FAILED(stream.buffer->Lock(stream.offset, data->numVertices * stream.stride, &memory,
                                       stream.managed ? 0 : D3DLOCK_DISCARD))) {
            for (uint32_t u = 0; u < s; ++u) {
                data->streams[u].buffer->Unlock();
            }
            return 0;
        }
        locked[s] = static_cast<uint8_t*>(memory);
    }
    FillStreams(atomic, skin, data, layout, locked);
    for (uint32_t s = 0; s < layout.streamCount; ++s) {
        data->streams[s].buffer->Unlock();
    }
    return 1;
}

/// Deforms the geometry into the stream holding its positions (the
/// dynamic stream, discarded, or the single stream in place). False when
/// the bone matrices cannot be had or the lock fails.
bool SoftwareSkin(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy, InstancedData* data)
{
    const Geometry* geometry = atomic->geometry;
    if (!skin->vertexBoneIndices || skin->numVertices != geometry->numVertices) {
        return false;
    }
    const SkinBoneMatrix* bones = SkinBoneMatricesCompute(atomic, skin, hierarchy);
    if (!bones) {
        return false;
    }
    InstancedStream& stream = data->streams[0];
    void* memory = nullptr;
    const DWORD flags = stream.managed ? D3DLOCK_NOSYSLOCK : D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
    if (FAILED(stream.buffer->Lock(stream.offset, data->numVertices * stream.stride, &memory, flags))) {
        return false;
    }
    // Positions lead the stream; normals follow them.
    auto* positions = static_cast<float*>(memory);
    const MorphTarget& target = geometry->morphTargets[0];
    const bool normals = geometry->format & kGeometryNormals;
    SkinVerticesBlend(skin, bones, geometry->numVertices, &target.vertices->x,
                      normals ? &target.normals->x : nullptr, positions, normals ? positions + 3 : nullptr,
                      stream.stride);
    stream.buffer->Unlock();
    return true;
}

void FixedFunctionDraw(const SkinNodeData* callbacks, Atomic* atomic, ResourcesEntry* entry)
{
    if (callbacks->base.lighting) {
        callbacks->base.lighting(atomic);
    }
    Frame* frame = AtomicGetFrame(atomic);
    const Matrix* matrix = frame ? FrameGetLTM(frame) : nullptr;
    D3D9SetWorldMatrix(matrix);
    // Blended normals are not unit length; hardware renormalises cheaply.
    uint32_t lighting = 0;
    D3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    const bool normalize = lighting && (gDevice.hardwareTnL || D3D9MatrixScalesNormals(matrix));
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, normalize ? 1 : 0);
    if (callbacks->base.render) {
        callbacks->base.render(entry, atomic, kInstancedAtomic, atomic->geometry->format);
    }
}

/// Draws the untouched vertices with the generated skinning shaders: the
/// transform and lights from c0, lights dropped (spots first) while they
/// and the palette exceed the constants, then per mesh its shader, material
/// constants and the palette at the shader's palette register. False when
/// the palette cannot be had (a hierarchy larger than the workspace).
bool ShaderDraw(const SkinNodeData* callbacks, Atomic* atomic, const Skin* skin, ResourcesEntry* entry)
{
    VertexShaderDescriptor descriptor = 0;
    callbacks->shaderDescriptor(atomic, kInstancedAtomic, &descriptor);
    descriptor |= (skin->maxWeights & 0x7) << 17;
    D3D9SetRenderState(D3DRS_CLIPPING, 1);
    Frame* frame = AtomicGetFrame(atomic);
    D3D9VertexShaderSetWorldMatrix(frame ? FrameGetLTM(frame) : nullptr);
    if (!SkinBonePaletteCompute(gPalette, atomic, skin)) {
        return false;
    }
    VertexShaderRegister* constants = D3D9VertexShaderConstantBuffer();
    D3DXMATRIX transform;
    D3D9VertexShaderCalcWorldViewProjection(&transform);
    std::memcpy(constants, &transform, sizeof transform);
    const VertexShaderRegister* end =
        callbacks->shaderLighting
            ? callbacks->shaderLighting(atomic, kInstancedAtomic, constants + 4, &descriptor)
            : constants + 4;
    D3D9SetVertexShaderConstant(0, constants[0], uint32_t(end - constants));
    // The same for every mesh, so decided once: the dropped lights end the
    // block, whose registers the material constants may then reuse.
    const uint32_t paletteRegisters = kSkinPaletteRegisters * skin->paletteBoneCount;
    while (VertexShaderCost(descriptor) + paletteRegisters > gDevice.maxConstants &&
           VertexShaderDropLight(&descriptor)) {
    }

    InstancedData* data = InstancedDataFromEntry(entry);
    InstancedDataBind(data);
    const int32_t nodes = SkinAtomicGetHierarchy(atomic)->nodeCount;
    VertexShaderMeshConstants uploaded;
    VertexShaderMeshConstantsBegin(&uploaded, descriptor);
    uint32_t paletteRegister = 0xFF;
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        InstancedMesh& mesh = meshes[i];
        VertexShaderMeshVertexAlpha(&mesh);
        VertexShaderConstantLayout layout;
        mesh.vertexShader = callbacks->shaderFind(mesh.material, descriptor, &layout);
        if (!mesh.vertexShader) {
            continue; // no shader for this descriptor: the mesh is not drawn
        }
        VertexShaderMeshConstantsUpload(&uploaded, mesh.material, &layout);
        // Split skins bring each mesh's own bones.
        if (layout.bones != paletteRegister || SkinIsSplit(skin)) {
            SkinBonePaletteUpload(gPalette, skin, nodes, layout.bones, i);
            paletteRegister = layout.bones;
        }
        callbacks->shaderRender(data, &mesh, descriptor, &layout);
        mesh.vertexShader = nullptr;
    }
    if (callbacks->shaderEnd) {
        callbacks->shaderEnd(atomic, kInstancedAtomic, descriptor);
    }
    return true;
}

int32_t SkinNodeBody(PipelineNode* node, const PipelineExecution* execution)
{
    auto* atomic = static_cast<Atomic*>(execution->data);
    Geometry* geometry = atomic->geometry;
    const auto* callbacks = static_cast<const SkinNodeData*>(node->privateData);
    if (!geometry || geometry->numVertices < 1 || !geometry->mesh || geometry->mesh->numMeshes == 0) {
        return 1;
    }
    if (geometry->format & kGeometryNative) {
        // Pre-instanced data keeps no vertex arrays to deform or to build from.
        if (geometry->instanced) {
            FixedFunctionDraw(callbacks, atomic, geometry->instanced);
        }
        return 1;
    }
    const bool shared = geometry->numMorphTargets == 1;
    ResourcesEntry** slot = shared ? &geometry->instanced : &atomic->instanced;
    ResourcesEntry* entry = *slot;
    // Changed geometry data is written again by instancing anew.
    if (entry && (InstancedDataFromEntry(entry)->serial != geometry->mesh->serial || geometry->lockFlags)) {
        ResourcesFreeEntry(entry);
        entry = nullptr;
    }
    if (!entry) {
        gShaderCallbacks = ShaderCallbacksPresent(callbacks);
        entry = InstancedDataCreate(atomic, shared ? static_cast<void*>(geometry) : atomic, kInstancedAtomic,
                                    slot, geometry->mesh, SkinInstance,
                                    geometry->format & kGeometryNativeInstance);
        if (!entry) {
            return 0;
        }
        geometry->lockFlags = 0;
    }
    if (geometry->format & kGeometryNativeInstance) {
        return 1; // instanced to be saved, not drawn
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    const Skin* skin = SkinGeometryGetSkin(geometry);
    const Hierarchy* hierarchy = SkinAtomicGetHierarchy(atomic);
    if (skin && !skin->shaderPath && hierarchy && !SoftwareSkin(atomic, skin, hierarchy, data)) {
        return 0;
    }
    atomic->object.object.privateFlags &= uint8_t(~1u);
    if (skin && skin->shaderPath && hierarchy && ShaderCallbacksPresent(callbacks)) {
        return ShaderDraw(callbacks, atomic, skin, entry) ? 1 : 0;
    }
    FixedFunctionDraw(callbacks, atomic, entry);
    return 1;
}

} // namespace

Pipeline* SkinPipelineCreate()
{
    const D3DCAPS9* caps = D3D9GetCaps();
    gDevice = {};
    gDevice.hardwareTnL = caps && (caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    if (gDevice.hardwareTnL && caps->VertexShaderVersion >= D3DVS_VERSION(1, 1) &&
        caps->PixelShaderVersion >= D3DPS_VERSION(1, 1)) {
        gDevice.shaderPathUsable = true;
        gDevice.maxConstants = caps->MaxVertexShaderConst;
        gDevice.maxPaletteBones = gDevice.maxConstants > kShaderFixedRegisters
                                      ? (gDevice.maxConstants - kShaderFixedRegisters) / 3
                                      : 0;
    }
    Pipeline* pipeline = PipelineCreate();
    if (!pipeline) {
        return nullptr;
    }
    pipeline->pluginId = kPluginIdSkin;
    pipeline->pluginData = kSkinPipelineData;
    if (!PipelineLock(pipeline) || !PipelineAddNodes(pipeline, nullptr, &gNode, nullptr) ||
        !PipelineUnlock(pipeline)) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    SkinBonePaletteForget();
    SkinPipelineTable()[0] = pipeline;
    return pipeline;
}

void SkinPipelinesDestroy()
{
    Pipeline** table = SkinPipelineTable();
    for (int32_t i = 0; i < kSkinPipelineSlots; ++i) {
        PipelineDestroy(table[i]);
        table[i] = nullptr;
    }
}

PipelineNodeDefinition* SkinNodeGet()
{
    return &gNode;
}

SkinNodeData* SkinNodeGetData(PipelineNode* node)
{
    return static_cast<SkinNodeData*>(node->privateData);
}

void SkinAtomicDescriptorCallback(void* object, int32_t, VertexShaderDescriptor* descriptor)
{
    const Geometry* geometry = static_cast<Atomic*>(object)->geometry;
    VertexShaderDescriptor d = uint32_t(geometry->numTexCoordSets & 0xF) << 12;
    if (geometry->format & kGeometryPreLit) {
        d |= kVertexShaderPrelit;
    }
    if (geometry->format & kGeometryNormals) {
        d |= kVertexShaderNormals | kVertexShaderNormalise;
    }
    if (geometry->format & kGeometryModulateMaterialColor) {
        d |= kVertexShaderMaterialColour;
    }
    *descriptor = d | D3D9VertexShaderFogType() << 24;
}

const SkinDeviceState* SkinGetDeviceState()
{
    return &gDevice;
}

bool SkinUsesShaderPath(const Atomic* atomic)
{
    const Skin* skin = atomic->geometry ? SkinGeometryGetSkin(atomic->geometry) : nullptr;
    return gDevice.hardwareTnL && gDevice.shaderPathUsable && skin &&
           PaletteBoneCount(skin) <= gDevice.maxPaletteBones;
}

bool SkinUsesSingleStream(const Atomic* atomic)
{
    return !gDevice.hardwareTnL || SkinUsesShaderPath(atomic);
}
