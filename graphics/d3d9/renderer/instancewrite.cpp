#include "graphics/d3d9/renderer/instancewrite.h"

#include <cstring>
#include <utility>

#include "graphics/core/memory.h"
#include "graphics/core/vector.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/scenetypes.h"

namespace {

constexpr uint32_t kTangentHint = 0x1050D;

void Accumulate(const float* p, const float* t, float* acc, uint32_t a, uint32_t b, uint32_t c)
{
    float e1[3], e2[3];
    for (int k = 0; k < 3; ++k) {
        e1[k] = p[3 * b + k] - p[3 * a + k];
        e2[k] = p[3 * c + k] - p[3 * a + k];
    }
    const float du1 = t[2 * b] - t[2 * a], dv1 = t[2 * b + 1] - t[2 * a + 1];
    const float du2 = t[2 * c] - t[2 * a], dv2 = t[2 * c + 1] - t[2 * a + 1];
    const float det = dv2 * du1 - du2 * dv1;
    if (!(det > 1e-12f || det < -1e-12f)) {
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const float tangent = (e1[k] * dv2 - e2[k] * dv1) / det;
        acc[3 * a + k] += tangent;
        acc[3 * b + k] += tangent;
        acc[3 * c + k] += tangent;
    }
}

} // namespace

uint32_t InstanceDeclarationElements(InstancedData* data, D3DVERTEXELEMENT9* elements)
{
    UINT count = kInstanceMaxElements;
    elements[0] = D3DDECL_END();
    if (data->declaration) {
        data->declaration->GetDeclaration(elements, &count);
    }
    uint32_t streams = 0;
    for (uint32_t i = 0; i < kInstanceMaxElements && elements[i].Type != D3DDECLTYPE_UNUSED; ++i) {
        streams = elements[i].Stream + 1u > streams ? elements[i].Stream + 1u : streams;
    }
    return streams > 2 ? 2 : streams;
}

bool InstanceLockStreams(InstancedData* data, uint32_t streamCount, int32_t reinstance, uint32_t* changed,
                         InstanceLocks* locks)
{
    if (!reinstance) {
        *changed = 0xFFF;
    }
    const uint32_t asked = *changed;
    for (uint32_t s = 0; s < streamCount; ++s) {
        InstancedStream& stream = data->streams[s];
        if (!stream.buffer || (reinstance && asked != 0xFFF && !(asked & stream.elementMask))) {
            continue;
        }
        DWORD flags = D3DLOCK_NOSYSLOCK;
        if (reinstance && !stream.managed) {
            // A discarded buffer keeps nothing: everything in it is rewritten.
            flags |= D3DLOCK_DISCARD;
            *changed |= stream.elementMask;
        }
        void* memory = nullptr;
        stream.buffer->Lock(stream.offset, data->numVertices * stream.stride, &memory, flags);
        locks->memory[s] = static_cast<uint8_t*>(memory);
    }
    return true;
}

void InstanceUnlockStreams(InstancedData* data, InstanceLocks* locks)
{
    for (uint32_t s = 0; s < 2; ++s) {
        if (locks->memory[s]) {
            D3D9BufferUnlock(data->streams[s].buffer);
            locks->memory[s] = nullptr;
        }
    }
}

InstanceTarget InstanceFindElement(InstancedData* data, const D3DVERTEXELEMENT9* elements,
                                   const InstanceLocks* locks, uint32_t usage, uint32_t usageIndex)
{
    for (uint32_t i = 0; i < kInstanceMaxElements && elements[i].Type != D3DDECLTYPE_UNUSED; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Usage == usage && e.UsageIndex == usageIndex && e.Stream < 2) {
            uint8_t* base = locks->memory[e.Stream];
            return {base ? base + e.Offset : nullptr, e.Type, data->streams[e.Stream].stride};
        }
    }
    return {nullptr, 0, 0};
}

