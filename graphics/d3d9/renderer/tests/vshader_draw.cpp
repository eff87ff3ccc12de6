// The vertex-shader nodes: lit objects drawn through generated shaders
// against the fixed-function picture of the same scene, lights dropped over
// the constant budget, a mesh without a shader left undrawn, and unindexed
// meshes drawn from their base vertex.
#include <cmath>
#include <cstdlib>

#include "graphics/d3d9/renderer/tests/lighttesting.h"
#include "graphics/d3d9/renderer/vshaderdraw.h"
#include "graphics/d3d9/renderer/vshadernode.h"
#include "platform/d3d9/d3d9control.h"

namespace {

struct Profile
{
    DWORD version;
    DWORD constants;
};

class ShaderNode : public Lights
{
  protected:
    void SetUp() override
    {
        D3D9AdapterConfig adapter = D3D9DefaultAdapter();
        adapter.caps.VertexShaderVersion = profile_.version;
        adapter.caps.MaxVertexShaderConst = profile_.constants;
        D3D9SetAdapters(&adapter, 1);
        Lights::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        pipeline_ = VertexShaderAtomicPipelineCreate();
        ASSERT_NE(pipeline_, nullptr);
    }

    void TearDown() override
    {
        for (Atomic* atomic : added_) {
            WorldRemoveAtomic(world_, atomic);
        }
        PipelineDestroy(pipeline_);
        Lights::TearDown();
        D3D9ResetAdapters();
    }

    /// A 6 x 6 grid of side 1.2 centred on (x, y, z), facing the camera,
    /// whose normals lean outwards like a dome's; the left half of its
    /// triangles of `left`, the right half of `right`.
    Atomic* Dome(uint32_t format, Material* left, Material* right, float x, float y, float z)
    {
        constexpr int kSide = 6;
        Geometry* geometry = GeometryCreate(kSide * kSide, 2 * (kSide - 1) * (kSide - 1), format);
        EXPECT_NE(geometry, nullptr);
        for (int j = 0; j < kSide; ++j) {
            for (int i = 0; i < kSide; ++i) {
                const int v = j * kSide + i;
                const float u = float(i) / (kSide - 1) - 0.5f, w = float(j) / (kSide - 1) - 0.5f;
                geometry->morphTargets[0].vertices[v] = {1.2f * u, 1.2f * w, 0.0f};
                const float length = std::sqrt(u * u + w * w + 0.5f);
                geometry->morphTargets[0].normals[v] = {u / length, w / length, -0.70710678f / length};
                if (geometry->numTexCoordSets > 0) {
                    geometry->texCoords[0][v] = {u + 0.5f, w + 0.5f};
                }
            }
        }
        int t = 0;
        for (int j = 0; j + 1 < kSide; ++j) {
            for (int i = 0; i + 1 < kSide; ++i) {
                const uint16_t a = uint16_t(j * kSide + i), b = uint16_t(a + 1), c = uint16_t(a + kSide),
                               d = uint16_t(c + 1);
                Material* material = i < (kSide - 1) / 2 ? left : right;
                GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], d, b, a);
                GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
                GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], c, d, a);
                GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
            }
        }
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        EXPECT_NE(GeometryUnlock(geometry), nullptr);
        Atomic* atomic = Place(geometry, x, y, z);
        WorldAddAtomic(world_, atomic);
        added_.push_back(atomic);
        return atomic;
    }

    /// Every placed atomic drawn through `pipeline` (null: the default) onto a cleared frame.
    std::vector<uint32_t> DrawAll(Pipeline* pipeline)
    {
        CameraEndUpdate(camera_);
        CameraClear(camera_, kBackground, 3);
        CameraBeginUpdate(camera_);
        EngineGetInstance()->currentWorld = world_; // the camera is in no world
        FrameSyncDirty();
        for (Atomic* atomic : added_) {
            atomic->pipeline = pipeline;
            EXPECT_NE(AtomicDefaultRender(atomic), nullptr);
        }
        return Pixels();
    }

    static double ShareWithin(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance)
    {
        size_t close = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            bool near = true;
            for (int shift = 0; shift < 24; shift += 8) {
                near = near && std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)) <= tolerance;
            }
            close += near;
        }
        return double(close) / double(a.size());
    }

    Profile profile_ = {D3DVS_VERSION(3, 0), 256};
    Pipeline* pipeline_ = nullptr;
    std::vector<Atomic*> added_;
};

