// Software skinning: bone matrices from a hierarchy and the vertices they
// deform, against closed-form answers.
#include "graphics/animation/skin/tests/skintesting.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"

namespace {

class SkinBlend : public SkinFixture
{
  protected:
    void SetUp() override
    {
        SkinFixture::SetUp();
        ASSERT_TRUE(StartSkin());
    }

    void TearDown() override
    {
        Clear();
        SkinFixture::TearDown();
    }

    /// Destroys the atomic, frame, hierarchy and geometries made so far.
    void Clear()
    {
        if (atomic_) {
            AtomicDestroy(atomic_);
        }
        if (frame_) {
            FrameDestroy(frame_);
        }
        if (hierarchy_) {
            HierarchyDestroy(hierarchy_);
        }
        atomic_ = nullptr;
        frame_ = nullptr;
        hierarchy_ = nullptr;
        for (Geometry* geometry : geometries_) {
            GeometryRelease(geometry);
        }
        geometries_.clear();
    }

    /// A hierarchy of `nodes` nodes in a chain (pose matrices left for the test).
    Hierarchy* Chain(int32_t nodes, uint32_t flags = 0)
    {
        std::vector<uint32_t> nodeFlags(size_t(nodes), 0);
        nodeFlags.back() = kHierarchyPop;
        hierarchy_ = HierarchyCreate(nodes, nodeFlags.data(), nullptr, flags, sizeof(HierInterpKey));
        EXPECT_NE(hierarchy_, nullptr);
        return hierarchy_;
    }

    /// An atomic of the geometry on a frame translated by `offset`.
    Atomic* Placed(Geometry* geometry, V3d offset)
    {
        atomic_ = AtomicCreate();
        frame_ = FrameCreate();
        MatrixTranslate(FrameGetMatrix(frame_), &offset, kCombineReplace);
        FrameUpdateObjects(frame_);
        AtomicSetGeometry(atomic_, geometry, 0);
        AtomicSetFrame(atomic_, frame_);
        return atomic_;
    }

    /// Deforms the geometry's points and normals with the atomic's hierarchy.
    std::vector<V3d> Deform(Atomic* atomic, Skin* skin, std::vector<V3d>* normals)
    {
        const SkinBoneMatrix* bones = SkinBoneMatricesCompute(atomic, skin, hierarchy_);
        EXPECT_NE(bones, nullptr);
        const MorphTarget& target = atomic->geometry->morphTargets[0];
        const int32_t n = atomic->geometry->numVertices;
        std::vector<float> out(size_t(n) * 6, -99.0f);
        if (bones) {
            SkinVerticesBlend(skin, bones, n, &target.vertices[0].x, &target.normals[0].x, out.data(),
                              out.data() + 3, 24);
        }
        std::vector<V3d> points;
        normals->clear();
        for (int32_t v = 0; v < n; ++v) {
            points.push_back({out[6 * v], out[6 * v + 1], out[6 * v + 2]});
            normals->push_back({out[6 * v + 3], out[6 * v + 4], out[6 * v + 5]});
        }
        return points;
    }

    static void ExpectNear(const V3d& actual, const V3d& expected, const char* what, int32_t v)
    {
        EXPECT_NEAR(actual.x, expected.x, 1e-5f) << what << " " << v;
        EXPECT_NEAR(actual.y, expected.y, 1e-5f) << what << " " << v;
        EXPECT_NEAR(actual.z, expected.z, 1e-5f) << what << " " << v;
    }

