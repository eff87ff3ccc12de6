// Decoding built meshes back into triangles and checking them.
#include "tools/scenebuild/meshcheck.h"

#include <algorithm>
#include <array>
#include <set>

#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"

namespace {

using Key = std::array<uintptr_t, 4>;

// Rotated so the smallest index comes first (winding kept), or sorted.
Key Canonical(const uint16_t v[3], const Material* material, bool keepsWinding)
{
    std::array<uint16_t, 3> t = {v[0], v[1], v[2]};
    if (keepsWinding) {
        while (t[0] > t[1] || t[0] > t[2]) {
            std::rotate(t.begin(), t.begin() + 1, t.end());
        }
    } else {
        std::sort(t.begin(), t.end());
    }
    return {t[0], t[1], t[2], reinterpret_cast<uintptr_t>(material)};
}

bool SharesVertex(const uint16_t* a, const uint16_t* b)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (a[i] == b[j]) {
                return true;
            }
        }
    }
    return false;
}

std::string CheckPasses(const Mesh& mesh)
{
    // Split into maximal runs of vertex-disjoint triangles; each run must be
    // a pass: every triangle of a run is blocked by one of the run before.
    std::vector<std::vector<const uint16_t*>> passes(1);
    std::set<uint16_t> used;
    for (uint32_t i = 0; i + 2 < mesh.numIndices; i += 3) {
        const uint16_t* t = mesh.indices + i;
        if (used.count(t[0]) || used.count(t[1]) || used.count(t[2])) {
            passes.emplace_back();
            used.clear();
        }
        used.insert(t, t + 3);
        passes.back().push_back(t);
    }
    for (size_t p = 1; p < passes.size(); ++p) {
        for (const uint16_t* t : passes[p]) {
            bool blocked = std::any_of(passes[p - 1].begin(), passes[p - 1].end(),
                                       [&](const uint16_t* u) { return SharesVertex(t, u); });
            if (!blocked) {
                return "a list triangle could have gone into an earlier pass";
            }
        }
    }
    return {};
}

} // namespace

std::vector<DecodedTriangle> MeshHeaderDecode(const MeshHeader* header)
{
    std::vector<DecodedTriangle> triangles;
    const Mesh* meshes = MeshHeaderGetMeshes(header);
    const bool strips = (header->flags & kMeshPrimitiveMask) == kMeshTriangleStrip;
    for (uint32_t m = 0; m < header->numMeshes; ++m) {
        const Mesh& mesh = meshes[m];
        const uint16_t* s = mesh.indices;
        if (!strips) {
            for (uint32_t i = 0; i + 2 < mesh.numIndices; i += 3) {
                triangles.push_back({{s[i], s[i + 1], s[i + 2]}, mesh.material});
            }
            continue;
        }
        for (uint32_t i = 0; i + 2 < mesh.numIndices; ++i) {
            uint16_t a = s[i], b = s[i + 1], c = s[i + 2];
            if (a == b || b == c || a == c) {
                continue;
            }
            if (i % 2 == 0) {
                triangles.push_back({{a, b, c}, mesh.material});
            } else {
                triangles.push_back({{b, a, c}, mesh.material});
            }
        }
    }
    return triangles;
}

std::string MeshCheckHeader(const MeshHeader* header, const MeshShape& shape, Material* const materials[3],
                            bool keepsWinding)
{
    std::multiset<Key> expected;
    std::set<const Material*> used;
    for (const ShapeTriangle& t : shape.triangles) {
        expected.insert(Canonical(t.vertex, materials[t.material], keepsWinding));
        used.insert(materials[t.material]);
    }
    std::multiset<Key> decoded;
    for (const DecodedTriangle& t : MeshHeaderDecode(header)) {
        decoded.insert(Canonical(t.vertex, t.material, keepsWinding));
    }
    if (decoded != expected) {
        return "decoded triangles differ from the input";
    }
    if (header->numMeshes != used.size()) {
        return "not one mesh per material";
    }
    const Mesh* meshes = MeshHeaderGetMeshes(header);
    bool transparentSeen = false;
    std::set<const Material*> seen;
    for (uint32_t m = 0; m < header->numMeshes; ++m) {
        if (!seen.insert(meshes[m].material).second) {
            return "a material has two meshes";
        }
        bool transparent = MaterialIsTransparent(meshes[m].material);
        if (transparentSeen && !transparent) {
            return "an opaque mesh after a transparent one";
        }
        transparentSeen |= transparent;
        if ((header->flags & kMeshPrimitiveMask) == kMeshTriangleList) {
            std::string problem = CheckPasses(meshes[m]);
            if (!problem.empty()) {
                return problem;
            }
        }
    }
    return {};
}
