#include <random>

#include "graphics/animation/tests/hiertesting.h"
#include "graphics/core/engine.h"

namespace {

Hierarchy* Create(std::vector<uint32_t> flags, uint32_t hierarchyFlags = 0)
{
    std::vector<int32_t> ids;
    for (size_t i = 0; i < flags.size(); ++i) {
        ids.push_back(static_cast<int32_t>(10 + i));
    }
    return HierarchyCreate(static_cast<int32_t>(flags.size()), flags.data(), ids.data(), hierarchyFlags,
                           sizeof(HierInterpKey));
}

TEST_F(HierTest, KeysToMatricesRoundTripRandomRotations)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> component(-1.0f, 1.0f);
    for (int i = 0; i < 200; ++i) {
        V3d axis = {component(random), component(random), component(random)};
        if (V3dLength(&axis) < 0.1f) {
            continue;
        }
        Matrix rotation = Identity();
        MatrixRotate(&rotation, &axis, 180.0f * component(random), kCombineReplace);
        HierInterpKey key = {};
        ASSERT_EQ(QuaternionFromMatrix(&key.rotation, &rotation), 1);
        key.translation = {1, 2, 3};
        Matrix back;
        HierKeyToMatrix(&back, &key);
        rotation.pos = {1, 2, 3};
        ExpectMatrixNear(back, rotation, 1e-3f);
        EXPECT_EQ(back.flags, 3u);
    }
}

// Chain R-A-B: M2 = L2 x L1 x L0 x P, P the world matrix of the parent
// frame's parent.
TEST_F(HierTest, ChainComposesFromTheParentFramesParent)
{
    Frame* world = FrameCreate();
    Frame* frame = FrameCreate();
    const V3d axis = {0, 1, 0};
    const V3d offset = {5, 0, -2};
    FrameRotate(world, &axis, 30.0f, kCombineReplace);
    FrameTranslate(world, &offset, kCombinePostConcat);
    FrameAddChild(world, frame);

    Hierarchy* hierarchy = Create({0, 0, kHierarchyPop});
    ASSERT_NE(hierarchy, nullptr);
    FrameSetHierarchy(frame, hierarchy);
    EXPECT_EQ(FrameGetHierarchy(frame), hierarchy);
    Pose(hierarchy);
    for (bool dirty : {true, false}) {
        if (!dirty) {
            FrameSyncDirty();
        }
        ASSERT_EQ(HierarchyUpdateMatrices(hierarchy), 1);
        const Matrix p = world->modelling;
        const Matrix m0 = Product(Local(hierarchy, 0), p);
        const Matrix m1 = Product(Local(hierarchy, 1), m0);
        const Matrix m2 = Product(Local(hierarchy, 2), m1);
        const Matrix* matrices = HierarchyGetMatrixArray(hierarchy);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(matrices) % 16, 0u);
        ExpectMatrixNear(matrices[0], m0);
        ExpectMatrixNear(matrices[2], m2);
    }
    // In local space the parent frame's parent is left out.
    hierarchy->flags |= kHierarchyLocalSpace;
    HierarchyUpdateMatrices(hierarchy);
    ExpectMatrixNear(HierarchyGetMatrixArray(hierarchy)[2],
                     Product(Local(hierarchy, 2), Product(Local(hierarchy, 1), Local(hierarchy, 0))));
    FrameDestroyHierarchy(world);
    EXPECT_EQ(TakeError(), kNoError);
}

