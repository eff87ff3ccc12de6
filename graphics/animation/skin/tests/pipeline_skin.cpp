// The skin pipeline on the software device under three caps profiles: the
// path and stream choices, the shader declaration types, palette slots and
// uploads, and the software-deformed bar drawn through the node.
#include "graphics/animation/skin/skinpipeline.h"
#include "graphics/animation/skin/tests/skintesting.h"
#include "graphics/core/frame.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/d3d9/renderer/vshaderdraw.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "platform/d3d9/testing/capsprofiles.h"
#include "tools/charactergen/characterbuild.h"

namespace {

struct Draw
{
    ResourcesEntry* entry;
    void* object;
};
std::vector<Draw> gDraws;
void RecordDraw(ResourcesEntry* entry, void* object, int32_t, uint32_t)
{
    gDraws.push_back({entry, object});
}

class SkinPipeline : public SkinFixture
{
  protected:
    /// The engine on the device with the caps of `profile` ("full", "vs96", "nohwtl").
    void Start(const char* profile)
    {
        D3D9AdapterConfig config;
        ASSERT_TRUE(D3D9CapsProfile(profile, &config));
        StartWith(config);
    }

    void StartWith(const D3D9AdapterConfig& config)
    {
        D3D9SetAdapters(&config, 1);
        gDraws.clear();
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && D3D9SceneRendererOpen() &&
                    HierarchyPluginAttach() && SkinPluginAttach() && Open() && EngineStart() &&
                    D3D9DefaultPipelinesOpen());
    }

    void TearDown() override
    {
        for (Clump* clump : clumps_) {
            ClumpDestroy(clump);
        }
        if (EngineGetState() == kEngineStateStarted) {
            D3D9DefaultPipelinesClose();
        }
        SkinFixture::TearDown();
    }

    /// A clump from the builders, its one atomic drawn by the skin pipeline
    /// into the draw record.
    Atomic* Model(Clump* clump)
    {
        EXPECT_NE(clump, nullptr);
        clumps_.push_back(clump);
        Atomic* atomic = nullptr;
        ClumpVisitAtomics(
            clump, [](Atomic* a, void* data) { return *static_cast<Atomic**>(data) = a; }, &atomic);
        Pipeline* pipeline = atomic->pipeline;
        EXPECT_NE(pipeline, nullptr);
        if (pipeline) {
            AllInOneNodeSetRenderCallBack(PipelineGetNode(pipeline, 0), RecordDraw);
        }
        return atomic;
    }

    /// A skin over `bones` bones using `used` of them, with the hierarchy's node count.
    Skin* SkinUsing(uint32_t bones, const std::vector<uint8_t>& used)
    {
        std::vector<float> weights(used.size() * 4, 0.0f);
        std::vector<uint32_t> indices(used.size());
        for (size_t v = 0; v < used.size(); ++v) {
            weights[4 * v] = 1.0f;
            indices[v] = used[v];
        }
        Skin* skin = SkinCreate(int32_t(used.size()), bones, weights.data(), indices.data(), nullptr);
        EXPECT_NE(skin, nullptr);
        skins_.push_back(skin);
        return skin;
    }

    static std::vector<float> StreamFloats(const InstancedStream& stream, uint32_t vertices)
    {
        void* memory = nullptr;
        EXPECT_EQ(stream.buffer->Lock(stream.offset, vertices * stream.stride, &memory, D3DLOCK_READONLY),
                  D3D_OK);
        const auto* floats = static_cast<const float*>(memory);
        std::vector<float> out(floats, floats + vertices * stream.stride / 4);
        stream.buffer->Unlock();
        return out;
    }

    void TearDownSkins()
    {
        for (Skin* skin : skins_) {
            SkinDestroy(skin);
        }
        skins_.clear();
    }

    std::vector<Clump*> clumps_;
    std::vector<Skin*> skins_;
};

