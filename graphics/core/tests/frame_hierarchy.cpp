#include <cmath>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using FrameTest = StartedEngineTest;

// The roots on the engine's dirty list, head first.
std::vector<Frame*> DirtyRoots()
{
    std::vector<Frame*> roots;
    LinkList* head = &EngineGetInstance()->dirtyFrames;
    for (LinkList* link = head->next; link != head; link = link->next) {
        roots.push_back(LinkListEntry(link, Frame, dirtyLink));
    }
    return roots;
}

// A frame-bearing object that counts its synchronisations.
struct CountingObject
{
    ObjectHasFrame base;
    int syncs;
    static void Sync(void* object) { ++static_cast<CountingObject*>(object)->syncs; }
    explicit CountingObject(Frame* frame) : base{}, syncs(0)
    {
        base.sync = Sync;
        LinkListInit(&base.frameLink);
        ObjectHasFrameSetFrame(&base, frame);
    }
};

V3d Pos(const Matrix* m)
{
    return m->pos;
}

void ExpectPos(const Matrix* m, V3d p)
{
    EXPECT_NEAR(m->pos.x, p.x, 1e-5f);
    EXPECT_NEAR(m->pos.y, p.y, 1e-5f);
    EXPECT_NEAR(m->pos.z, p.z, 1e-5f);
}

TEST_F(FrameTest, NewFrameIsAnIdentityRootOffTheDirtyList)
{
    Frame* f = FrameCreate();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->object.type, kObjectTypeFrame);
    EXPECT_EQ(FrameGetRoot(f), f);
    EXPECT_EQ(FrameGetParent(f), nullptr);
    EXPECT_EQ(f->modelling.flags, kMatrixFlagsAll);
    EXPECT_EQ(f->ltm.flags, kMatrixFlagsAll);
    EXPECT_EQ(FrameDirty(f), 0u);
    EXPECT_TRUE(DirtyRoots().empty());
    FrameDestroy(f);
}

TEST_F(FrameTest, EditsPutTheRootOnTheDirtyListOnce)
{
    Frame* root = FrameCreate();
    Frame* child = FrameCreate();
    FrameAddChild(root, child);
    FrameSyncDirty();
    EXPECT_TRUE(DirtyRoots().empty());
    V3d t = {1, 0, 0};
    FrameTranslate(child, &t, kCombinePostConcat);
    FrameTranslate(child, &t, kCombinePostConcat);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{root});
    EXPECT_EQ(FrameDirty(child), uint32_t(kFrameHierarchyDirty));
    EXPECT_EQ(child->object.privateFlags & kFrameSubtreeDirty, kFrameSubtreeDirty);
    FrameSyncDirty();
    EXPECT_TRUE(DirtyRoots().empty());
    EXPECT_EQ(root->object.privateFlags, 0);
    EXPECT_EQ(child->object.privateFlags, 0);
    ExpectPos(&child->ltm, {2, 0, 0});
    // An invalid op changes nothing and marks nothing.
    EXPECT_EQ(FrameTranslate(child, &t, 7), nullptr);
    EXPECT_TRUE(DirtyRoots().empty());
    FrameDestroyHierarchy(root);
}

TEST_F(FrameTest, AttachingADirtyRootLeavesOneEntryForTheNewRoot)
{
    Frame* a = FrameCreate();
    Frame* b = FrameCreate();
    Frame* c = FrameCreate();
    FrameUpdateObjects(a);
    FrameUpdateObjects(b);
    FrameUpdateObjects(c);
    EXPECT_EQ(DirtyRoots(), (std::vector<Frame*>{c, b, a}));
    FrameAddChild(a, b);
    EXPECT_EQ(DirtyRoots(), (std::vector<Frame*>{c, a}));
    EXPECT_EQ(b->object.privateFlags & kFrameHierarchyDirty, 0);
    EXPECT_EQ(FrameGetRoot(b), a);
    // Moving b under c takes it from a's child list.
    FrameAddChild(c, b);
    EXPECT_EQ(a->child, nullptr);
    EXPECT_EQ(c->child, b);
    EXPECT_EQ(FrameGetRoot(b), c);
    EXPECT_EQ(DirtyRoots(), (std::vector<Frame*>{c, a}));
    FrameRemoveChild(b);
    EXPECT_EQ(FrameGetRoot(b), b);
    EXPECT_EQ(DirtyRoots(), (std::vector<Frame*>{b, c, a}));
    FrameSyncDirty();
    FrameDestroy(a);
    FrameDestroy(b);
    FrameDestroy(c);
}

