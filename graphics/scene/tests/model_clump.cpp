// Atomics and clumps: spheres, interpolation, membership walks, cloning,
// chunk 0x14 and 0x10 with their refusals, regrouping by material, and the
// sweep of forgotten clumps and atomics when the engine stops.
#include <cmath>
#include <cstring>

#include "graphics/core/frame.h"
#include "graphics/core/framelist.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

class SceneClump : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
    }

    /// A triangle geometry on one material.
    static Geometry* Triangle(float x)
    {
        Geometry* geometry = GeometryCreate(3, 1, kGeometryNormals);
        Material* material = MaterialCreate();
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[0], material);
        MaterialRelease(material);
        const V3d points[3] = {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}};
        for (int v = 0; v < 3; ++v) {
            geometry->morphTargets[0].vertices[v] = points[v];
            geometry->morphTargets[0].normals[v] = {0, 0, 1};
        }
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        return GeometryUnlock(geometry);
    }

    /// Three frames (root, two children), two atomics sharing a geometry on
    /// the children, a point light on the second child.
    static Clump* Model(Light** lightOut = nullptr)
    {
        Clump* clump = ClumpCreate();
        Frame* root = FrameCreate();
        Frame* left = FrameCreate();
        Frame* right = FrameCreate();
        const V3d offset = {4, 0, 0};
        FrameTranslate(right, &offset, kCombineReplace);
        FrameAddChild(root, left);
        FrameAddChild(root, right);
        ClumpSetFrame(clump, root);
        Geometry* geometry = Triangle(0);
        for (Frame* frame : {left, right}) {
            Atomic* atomic = AtomicCreate();
            AtomicSetGeometry(atomic, geometry, 0);
            AtomicSetFrame(atomic, frame);
            ClumpAddAtomic(clump, atomic);
        }
        GeometryRelease(geometry);
        Light* light = LightCreate(kLightPoint);
        LightSetRadius(light, 9.0f);
        ObjectHasFrameSetFrame(&light->object, right);
        ClumpAddLight(clump, light);
        if (lightOut) {
            *lightOut = light;
        }
        return clump;
    }

    static Bytes Write(Clump* clump)
    {
        return WriteBytes([&](Stream* stream) { return ClumpStreamWrite(clump, stream) != nullptr; });
    }
    static Clump* Read(const Bytes& bytes)
    {
        return ReadBytes<Clump*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
        });
    }
};

TEST_F(SceneClump, WorldSphereFollowsTheFrame)
{
    Geometry* geometry = GeometryCreateSpace(1.5f);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    geometry->morphTargets[0].boundingSphere = {{1, 0, 0}, 1.5f};
    GeometryRelease(geometry);
    Frame* frame = FrameCreate();
    AtomicSetFrame(atomic, frame);
    const Sphere* sphere = AtomicWorldBoundingSphere(atomic);
    EXPECT_EQ(sphere->centre.x, 1.0f);
    EXPECT_EQ(sphere->radius, 1.5f);

    const V3d up = {0, 0, 1};
    FrameRotate(frame, &up, 90.0f, kCombineReplace);
    sphere = AtomicWorldBoundingSphere(atomic);
    EXPECT_NEAR(sphere->centre.y, 1.0f, 1e-5f);
    EXPECT_NEAR(sphere->radius, 1.5f, 1e-5f);

    const V3d scale = {2, 1, 1};
    FrameScale(frame, &scale, kCombineReplace);
    sphere = AtomicWorldBoundingSphere(atomic);
    EXPECT_NEAR(sphere->radius, 3.0f, 1e-3f);
    // Cached while the frame stays clean.
    FrameSyncDirty();
    atomic->object.object.privateFlags &= uint8_t(~kAtomicPrivateWorldBoundDirty);
    atomic->boundingSphere.radius = 100.0f;
    EXPECT_NEAR(AtomicWorldBoundingSphere(atomic)->radius, 3.0f, 1e-3f);
    AtomicDestroy(atomic);
    FrameDestroy(frame);
}