TEST_F(SkinPipeline, CapsProfilesChooseThePaths)
{
    struct Case
    {
        const char* profile;
        bool hardware;
        uint32_t paletteBones;
    };
    const Case cases[] = {{"full", true, 81}, {"vs96", true, 28}, {"nohwtl", false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        Start(c.profile);
        const SkinDeviceState* state = SkinGetDeviceState();
        EXPECT_EQ(state->hardwareTnL, c.hardware);
        EXPECT_EQ(state->maxPaletteBones, c.paletteBones);

        // A bar (two used bones) and skins of 28 and 29 used bones.
        Atomic* bar = Model(CharacterBuildBar());
        EXPECT_EQ(SkinAtomicGetType(bar), 1u);
        EXPECT_EQ(SkinUsesShaderPath(bar), c.hardware);
        EXPECT_EQ(SkinUsesSingleStream(bar), true);
        for (uint32_t used : {28u, 29u}) {
            std::vector<uint8_t> bones;
            for (uint32_t b = 0; b < used; ++b) {
                bones.push_back(uint8_t(b));
            }
            Geometry* geometry = Points(int32_t(used));
            SkinGeometrySetSkin(geometry, SkinUsing(40, bones));
            skins_.pop_back(); // the geometry owns it now
            Atomic* atomic = AtomicCreate();
            AtomicSetGeometry(atomic, geometry, 0);
            const bool shader = c.hardware && used <= c.paletteBones;
            EXPECT_EQ(SkinUsesShaderPath(atomic), shader) << used;
            EXPECT_EQ(SkinUsesSingleStream(atomic), !c.hardware || shader) << used;
            AtomicDestroy(atomic);
        }
        TearDown();
        clumps_.clear();
        geometries_.clear();
        SetUp();
    }
}

TEST_F(SkinPipeline, BlendElementTypesFollowTheDeclarationTypes)
{
    const uint32_t all = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                         D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_DEC3N;
    struct Case
    {
        uint32_t weights;
        uint32_t declTypes;
        uint32_t weightType;
        uint32_t indexType;
    };
    const Case cases[] = {
        {2, all, D3DDECLTYPE_USHORT2N, D3DDECLTYPE_SHORT2},
        {2, D3DDTCAPS_SHORT2N, D3DDECLTYPE_SHORT2N, D3DDECLTYPE_SHORT2},
        {2, D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N, D3DDECLTYPE_SHORT2},
        {2, D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_SHORT2},
        {2, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_SHORT2},
        {3, all, D3DDECLTYPE_DEC3N, D3DDECLTYPE_UBYTE4},
        {3, D3DDTCAPS_SHORT4N, D3DDECLTYPE_SHORT4N, D3DDECLTYPE_SHORT4},
        {4, all, D3DDECLTYPE_USHORT4N, D3DDECLTYPE_UBYTE4},
        {4, D3DDTCAPS_SHORT4N | D3DDTCAPS_UBYTE4N, D3DDECLTYPE_SHORT4N, D3DDECLTYPE_SHORT4},
        {4, D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_SHORT4},
        {4, D3DDTCAPS_UBYTE4, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_UBYTE4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SkinBlendWeightType(c.weights, c.declTypes), c.weightType)
            << c.weights << " " << c.declTypes;
        EXPECT_EQ(SkinBlendIndexType(c.weights, c.declTypes), c.indexType) << c.weights << " " << c.declTypes;
    }
}

TEST_F(SkinPipeline, PaletteSlotsFollowTheUsedListTheBonesOrTheRemap)
{
    Start("vs96");
    std::vector<uint8_t> used;
    for (uint8_t b = 0; b < 40; b += 2) {
        used.push_back(uint8_t(39 - b)); // 39, 37, ..., 1: first appearance order
    }
    Skin* skin = SkinUsing(40, used);
    SkinGeometrySetSkin(Points(int32_t(used.size())), skin);
    skins_.pop_back();
    ASSERT_EQ(skin->numUsedBones, 20u);
    // 40 nodes, more than the 28 palette bones: slots 0 to 19 in the (sorted) used list.
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(SkinPaletteSlot(skin, 40, skin->usedBones[i]), i);
    }
    // A hierarchy the palette holds: the bone index.
    EXPECT_EQ(SkinPaletteSlot(skin, 28, 17), 17u);
    // Split data: the remap, 0xFF and slots past the nodes giving 0.
    ASSERT_NE(SkinSetSplitData(skin, 4, 40, 1, 1), nullptr);
    std::fill(skin->splitData, skin->splitData + 40, uint8_t(0xFF));
    skin->splitData[5] = 3;
    skin->splitData[6] = 39;
    EXPECT_EQ(SkinPaletteSlot(skin, 40, 5), 3u);
    EXPECT_EQ(SkinPaletteSlot(skin, 40, 7), 0u);
    EXPECT_EQ(SkinPaletteSlot(skin, 20, 6), 0u);
}

