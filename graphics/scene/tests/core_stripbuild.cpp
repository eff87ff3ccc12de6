// The strip builders on tangled input: edges met by three triangles, flipped
// copies of triangles, equally wound neighbours, corners at the highest
// vertex index and triangles with a repeated corner.
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <utility>

#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/tests/scenetesting.h"
#include "tools/scenebuild/meshcheck.h"
#include "tools/scenebuild/meshshapes.h"

namespace {

class SceneStripBuild : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
        for (Material*& m : materials_) {
            m = MaterialCreate();
        }
        materials_[2]->colour.alpha = 128;
    }
    void TearDown() override
    {
        for (Material* m : materials_) {
            MaterialRelease(m);
        }
        SceneFixture::TearDown();
    }

    Material* materials_[3] = {};
};

/// Triangles over few vertices near the top of the index range, so that
/// edges meet many triangles; every seventh a flipped copy of an earlier
/// one; with `repeatedCorners`, every eleventh has its last corner equal to
/// its first.
MeshShape Tangle(uint32_t seed, bool repeatedCorners)
{
    MeshShape shape{"tangle " + std::to_string(seed) + (repeatedCorners ? " with repeated corners" : ""), {}};
    std::mt19937 random(seed);
    const uint32_t vertices = 4 + random() % 24;
    const uint32_t count = 1 + random() % 200;
    auto corner = [&] { return uint16_t(0xFFFF - random() % vertices); };
    while (shape.triangles.size() < count) {
        ShapeTriangle t{{corner(), corner(), corner()}, uint16_t(random() % 3)};
        if (random() % 7 == 0 && !shape.triangles.empty()) {
            t = shape.triangles[random() % shape.triangles.size()];
            std::swap(t.vertex[0], t.vertex[1]);
        }
        if (repeatedCorners && random() % 11 == 0) {
            t.vertex[2] = t.vertex[0];
        }
        const bool degenerate =
            t.vertex[0] == t.vertex[1] || t.vertex[1] == t.vertex[2] || t.vertex[2] == t.vertex[0];
        if (!degenerate || repeatedCorners) {
            shape.triangles.push_back(t);
        }
    }
    return shape;
}

/// FNV-1a over every mesh's index count and indices.
uint64_t StripHash(const MeshHeader* header)
{
    uint64_t hash = 1469598103934665603ull;
    auto add = [&](uint32_t value) { hash = (hash ^ value) * 1099511628211ull; };
    const Mesh* meshes = MeshHeaderGetMeshes(header);
    for (uint32_t m = 0; m < header->numMeshes; ++m) {
        add(meshes[m].numIndices);
        for (uint32_t i = 0; i < meshes[m].numIndices; ++i) {
            add(meshes[m].indices[i]);
        }
    }
    return hash;
}

TEST_F(SceneStripBuild, EveryBuilderDrawsATangleOnce)
{
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const MeshShape shape = Tangle(seed, false);
        for (size_t b = 0; b < kStripBuilderCount; ++b) {
            const MeshBuilderEntry& builder = kMeshBuilders[b];
            MeshBuildList* list = MeshShapeBuildList(shape, materials_);
            const int64_t baseline = CountingMemory::live;
            MeshHeader* header = builder.strips(list, nullptr);
            ASSERT_NE(header, nullptr) << builder.name << " " << shape.name;
            EXPECT_EQ(MeshCheckHeader(header, shape, materials_, builder.keepsWinding), "")
                << builder.name << " " << shape.name;
            MeshHeaderDestroy(header);
            // The build's scratch is all given back.
            EXPECT_EQ(CountingMemory::live, baseline) << builder.name << " " << shape.name;
            MeshBuildListDestroy(list);
        }
    }
}

// The strips themselves, pinned (the builders' order of triangles and joins
// is what the scene files hold), also for triangles with a repeated corner,
// which the strips' own joins would hide from a decoding check. The hashes
// are those of the builder with separate edge records that this one replaced.
TEST_F(SceneStripBuild, TangledStripsArePinned)
{
    struct Case
    {
        uint32_t seed;
        bool repeatedCorners;
        uint64_t hashes[kStripBuilderCount]; ///< by strip builder, in kMeshBuilders order
    } cases[] = {
        {3,
         false,
         {12444119128805936056ull, 6440930093372686793ull, 12444119128805936056ull, 6440930093372686793ull,
          12077963319515815048ull, 4448603219412355445ull}},
        {8,
         true,
         {8667414138828443649ull, 12057828677153968771ull, 15529090256530348894ull, 6613550843721569325ull,
          12499291230948479783ull, 13216531618630636829ull}},
        {21,
         true,
         {12439539646546897050ull, 13218962643722906448ull, 11708200337048998266ull, 17836311373534097667ull,
          17267320662222957173ull, 3533260783973682597ull}},
    };
    for (const Case& c : cases) {
        const MeshShape shape = Tangle(c.seed, c.repeatedCorners);
        for (size_t b = 0; b < kStripBuilderCount; ++b) {
            MeshBuildList* list = MeshShapeBuildList(shape, materials_);
            MeshHeader* header = kMeshBuilders[b].strips(list, nullptr);
            MeshBuildListDestroy(list);
            ASSERT_NE(header, nullptr);
            EXPECT_EQ(StripHash(header), c.hashes[b]) << kMeshBuilders[b].name << " " << shape.name;
            MeshHeaderDestroy(header);
        }
    }
}

} // namespace
