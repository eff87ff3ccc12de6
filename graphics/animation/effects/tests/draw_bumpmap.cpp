// The bump-map effect: the shifted coordinates of the bump vertices (light
// direction or position, tangent signs over lists, strips and indexed
// meshes, no NaN from degenerate input) and the passes drawn on devices
// without pixel shaders.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "graphics/animation/effects/effectsbumpmap.h"
#include "graphics/animation/effects/effectsshaders.h"
#include "graphics/animation/effects/tests/effectsdrawtesting.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/scene/light.h"

namespace {

constexpr float kCoefficient = 0.5f;
constexpr int32_t kBumpWidth = 4;
/// The shift per unit of light vector: coefficient over the texture width,
/// negated as the slot keeps it.
constexpr float kScale = -kCoefficient / float(kBumpWidth);

struct HandVertex
{
    float x, y, z;
    float tangent[3];
};

/// A mesh laid out by hand: positions, normals (0, 0, -1), coordinates
/// (x + 0.5, y + 0.5) and, when asked, tangents (1, 0, 0), in a managed
/// buffer; indexed when `indices` is not empty.
class HandMesh
{
  public:
    HandMesh(IDirect3DDevice9* device, uint32_t primType, const std::vector<V3d>& positions,
             const std::vector<uint16_t>& indices, bool tangents, bool texCoords = true)
        : bytes_(InstancedDataSize(1))
    {
        std::vector<D3DVERTEXELEMENT9> elements = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                   {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0}};
        uint32_t stride = 24;
        if (texCoords) {
            elements.push_back({0, WORD(stride), D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0});
            stride += 8;
        }
        if (tangents) {
            elements.push_back({0, WORD(stride), D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0});
            stride += 12;
        }
        elements.push_back(D3DDECL_END());
        EXPECT_TRUE(D3D9VertexDeclarationCreate(elements.data(), &declaration_));
        std::vector<float> floats;
        for (const V3d& p : positions) {
            floats.insert(floats.end(), {p.x, p.y, p.z, 0.0f, 0.0f, -1.0f});
            if (texCoords) {
                floats.insert(floats.end(), {p.x + 0.5f, p.y + 0.5f});
            }
            if (tangents) {
                floats.insert(floats.end(), {1.0f, 0.0f, 0.0f});
            }
        }
        EXPECT_EQ(
            device->CreateVertexBuffer(UINT(floats.size() * 4), 0, 0, D3DPOOL_MANAGED, &vertices_, nullptr),
            D3D_OK);
        Fill(vertices_, floats.data(), floats.size() * 4);
        if (!indices.empty()) {
            EXPECT_EQ(device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                                &indices_, nullptr),
                      D3D_OK);
            Fill(indices_, indices.data(), indices.size() * 2);
        }
        InstancedData* data = Data();
        data->numMeshes = 1;
        data->indexBuffer = indices_;
        data->primType = primType;
        data->streams[0] = {vertices_, 0, stride, 0, 1, 1};
        data->declaration = declaration_;
        data->totalIndices = uint32_t(indices.size());
        data->numVertices = uint32_t(positions.size());
        InstancedMesh& mesh = Mesh();
        mesh.numIndices = uint32_t(indices.size());
        mesh.numVertices = uint32_t(positions.size());
        const uint32_t count = indices.empty() ? mesh.numVertices : mesh.numIndices;
        mesh.numPrimitives = primType == D3DPT_TRIANGLESTRIP ? count - 2 : count / 3;
    }

    ~HandMesh()
    {
        if (indices_) {
            indices_->Release();
        }
        vertices_->Release();
        D3D9VertexDeclarationRelease(declaration_);
    }

    InstancedData* Data() { return reinterpret_cast<InstancedData*>(bytes_.data()); }
    InstancedMesh& Mesh() { return InstancedDataMeshes(Data())[0]; }

  private:
    template <typename Buffer> static void Fill(Buffer* buffer, const void* from, size_t bytes)
    {
        void* to = nullptr;
        ASSERT_EQ(buffer->Lock(0, UINT(bytes), &to, 0), D3D_OK);
        std::memcpy(to, from, bytes);
        buffer->Unlock();
    }

    std::vector<uint8_t> bytes_;
    IDirect3DVertexDeclaration9* declaration_ = nullptr;
    IDirect3DVertexBuffer9* vertices_ = nullptr;
    IDirect3DIndexBuffer9* indices_ = nullptr;
};

