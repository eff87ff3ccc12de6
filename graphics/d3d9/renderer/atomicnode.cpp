// The atomic pipeline node: finds or builds an atomic's instanced data,
// refreshes what changed, sets the world transform and normal
// renormalisation, and hands the data to the lighting and render callbacks.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/instancewrite.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"

namespace {

constexpr uint32_t kPipelineSingleStream = 0x12E;
constexpr uint32_t kInterpolatorMoved = 0x1;

// Elements and streams of a first instancing, from the geometry's format,
// its extension word and the device's capabilities.
uint32_t BuildElements(Atomic* atomic, InstancedData* data, D3DVERTEXELEMENT9* elements)
{
    Geometry* geometry = atomic->geometry;
    const D3DCAPS9* caps = D3D9GetCaps();
    uint32_t extension = D3D9GeometryGetExtension(geometry);
    const bool single = (geometry->numMorphTargets < 2 && !(extension & kGeometryLockAll)) ||
                        !(caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ||
                        (atomic->pipeline && atomic->pipeline->pluginId == kPipelineSingleStream);
    uint32_t streamCount = 1;
    if (!single) {
        streamCount = 2;
        if (geometry->numMorphTargets > 1) {
            extension |= kInstancedPositions | kInstancedNormals;
        }
        D3D9RegisterDirtyObject(geometry);
    }
    const uint32_t normalType =
        (VertexDeclTypesGet() & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3;
    uint32_t count = 0;
    auto add = [&](uint16_t bit, uint32_t type, uint32_t usage, uint32_t usageIndex, bool dynamic) {
        const uint32_t stream = dynamic && streamCount == 2 ? 0 : streamCount - 1;
        InstancedStream& s = data->streams[stream];
        elements[count++] = {static_cast<WORD>(stream), static_cast<WORD>(s.stride),
                             static_cast<BYTE>(type),   0,
                             static_cast<BYTE>(usage),  static_cast<BYTE>(usageIndex)};
        s.stride += VertexElementTypeSize(type);
        s.elementMask |= bit;
    };
    add(kInstancedPositions, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, extension & kInstancedPositions);
    if (geometry->format & kGeometryNormals) {
        add(kInstancedNormals, normalType, D3DDECLUSAGE_NORMAL, 0, extension & kInstancedNormals);
    }
    if (geometry->format & kGeometryPreLit) {
        add(kInstancedPreLit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, extension & kInstancedPreLit);
    }
    for (int32_t n = 0; n < geometry->numTexCoordSets; ++n) {
        const uint16_t bit = static_cast<uint16_t>(kInstancedTexCoords0 << n);
        add(bit, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, n, extension & bit);
    }
    if ((extension & kD3D9ExtensionTangents) && geometry->numTexCoordSets > 0) {
        add(0, normalType, D3DDECLUSAGE_TANGENT, 0, extension & 0xFF2);
    }
    if (streamCount == 2 && data->streams[1].stride == 0) {
        streamCount = 1;
    }
    std::qsort(elements, count, sizeof(D3DVERTEXELEMENT9), VertexElementCompare);
    elements[count] = D3DDECL_END();
    return streamCount;
}

// Buffers of a first instancing; false when one cannot be had.
bool CreateStreams(InstancedData* data, uint32_t streamCount)
{
    const bool streamOffset = D3D9GetCaps()->DevCaps2 & D3DDEVCAPS2_STREAMOFFSET;
    for (uint32_t s = 0; s < streamCount; ++s) {
        InstancedStream& stream = data->streams[s];
        const uint32_t size = data->numVertices * stream.stride;
        if (streamCount == 1 || (s == 1 && streamOffset)) {
            stream.managed = 1;
            if (!D3D9VertexBufferCreateSpace(stream.stride, size, &stream.buffer, &stream.offset)) {
                return false;
            }
        } else {
            stream.managed = 0;
            stream.offset = 0;
            if (!D3D9DynamicVertexBufferCreate(size, &stream.buffer)) {
                return false;
            }
        }
    }
    InstancedMesh* meshes = InstancedDataMeshes(data);
    data->useOffsets = streamCount == 2 && streamOffset ? 1 : 0;
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        meshes[i].baseVertexIndex =
            streamCount == 1 ? data->streams[0].offset / data->streams[0].stride + meshes[i].minVertex
                             : meshes[i].minVertex;
    }
    return true;
}

} // namespace

bool D3D9MatrixScalesNormals(const Matrix* matrix)
{
    // The device renormalises only when asked, which costs, so ask only
    // when a row is off unit length.
    if (!matrix || (matrix->flags & (kMatrixFlagNormal | kMatrixFlagIdentity))) {
        return false;
    }
    for (const V3d* row : {&matrix->right, &matrix->up, &matrix->at}) {
        const float squared = row->x * row->x + row->y * row->y + row->z * row->z;
        if (!(squared >= 0.9f && squared <= 1.1f)) {
            return true;
        }
    }
    return false;
}

int32_t AtomicInstance(void* object, InstancedData* data, int32_t reinstance)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* geometry = atomic->geometry;
    D3DVERTEXELEMENT9 elements[kInstanceMaxElements];
    uint32_t streamCount = 0;
    uint32_t changed = kGeometryLockAll;
    data->numVertices = static_cast<uint32_t>(geometry->numVertices);
    if (!reinstance) {
        InstancedStreamsRelease(data);
        if (data->declaration) {
            D3D9VertexDeclarationRelease(data->declaration);
            data->declaration = nullptr;
        }
        streamCount = BuildElements(atomic, data, elements);
        if (!D3D9VertexDeclarationCreate(elements, &data->declaration) || !CreateStreams(data, streamCount)) {
            return 0;
        }
    } else {
        streamCount = InstanceDeclarationElements(data, elements);
        changed = geometry->lockFlags;
    }