void InstanceWriteColours(InstancedData* data, const D3DVERTEXELEMENT9* elements, const InstanceLocks* locks,
                          const RGBA* colours, uint32_t changed, int32_t reinstance)
{
    InstancedMesh* meshes = InstancedDataMeshes(data);
    if (!colours) {
        if (!reinstance) {
            for (uint32_t i = 0; i < data->numMeshes; ++i) {
                meshes[i].vertexAlpha = 0;
            }
        }
        return;
    }
    const InstanceTarget target = InstanceFindElement(data, elements, locks, D3DDECLUSAGE_COLOR, 0);
    if (!(changed & kInstancedPreLit) || !target.memory) {
        return;
    }
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        InstancedMesh& mesh = meshes[i];
        mesh.vertexAlpha =
            VertexColorsWrite(target.memory + size_t(mesh.minVertex) * target.stride,
                              &colours[mesh.minVertex].red, int32_t(mesh.numVertices), target.stride);
    }
}

int32_t VertexTangentsWrite(const float* positions, const float* texCoords, InstancedData* data,
                            uint32_t type, void* dst, uint32_t stride)
{
    const uint32_t n = data->numVertices;
    auto* acc = static_cast<float*>(MemoryAllocate(sizeof(float) * 3 * (n ? n : 1), kTangentHint));
    if (!acc) {
        return 0;
    }
    std::memset(acc, 0, sizeof(float) * 3 * n);
    const uint16_t* indices = nullptr;
    if (data->indexBuffer) {
        void* locked = nullptr;
        data->indexBuffer->Lock(0, 0, &locked, D3DLOCK_READONLY);
        indices = static_cast<const uint16_t*>(locked);
        if (!indices) {
            MemoryFree(acc);
            return 0;
        }
    }
    const InstancedMesh* meshes = InstancedDataMeshes(data);
    const bool strip = data->primType == D3DPT_TRIANGLESTRIP;
    for (uint32_t m = 0; m < data->numMeshes; ++m) {
        const InstancedMesh& mesh = meshes[m];
        const uint32_t count = indices ? mesh.numIndices : mesh.numVertices;
        // Indices count from the mesh's minimum vertex; an unindexed mesh
        // walks its vertices in order.
        auto vertex = [&](uint32_t k) {
            return mesh.minVertex + (indices ? indices[mesh.startIndex + k] : k);
        };
        auto valid = [&](uint32_t v) { return v < n; };
        if (strip) {
            for (uint32_t k = 0; k + 2 < count; ++k) {
                uint32_t a = vertex(k), b = vertex(k + 1), c = vertex(k + 2);
                if (a == b || b == c || a == c || !valid(a) || !valid(b) || !valid(c)) {
                    continue;
                }
                if (k & 1) {
                    std::swap(a, c);
                }
                Accumulate(positions, texCoords, acc, a, b, c);
            }
        } else if (data->primType == D3DPT_TRIANGLELIST) {
            for (uint32_t k = 0; k + 2 < count; k += 3) {
                const uint32_t a = vertex(k), b = vertex(k + 1), c = vertex(k + 2);
                if (valid(a) && valid(b) && valid(c)) {
                    Accumulate(positions, texCoords, acc, a, b, c);
                }
            }
        }
    }
    if (indices) {
        D3D9BufferUnlock(data->indexBuffer);
    }
    for (uint32_t v = 0; v < n; ++v) {
        float* t = acc + 3 * v;
        const float squared = t[0] * t[0] + t[1] * t[1] + t[2] * t[2];
        // An untouched vertex keeps (0, 0, 0) rather than a NaN.
        const float scale = squared > 0.0f ? VectorInvSqrt(squared) : 0.0f;
        t[0] *= scale;
        t[1] *= scale;
        t[2] *= scale;
    }
    VertexConvert3(type, dst, acc, int32_t(n), stride);
    MemoryFree(acc);
    return 1;
}