class BumpMap : public EffectsDrawing
{
  protected:
    void SetUp() override
    {
        EffectsDrawing::SetUp();
        D3DMATRIX identity = {};
        identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1.0f;
        D3D9SetTransform(D3DTS_WORLD, &identity);
    }

    void TearDown() override
    {
        for (Light* light : lights_) {
            LightDestroy(light);
        }
        EffectsDrawing::TearDown();
    }

    /// A bump-mapped material over `base` (white when null) with a height
    /// texture of kBumpWidth texels of `height`, lit from `frame`.
    Material* BumpMaterial(Frame* frame, uint32_t height = 0x808080, Texture* base = nullptr)
    {
        Material* material = MaterialOf({255, 255, 255, 255}, base);
        EXPECT_NE(MaterialEffectsSetType(material, EffectTypeBumpMap), nullptr);
        Texture* bump = TextureOf(kBumpWidth, 1, std::vector<uint32_t>(kBumpWidth, 0xFF000000 | height));
        EXPECT_NE(MaterialEffectsSetupBumpMap(material, bump, frame, kCoefficient), nullptr);
        TextureDestroy(bump);
        return material;
    }

    /// A frame at `position` whose at axis is turned `yaw` degrees about y
    /// then `pitch` about x, with a light of `type` (none for 0).
    Frame* LightFrame(uint8_t type, V3d position, float yaw = 0.0f, float pitch = 0.0f)
    {
        Frame* frame = FrameCreate();
        frames_.push_back(frame);
        const V3d y = {0.0f, 1.0f, 0.0f};
        const V3d x = {1.0f, 0.0f, 0.0f};
        FrameRotate(frame, &y, yaw, kCombineReplace);
        FrameRotate(frame, &x, pitch, kCombinePostConcat);
        FrameTranslate(frame, &position, kCombinePostConcat);
        if (type) {
            Light* light = LightCreate(type);
            ObjectHasFrameSetFrame(&light->object, frame);
            lights_.push_back(light);
        }
        return frame;
    }

    std::vector<EffectsBumpVertex> Fill(HandMesh& hand, Material* material, int32_t* ok = nullptr)
    {
        hand.Mesh().material = material;
        std::vector<EffectsBumpVertex> out(hand.Mesh().numVertices);
        const int32_t filled = EffectsBumpMapFillVertices(hand.Data(), hand.Mesh(), out.data());
        if (ok) {
            *ok = filled;
        } else {
            EXPECT_EQ(filled, 1);
        }
        return out;
    }

    std::vector<Light*> lights_;
};

/// The quad of two triangles (0, 1, 2), (1, 3, 2), wound alike.
const std::vector<V3d> kQuad = {
    {-0.5f, -0.5f, 0.0f}, {-0.5f, 0.5f, 0.0f}, {0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}};

V3d Unit(V3d v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

TEST_F(BumpMap, DirectionalAndSpotLightsGiveADirectionOthersAPosition)
{
    // The frame sits at (0, 0, -2) looking along +x: towards it is (0, 0, -1)
    // from the quad's centre, towards where it shines from is (-1, 0, 0).
    const struct
    {
        uint8_t type;
        bool direction;
    } cases[] = {{kLightDirectional, true}, {kLightSpot, true},     {kLightSpotSoft, true},
                 {kLightPoint, false},      {kLightAmbient, false}, {0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.type));
        Frame* frame = LightFrame(c.type, {0.0f, 0.0f, -2.0f}, 90.0f);
        const V3d at = FrameGetLTM(frame)->at;
        HandMesh hand(Device(), D3DPT_TRIANGLELIST, kQuad, {0, 1, 2, 1, 3, 2}, false);
        const std::vector<EffectsBumpVertex> out = Fill(hand, BumpMaterial(frame));
        for (size_t i = 0; i < kQuad.size(); ++i) {
            const V3d l = c.direction ? V3d{-at.x, -at.y, -at.z}
                                      : Unit({0.0f - kQuad[i].x, 0.0f - kQuad[i].y, -2.0f - kQuad[i].z});
            EXPECT_NEAR(out[i].u1 - out[i].u0, kScale * l.x, 1e-5f) << i;
            EXPECT_NEAR(out[i].v1 - out[i].v0, kScale * l.y, 1e-5f) << i;
            EXPECT_FLOAT_EQ(out[i].position.x, kQuad[i].x);
            EXPECT_FLOAT_EQ(out[i].normal.z, -1.0f);
            EXPECT_EQ(out[i].colour, 0xFFFFFFFFu);
        }
    }
}