// root -> mid -> leaf, each translated and the middle rotated: the world
// matrices compose parent after child.
TEST_F(FrameTest, SyncComputesWorldMatricesAndCallsEveryObject)
{
    Frame* root = FrameCreate();
    Frame* mid = FrameCreate();
    Frame* leaf = FrameCreate();
    Frame* sibling = FrameCreate();
    FrameAddChild(root, mid);
    FrameAddChild(mid, leaf);
    FrameAddChild(root, sibling);
    V3d t1 = {10, 0, 0}, t2 = {0, 1, 0}, t3 = {1, 0, 0};
    V3d zAxis = {0, 0, 1};
    FrameTranslate(root, &t1, kCombineReplace);
    FrameRotate(mid, &zAxis, 90, kCombineReplace);
    FrameTranslate(mid, &t2, kCombinePostConcat);
    FrameTranslate(leaf, &t3, kCombineReplace);
    CountingObject onRoot(root), onLeaf(leaf), onSibling(sibling);
    EXPECT_EQ(FrameSyncDirty(), 1);
    ExpectPos(&mid->ltm, {10, 1, 0});
    ExpectPos(&leaf->ltm, {10, 2, 0}); // (1,0,0) rotated to (0,1,0), then + (10,1,0)
    ExpectPos(&sibling->ltm, {10, 0, 0});
    EXPECT_EQ(onRoot.syncs, 1);
    EXPECT_EQ(onLeaf.syncs, 1);
    EXPECT_EQ(onSibling.syncs, 1);
    // A leaf edit recomputes only below the leaf but syncs every object.
    FrameTranslate(leaf, &t3, kCombinePostConcat);
    FrameSyncDirty();
    ExpectPos(&leaf->ltm, {10, 3, 0});
    EXPECT_EQ(onRoot.syncs, 2);
    EXPECT_EQ(onSibling.syncs, 2);
    ObjectHasFrameReleaseFrame(&onRoot.base);
    ObjectHasFrameReleaseFrame(&onLeaf.base);
    ObjectHasFrameReleaseFrame(&onSibling.base);
    FrameDestroyHierarchy(root);
}

TEST_F(FrameTest, GetLTMIsLazyAndLeavesTheObjectsPending)
{
    Frame* root = FrameCreate();
    Frame* child = FrameCreate();
    FrameAddChild(root, child);
    CountingObject object(child);
    FrameSyncDirty();
    object.syncs = 0;
    V3d t = {0, 0, 5};
    FrameTranslate(root, &t, kCombineReplace);
    ExpectPos(FrameGetLTM(child), {0, 0, 5});
    EXPECT_EQ(root->object.privateFlags & (kFrameHierarchyDirty | kFrameSubtreeSyncLTM),
              kFrameHierarchySyncObjects);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{root});
    EXPECT_EQ(object.syncs, 0);
    // The next sync runs the objects but recomputes no matrix: an edit made
    // behind the frames' back stays unseen.
    root->modelling.pos.z = 100;
    FrameSyncDirty();
    EXPECT_EQ(object.syncs, 1);
    ExpectPos(&child->ltm, {0, 0, 5});
    EXPECT_TRUE(DirtyRoots().empty());
    EXPECT_EQ(child->object.privateFlags, 0);
    ObjectHasFrameReleaseFrame(&object.base);
    FrameDestroyHierarchy(root);
}