    Hierarchy* hierarchy_ = nullptr;
    Atomic* atomic_ = nullptr;
    Frame* frame_ = nullptr;
};

// A bar along x over two bones jointed at x = 1; bone 1 turns 90 degrees
// about z. Points at the joint weigh 0.5 and 0.5, so they land halfway
// between the straight and the turned bar.
TEST_F(SkinBlend, TwoBoneBarBendsAtItsJoint)
{
    Geometry* geometry = Points(3);
    geometry->morphTargets[0].vertices[1] = {1.0f, 0.5f, 0.0f};
    const float weights[] = {1, 0, 0, 0, 0.5f, 0.5f, 0, 0, 1, 0, 0, 0};
    const uint32_t indices[] = {Indices(0), Indices(0, 1), Indices(1)};
    const Matrix bind[] = {Translation(0, 0, 0), Translation(-1, 0, 0)};
    Skin* skin = SkinCreate(3, 2, weights, indices, bind);
    ASSERT_NE(skin, nullptr);
    SkinGeometrySetSkin(geometry, skin);
    Hierarchy* hierarchy = Chain(2);
    hierarchy->matrices[0] = Translation(0, 0, 0);
    const V3d z = {0, 0, 1};
    const V3d joint = {1, 0, 0};
    MatrixRotate(&hierarchy->matrices[1], &z, 90.0f, kCombineReplace);
    MatrixTranslate(&hierarchy->matrices[1], &joint, kCombinePostConcat);

    // Turning about the joint: (x, y) -> (1 - y, x - 1); normals (x, y) -> (-y, x).
    std::vector<V3d> normals;
    const std::vector<V3d> points = Deform(Placed(geometry, {0, 0, 0}), skin, &normals);
    const V3d expected[] = {{0, 0, 0}, {0.75f, 0.25f, 0}, {1, 1, 0}};
    const V3d expectedNormals[] = {{0, 1, 0}, {-0.5f, 0.5f, 0}, {-1, 0, 0}};
    for (int32_t v = 0; v < 3; ++v) {
        ExpectNear(points[size_t(v)], expected[v], "position", v);
        ExpectNear(normals[size_t(v)], expectedNormals[v], "normal", v);
    }
}

// Bones that only translate move each point by the weighted sum of their
// offsets, for one, two and four influences.
TEST_F(SkinBlend, TranslatingBonesMoveByTheWeightedOffsets)
{
    struct Case
    {
        std::vector<float> weights;
        uint32_t indices;
        V3d offset;
    };
    const V3d t[4] = {{1, 0, 0}, {0, 2, 0}, {0, 0, 4}, {8, 8, 8}};
    const Case cases[] = {
        {{1, 0, 0, 0}, Indices(2), t[2]},
        {{1, 0, 0, 0}, Indices(3), t[3]},
        {{0.75f, 0.25f, 0, 0}, Indices(0, 1), {0.75f, 0.5f, 0}},
        {{0.25f, 0.25f, 0.25f, 0.25f}, Indices(0, 1, 2, 3), {2.25f, 2.5f, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weights[0]);
        Geometry* geometry = Points(2);
        const float weights[] = {c.weights[0], c.weights[1], c.weights[2], c.weights[3], 1, 0, 0, 0};
        const uint32_t indices[] = {c.indices, Indices(0)};
        Skin* skin = SkinCreate(2, 4, weights, indices, nullptr);
        ASSERT_NE(skin, nullptr);
        for (int b = 0; b < 4; ++b) {
            skin->skinToBoneMatrices[b] = Translation(0, 0, 0);
        }
        SkinGeometrySetSkin(geometry, skin);
        Hierarchy* hierarchy = Chain(4, kHierarchyLocalSpace);
        for (int b = 0; b < 4; ++b) {
            hierarchy->matrices[b] = Translation(t[b].x, t[b].y, t[b].z);
        }
        std::vector<V3d> normals;
        // Local space: the atomic's own placement plays no part.
        const std::vector<V3d> points = Deform(Placed(geometry, {0, 0, 5}), skin, &normals);
        ExpectNear(points[1], {1 + t[0].x, t[0].y, t[0].z}, "first-bone vertex", 1);
        ExpectNear(points[0], c.offset, "weighted vertex", 0);
        ExpectNear(normals[0], {0, 1, 0}, "normal", 0);
        Clear();
    }
}

// Without local space the bones are taken back into the atomic's frame.
TEST_F(SkinBlend, WorldMatricesAreTakenIntoTheAtomicsFrame)
{
    Geometry* geometry = Points(1);
    const float weights[] = {1, 0, 0, 0};
    const uint32_t indices = Indices(0);
    const Matrix bind = Translation(0, 0, 0);
    Skin* skin = SkinCreate(1, 1, weights, &indices, &bind);
    SkinGeometrySetSkin(geometry, skin);
    Hierarchy* hierarchy = Chain(1);
    hierarchy->matrices[0] = Translation(0, 3, 5);
    std::vector<V3d> normals;
    const std::vector<V3d> points = Deform(Placed(geometry, {0, 0, 5}), skin, &normals);
    ExpectNear(points[0], {0, 3, 0}, "position", 0);
}

TEST_F(SkinBlend, HierarchiesLargerThanTheWorkspaceAreRefused)
{
    Geometry* geometry = Points(1);
    const float weights[] = {1, 0, 0, 0};
    const uint32_t indices = Indices(0);
    Skin* skin = SkinCreate(1, 1, weights, &indices, nullptr);
    SkinGeometrySetSkin(geometry, skin);
    Chain(kSkinWorkspaceBones + 1);
    EXPECT_EQ(SkinBoneMatricesCompute(Placed(geometry, {0, 0, 0}), skin, hierarchy_), nullptr);
    EXPECT_EQ(TakeError().code, kErrorBadArgument);
    // Recorded once per open.
    EXPECT_EQ(SkinBoneMatricesCompute(atomic_, skin, hierarchy_), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNone);
}

} // namespace

namespace {

// A bone matrix with distinct, non-round coefficients.
SkinBoneMatrix Bone(int b)
{
    SkinBoneMatrix m = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            m.row[r][c] = 0.1f * float(b + 1) + 0.37f * float(r) - 0.21f * float(c) + (r == c ? 1.0f : 0.0f);
        }
    }
    return m;
}

} // namespace