TEST_F(BumpMap, TangentSignsAgreeOverListsStripsAndIndexedMeshes)
{
    // A light shining from the lower left: every vertex of the flat quad
    // shifts the same way, whatever the primitive or where its tangent comes from.
    Frame* frame = LightFrame(kLightDirectional, {0.0f, 0.0f, 0.0f}, 30.0f, 20.0f);
    const V3d at = FrameGetLTM(frame)->at;
    const std::vector<V3d> list = {kQuad[0], kQuad[1], kQuad[2], kQuad[1], kQuad[3], kQuad[2]};
    const struct
    {
        const char* name;
        uint32_t primType;
        std::vector<V3d> positions;
        std::vector<uint16_t> indices;
        bool tangents;
    } cases[] = {
        {"list", D3DPT_TRIANGLELIST, list, {}, false},
        {"strip", D3DPT_TRIANGLESTRIP, kQuad, {}, false},
        {"indexed list", D3DPT_TRIANGLELIST, kQuad, {0, 1, 2, 1, 3, 2}, false},
        {"indexed strip", D3DPT_TRIANGLESTRIP, kQuad, {0, 1, 2, 3}, false},
        {"given tangents", D3DPT_TRIANGLELIST, kQuad, {0, 1, 2, 1, 3, 2}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandMesh hand(Device(), c.primType, c.positions, c.indices, c.tangents);
        const std::vector<EffectsBumpVertex> out = Fill(hand, BumpMaterial(frame));
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_NEAR(out[i].u1 - out[i].u0, -kScale * at.x, 1e-5f) << i;
            EXPECT_NEAR(out[i].v1 - out[i].v0, -kScale * at.y, 1e-5f) << i;
        }
    }
}

TEST_F(BumpMap, DegenerateTrianglesAndAVertexAtTheLightGiveFiniteCoordinates)
{
    // A point light on vertex 0; the second triangle has no area.
    Frame* frame = LightFrame(kLightPoint, kQuad[0]);
    HandMesh hand(Device(), D3DPT_TRIANGLELIST, {kQuad[0], kQuad[1], kQuad[2], kQuad[3], kQuad[3], kQuad[3]},
                  {}, false);
    const std::vector<EffectsBumpVertex> out = Fill(hand, BumpMaterial(frame));
    for (const EffectsBumpVertex& v : out) {
        EXPECT_TRUE(std::isfinite(v.u1) && std::isfinite(v.v1));
        EXPECT_LE(std::fabs(v.u1 - v.u0), std::fabs(kScale) + 1e-6f);
        EXPECT_LE(std::fabs(v.v1 - v.v0), std::fabs(kScale) + 1e-6f);
    }
}

TEST_F(BumpMap, VerticesWithoutTextureCoordinatesAreNotRead)
{
    HandMesh hand(Device(), D3DPT_TRIANGLELIST, kQuad, {0, 1, 2, 1, 3, 2}, false, false);
    EXPECT_FALSE(EffectsBumpMapCanFill(hand.Data()));
    int32_t ok = 1;
    Fill(hand, BumpMaterial(LightFrame(kLightDirectional, {})), &ok);
    EXPECT_EQ(ok, 0);
}

class BumpMapDraws : public BumpMap, public testing::WithParamInterface<const char*>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam();
        BumpMap::SetUp();
    }

    /// Whether the profile's device has the effects' pixel shaders.
    static bool Shaders() { return std::string(GetParam()) == "full"; }

    /// The non-null pixel shaders set while the log ran.
    std::vector<IDirect3DPixelShader9*> ShadersSet()
    {
        std::vector<IDirect3DPixelShader9*> shaders;
        for (const D3D9CallRecord& record : D3D9CallLog(Device())) {
            if (record.call == D3D9Call::SetPixelShader && record.a != 0) {
                shaders.push_back(reinterpret_cast<IDirect3DPixelShader9*>(record.a));
            }
        }
        return shaders;
    }
};

struct DrawCase
{
    const char* name;
    EffectType type;
    uint32_t geometry;
    uint32_t envTexel; ///< 0: no environment
    uint32_t frameBufferAlpha;
    UINT passes[2]; ///< without, with pixel shaders
    EffectsPixelShader shader;
    uint32_t colour;
};