TEST_F(SceneClump, MorphInterpolation)
{
    Geometry* geometry = GeometryCreate(0, 0, 0);
    GeometryAddMorphTarget(geometry);
    geometry->morphTargets[0].boundingSphere = {{0, 0, 0}, 1};
    geometry->morphTargets[1].boundingSphere = {{10, 0, 0}, 3};
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    struct Case
    {
        uint16_t start, end;
        float position;
        float x, radius;
    } cases[] = {{0, 1, 0.5f, 5, 2}, {1, 1, 0.5f, 10, 3}, {0, 7, 0.5f, 0, 1}, {7, 7, 0.5f, 0, 1}};
    for (const Case& c : cases) {
        atomic->interpolator = {kAtomicInterpolatorDirty, c.start, c.end, 1.0f, 1.0f, c.position};
        AtomicMorphBoundingSphere(atomic);
        EXPECT_EQ(atomic->boundingSphere.centre.x, c.x) << c.start << "-" << c.end;
        EXPECT_EQ(atomic->boundingSphere.radius, c.radius) << c.start << "-" << c.end;
        EXPECT_EQ(atomic->interpolator.flags & kAtomicInterpolatorDirty, 0u);
    }
    AtomicDestroy(atomic);
}

TEST_F(SceneClump, AtomicRoundTripAndMissingGeometry)
{
    Geometry* geometry = Triangle(2);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    Bytes bytes = WriteBytes([&](Stream* stream) {
        return AtomicStreamWriteInClump(atomic, stream, nullptr, nullptr) != nullptr;
    });
    ASSERT_EQ(bytes.size(), 12 + AtomicStreamGetSize(atomic));
    auto read = [](const Bytes& b) {
        return ReadBytes<Atomic*>(b, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkAtomic, nullptr, nullptr) ? AtomicStreamRead(stream)
                                                                           : nullptr;
        });
    };
    Atomic* copy = read(bytes);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->geometry->numVertices, 3);
    EXPECT_EQ(copy->boundingSphere.radius, geometry->morphTargets[0].boundingSphere.radius);
    AtomicDestroy(copy);

    // The same atomic written with its geometry in a clump's list has none inline.
    GeometryList list = {&atomic->geometry, 1};
    Bytes listed = WriteBytes(
        [&](Stream* stream) { return AtomicStreamWriteInClump(atomic, stream, nullptr, &list) != nullptr; });
    AtomicDestroy(atomic);
    const int64_t baseline = CountingMemory::live;
    TakeError();
    EXPECT_EQ(read(listed), nullptr);
    EXPECT_EQ(TakeError().code, kErrorRead);
    EXPECT_EQ(CountingMemory::live, baseline);
}

TEST_F(SceneClump, RoundTripSharesTheGeometryAndRestoresTheHierarchy)
{
    Clump* clump = Model();
    Bytes bytes = Write(clump);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(GetU32(bytes, 4), ClumpStreamGetSize(clump));
    EXPECT_EQ(bytes.size(), 12 + ClumpStreamGetSize(clump));
    EXPECT_EQ(GetU32(bytes, 24), 2u); // atomics
    EXPECT_EQ(GetU32(bytes, 28), 1u); // lights
    Clump* read = Read(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ClumpCountAtomics(read), 2);
    EXPECT_EQ(ClumpCountLights(read), 1);
    Atomic* first = LinkListEntry(read->atomics.next, Atomic, clumpLink);
    Atomic* second = LinkListEntry(read->atomics.next->next, Atomic, clumpLink);
    EXPECT_EQ(first->geometry, second->geometry);
    EXPECT_EQ(first->geometry->refCount, 2);
    Frame* root = ClumpGetFrame(read);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(FrameCount(root), 3);
    EXPECT_EQ(FrameGetParent(AtomicGetFrame(first)), root);
    Light* light = nullptr;
    ClumpForAllLights(
        read, [](Light* l, void* out) { return *static_cast<Light**>(out) = l; }, &light);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->radius, 9.0f);
    EXPECT_EQ(FrameGetLTM(LightGetFrame(light))->pos.x, 4.0f);
    // The engine's frame-list reader drops the identity flag and links
    // children in reverse, so sibling order flips on every read: two round
    // trips give the same bytes again.
    const Bytes again = Write(read);
    EXPECT_EQ(again.size(), bytes.size());
    Clump* twice = Read(again);
    ASSERT_NE(twice, nullptr);
    Clump* thrice = Read(Write(twice));
    ASSERT_NE(thrice, nullptr);
    EXPECT_EQ(Write(thrice), again);
    ClumpDestroy(thrice);
    ClumpDestroy(twice);
    ClumpDestroy(read);
    ClumpDestroy(clump);
}