// Each maximum weight count and both output layouts (normals right after
// the points, or in an array of their own whose neighbours must stay as
// they were) against the weighted sum of the bones' transforms.
TEST_F(SkinBlend, BlendsFollowTheWeightedFormulaInEveryLayout)
{
    constexpr int32_t kVertices = 5;
    SkinBoneMatrix bones[4];
    for (int b = 0; b < 4; ++b) {
        bones[b] = Bone(b);
    }
    const float weightRows[kVertices][4] = {{1.0f, 0, 0, 0},
                                            {0.5f, 0.5f, 0, 0},
                                            {0.7f, 0.3f, 0, 0},
                                            {0.4f, 0.3f, 0.2f, 0.1f},
                                            {0.25f, 0.25f, 0.25f, 0.25f}};
    for (uint32_t maxWeights : {1u, 2u, 4u}) {
        std::vector<float> weights, points, normals;
        std::vector<uint32_t> indices;
        for (int32_t v = 0; v < kVertices; ++v) {
            float sum = 0.0f;
            for (uint32_t k = 0; k < 4; ++k) {
                const float w = k < maxWeights ? weightRows[v][k] : 0.0f;
                weights.push_back(w);
                sum += w;
            }
            weights[size_t(4 * v)] += 1.0f - sum; // the dropped weights go to the first bone
            indices.push_back(
                Indices(uint8_t(v % 4), uint8_t((v + 1) % 4), uint8_t((v + 2) % 4), uint8_t((v + 3) % 4)));
            for (float c : {1.5f + float(v), -0.5f * float(v), 0.25f}) {
                points.push_back(c);
            }
            for (float c : {0.6f, 0.0f, 0.8f - 0.1f * float(v)}) {
                normals.push_back(c);
            }
        }
        Skin* skin = SkinCreate(kVertices, 4, weights.data(), indices.data(), nullptr);
        ASSERT_NE(skin, nullptr);
        ASSERT_EQ(skin->maxWeights, maxWeights);
        for (bool packed : {true, false}) {
            SCOPED_TRACE(testing::Message() << maxWeights << " weights, packed " << packed);
            std::vector<float> out(size_t(kVertices) * 8, -99.0f);
            float* outPoints = out.data();
            float* outNormals = packed ? out.data() + 3 : out.data() + 4;
            SkinVerticesBlend(skin, bones, kVertices, points.data(), normals.data(), outPoints, outNormals,
                              packed ? 24 : 32);
            const uint32_t stride = packed ? 6 : 8;
            for (int32_t v = 0; v < kVertices; ++v) {
                const float* w = skin->vertexBoneWeights + 4 * v;
                const uint32_t idx = skin->vertexBoneIndices[v];
                for (int r = 0; r < 3; ++r) {
                    double p = 0.0, n = 0.0;
                    for (int k = 0; k < 4; ++k) {
                        const SkinBoneMatrix& m = bones[(idx >> (8 * k)) & 0xFF];
                        const float* in = &points[size_t(3 * v)];
                        const float* nin = &normals[size_t(3 * v)];
                        p += w[k] *
                             (m.row[r][0] * in[0] + m.row[r][1] * in[1] + m.row[r][2] * in[2] + m.row[r][3]);
                        n += w[k] * (m.row[r][0] * nin[0] + m.row[r][1] * nin[1] + m.row[r][2] * nin[2]);
                    }
                    EXPECT_NEAR(outPoints[stride * v + r], p, 1e-5) << v;
                    EXPECT_NEAR(outNormals[stride * v + r], n, 1e-5) << v;
                }
                if (!packed) {
                    EXPECT_EQ(out[size_t(stride * v + 3)], -99.0f) << "between the point and the normal";
                    EXPECT_EQ(out[size_t(stride * v + 7)], -99.0f) << "after the normal";
                }
            }
        }
        SkinDestroy(skin);
    }
}