TEST_P(BumpMapDraws, TwoBlendedPassesAndTheEnvironmentAThirdOrOneThroughAShader)
{
    // An even height embosses nothing: the red base; a quarter of the blue
    // environment (weighted by its alpha); white diffuse alone without
    // coordinates.
    const uint32_t lit = kPreLitTextured | kGeometryNormals;
    const DrawCase cases[] = {
        {"bump", EffectTypeBumpMap, lit, 0, 0, {2, 1}, kEffectsShaderBump, 0xFF0000},
        {"bump and environment",
         EffectTypeBumpEnvMap,
         lit,
         0xFF0000FF,
         0,
         {3, 1},
         kEffectsShaderBumpEnv,
         0xFF0040},
        {"frame-buffer alpha, environment with alpha",
         EffectTypeBumpEnvMap,
         lit,
         0xFF0000FF,
         1,
         {3, 1},
         kEffectsShaderBumpEnvAlpha,
         0xFF0040},
        {"frame-buffer alpha, opaque environment",
         EffectTypeBumpEnvMap,
         lit,
         0x000000FF,
         1,
         {3, 1},
         kEffectsShaderBumpEnvOpaque,
         0xFF0040},
        {"no texture coordinates",
         EffectTypeBumpMap,
         kGeometryPreLit | kGeometryNormals,
         0,
         0,
         {1, 1},
         kEffectsShaderCount,
         0xFFFFFF},
    };
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        Material* material =
            MaterialOf({255, 255, 255, 255}, TextureOf(1, 1, {0xFFFF0000}, kRasterFormat888));
        ASSERT_NE(MaterialEffectsSetType(material, c.type), nullptr);
        Texture* bump = TextureOf(kBumpWidth, 1, std::vector<uint32_t>(kBumpWidth, 0xFF808080));
        ASSERT_NE(
            MaterialEffectsSetupBumpMap(material, bump, LightFrame(kLightDirectional, {}), kCoefficient),
            nullptr);
        TextureDestroy(bump);
        if (c.envTexel != 0) {
            Texture* env =
                TextureOf(1, 1, {c.envTexel}, c.envTexel >> 24 == 0 ? kRasterFormat888 : kRasterFormat8888);
            ASSERT_NE(MaterialEffectsSetupEnvMap(material, env, nullptr, c.frameBufferAlpha, 0.25f), nullptr);
            TextureDestroy(env);
        }
        Atomic* atomic = Place(FacingQuad(c.geometry, material), 0, 0, 2);
        AtomicEnableEffects(atomic);
        D3D9CallLogStart(Device());
        const std::vector<uint32_t> frame = Draw(atomic);
        const UINT draws = D3D9CallCount(Device(), D3D9Call::DrawIndexedPrimitive) +
                           D3D9CallCount(Device(), D3D9Call::DrawPrimitive);
        const std::vector<IDirect3DPixelShader9*> shaders = ShadersSet();
        D3D9CallLogStop(Device());
        EXPECT_EQ(draws, c.passes[Shaders() ? 1 : 0]);
        if (Shaders() && c.shader != kEffectsShaderCount) {
            EXPECT_EQ(shaders, std::vector<IDirect3DPixelShader9*>{EffectsGetPixelShader(c.shader)});
        } else {
            EXPECT_TRUE(shaders.empty());
        }
        const uint32_t centre = frame[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF;
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(int(centre >> shift & 0xFF), int(c.colour >> shift & 0xFF), 3) << std::hex << centre;
        }
        // Alpha testing as the engine's rule has it for the blending the
        // combined texture's alpha turned on; stages 1 and 2 unbound and
        // disabled.
        D3D9RenderStateFlush();
        DWORD blending = 0;
        DWORD value = 0;
        Device()->GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
        Device()->GetRenderState(D3DRS_ALPHATESTENABLE, &value);
        EXPECT_EQ(value, blending);
        Device()->GetRenderState(D3DRS_ZWRITEENABLE, &value);
        EXPECT_EQ(value, 1u);
        for (DWORD stage : {1u, 2u}) {
            IDirect3DBaseTexture9* bound = nullptr;
            Device()->GetTexture(stage, &bound);
            EXPECT_EQ(bound, nullptr) << stage;
            EXPECT_EQ(DeviceStage(stage, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE)) << stage;
        }
        EXPECT_EQ(DeviceStage(2, D3DTSS_TEXCOORDINDEX), 2u);
        EXPECT_EQ(DeviceStage(2, D3DTSS_TEXTURETRANSFORMFLAGS), DWORD(D3DTTFF_DISABLE));
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, BumpMapDraws, testing::Values("ff3", "full"));

} // namespace