TEST_F(SkinPipeline, PaletteUploadsInRunsAtTheSlots)
{
    Start("vs96");
    std::vector<SkinPaletteBone> palette(kSkinWorkspaceBones);
    for (size_t b = 0; b < palette.size(); ++b) {
        for (auto& column : palette[b].column) {
            for (float& value : column) {
                value = float(b);
            }
        }
    }
    auto registerOf = [](uint32_t index) {
        float value[4] = {};
        D3D9GetDevice()->GetVertexShaderConstantF(index, value, 1);
        return value[0];
    };
    struct Case
    {
        const char* what;
        int32_t nodes;
        std::vector<uint8_t> used;
        uint32_t calls;
        std::vector<std::pair<uint32_t, float>> registers; ///< (register, bone found there)
    };
    const uint32_t base = 20;
    const Case cases[] = {
        {"used list, more nodes than the palette holds",
         40,
         {3, 4, 5, 9},
         2,
         {{base, 3}, {base + 6, 5}, {base + 9, 9}}},
        {"runs of bone indices", 20, {3, 4, 5, 9}, 2, {{base + 9, 3}, {base + 15, 5}, {base + 27, 9}}},
        {"every node", 3, {0, 1, 2}, 1, {{base, 0}, {base + 3, 1}, {base + 8, 2}}},
    };
    for (const Case& c : cases) {
        Skin* skin = SkinUsing(40, c.used);
        SkinGeometrySetSkin(Points(int32_t(c.used.size())), skin);
        skins_.pop_back();
        EXPECT_EQ(SkinBonePaletteUpload(palette.data(), skin, c.nodes, base, 0), c.calls) << c.what;
        for (const auto& [index, bone] : c.registers) {
            EXPECT_EQ(registerOf(index), bone) << c.what << " register " << index;
        }
    }
    // Split data: each run of the mesh's entry at its remapped slots.
    Skin* split = SkinUsing(40, {10, 11});
    SkinGeometrySetSkin(Points(2), split);
    skins_.pop_back();
    ASSERT_NE(SkinSetSplitData(split, 2, 40, 2, 2), nullptr);
    std::fill(split->splitData, split->splitData + 40, uint8_t(0xFF));
    split->splitData[10] = 1;
    split->splitData[11] = 0;
    const uint8_t meshes[] = {0, 0, 0, 2};
    const uint8_t runs[] = {10, 1, 11, 1};
    std::copy(meshes, meshes + 4, split->meshTable);
    std::copy(runs, runs + 4, split->runTable);
    EXPECT_EQ(SkinBonePaletteUpload(palette.data(), split, 40, base, 0), 0u); // mesh 0 has no runs
    EXPECT_EQ(SkinBonePaletteUpload(palette.data(), split, 40, base, 1), 2u);
    EXPECT_EQ(registerOf(base + 3), 10.0f);
    EXPECT_EQ(registerOf(base), 11.0f);
}

// The bar's bone 1 turned 90 degrees about z at its joint: the node deforms
// the vertex stream to the closed-form answer and hands it to the render callback.
TEST_F(SkinPipeline, SoftwarePathDeformsTheBarIntoTheVertexStream)
{
    for (const char* profile : {"full", "nohwtl"}) {
        SCOPED_TRACE(profile);
        Start(profile);
        Atomic* bar = Model(CharacterBuildBar());
        // Without the shader callbacks a device with shaders deforms on the processor too.
        SkinNodeGetData(PipelineGetNode(bar->pipeline, 0))->shaderDescriptor = nullptr;
        Hierarchy* hierarchy = SkinAtomicGetHierarchy(bar);
        ASSERT_NE(hierarchy, nullptr);
        hierarchy->flags &= ~kHierarchyLocalSpace;
        hierarchy->matrices[0] = Translation(0, 0, 0);
        const V3d z = {0, 0, 1};
        const V3d joint = {1, 0, 0};
        MatrixRotate(&hierarchy->matrices[1], &z, 90.0f, kCombineReplace);
        MatrixTranslate(&hierarchy->matrices[1], &joint, kCombinePostConcat);

        ASSERT_NE(AtomicDefaultRender(bar), nullptr);
        ASSERT_EQ(gDraws.size(), 1u);
        InstancedData* data = InstancedDataFromEntry(gDraws[0].entry);
        const Geometry* geometry = bar->geometry;
        const Skin* skin = SkinGeometryGetSkin(geometry);
        EXPECT_EQ(skin->shaderPath, 0u);
        EXPECT_EQ(skin->paletteBoneCount, 2u);
        const uint32_t streams = data->streams[1].buffer ? 2 : 1;
        EXPECT_EQ(streams, std::string(profile) == "full" ? 2u : 1u);
        const std::vector<float> floats = StreamFloats(data->streams[0], data->numVertices);
        const uint32_t step = data->streams[0].stride / 4;
        const MorphTarget& target = geometry->morphTargets[0];
        for (int32_t v = 0; v < geometry->numVertices; ++v) {
            // Weight of bone 1 by x: 0 before the joint, 0.5 at it, 1 after.
            const V3d p = target.vertices[v];
            const V3d n = target.normals[v];
            const float w = p.x < 0.5f ? 0.0f : p.x < 1.5f ? 0.5f : 1.0f;
            const V3d turned = {1 - p.y, p.x - 1, p.z};
            const V3d turnedNormal = {-n.y, n.x, n.z};
            const float* out = &floats[size_t(v) * step];
            EXPECT_NEAR(out[0], p.x + w * (turned.x - p.x), 1e-5f) << v;
            EXPECT_NEAR(out[1], p.y + w * (turned.y - p.y), 1e-5f) << v;
            EXPECT_NEAR(out[2], p.z, 1e-5f) << v;
            EXPECT_NEAR(out[3], n.x + w * (turnedNormal.x - n.x), 1e-5f) << v;
            EXPECT_NEAR(out[4], n.y + w * (turnedNormal.y - n.y), 1e-5f) << v;
        }
        TearDown();
        clumps_.clear();
        geometries_.clear();
        SetUp();
    }
}