TEST_F(SceneClump, WalksSurviveDestroyingTheCurrentMember)
{
    Clump* clump = Model();
    for (int i = 0; i < 2; ++i) {
        Atomic* atomic = AtomicCreate();
        ClumpAddAtomic(clump, atomic);
    }
    int visited = 0;
    ClumpVisitAtomics(
        clump,
        [](Atomic* atomic, void* count) {
            ++*static_cast<int*>(count);
            AtomicDestroy(atomic);
            return atomic;
        },
        &visited);
    EXPECT_EQ(visited, 4);
    EXPECT_EQ(ClumpCountAtomics(clump), 0);
    ClumpDestroy(clump);
}

TEST_F(SceneClump, CloneCopiesAtomicsOntoTheClonedHierarchy)
{
    Clump* clump = Model();
    Clump* clone = ClumpClone(clump);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(ClumpCountAtomics(clone), 2);
    EXPECT_EQ(ClumpCountLights(clone), 0);
    Frame* root = ClumpGetFrame(clone);
    ASSERT_NE(root, nullptr);
    EXPECT_NE(root, ClumpGetFrame(clump));
    for (LinkList* link = clone->atomics.next; link != &clone->atomics; link = link->next) {
        Atomic* atomic = LinkListEntry(link, Atomic, clumpLink);
        EXPECT_EQ(FrameGetRoot(AtomicGetFrame(atomic)), root);
        EXPECT_EQ(atomic->clump, clone);
    }
    EXPECT_EQ(ClumpGetFrame(clump)->root, ClumpGetFrame(clump));
    ClumpDestroy(clone);
    ClumpDestroy(clump);
}

TEST_F(SceneClump, DestroyedAtomicLeavesItsClump)
{
    Clump* clump = Model();
    Atomic* first = LinkListEntry(clump->atomics.next, Atomic, clumpLink);
    AtomicDestroy(first);
    EXPECT_EQ(ClumpCountAtomics(clump), 1);
    ClumpDestroy(clump);
}

TEST_F(SceneClump, StopSweepsForgottenClumpsAndAtomics)
{
    Model();
    Atomic* loose = AtomicCreate();
    Geometry* geometry = Triangle(0);
    AtomicSetGeometry(loose, geometry, 0);
    GeometryRelease(geometry);
    ASSERT_TRUE(EngineStop());
    Shutdown();
    EXPECT_EQ(CountingMemory::live, 0);
}

TEST_F(SceneClump, MalformedClumpsAreTakenApart)
{
    Clump* clump = Model();
    const Bytes valid = Write(clump);
    ClumpDestroy(clump);
    Clump* warm = Read(valid);
    ASSERT_NE(warm, nullptr);
    ClumpDestroy(warm);
    const int64_t baseline = CountingMemory::live;
    auto refused = [&](const Bytes& bytes, const std::string& what) {
        TakeError();
        EXPECT_EQ(Read(bytes), nullptr) << what;
        EXPECT_NE(TakeError().code, kErrorNone) << what;
        EXPECT_EQ(CountingMemory::live, baseline) << what;
    };
    for (size_t length = 0; length < valid.size(); ++length) {
        refused(Bytes(valid.begin(), valid.begin() + length), "prefix " + std::to_string(length));
    }
    // Offsets found by walking the chunks: frame list, geometry list, atomics, light.
    const size_t frameList = 12 + 24;
    const size_t geometryList = frameList + 12 + GetU32(valid, frameList + 4);
    const size_t firstAtomic = geometryList + 12 + GetU32(valid, geometryList + 4);
    const size_t secondAtomic = firstAtomic + 12 + GetU32(valid, firstAtomic + 4);
    const size_t light = secondAtomic + 12 + GetU32(valid, secondAtomic + 4);
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"geometry count 2^31", geometryList + 24, 0x80000000},
        {"atomic frame index 3 of 3", firstAtomic + 24, 3},
        {"atomic geometry index 1 of 1", firstAtomic + 28, 1},
        {"light frame index 9 of 3", light + 12, 9},
        {"negative light count", 28, uint32_t(-1)},
        {"atomic count 2^30", 24, 1u << 30},
    };
    for (const Case& c : cases) {
        Bytes bytes = valid;
        PutU32(bytes, c.offset, c.value);
        refused(bytes, c.what);
    }
}

