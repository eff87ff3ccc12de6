// The cache of assembled vertex shaders, sorted by descriptor, in the
// renderer module's data.
#include "graphics/d3d9/renderer/vertexshader.h"

#include <algorithm>
#include <string>

#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/rendererstate.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "platform/d3dx9/d3dx9shader.h"

namespace {

constexpr uint32_t kCacheSize = 256;
constexpr uint32_t kMaxBudget = 256;
constexpr uint32_t kNormalisedDeclTypes =
    D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N;

struct CacheEntry
{
    VertexShaderDescriptor descriptor;
    uint32_t stamp;
    IDirect3DVertexShader9* shader;
    VertexShaderConstantLayout layout;
};

/// The cache, in the renderer module's data: entries sorted by descriptor.
struct ShaderCache
{
    CacheEntry entries[kCacheSize];
    uint32_t count;
    uint32_t lastHit;
    int profile;
    uint32_t budget;
};

ShaderCache& Cache()
{
    return *static_cast<ShaderCache*>(RendererModuleData());
}

void CacheEmpty(ShaderCache& cache)
{
    cache.count = 0;
    cache.entries[0] = {0xFFFFFFFFu, 0xFFFFFFFFu, nullptr, {}};
    cache.lastHit = 0;
}

bool DeviceHasWFog()
{
    const D3DCAPS9* caps = D3D9GetCaps();
    return caps && (caps->RasterCaps & D3DPRASTERCAPS_WFOG) != 0;
}

uint32_t Stamp()
{
    return EngineGetInstance()->renderFrame;
}

// Sorted position of a descriptor among the first `count` entries.
uint32_t LowerBound(const ShaderCache& cache, VertexShaderDescriptor descriptor, uint32_t count)
{
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        const uint32_t mid = (low + high) / 2;
        if (cache.entries[mid].descriptor < descriptor) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

} // namespace

IDirect3DVertexShader9* VertexShaderWrite(VertexShaderDescriptor descriptor,
                                          VertexShaderConstantLayout* layout)
{
    const ShaderCache& cache = Cache();
    const std::string text =
        VertexShaderText(descriptor, cache.profile, cache.budget, DeviceHasWFog(), layout);
    if (text.empty()) {
        return nullptr;
    }
    ID3DXBuffer* tokens = nullptr;
    if (D3DXAssembleShader(text.data(), uint32_t(text.size()), nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION,
                           &tokens, nullptr) != D3DX_OK) {
        return nullptr;
    }
    IDirect3DVertexShader9* shader = nullptr;
    if (!D3D9CreateVertexShader(static_cast<const DWORD*>(tokens->GetBufferPointer()), &shader)) {
        shader = nullptr;
    }
    tokens->Release();
    return shader;
}

IDirect3DVertexShader9* VertexShaderFind(VertexShaderDescriptor descriptor,
                                         VertexShaderConstantLayout* layout)
{
    ShaderCache& cache = Cache();
    CacheEntry* entries = cache.entries;
    CacheEntry* hit = nullptr;
    if (cache.count && entries[cache.lastHit].descriptor == descriptor) {
        hit = &entries[cache.lastHit];
    } else {
        const uint32_t at = LowerBound(cache, descriptor, cache.count);
        if (at < cache.count && entries[at].descriptor == descriptor) {
            cache.lastHit = at;
            hit = &entries[at];
        }
    }
    if (hit) {
        hit->stamp = Stamp();
        if (layout) {
            *layout = hit->layout;
        }
        return hit->shader;
    }

    VertexShaderConstantLayout written;
    IDirect3DVertexShader9* shader = VertexShaderWrite(descriptor, &written);
    uint32_t at;
    if (cache.count < kCacheSize) {
        at = LowerBound(cache, descriptor, cache.count);
        std::copy_backward(entries + at, entries + cache.count, entries + cache.count + 1);
        ++cache.count;
    } else {
        // Replace the least recently used entry, then move the new entry to
        // its sorted place so the binary search keeps finding every entry.
        uint32_t oldest = 0;
        for (uint32_t i = 1; i < kCacheSize; ++i) {
            if (entries[i].stamp < entries[oldest].stamp) {
                oldest = i;
            }
        }
        if (entries[oldest].shader) {
            D3D9ReleaseObject(entries[oldest].shader);
        }
        std::copy(entries + oldest + 1, entries + kCacheSize, entries + oldest);
        at = LowerBound(cache, descriptor, kCacheSize - 1);
        std::copy_backward(entries + at, entries + kCacheSize - 1, entries + kCacheSize);
    }
    entries[at] = {descriptor, Stamp(), shader, written};
    cache.lastHit = at;
    if (layout) {
        *layout = written;
    }
    return shader;
}

void VertexShaderCacheReset()
{
    ShaderCache& cache = Cache();
    CacheEmpty(cache);
    const D3DCAPS9* caps = D3D9GetCaps();
    const uint32_t version = caps ? (caps->VertexShaderVersion & 0xFFFF) : 0;
    if (version >= 0x300) {
        cache.profile = kVertexShaderProfile2x;
    } else if (version >= 0x200) {
        cache.profile =
            caps->VS20Caps.DynamicFlowControlDepth >= 1 ? kVertexShaderProfile2x : kVertexShaderProfile20;
    } else if (version >= 0x100) {
        cache.profile = kVertexShaderProfile11;
        VertexDeclTypesSet(VertexDeclTypesGet() & ~kNormalisedDeclTypes);
    } else {
        cache.profile = kVertexShaderProfileNone;
        return;
    }
    cache.budget = caps->MaxVertexShaderConst < kMaxBudget ? caps->MaxVertexShaderConst : kMaxBudget;
}

void VertexShaderCacheFlush()
{
    ShaderCache& cache = Cache();
    for (uint32_t i = 0; i < cache.count; ++i) {
        if (cache.entries[i].shader) {
            D3D9ReleaseObject(cache.entries[i].shader);
        }
    }
    CacheEmpty(cache);
}

int VertexShaderProfile()
{
    return Cache().profile;
}
uint32_t VertexShaderBudget()
{
    return Cache().budget;
}
uint32_t VertexShaderCacheCount()
{
    return Cache().count;
}

uint32_t VertexShaderCacheDataSize()
{
    return sizeof(ShaderCache);
}