TEST_F(HierTest, PushAndPopFlagsShapeTheTree)
{
    // R0 A3 B1: two leaves under R.
    Hierarchy* flat = Create({0, kHierarchyPush | kHierarchyPop, kHierarchyPop}, kHierarchyLocalSpace);
    ASSERT_NE(flat, nullptr);
    Pose(flat);
    HierarchyUpdateMatrices(flat);
    const Matrix* m = HierarchyGetMatrixArray(flat);
    ExpectMatrixNear(m[1], Product(Local(flat, 1), m[0]));
    ExpectMatrixNear(m[2], Product(Local(flat, 2), m[0]));
    HierarchyDestroy(flat);

    // R0 A2 C1 B1: C under A, B under R.
    Hierarchy* tree = Create({0, kHierarchyPush, kHierarchyPop, kHierarchyPop}, kHierarchyLocalSpace);
    ASSERT_NE(tree, nullptr);
    Pose(tree);
    HierarchyUpdateMatrices(tree);
    m = HierarchyGetMatrixArray(tree);
    ExpectMatrixNear(m[0], Local(tree, 0));
    ExpectMatrixNear(m[1], Product(Local(tree, 1), m[0]));
    ExpectMatrixNear(m[2], Product(Local(tree, 2), m[1]));
    ExpectMatrixNear(m[3], Product(Local(tree, 3), m[0]));

    // The subtree of A covers A and C, under R (named by its position: a
    // node index from a file may say anything).
    tree->nodes[0].nodeIndex = 1000;
    Hierarchy* sub = HierarchyCreateSub(tree, 1, kHierarchyLocalSpace, -1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->nodeCount, 2);
    EXPECT_EQ(sub->parentNode, 0);
    EXPECT_EQ(sub->flags & kHierarchySub, kHierarchySub);
    EXPECT_EQ(sub->matrices, m + 1);
    Matrix before[4];
    std::copy(m, m + 4, before);
    for (int32_t i = 0; i < 4; ++i) {
        tree->matrices[i] = Matrix{};
    }
    tree->matrices[0] = before[0];
    // The sub-hierarchy's player has its own keys: give it A's and C's.
    for (int32_t i = 0; i < 2; ++i) {
        *static_cast<HierInterpKey*>(AnimInterpolatorGetInterpKey(sub->interpolator, i)) =
            *static_cast<HierInterpKey*>(AnimInterpolatorGetInterpKey(tree->interpolator, i + 1));
    }
    HierarchyUpdateMatrices(sub);
    ExpectMatrixNear(m[1], before[1]);
    ExpectMatrixNear(m[2], before[2]);
    EXPECT_EQ(m[3].right.x, 0.0f); // B is not in the subtree
    HierarchyDestroy(sub);

    // B (a leaf) alone; the last node's subtree walk stops at the node count.
    Hierarchy* leaf = HierarchyCreateSub(tree, 3, 0, -1);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->nodeCount, 1);
    EXPECT_EQ(leaf->parentNode, 0);
    HierarchyDestroy(leaf);
    tree->nodes[2].flags = 0; // C no longer pops: the walk from A runs to the end
    Hierarchy* open = HierarchyCreateSub(tree, 1, 0, -1);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->nodeCount, 3);
    HierarchyDestroy(open);
    EXPECT_EQ(HierarchyCreateSub(tree, 4, 0, -1), nullptr);
    HierarchyDestroy(tree);
}