class ShaderNodeProfiles : public ShaderNode, public ::testing::WithParamInterface<Profile>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam();
        ShaderNode::SetUp();
    }
};

} // namespace

TEST_P(ShaderNodeProfiles, AmbientAndDirectionalLightMatchTheFixedFunctionPicture)
{
    Light* ambient = MakeLight(kLightAmbient);
    const RGBAReal grey = {0.2f, 0.25f, 0.3f, 1};
    LightSetColor(ambient, &grey);
    Light* sun = MakeLight(kLightDirectional, {0, 0, 0}, 0, 30.0f);
    const RGBAReal warm = {0.9f, 0.8f, 0.6f, 1};
    LightSetColor(sun, &warm);

    // A dark material (diffuse 0) beside a coloured one, a textured dome
    // whose material colour modulates, and a plain one.
    Material* matte = MaterialOf({200, 220, 240, 255});
    matte->surfaceProperties = {0.5f, 0.0f, 0.0f};
    Material* red = MaterialOf({255, 64, 32, 255});
    red->surfaceProperties = {1.0f, 0.0f, 0.8f};
    Material* textured =
        MaterialOf({160, 255, 200, 255}, TextureOf(2, 2, {0xFFFFFFFF, 0xFF808080, 0xFF404040, 0xFFC0C0C0}));
    const uint32_t lit = kGeometryNormals | kGeometryLight | kGeometryModulateMaterialColor;
    Dome(lit, matte, red, -0.7f, 0.35f, 2.5f);
    Dome(lit | kGeometryTextured, textured, textured, 0.7f, 0.35f, 2.5f);
    Dome(kGeometryNormals | kGeometryLight, nullptr, nullptr, 0.0f, -0.55f, 2.5f);

    const std::vector<uint32_t> fixed = DrawAll(nullptr);
    D3D9CallLogStart(Device());
    const std::vector<uint32_t> shaded = DrawAll(pipeline_);
    const std::vector<D3D9CallRecord> calls = D3D9CallLog(Device());
    D3D9CallLogStop(Device());

    EXPECT_GT(shaded.size() - CountColour(shaded, 0xFF404040), shaded.size() / 10) << "the domes are drawn";
    EXPECT_GE(ShareWithin(fixed, shaded, 3), 0.99);
    // Every draw runs a generated shader.
    uint64_t shader = 0;
    int draws = 0;
    for (const D3D9CallRecord& call : calls) {
        if (call.call == D3D9Call::SetVertexShader) {
            shader = call.a;
        } else if (call.call == D3D9Call::DrawIndexedPrimitive) {
            EXPECT_NE(shader, 0u);
            ++draws;
        }
    }
    EXPECT_EQ(draws, 4) << "two meshes, then one each";
}

INSTANTIATE_TEST_SUITE_P(Profiles, ShaderNodeProfiles,
                         ::testing::Values(Profile{D3DVS_VERSION(1, 1), 96},
                                           Profile{D3DVS_VERSION(2, 0), 256},
                                           Profile{D3DVS_VERSION(3, 0), 256}));

namespace {

VertexShaderDescriptor gLastDescriptor;
VertexShaderMaterialCallBack gFind;

IDirect3DVertexShader9* RecordingFind(void* material, VertexShaderDescriptor descriptor,
                                      VertexShaderConstantLayout* layout)
{
    gLastDescriptor = descriptor;
    return gFind(material, descriptor, layout);
}

IDirect3DVertexShader9* NoShader(void*, VertexShaderDescriptor, VertexShaderConstantLayout*)
{
    return nullptr;
}

class ShaderNodeBudget : public ShaderNode
{
  protected:
    void SetUp() override
    {
        profile_ = {D3DVS_VERSION(2, 0), 70};
        ShaderNode::SetUp();
    }
};

} // namespace

