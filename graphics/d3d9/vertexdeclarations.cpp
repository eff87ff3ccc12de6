// The shared vertex declarations: one device declaration per distinct element
// list, kept while any user holds it and released at device stop.

#include <cstring>

#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/driverstate.h"

namespace {

constexpr uint32_t kArrayHint = 0x1040411;
constexpr uint32_t kCopyHint = 0x40411;

/// The cache holds one reference of its own on every live declaration, so
/// that a declaration the device still has bound is never freed under it.
struct DeclarationEntry
{
    IDirect3DVertexDeclaration9* declaration; ///< null once the last user released it
    uint32_t count;                           ///< elements with the end marker
    D3DVERTEXELEMENT9* elements;
};

uint32_t CountElements(const D3DVERTEXELEMENT9* elements)
{
    uint32_t count = 1;
    while (elements[count - 1].Type != D3DDECLTYPE_UNUSED) {
        ++count;
    }
    return count;
}

/// Byte-wise comparison of two element lists (each element is 8 bytes).
bool SameElements(const D3DVERTEXELEMENT9* a, const D3DVERTEXELEMENT9* b, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (a[i].Stream != b[i].Stream || a[i].Offset != b[i].Offset || a[i].Type != b[i].Type ||
            a[i].Method != b[i].Method || a[i].Usage != b[i].Usage || a[i].UsageIndex != b[i].UsageIndex) {
            return false;
        }
    }
    return true;
}

DeclarationEntry* Entries(int32_t* count)
{
    GrowArray* array = D3D9State().declarations;
    *count = array ? GrowArrayGetCount(array) : 0;
    return array ? static_cast<DeclarationEntry*>(GrowArrayGetRawData(array)) : nullptr;
}

} // namespace

int32_t D3D9VertexDeclarationCreate(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out)
{
    D3D9DriverState& s = D3D9State();
    *out = nullptr;
    const uint32_t count = CountElements(elements);
    int32_t entries = 0;
    DeclarationEntry* table = Entries(&entries);
    for (int32_t i = 0; i < entries; ++i) {
        DeclarationEntry& entry = table[i];
        if (entry.count != count || !SameElements(entry.elements, elements, count)) {
            continue;
        }
        if (!entry.declaration &&
            FAILED(s.device->CreateVertexDeclaration(entry.elements, &entry.declaration))) {
            entry.declaration = nullptr;
            return 0;
        }
        entry.declaration->AddRef();
        *out = entry.declaration;
        return 1;
    }
    if (!s.declarations) {
        s.declarations = GrowArrayCreate(sizeof(DeclarationEntry), kArrayHint);
        if (!s.declarations) {
            return 0;
        }
    }
    auto* copy =
        static_cast<D3DVERTEXELEMENT9*>(MemoryAllocate(count * sizeof(D3DVERTEXELEMENT9), kCopyHint));
    if (!copy) {
        return 0;
    }
    IDirect3DVertexDeclaration9* declaration = nullptr;
    if (FAILED(s.device->CreateVertexDeclaration(elements, &declaration))) {
        MemoryFree(copy);
        return 0;
    }
    auto* entry = static_cast<DeclarationEntry*>(GrowArrayIncSize(s.declarations, kArrayHint));
    if (!entry) {
        declaration->Release();
        MemoryFree(copy);
        return 0;
    }
    std::memcpy(copy, elements, count * sizeof(D3DVERTEXELEMENT9));
    *entry = {declaration, count, copy};
    declaration->AddRef();
    *out = declaration;
    return 1;
}

void D3D9VertexDeclarationRelease(IDirect3DVertexDeclaration9* declaration)
{
    if (!declaration) {
        return;
    }
    int32_t entries = 0;
    DeclarationEntry* table = Entries(&entries);
    for (int32_t i = 0; i < entries; ++i) {
        if (table[i].declaration == declaration) {
            // Only the cache's own reference left: the declaration goes.
            if (declaration->Release() == 1) {
                declaration->Release();
                table[i].declaration = nullptr;
            }
            return;
        }
    }
    declaration->Release();
}

void D3D9VertexDeclarationsClose()
{
    D3D9DriverState& s = D3D9State();
    int32_t entries = 0;
    DeclarationEntry* table = Entries(&entries);
    for (int32_t i = 0; i < entries; ++i) {
        if (table[i].declaration) {
            while (table[i].declaration->Release() != 0) {
            }
        }
        MemoryFree(table[i].elements);
    }
    if (s.declarations) {
        GrowArrayDestroy(s.declarations);
        s.declarations = nullptr;
    }
}