TEST_F(HierTest, NodeFlagsThatOverrunTheStackAreRefused)
{
    std::vector<uint32_t> deep(33, kHierarchyPush);
    deep.back() = kHierarchyPop;
    EXPECT_EQ(Create(deep), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    deep.erase(deep.begin()); // 31 pushes fit
    Hierarchy* fits = Create(deep);
    ASSERT_NE(fits, nullptr);
    HierarchyUpdateMatrices(fits);
    // Flags edited after creation are held to the stack.
    for (int32_t i = 0; i < fits->nodeCount; ++i) {
        fits->nodes[i].flags = i % 2 ? kHierarchyPop : kHierarchyPush | kHierarchyPop;
    }
    fits->nodes[0].flags = kHierarchyPop;
    EXPECT_EQ(HierarchyUpdateMatrices(fits), 1);
    HierarchyDestroy(fits);
    EXPECT_EQ(Create({kHierarchyPop, 0, kHierarchyPop}), nullptr);
    EXPECT_EQ(Create({}), nullptr);
}

int32_t CountDirtyRoots()
{
    int32_t count = 0;
    const LinkList* head = &EngineGetInstance()->dirtyFrames;
    for (const LinkList* link = head->next; link != head; link = link->next) {
        ++count;
    }
    return count;
}

class HierFramesTest : public HierTest
{
  protected:
    void SetUp() override
    {
        HierTest::SetUp();
        // root (id 10) with children a (11) and b (12): R0 A3 B1.
        root = FrameCreate();
        for (int32_t i = 0; i < 2; ++i) {
            children[i] = FrameCreate();
            FrameAddChild(root, children[i]);
            FrameSetNodeId(children[i], 11 + i);
        }
        FrameSetNodeId(root, 10);
        hierarchy = Create({0, kHierarchyPush | kHierarchyPop, kHierarchyPop});
        FrameSetHierarchy(root, hierarchy);
        ASSERT_EQ(HierarchyAttachFrames(hierarchy), hierarchy);
        Pose(hierarchy);
        FrameSyncDirty();
    }
    void TearDown() override
    {
        FrameDestroyHierarchy(root); // destroys the hierarchy with its frame
        HierTest::TearDown();
    }

    Frame* root = nullptr;
    Frame* children[2] = {};
    Hierarchy* hierarchy = nullptr;
};

TEST_F(HierFramesTest, AttachBindsNodesByFrameNodeId)
{
    EXPECT_EQ(hierarchy->nodes[0].frame, root);
    EXPECT_EQ(hierarchy->nodes[1].frame, children[0]);
    EXPECT_EQ(hierarchy->nodes[2].frame, children[1]);
    EXPECT_EQ(HierarchyFindNode(hierarchy, 12), 2);
    EXPECT_EQ(HierarchyFindNode(hierarchy, 99), -1);
    HierarchyDetachNode(hierarchy, 1);
    EXPECT_EQ(hierarchy->nodes[1].frame, nullptr);
    HierarchyDetachFrames(hierarchy);
    HierarchyAttachNodeFrames(hierarchy, 2);
    EXPECT_EQ(hierarchy->nodes[2].frame, children[1]);
    EXPECT_EQ(hierarchy->nodes[0].frame, nullptr);
}

TEST_F(HierFramesTest, ModellingModeWritesLocalMatricesAndMarksFrames)
{
    hierarchy->flags = kHierarchyUpdateModelling;
    ASSERT_EQ(FrameDirty(root), 0u);
    HierarchyUpdateMatrices(hierarchy);
    ExpectMatrixNear(children[0]->modelling, Local(hierarchy, 1));
    EXPECT_NE(FrameDirty(root), 0u);
    FrameSyncDirty();
    ExpectMatrixNear(*FrameGetLTM(children[1]), HierarchyGetMatrixArray(hierarchy)[2]);
}

TEST_F(HierFramesTest, WorldModeWritesWorldMatricesAndQueuesTheRootOnce)
{
    hierarchy->flags = kHierarchyUpdateLTMs;
    HierarchyUpdateMatrices(hierarchy);
    HierarchyUpdateMatrices(hierarchy);
    EXPECT_EQ(CountDirtyRoots(), 1);
    EXPECT_EQ(root->object.privateFlags & kFrameHierarchyDirty, kFrameHierarchySyncObjects);
    EXPECT_EQ(children[1]->object.privateFlags & kFrameSubtreeDirty, kFrameSubtreeSyncObjects);
    ExpectMatrixNear(children[1]->ltm, HierarchyGetMatrixArray(hierarchy)[2]);

    // Without a matrix array the same world matrices reach the frames.
    Hierarchy* bare = HierarchyCreateFromHierarchy(hierarchy, kHierarchyUpdateLTMs | kHierarchyNoMatrices,
                                                   sizeof(HierInterpKey));
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(HierarchyGetMatrixArray(bare), nullptr);
    bare->parentFrame = root;
    HierarchyAttachFrames(bare);
    Pose(bare);
    children[1]->ltm = Matrix{};
    HierarchyUpdateMatrices(bare);
    ExpectMatrixNear(children[1]->ltm, HierarchyGetMatrixArray(hierarchy)[2]);
    bare->parentFrame = nullptr;
    HierarchyDestroy(bare);
}

TEST_F(HierFramesTest, FrameCopiesGetTheirOwnHierarchy)
{
    Frame* clone = FrameCloneHierarchyAndFixRoots(root);
    ASSERT_NE(clone, nullptr);
    Hierarchy* copy = FrameGetHierarchy(clone);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, hierarchy);
    EXPECT_EQ(copy->parentFrame, clone);
    EXPECT_EQ(copy->nodeCount, 3);
    EXPECT_EQ(copy->nodes[1].flags, hierarchy->nodes[1].flags);
    EXPECT_EQ(copy->nodes[1].frame, nullptr);
    EXPECT_EQ(FrameGetNodeId(clone), 10);
    FrameDestroyHierarchy(clone);
}

} // namespace