namespace {

std::vector<VertexShaderDescriptor> gDescriptors;
IDirect3DVertexShader9* RecordingFind(void* material, VertexShaderDescriptor descriptor,
                                      VertexShaderConstantLayout* layout)
{
    gDescriptors.push_back(descriptor);
    return D3D9VertexShaderFindCallback(material, descriptor, layout);
}

Light* AddLight(World* world, uint8_t type, V3d at)
{
    Light* light = LightCreate(type);
    Frame* frame = FrameCreate();
    FrameTranslate(frame, &at, kCombineReplace);
    ObjectHasFrameSetFrame(&light->object, frame);
    LightSetRadius(light, 40.0f);
    LightSetConeAngle(light, 0.5f);
    WorldAddLight(world, light);
    return light;
}

} // namespace

// 60 constants: the bar's two palette bones take 6 registers, and the
// lights that reach it (5 directional, 12 point, 3 spot) one register more
// than is left; spot lights go first, the rest stay.
TEST_F(SkinPipeline, OverTheConstantsSpotLightsAreDroppedFirst)
{
    D3D9AdapterConfig config;
    ASSERT_TRUE(D3D9CapsProfile("full", &config));
    config.caps.MaxVertexShaderConst = 60;
    StartWith(config);
    Atomic* bar = Model(CharacterBuildBar());
    SkinNodeGetData(PipelineGetNode(bar->pipeline, 0))->shaderFind = RecordingFind;
    const BBox box = {{50, 50, 50}, {-50, -50, -50}};
    World* world = WorldCreate(&box);
    ASSERT_NE(world, nullptr);
    world->format |= kGeometryLight;
    WorldAddClump(world, clumps_.back());
    std::vector<Light*> lights;
    for (int i = 0; i < 5; ++i) {
        lights.push_back(AddLight(world, kLightDirectional, {0, 0, 0}));
    }
    for (int i = 0; i < 12; ++i) {
        lights.push_back(AddLight(world, kLightPoint, {float(i), 1, -2}));
    }
    for (int i = 0; i < 3; ++i) {
        lights.push_back(AddLight(world, kLightSpot, {float(i), 2, -2}));
    }
    FrameSyncDirty();
    EngineGetInstance()->currentWorld = world;
    gDescriptors.clear();
    EXPECT_NE(AtomicDefaultRender(bar), nullptr);
    EngineGetInstance()->currentWorld = nullptr;

    ASSERT_FALSE(gDescriptors.empty());
    const VertexShaderDescriptor drawn = gDescriptors.back();
    EXPECT_EQ(SkinGeometryGetSkin(bar->geometry)->shaderPath, 1u);
    EXPECT_EQ(VertexShaderWeights(drawn), 2u);
    EXPECT_EQ(VertexShaderDirectional(drawn), 5u);
    EXPECT_EQ(VertexShaderPoint(drawn), 12u);
    EXPECT_EQ(VertexShaderSpot(drawn), 2u);
    EXPECT_LE(VertexShaderCost(drawn) + 6, 60u);
    EXPECT_GT(VertexShaderCost(drawn + (1u << 8)) + 6, 60u) << "a third spot light does not fit";

    for (Light* light : lights) {
        WorldRemoveLight(world, light);
        Frame* frame = LightGetFrame(light);
        ObjectHasFrameSetFrame(&light->object, nullptr);
        FrameDestroy(frame);
        LightDestroy(light);
    }
    WorldRemoveClump(world, clumps_.back());
    WorldDestroy(world);
}

TEST_F(SkinPipeline, HierarchiesLargerThanTheWorkspaceAreNotDrawn)
{
    Start("full");
    Atomic* bar = Model(CharacterBuildBar());
    Hierarchy* big = HierarchyCreate(kSkinWorkspaceBones + 1, nullptr, nullptr, 0, sizeof(HierInterpKey));
    ASSERT_NE(big, nullptr);
    SkinAtomicSetHierarchy(bar, big);
    EXPECT_EQ(AtomicDefaultRender(bar), nullptr);
    EXPECT_TRUE(gDraws.empty());
    EXPECT_EQ(TakeError().code, kErrorBadArgument);
    SkinAtomicSetHierarchy(bar, nullptr);
    HierarchyDestroy(big);
}

} // namespace