// A sync callback that marks another hierarchy: that root is kept for the
// next synchronisation instead of being lost with its bits set.
Frame* gMarkedBySync = nullptr;
void MarkOther(void*)
{
    if (gMarkedBySync) {
        FrameUpdateObjects(gMarkedBySync);
        gMarkedBySync = nullptr;
    }
}

TEST_F(FrameTest, RootMarkedDuringSyncIsSynchronisedNextTime)
{
    Frame* a = FrameCreate();
    Frame* b = FrameCreate();
    ObjectHasFrame marker{};
    marker.sync = MarkOther;
    LinkListInit(&marker.frameLink);
    ObjectHasFrameSetFrame(&marker, a);
    CountingObject onB(b);
    FrameSyncDirty();
    onB.syncs = 0;
    gMarkedBySync = b;
    FrameUpdateObjects(a);
    FrameSyncDirty();
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{b});
    FrameSyncDirty();
    EXPECT_EQ(onB.syncs, 1);
    EXPECT_TRUE(DirtyRoots().empty());
    ObjectHasFrameReleaseFrame(&marker);
    ObjectHasFrameReleaseFrame(&onB.base);
    FrameDestroy(a);
    FrameDestroy(b);
}

TEST_F(FrameTest, DestroyingOneFrameMakesItsChildrenRoots)
{
    Frame* root = FrameCreate();
    Frame* mid = FrameCreate();
    Frame* a = FrameCreate();
    Frame* b = FrameCreate();
    Frame* grandchild = FrameCreate();
    FrameAddChild(root, mid);
    FrameAddChild(mid, a);
    FrameAddChild(mid, b);
    FrameAddChild(a, grandchild);
    CountingObject onMid(mid);
    FrameSyncDirty();
    FrameDestroy(mid);
    EXPECT_EQ(root->child, nullptr);
    EXPECT_EQ(onMid.base.object.parent, nullptr);
    for (Frame* orphan : {a, b}) {
        EXPECT_EQ(FrameGetParent(orphan), nullptr);
        EXPECT_EQ(FrameGetRoot(orphan), orphan);
        EXPECT_EQ(orphan->next, nullptr);
        EXPECT_EQ(FrameDirty(orphan), uint32_t(kFrameHierarchyDirty));
    }
    EXPECT_EQ(FrameGetRoot(grandchild), a);
    FrameSyncDirty();
    EXPECT_TRUE(DirtyRoots().empty());
    FrameDestroyHierarchy(root);
    FrameDestroyHierarchy(a);
    FrameDestroyHierarchy(b);
}

TEST_F(FrameTest, AttachingThatWouldMakeACycleIsRefused)
{
    Frame* root = FrameCreate();
    Frame* child = FrameCreate();
    Frame* grandchild = FrameCreate();
    FrameAddChild(root, child);
    FrameAddChild(child, grandchild);
    EXPECT_EQ(FrameAddChild(grandchild, root), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    EXPECT_EQ(FrameAddChild(child, child), nullptr);
    EXPECT_EQ(FrameAddChildNoUpdate(grandchild, child), nullptr);
    EXPECT_EQ(FrameGetParent(child), root);
    EXPECT_EQ(FrameCount(root), 3);
    FrameSyncDirty();
    FrameDestroyHierarchy(root);
}

TEST_F(FrameTest, DestroyHierarchyOfAChildDetachesItFirst)
{
    Frame* root = FrameCreate();
    Frame* keep = FrameCreate();
    Frame* drop = FrameCreate();
    Frame* below = FrameCreate();
    FrameAddChild(root, keep);
    FrameAddChild(root, drop);
    FrameAddChild(drop, below);
    EXPECT_EQ(FrameDestroyHierarchy(drop), 1);
    EXPECT_EQ(root->child, keep);
    EXPECT_EQ(keep->next, nullptr);
    EXPECT_EQ(FrameCount(root), 2);
    EXPECT_EQ(FrameDestroyHierarchy(nullptr), 1);
    FrameSyncDirty();
    FrameDestroyHierarchy(root);
}

// Frame plug-ins see construction, copying and destruction.
struct Tally
{
    int constructed, destroyed, copied;
};
Tally gTally;
int32_t gTagOffset = -1;

void* TagConstruct(void* object, int32_t offset, int32_t)
{
    ++gTally.constructed;
    *reinterpret_cast<int32_t*>(static_cast<char*>(object) + offset) = 0;
    return object;
}
void* TagDestruct(void* object, int32_t, int32_t)
{
    ++gTally.destroyed;
    return object;
}
void* TagCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    ++gTally.copied;
    *reinterpret_cast<int32_t*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const int32_t*>(static_cast<const char*>(source) + offset);
    return destination;
}