TEST_F(ShaderNodeBudget, OverTheBudgetSpotsGoFirstThenPointLights)
{
    // 15 directional, 15 point and 2 spot lights cost 78 registers; 70
    // constants less 10 leave 60: both spots go, then four point lights.
    for (int i = 0; i < 15; ++i) {
        MakeLight(kLightDirectional, {0, 0, 0}, 0, float(i));
        MakeLight(kLightPoint, {0.1f * float(i), 0, 1.5f}, 5.0f);
    }
    for (int i = 0; i < 2; ++i) {
        LightSetConeAngle(MakeLight(kLightSpot, {0, 0, 1.0f}, 5.0f), 0.5f);
    }
    Dome(kGeometryNormals | kGeometryLight, nullptr, nullptr, 0, 0, 2.5f);
    VertexShaderNodeData* callbacks = VertexShaderNodeGetData(PipelineGetNode(pipeline_, 0));
    gFind = callbacks->material;
    callbacks->material = RecordingFind;
    gLastDescriptor = 0;
    DrawAll(pipeline_);
    EXPECT_EQ(VertexShaderDirectional(gLastDescriptor), 15u);
    EXPECT_EQ(VertexShaderPoint(gLastDescriptor), 11u);
    EXPECT_EQ(VertexShaderSpot(gLastDescriptor), 0u);
    EXPECT_LE(VertexShaderCost(gLastDescriptor), 60u);
}

TEST(VertexShaderDropLight, SpotsThenPointsThenDirectionalsThenFog)
{
    VertexShaderDescriptor d = VertexShaderDescriptorMake(1, 1, 2, 0, 0, 3, 0, kVertexShaderNormals);
    const uint32_t expected[][4] = {{1, 1, 1, 3}, {1, 1, 0, 3}, {1, 0, 0, 3}, {0, 0, 0, 3}, {0, 0, 0, 0}};
    for (const auto& step : expected) {
        ASSERT_TRUE(VertexShaderDropLight(&d));
        EXPECT_EQ(VertexShaderDirectional(d), step[0]);
        EXPECT_EQ(VertexShaderPoint(d), step[1]);
        EXPECT_EQ(VertexShaderSpot(d), step[2]);
        EXPECT_EQ(VertexShaderFog(d), step[3]);
    }
    EXPECT_FALSE(VertexShaderDropLight(&d));
    EXPECT_EQ(d, kVertexShaderNormals);
}

TEST_F(ShaderNode, AMeshWithoutAShaderIsNotDrawn)
{
    Dome(kGeometryNormals | kGeometryLight, nullptr, nullptr, 0, 0, 2.5f);
    VertexShaderNodeGetData(PipelineGetNode(pipeline_, 0))->material = NoShader;
    D3D9CallLogStart(Device());
    const std::vector<uint32_t> frame = DrawAll(pipeline_);
    EXPECT_EQ(D3D9CallCount(Device(), D3D9Call::DrawIndexedPrimitive), 0u);
    D3D9CallLogStop(Device());
    EXPECT_EQ(CountColour(frame, 0xFF404040), frame.size());
}

TEST_F(ShaderNode, UnindexedMeshesDrawFromTheirBaseVertex)
{
    InstancedData data = {};
    data.primType = D3DPT_TRIANGLELIST;
    InstancedMesh mesh = {};
    mesh.minVertex = 2;
    mesh.baseVertexIndex = 40; // the mesh's vertices lie 38 vertices into a shared buffer
    mesh.numVertices = 3;
    mesh.numPrimitives = 1;
    VertexShaderConstantLayout layout;
    mesh.vertexShader = VertexShaderFind(0, &layout);
    ASSERT_NE(mesh.vertexShader, nullptr);
    D3D9CallLogStart(Device());
    D3D9VertexShaderRenderCallback(&data, &mesh, 0, &layout);
    const std::vector<D3D9CallRecord> calls = D3D9CallLog(Device());
    D3D9CallLogStop(Device());
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().call, D3D9Call::DrawPrimitive);
    EXPECT_EQ(calls.back().b, 40u);
    EXPECT_EQ(calls.back().c, 1u);
}