    InstanceLocks locks;
    if (!InstanceLockStreams(data, streamCount, reinstance, &changed, &locks)) {
        return 0;
    }

    // Morph targets: interpolate positions (and normals) between the
    // interpolator's targets, else write the start target's when changed.
    uint32_t start = 0, end = 0;
    float factor = 0.0f;
    if (geometry->numMorphTargets > 1) {
        const AtomicInterpolator& interpolator = atomic->interpolator;
        start = interpolator.startMorphTarget;
        end = interpolator.endMorphTarget;
        if (start >= uint32_t(geometry->numMorphTargets) || end >= uint32_t(geometry->numMorphTargets)) {
            start = end = 0;
        }
        factor = interpolator.position * interpolator.recipTime;
    }
    const MorphTarget& from = geometry->morphTargets[start];
    const MorphTarget& to = geometry->morphTargets[end];
    const bool normals = geometry->format & kGeometryNormals;
    InstanceTarget position = InstanceFindElement(data, elements, &locks, D3DDECLUSAGE_POSITION, 0);
    InstanceTarget normal = InstanceFindElement(data, elements, &locks, D3DDECLUSAGE_NORMAL, 0);
    const int32_t n = geometry->numVertices;
    if (start != end && factor != 0.0f) {
        if (position.memory) {
            VertexConvertLerp3(position.type, position.memory, &from.vertices->x, &to.vertices->x, factor, n,
                               position.stride);
        }
        if (normals && normal.memory) {
            VertexConvertLerp3(normal.type, normal.memory, &from.normals->x, &to.normals->x, factor, n,
                               normal.stride);
        }
    } else {
        if ((changed & kInstancedPositions) && position.memory) {
            VertexConvert3(position.type, position.memory, &from.vertices->x, n, position.stride);
        }
        if (normals && (changed & kInstancedNormals) && normal.memory) {
            VertexConvert3(normal.type, normal.memory, &from.normals->x, n, normal.stride);
        }
    }
    InstanceWriteColours(data, elements, &locks,
                         geometry->format & kGeometryPreLit ? geometry->preLitColours : nullptr, changed,
                         reinstance);
    for (int32_t set = 0; set < geometry->numTexCoordSets; ++set) {
        InstanceTarget target = InstanceFindElement(data, elements, &locks, D3DDECLUSAGE_TEXCOORD, set);
        if ((changed & (kInstancedTexCoords0 << set)) && target.memory) {
            VertexConvert2(target.type, target.memory, &geometry->texCoords[set]->u, n, target.stride);
        }
    }
    InstanceTarget tangent = InstanceFindElement(data, elements, &locks, D3DDECLUSAGE_TANGENT, 0);
    if (tangent.memory && geometry->numTexCoordSets > 0 && (changed & 0xFF2)) {
        VertexTangentsWrite(&from.vertices->x, &geometry->texCoords[geometry->numTexCoordSets - 1]->u, data,
                            tangent.type, tangent.memory, tangent.stride);
    }
    InstanceUnlockStreams(data, &locks);
    return 1;
}