int32_t& Tag(Frame* frame)
{
    return *reinterpret_cast<int32_t*>(reinterpret_cast<char*>(frame) + gTagOffset);
}

class FramePluginTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit());
        gTagOffset = FrameRegisterPlugin(sizeof(int32_t), 0x7F01, TagConstruct, TagDestruct, TagCopy);
        ASSERT_GE(gTagOffset, int32_t(sizeof(Frame)));
        ASSERT_TRUE(EngineTestOpen());
        ASSERT_TRUE(EngineStart());
        TakeError();
        gTally = {};
    }
};

TEST_F(FramePluginTest, CloneReversesChildOrderAndMapsSourcesToClones)
{
    Frame* root = FrameCreate();
    Frame* a = FrameCreate();
    Frame* b = FrameCreate();
    Frame* aChild = FrameCreate();
    FrameAddChild(root, b);
    FrameAddChild(root, a); // list order: a, b
    FrameAddChild(a, aChild);
    V3d t = {1, 2, 3};
    FrameTranslate(a, &t, kCombineReplace);
    Tag(root) = 1;
    Tag(a) = 2;
    Tag(b) = 3;
    Tag(aChild) = 4;
    FrameSyncDirty();
    gTally = {};

    Frame* clone = FrameCloneHierarchy(root);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(gTally.constructed, 4);
    EXPECT_EQ(gTally.copied, 4);
    ASSERT_NE(clone->child, nullptr);
    Frame* first = clone->child;
    Frame* second = first->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(Tag(first), 3); // b' first, then a'
    EXPECT_EQ(Tag(second), 2);
    EXPECT_EQ(Tag(second->child), 4);
    EXPECT_EQ(FrameGetRoot(second->child), clone);
    EXPECT_EQ(FrameGetParent(second), clone);
    ExpectPos(&second->modelling, t);
    // The sources point at their clones until their roots are reset.
    EXPECT_EQ(FrameGetRoot(a), second);
    EXPECT_EQ(FrameGetRoot(root), clone);
    FrameSetRootOfHierarchy(root);
    EXPECT_EQ(FrameGetRoot(a), root);
    EXPECT_EQ(FrameGetRoot(aChild), root);
    // The clone is a dirty root of its own.
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{clone});
    EXPECT_EQ(clone->object.privateFlags & 0xF, 0xF);
    FrameSyncDirty();
    ExpectPos(&second->child->ltm, t);

    Frame* fixed = FrameCloneHierarchyAndFixRoots(root);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(FrameGetRoot(a), root);
    FrameSyncDirty();
    gTally = {};
    FrameDestroyHierarchy(clone);
    FrameDestroyHierarchy(fixed);
    FrameDestroyHierarchy(root);
    EXPECT_EQ(gTally.destroyed, 12);
}

TEST_F(FramePluginTest, StaticFrameIsNeverFreed)
{
    std::vector<char> storage(FrameGetRegistry()->objectSize);
    auto* frame = reinterpret_cast<Frame*>(storage.data());
    ASSERT_EQ(FrameInitStatic(frame), 1);
    EXPECT_EQ(frame->object.privateFlags, kFrameStatic);
    Frame* child = FrameCreate();
    FrameAddChild(frame, child);
    FrameSyncDirty();
    Frame* clone = FrameCloneHierarchy(frame);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->object.privateFlags & kFrameStatic, 0);
    FrameSyncDirty();
    FrameDestroyHierarchy(clone);
    FrameSetRootOfHierarchy(frame);
    EXPECT_EQ(FrameDestroyHierarchy(frame), 1); // the child is freed, the static frame only deinitialised
    EXPECT_EQ(gTally.destroyed, 4);
}

