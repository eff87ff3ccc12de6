// The generated soldier: written and read back as a clump, with its
// hierarchy on the frames and its skin on the geometry.
#include "graphics/animation/skin/tests/skintesting.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "tools/charactergen/characterbuild.h"

namespace {

class SkinCharacter : public SkinFixture
{
  protected:
    void SetUp() override
    {
        SkinFixture::SetUp();
        ASSERT_TRUE(StartSkin());
    }

    static Atomic* FirstAtomic(Clump* clump)
    {
        Atomic* atomic = nullptr;
        ClumpVisitAtomics(
            clump, [](Atomic* a, void* data) { return *static_cast<Atomic**>(data) = a; }, &atomic);
        return atomic;
    }
};

TEST_F(SkinCharacter, SoldierReadsBackWithItsHierarchyAndSkin)
{
    Skeleton skeleton;
    std::string error;
    ASSERT_TRUE(SkeletonRead(OLAI_TEST_SOURCE_DIR "/../../../../data/characters/soldier-skeleton.txt",
                             &skeleton, &error))
        << error;
    Clump* built = CharacterBuildSoldier(skeleton);
    ASSERT_NE(built, nullptr);
    const Bytes bytes =
        WriteBytes([&](Stream* stream) { return ClumpStreamWrite(built, stream) != nullptr; });
    ClumpDestroy(built);
    ASSERT_FALSE(bytes.empty());
    Clump* clump = ReadBytes<Clump*>(bytes, [](Stream* stream) {
        return StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
    });
    ASSERT_NE(clump, nullptr);

    // The clump's frame places the soldier; the hierarchy is on its first child, bone 0.
    Frame* bone0 = nullptr;
    FrameForAllChildren(
        ClumpGetFrame(clump), [](Frame* child, void* data) { return *static_cast<Frame**>(data) = child; },
        &bone0);
    ASSERT_NE(bone0, nullptr);
    Hierarchy* hierarchy = FrameGetHierarchy(bone0);
    ASSERT_NE(hierarchy, nullptr);
    EXPECT_GE(hierarchy->nodeCount, 36);
    HierarchyAttachFrames(hierarchy);
    ASSERT_NE(hierarchy->nodes[17].frame, nullptr);
    EXPECT_GT(FrameGetLTM(hierarchy->nodes[17].frame)->pos.y,
              FrameGetLTM(hierarchy->nodes[0].frame)->pos.y + 1.4f);
    ASSERT_NE(hierarchy->nodes[35].frame, nullptr);
    EXPECT_LT(FrameGetLTM(hierarchy->nodes[35].frame)->pos.x, -0.15f); // the right hand, on -x

    const Atomic* atomic = FirstAtomic(clump);
    ASSERT_NE(atomic, nullptr);
    const Skin* skin = SkinGeometryGetSkin(atomic->geometry);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->numBones, uint32_t(hierarchy->nodeCount));
    EXPECT_EQ(skin->maxWeights, 4u); // the hips
    // Read from a stream, a skinned atomic is given the skin pipeline.
    EXPECT_EQ(SkinAtomicGetType(atomic), 1u);
    ClumpDestroy(clump);
}

} // namespace