TEST_F(SceneClump, RegroupingDuplicatesSharedVertices)
{
    Geometry* geometry = GeometryCreate(4, 2, 0);
    Material* a = MaterialCreate();
    Material* b = MaterialCreate();
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 2, 1, 3);
    GeometryTriangleSetMaterial(geometry, &geometry->triangles[0], a);
    GeometryTriangleSetMaterial(geometry, &geometry->triangles[1], b);
    MaterialRelease(a);
    MaterialRelease(b);
    const V3d points[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 3, 0}};
    std::memcpy(geometry->morphTargets[0].vertices, points, sizeof(points));
    GeometryUnlock(geometry);
    Geometry* sorted = GeometrySortVerticesByMaterial(geometry, nullptr);
    ASSERT_NE(sorted, nullptr);
    EXPECT_EQ(sorted->numVertices, 6);
    EXPECT_EQ(sorted->materials.count, 2);
    Sphere expected;
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &expected);
    EXPECT_EQ(sorted->morphTargets[0].boundingSphere.radius, expected.radius);
    // Each triangle keeps its corners' positions.
    for (int t = 0; t < 2; ++t) {
        for (int c = 0; c < 3; ++c) {
            const V3d& was = geometry->morphTargets[0].vertices[geometry->triangles[t].vertex[c]];
            const V3d& now = sorted->morphTargets[0].vertices[sorted->triangles[t].vertex[c]];
            EXPECT_EQ(was.x, now.x);
            EXPECT_EQ(was.y, now.y);
        }
    }
    ASSERT_NE(sorted->mesh, nullptr);
    GeometryRelease(sorted);
    GeometryRelease(geometry);
}

TEST_F(SceneClump, RenderCallsEachRenderedAtomicAndInstancingMarksTheGeometry)
{
    static int calls;
    static uint32_t formatDuringRender;
    calls = 0;
    auto render = [](Atomic* atomic) {
        ++calls;
        formatDuringRender = atomic->geometry ? atomic->geometry->format : 0;
        return atomic;
    };
    Clump* clump = Model();
    for (LinkList* link = clump->atomics.next; link != &clump->atomics; link = link->next) {
        LinkListEntry(link, Atomic, clumpLink)->renderCallBack = render;
    }
    Atomic* first = LinkListEntry(clump->atomics.next, Atomic, clumpLink);
    first->object.object.flags &= uint8_t(~kAtomicRender);
    EXPECT_EQ(ClumpRender(clump), clump);
    EXPECT_EQ(calls, 1);

    // Pre-instancing renders once with the instancing flag set, then marks native.
    calls = 0;
    EXPECT_EQ(AtomicInstance(first), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(formatDuringRender & kGeometryNativeInstance, 0u);
    EXPECT_EQ(first->geometry->format & (kGeometryNative | kGeometryNativeInstance), kGeometryNative);
    EXPECT_EQ(AtomicInstance(first), 1);
    EXPECT_EQ(calls, 1) << "a native geometry is not instanced again";
    ClumpDestroy(clump);
}

TEST_F(SceneClump, SpacePlaceholderAndCallBack)
{
    const V3d position = {1, 2, 3};
    Clump* clump = ClumpCreateSpace(&position, 4.0f);
    ASSERT_NE(clump, nullptr);
    ASSERT_EQ(ClumpCountAtomics(clump), 1);
    Atomic* atomic = LinkListEntry(clump->atomics.next, Atomic, clumpLink);
    EXPECT_EQ(atomic->object.object.flags & kAtomicRender, 0);
    const Sphere* sphere = AtomicWorldBoundingSphere(atomic);
    EXPECT_EQ(sphere->centre.z, 3.0f);
    EXPECT_EQ(sphere->radius, 4.0f);
    EXPECT_EQ(ClumpGetCallBack(clump), nullptr);
    ClumpCallBack callBack = [](Clump* c, void*) { return c; };
    ClumpSetCallBack(clump, callBack);
    EXPECT_EQ(ClumpGetCallBack(clump), callBack);
    ClumpSetCallBack(clump, nullptr);
    EXPECT_EQ(ClumpGetCallBack(clump), nullptr);
    ClumpDestroy(clump);
}

TEST_F(SceneClump, FramelessClumpHasNoSavedSize)
{
    Clump* clump = ClumpCreate();
    EXPECT_EQ(ClumpStreamGetSize(clump), 0u);
    TakeError();
    EXPECT_TRUE(
        WriteBytes([&](Stream* stream) { return ClumpStreamWrite(clump, stream) != nullptr; }).empty());
    EXPECT_EQ(TakeError().code, kErrorNullArgument);
    ClumpDestroy(clump);
}

} // namespace