TEST(FrameMemoryTest, FailedCloneFreesEverythingAndRestoresSourceRoots)
{
    for (int64_t failAfter = 0; failAfter < 4; ++failAfter) {
        CountingMemory::Reset();
        FrameSetFreeListCreateParams(1, 1); // one frame a block: every clone allocates
        ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
        Frame* root = FrameCreate();
        Frame* a = FrameCreate();
        Frame* b = FrameCreate();
        FrameAddChild(root, a);
        FrameAddChild(a, b);
        FrameSyncDirty();
        CountingMemory::failAfter = failAfter;
        Frame* clone = FrameCloneHierarchy(root);
        CountingMemory::failAfter = -1;
        if (failAfter < 3) {
            EXPECT_EQ(clone, nullptr) << failAfter;
            EXPECT_EQ(FrameGetRoot(b), root);
            EXPECT_EQ(FrameGetRoot(root), root);
        } else {
            ASSERT_NE(clone, nullptr);
            FrameSyncDirty();
            FrameDestroyHierarchy(clone);
        }
        FrameDestroyHierarchy(root);
        EngineTestShutdown();
        FrameSetFreeListCreateParams(50, 1);
        EXPECT_EQ(CountingMemory::live, 0);
    }
}

TEST_F(FrameTest, ForAllChildrenObjectsAndCount)
{
    Frame* root = FrameCreate();
    Frame* kids[3];
    for (Frame*& kid : kids) {
        kid = FrameCreate();
        FrameAddChild(root, kid);
    }
    FrameAddChild(kids[0], FrameCreate());
    EXPECT_EQ(FrameCount(root), 5);
    std::vector<Frame*> seen;
    FrameForAllChildren(
        root,
        [](Frame* f, void* data) -> Frame* {
            auto* list = static_cast<std::vector<Frame*>*>(data);
            list->push_back(f);
            return list->size() < 2 ? f : nullptr;
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<Frame*>{kids[2], kids[1]}));
    CountingObject one(root), two(root);
    int visits = 0;
    FrameForAllObjects(
        root,
        [](void* object, void* data) -> void* {
            ++*static_cast<int*>(data);
            return object;
        },
        &visits);
    EXPECT_EQ(visits, 2);
    // Destroying the frame lets go of its objects.
    FrameSyncDirty();
    FrameDestroyHierarchy(root);
    EXPECT_EQ(one.base.object.parent, nullptr);
    EXPECT_EQ(two.base.object.parent, nullptr);
}

TEST_F(FrameTest, IdentityAndOrthoNormalize)
{
    Frame* f = FrameCreate();
    V3d s = {2, 2, 2};
    FrameScale(f, &s, kCombineReplace);
    EXPECT_EQ(f->modelling.flags, 0u);
    FrameOrthoNormalize(f);
    EXPECT_EQ(f->modelling.flags, kMatrixFlagsOrthonormal);
    EXPECT_NEAR(f->modelling.right.x, 1.0f, 1e-3f);
    FrameScale(f, &s, kCombinePostConcat);
    FrameSetIdentity(f);
    EXPECT_EQ(f->modelling.flags, kMatrixFlagsAll);
    EXPECT_EQ(f->modelling.right.x, 1.0f);
    Matrix m{};
    m.right = {0, 1, 0};
    m.up = {-1, 0, 0};
    m.at = {0, 0, 1};
    m.pos = {1, 1, 1};
    FrameTransform(f, &m, kCombineReplace);
    ExpectPos(FrameGetLTM(f), {1, 1, 1});
    EXPECT_NEAR(Pos(FrameGetLTM(f)).x, 1.0f, 0);
    FrameSyncDirty();
    FrameDestroy(f);
}

} // namespace
