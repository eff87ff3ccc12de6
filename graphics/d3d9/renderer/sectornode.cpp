// The world-sector pipeline node: builds a sector's instanced data once (one
// managed stream; sector geometry never changes after loading), lights the
// sector and hands it to the render callback with the identity transform.
#include "graphics/core/instance.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/instancewrite.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/world.h"

namespace {

uint32_t CurrentWorldFormat()
{
    const auto* world = static_cast<const World*>(EngineGetInstance()->currentWorld);
    return world ? world->format : 0;
}

} // namespace

int32_t SectorInstance(void* object, InstancedData* data, int32_t)
{
    auto* sector = static_cast<WorldSector*>(object);
    const uint32_t format = CurrentWorldFormat();
    const uint32_t extension = D3D9WorldSectorGetExtension(sector);
    data->numVertices = sector->numVertices;
    const uint32_t normalType =
        (VertexDeclTypesGet() & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3;

    D3DVERTEXELEMENT9 elements[kInstanceMaxElements];
    uint32_t count = 0;
    InstancedStream& stream = data->streams[0];
    auto add = [&](uint16_t bit, uint32_t type, uint32_t usage, uint32_t usageIndex) {
        elements[count++] = {0, static_cast<WORD>(stream.stride), static_cast<BYTE>(type),
                             0, static_cast<BYTE>(usage),         static_cast<BYTE>(usageIndex)};
        stream.stride += VertexElementTypeSize(type);
        stream.elementMask |= bit;
    };
    add(kInstancedPositions, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    if (format & kGeometryNormals) {
        add(kInstancedNormals, normalType, D3DDECLUSAGE_NORMAL, 0);
    }
    if (format & kGeometryPreLit) {
        add(kInstancedPreLit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    }
    const bool set0 = format & (kGeometryTextured | kGeometryTextured2);
    const bool set1 = format & kGeometryTextured2;
    if (set0) {
        add(kInstancedTexCoords0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0);
    }
    if (set1) {
        add(kInstancedTexCoords0 << 1, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1);
    }
    if (extension & kD3D9ExtensionTangents) {
        add(0, normalType, D3DDECLUSAGE_TANGENT, 0);
    }
    elements[count] = D3DDECL_END();
    if (!D3D9VertexDeclarationCreate(elements, &data->declaration)) {
        return 0;
    }
    stream.managed = 1;
    if (!D3D9VertexBufferCreateSpace(stream.stride, data->numVertices * stream.stride, &stream.buffer,
                                     &stream.offset)) {
        stream = {};
        return 0;
    }
    data->useOffsets = 0;
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        meshes[i].baseVertexIndex = stream.offset / stream.stride + meshes[i].minVertex;
    }

    InstanceLocks locks;
    uint32_t changed = 0;
    InstanceLockStreams(data, 1, 0, &changed, &locks);
    const int32_t n = sector->numVertices;
    auto target = [&](uint32_t usage, uint32_t index) {
        return InstanceFindElement(data, elements, &locks, usage, index);
    };
    const InstanceTarget position = target(D3DDECLUSAGE_POSITION, 0);
    if (position.memory) {
        VertexConvert3(position.type, position.memory, &sector->vertices->x, n, position.stride);
    }
    const InstanceTarget normal = target(D3DDECLUSAGE_NORMAL, 0);
    if (normal.memory && sector->normals) {
        VertexConvertPackedNormals(normal.type, normal.memory, &sector->normals->x, n, normal.stride);
    }
    InstanceWriteColours(data, elements, &locks, (format & kGeometryPreLit) ? sector->preLitColours : nullptr,
                         changed, 0);
    for (uint32_t set = 0; set < 2; ++set) {
        const InstanceTarget coords = target(D3DDECLUSAGE_TEXCOORD, set);
        if (coords.memory && sector->texCoords[set]) {
            VertexConvert2(coords.type, coords.memory, &sector->texCoords[set]->u, n, coords.stride);
        }
    }
    const InstanceTarget tangent = target(D3DDECLUSAGE_TANGENT, 0);
    const TexCoords* last = set1 ? sector->texCoords[1] : (set0 ? sector->texCoords[0] : nullptr);
    if (tangent.memory && last) {
        VertexTangentsWrite(&sector->vertices->x, &last->u, data, tangent.type, tangent.memory,
                            tangent.stride);
    }
    InstanceUnlockStreams(data, &locks);
    return 1;
}

ResourcesEntry* SectorInstancedDataGet(WorldSector* sector, InstanceCallBack instance, int32_t* ok)
{
    *ok = 1;
    if (sector->numVertices < 1 || !sector->mesh || sector->mesh->numMeshes == 0) {
        return nullptr;
    }
    const uint32_t format = CurrentWorldFormat();
    ResourcesEntry* entry = sector->instanced;
    if ((format & kGeometryNative) && !entry) {
        // A native sector keeps no vertex or index arrays to build from.
        return nullptr;
    }
    if (!(format & kGeometryNative)) {
        if (!entry || InstancedDataFromEntry(entry)->serial != sector->mesh->serial) {
            if (entry) {
                ResourcesFreeEntry(entry);
            }
            entry = InstancedDataCreate(sector, sector, kInstancedWorldSector, &sector->instanced,
                                        sector->mesh, instance, format & kGeometryNativeInstance);
            if (!entry) {
                *ok = 0;
                return nullptr;
            }
        } else {
            ResourcesUseEntry(entry);
        }
    }
    // Instanced to be saved, not drawn.
    return (format & kGeometryNativeInstance) ? nullptr : entry;
}

int32_t SectorNodeBody(PipelineNode* node, const PipelineExecution* execution)
{
    auto* sector = static_cast<WorldSector*>(execution->data);
    const auto* callbacks = static_cast<const AllInOneNodeData*>(node->privateData);
    int32_t ok = 1;
    ResourcesEntry* entry = SectorInstancedDataGet(sector, callbacks->instance, &ok);
    if (!entry) {
        return ok;
    }
    const uint32_t format = CurrentWorldFormat();
    if (callbacks->lighting) {
        callbacks->lighting(sector);
    }
    D3D9SetWorldMatrix(nullptr);
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    if (callbacks->render) {
        callbacks->render(entry, sector, kInstancedWorldSector, format);
    }
    return 1;
}