int32_t AtomicReinstance(void* object, ResourcesEntry* entry, InstanceCallBack instance)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* geometry = atomic->geometry;
    if (geometry->numMorphTargets == 1) {
        return !instance || instance(atomic, InstancedDataFromEntry(entry), 1) ? 1 : 0;
    }
    if (!(atomic->interpolator.flags & kInterpolatorMoved) && !geometry->lockFlags) {
        return 1;
    }
    const uint16_t saved = geometry->lockFlags;
    geometry->lockFlags |= kInstancedPositions | kInstancedNormals;
    AtomicInstance(atomic, InstancedDataFromEntry(entry), 1);
    geometry->lockFlags = saved;
    return 1;
}

ResourcesEntry* AtomicInstancedDataGet(Atomic* atomic, InstanceCallBack instance,
                                       ReinstanceCallBack reinstance, int32_t* ok)
{
    Geometry* geometry = atomic->geometry;
    *ok = 1;
    if (!geometry || geometry->numVertices < 1 || !geometry->mesh || geometry->mesh->numMeshes == 0) {
        return nullptr;
    }
    ResourcesEntry* entry = nullptr;
    if ((geometry->format & kGeometryNative) && geometry->instanced) {
        entry = geometry->instanced;
    } else if ((geometry->format & kGeometryNative) && !geometry->morphTargets[0].vertices) {
        // Native data that is gone cannot be rebuilt: a native geometry keeps no vertex arrays.
        return nullptr;
    } else {
        const bool shared = geometry->numMorphTargets == 1;
        ResourcesEntry** slot = shared ? &geometry->instanced : &atomic->instanced;
        entry = *slot;
        if (entry && InstancedDataFromEntry(entry)->serial == geometry->mesh->serial) {
            if (geometry->lockFlags || geometry->numMorphTargets > 1) {
                if (reinstance && !reinstance(atomic, entry, instance)) {
                    ResourcesFreeEntry(entry);
                    *ok = 0;
                    return nullptr;
                }
                atomic->interpolator.flags &= ~kInterpolatorMoved;
                geometry->lockFlags = 0;
            }
            ResourcesUseEntry(entry);
        } else {
            if (entry) {
                ResourcesFreeEntry(entry);
            }
            entry = InstancedDataCreate(atomic, shared ? static_cast<void*>(geometry) : atomic,
                                        kInstancedAtomic, slot, geometry->mesh, instance,
                                        geometry->format & kGeometryNativeInstance);
            if (!entry) {
                *ok = 0;
                return nullptr;
            }
            geometry->lockFlags = 0;
        }
    }
    // Instanced to be saved, not drawn.
    return (geometry->format & kGeometryNativeInstance) ? nullptr : entry;
}

int32_t AtomicNodeBody(PipelineNode* node, const PipelineExecution* execution)
{
    auto* atomic = static_cast<Atomic*>(execution->data);
    Geometry* geometry = atomic->geometry;
    const auto* callbacks = static_cast<const AllInOneNodeData*>(node->privateData);
    int32_t ok = 1;
    ResourcesEntry* entry = AtomicInstancedDataGet(atomic, callbacks->instance, callbacks->reinstance, &ok);
    if (!entry) {
        return ok;
    }
    if (callbacks->lighting) {
        callbacks->lighting(atomic);
    }
    Frame* frame = AtomicGetFrame(atomic);
    const Matrix* matrix = frame ? FrameGetLTM(frame) : nullptr;
    D3D9SetWorldMatrix(matrix);

    uint32_t lighting = 0;
    D3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    const uint32_t normalize = lighting && D3D9MatrixScalesNormals(matrix) ? 1 : 0;
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, normalize);
    if (callbacks->render) {
        callbacks->render(entry, atomic, kInstancedAtomic, geometry->format);
    }
    return 1;
}
