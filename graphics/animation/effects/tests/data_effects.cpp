// Material effects data: type transitions, setters and getters, combined
// bump textures, copies, and the stored forms with readers that refuse
// malformed bodies and leak nothing.
#include <cstring>
#include <string>

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/core/chunk.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

class EffectsData : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0x400000) && WorldLibraryAttach() &&
                    EffectsPluginAttach() && Open() && EngineStart());
        dictionary_ = TexDictionaryGetCurrent();
        ASSERT_NE(dictionary_, nullptr);
    }

    /// A 32-bit texture of `width` x 4 named `name`, held by the current dictionary and by the caller.
    Texture* MakeTexture(const char* name, int32_t width = 4)
    {
        Raster* raster = RasterCreate(width, 4, 32, kRasterTypeTexture | kRasterFormat8888);
        EXPECT_NE(raster, nullptr);
        Texture* texture = TextureCreate(raster);
        EXPECT_NE(texture, nullptr);
        TextureSetName(texture, name);
        TexDictionaryAddTexture(dictionary_, texture);
        return texture;
    }

    static Bytes WriteMaterial(const Material* material)
    {
        return WriteBytes([&](Stream* stream) { return MaterialStreamWrite(material, stream) != nullptr; });
    }

    static Material* ReadMaterial(const Bytes& bytes)
    {
        return ReadBytes<Material*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkMaterial, nullptr, nullptr) ? MaterialStreamRead(stream)
                                                                             : nullptr;
        });
    }

    /// Offset of the effects sub-chunk's body in a saved material (found by its id).
    static size_t EffectsBody(const Bytes& bytes)
    {
        for (size_t at = 0; at + 12 <= bytes.size(); at += 4) {
            if (GetU32(bytes, at) == kPluginIdMaterialEffects && GetU32(bytes, at + 8) >= 0x30000) {
                return at + 12;
            }
        }
        return 0;
    }

    TexDictionary* dictionary_ = nullptr;
};

TEST_F(EffectsData, TypeTransitionsClearOrKeepTheSlots)
{
    Texture* bump = MakeTexture("bump");
    Material* material = MaterialCreate();
    ASSERT_TRUE(MaterialEffectsSetType(material, EffectTypeBumpMap));
    ASSERT_TRUE(MaterialEffectsSetupBumpMap(material, bump, nullptr, 0.5f));
    EXPECT_EQ(bump->refCount, 2);
    // 1 -> 1 keeps the texture and coefficient.
    MaterialEffectsSetType(material, EffectTypeBumpMap);
    EXPECT_EQ(MaterialEffectsGetBumpMapBumpTexture(material), bump);
    EXPECT_EQ(MaterialEffectsGetBumpMapCoefficient(material), 0.5f);
    // 1 -> 3 clears and releases.
    MaterialEffectsSetType(material, EffectTypeBumpEnvMap);
    EXPECT_EQ(bump->refCount, 1);
    EXPECT_EQ(MaterialEffectsGetBumpMapBumpTexture(material), nullptr);
    EXPECT_EQ(MaterialEffectsGet(material)->slots[1].kind, kEffectSlotEnvMap);
    EXPECT_TRUE(MaterialEffectsIsBumpMapped(material));

    // 4 -> 4 keeps the texture and resets the blends to (5, 6).
    Texture* second = MakeTexture("second");
    MaterialEffectsSetType(material, EffectTypeDual);
    ASSERT_TRUE(MaterialEffectsSetupDualTexture(material, second, 9, 1));
    MaterialEffectsSetType(material, EffectTypeDual);
    uint32_t source = 0, destination = 0;
    EXPECT_TRUE(MaterialEffectsGetDualBlendModes(material, &source, &destination));
    EXPECT_EQ(source, 5u);
    EXPECT_EQ(destination, 6u);
    EXPECT_EQ(MaterialEffectsGetDualTexture(material), second);
    MaterialRelease(material);
    EXPECT_EQ(second->refCount, 1);
    TextureDestroy(second);
    TextureDestroy(bump);
}

TEST_F(EffectsData, SettersWithoutTheirSlotChangeNothing)
{
    Texture* texture = MakeTexture("env");
    Material* material = MaterialCreate();
    EXPECT_EQ(MaterialEffectsGetType(material), 0u);
    EXPECT_EQ(MaterialEffectsSetEnvMapTexture(material, texture), nullptr); // no record
    MaterialEffectsSetType(material, EffectTypeDual);
    EXPECT_EQ(MaterialEffectsSetEnvMapTexture(material, texture), nullptr); // no kind-2 slot
    EXPECT_EQ(MaterialEffectsSetBumpMapTexture(material, texture), nullptr);
    MaterialEffectsSetBumpMapCoefficient(material, 3.0f);
    EXPECT_EQ(MaterialEffectsGetBumpMapCoefficient(material), 0.0f);
    EXPECT_EQ(MaterialEffectsSetDualTexture(material, nullptr), nullptr);
    EXPECT_FALSE(MaterialEffectsGetUvTransformMatrices(material, nullptr, nullptr));
    EXPECT_EQ(texture->refCount, 1);
    MaterialRelease(material);
    TextureDestroy(texture);
}

TEST_F(EffectsData, CombinedBumpTextureIsNamedBuiltAndReused)
{
    Texture* base = MakeTexture("ab", 8);
    Texture* bump = MakeTexture("xyz");
    Material* first = MaterialCreate();
    MaterialSetTexture(first, base);
    MaterialEffectsSetType(first, EffectTypeBumpMap);
    ASSERT_TRUE(MaterialEffectsSetBumpMapTexture(first, bump));
    Texture* combined = MaterialEffectsGetBumpMapTexture(first);
    ASSERT_NE(combined, nullptr);
    EXPECT_STREQ(combined->name, "axbyz");
    EXPECT_EQ(MaterialEffectsGet(first)->slots[0].bumpMap.invWidth, 1.0f / 8.0f);
    EXPECT_EQ(TexDictionaryFindNamedTexture(dictionary_, "axbyz"), combined);

    Material* second = MaterialCreate();
    MaterialSetTexture(second, base);
    MaterialEffectsSetType(second, EffectTypeBumpMap);
    ASSERT_TRUE(MaterialEffectsSetBumpMapTexture(second, bump));
    EXPECT_EQ(MaterialEffectsGetBumpMapTexture(second), combined); // the dictionary's one

    // No bump texture: the inverse width comes from the material's texture.
    ASSERT_TRUE(MaterialEffectsSetBumpMapTexture(second, nullptr));
    EXPECT_EQ(MaterialEffectsGet(second)->slots[0].bumpMap.invWidth, 1.0f / 8.0f);
    MaterialRelease(first);
    MaterialRelease(second);
    EXPECT_EQ(bump->refCount, 1);
    TextureDestroy(base);
    TextureDestroy(bump);
}

TEST_F(EffectsData, CombinedNameOfTwoLongNamesStopsAtThirty)
{
    Texture* base = MakeTexture("aaaaaaaaaaaaaaaaaaaa");
    Texture* bump = MakeTexture("bbbbbbbbbbbbbbbbbbbb");
    Material* material = MaterialCreate();
    MaterialSetTexture(material, base);
    MaterialEffectsSetType(material, EffectTypeBumpMap);
    ASSERT_TRUE(MaterialEffectsSetBumpMapTexture(material, bump));
    const Texture* combined = MaterialEffectsGetBumpMapTexture(material);
    ASSERT_NE(combined, nullptr);
    EXPECT_EQ(std::strlen(combined->name), 30u);
    EXPECT_EQ(std::string(combined->name, 4), "abab");
    MaterialRelease(material);
    TextureDestroy(base);
    TextureDestroy(bump);
}

TEST_F(EffectsData, CopyTakesReferences)
{
    Texture* env = MakeTexture("env");
    Material* material = MaterialCreate();
    MaterialEffectsSetType(material, EffectTypeEnvMap);
    MaterialEffectsSetupEnvMap(material, env, nullptr, 1, 0.25f);
    Material* clone = MaterialClone(material);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(MaterialEffectsGetEnvMapTexture(clone), env);
    EXPECT_EQ(MaterialEffectsGetEnvMapCoefficient(clone), 0.25f);
    EXPECT_EQ(MaterialEffectsGetEnvMapFrameBufferAlpha(clone), 1u);
    EXPECT_EQ(env->refCount, 3);
    MaterialRelease(clone);
    MaterialRelease(material);
    EXPECT_EQ(env->refCount, 1);
    TextureDestroy(env);
}

struct RoundTripCase
{
    uint32_t type;
    const char* name;
};

class EffectsRoundTrip : public EffectsData, public ::testing::WithParamInterface<RoundTripCase>
{
};

TEST_P(EffectsRoundTrip, EveryTypeReadsBackWithItsSize)
{
    const uint32_t type = GetParam().type;
    Texture* base = MakeTexture("base");
    Texture* bump = MakeTexture("height");
    Texture* other = MakeTexture("other");
    Material* material = MaterialCreate();
    MaterialSetTexture(material, base);
    ASSERT_TRUE(MaterialEffectsSetType(material, type));
    MaterialEffectsSetupBumpMap(material, bump, nullptr, 0.5f);
    MaterialEffectsSetupEnvMap(material, other, nullptr, 1, 0.75f);
    MaterialEffectsSetupDualTexture(material, other, 9, 1);
    if (type == EffectTypeBumpMap) {
        EXPECT_EQ(MaterialEffectsGet(material)->slots[0].bumpMap.coefficient, -0.5f);
    }

    const Bytes bytes = WriteMaterial(material);
    const size_t body = EffectsBody(bytes);
    if (type == EffectTypeNull) {
        EXPECT_EQ(body, 0u) << "type 0 writes no sub-chunk";
    } else {
        ASSERT_NE(body, 0u);
        const uint32_t size = GetU32(bytes, body - 8);
        EXPECT_EQ(body + size, bytes.size());
        EXPECT_EQ(GetU32(bytes, body), type);
        if (type == EffectTypeBumpMap) {
            EXPECT_EQ(GetF32(bytes, body + 8), 0.5f) << "streamed as the caller's value";
        }
    }

    const int32_t refsBefore = other->refCount;
    Material* read = ReadMaterial(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(MaterialEffectsGetType(read), type);
    EXPECT_EQ(MaterialEffectsGetBumpMapCoefficient(read), MaterialEffectsGetBumpMapCoefficient(material));
    EXPECT_EQ(MaterialEffectsGetBumpMapTexture(read), MaterialEffectsGetBumpMapTexture(material));
    EXPECT_EQ(MaterialEffectsGetBumpMapBumpTexture(read), MaterialEffectsGetBumpMapBumpTexture(material));
    EXPECT_EQ(MaterialEffectsGetEnvMapTexture(read), MaterialEffectsGetEnvMapTexture(material));
    EXPECT_EQ(MaterialEffectsGetEnvMapCoefficient(read), MaterialEffectsGetEnvMapCoefficient(material));
    EXPECT_EQ(MaterialEffectsGetDualTexture(read), MaterialEffectsGetDualTexture(material));
    uint32_t s0 = 0, d0 = 0, s1 = 0, d1 = 0;
    MaterialEffectsGetDualBlendModes(material, &s0, &d0);
    MaterialEffectsGetDualBlendModes(read, &s1, &d1);
    EXPECT_EQ(s0, s1);
    EXPECT_EQ(d0, d1);
    EXPECT_EQ(WriteMaterial(read), bytes);
    MaterialRelease(read);
    EXPECT_EQ(other->refCount, refsBefore);
    MaterialRelease(material);
    EXPECT_EQ(other->refCount, 1);
    EXPECT_EQ(bump->refCount, 1);
    TextureDestroy(base);
    TextureDestroy(bump);
    TextureDestroy(other);
}

INSTANTIATE_TEST_SUITE_P(Types, EffectsRoundTrip,
                         ::testing::Values(RoundTripCase{0, "Null"}, RoundTripCase{1, "BumpMap"},
                                           RoundTripCase{2, "EnvMap"}, RoundTripCase{3, "BumpEnvMap"},
                                           RoundTripCase{4, "Dual"}, RoundTripCase{5, "UvTransform"},
                                           RoundTripCase{6, "DualUvTransform"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EffectsData, MissingCombinedTextureIsRebuiltFromTheBumpTexture)
{
    Texture* base = MakeTexture("ab");
    Texture* bump = MakeTexture("xyz");
    Material* material = MaterialCreate();
    MaterialSetTexture(material, base);
    MaterialEffectsSetType(material, EffectTypeBumpMap);
    ASSERT_TRUE(MaterialEffectsSetBumpMapTexture(material, bump));
    const Bytes bytes = WriteMaterial(material);
    MaterialRelease(material);
    // The slot held the only reference: the combined texture is gone.
    ASSERT_EQ(TexDictionaryFindNamedTexture(dictionary_, "axbyz"), nullptr);

    TakeError();
    Material* read = ReadMaterial(bytes);
    ASSERT_NE(read, nullptr);
    Texture* rebuilt = MaterialEffectsGetBumpMapTexture(read);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_STREQ(rebuilt->name, "axbyz");
    EXPECT_EQ(TexDictionaryFindNamedTexture(dictionary_, "axbyz"), rebuilt);
    EXPECT_EQ(bump->refCount, 2); // ours and the slot's
    MaterialRelease(read);
    TextureDestroy(base);
    TextureDestroy(bump);
}

TEST_F(EffectsData, MalformedBodiesAreRefusedWithoutLeaks)
{
    Texture* other = MakeTexture("other");
    Material* material = MaterialCreate();
    MaterialEffectsSetType(material, EffectTypeDual);
    MaterialEffectsSetDualTexture(material, other);
    const Bytes good = WriteMaterial(material);
    MaterialRelease(material);
    const size_t body = EffectsBody(good);
    ASSERT_NE(body, 0u);

    Bytes mismatched = good;
    PutU32(mismatched, body + 4, kEffectSlotEnvMap); // a kind the type does not give
    Bytes badType = good;
    PutU32(badType, body, EffectTypeBumpMap);
    for (const Bytes* bytes : {&mismatched, &badType}) {
        EXPECT_EQ(ReadMaterial(*bytes), nullptr);
        TakeError();
    }
    for (size_t cut = body; cut < good.size(); cut += 3) {
        Bytes truncated(good.begin(), good.begin() + long(cut));
        Material* read = ReadMaterial(truncated);
        EXPECT_EQ(read, nullptr) << "cut at " << cut;
        if (read) {
            MaterialRelease(read);
        }
        TakeError();
    }
    EXPECT_EQ(other->refCount, 1);
    TextureDestroy(other);
}

TEST_F(EffectsData, AtomicWordIsSavedOnlyWhenSet)
{
    Atomic* atomic = AtomicCreate();
    ASSERT_NE(atomic, nullptr);
    EXPECT_FALSE(AtomicEffectsEnabled(atomic));
    const uint32_t plain = AtomicStreamGetSize(atomic);
    AtomicEnableEffects(atomic);
    EXPECT_TRUE(AtomicEffectsEnabled(atomic));
    // The word's sub-chunk, and the pipeline selector naming the effects plug-in.
    EXPECT_EQ(AtomicStreamGetSize(atomic), plain + 16 + 20);
    Atomic* clone = AtomicClone(atomic);
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(AtomicEffectsEnabled(clone));
    EXPECT_EQ(clone->pipeline, EffectsGetPipeline(kEffectsPipelineAtomic));
    AtomicDestroy(clone);
    AtomicDestroy(atomic);
}

TEST_F(EffectsData, WordSwitchesThePipelineOnce)
{
    Pipeline* effects = EffectsGetPipeline(kEffectsPipelineAtomic);
    ASSERT_NE(effects, nullptr);
    EXPECT_NE(EffectsGetPipeline(kEffectsPipelineWorldSector), nullptr);
    EXPECT_EQ(EffectsGetPipeline(3), nullptr);
    EXPECT_EQ(effects->pluginId, kPluginIdMaterialEffects);

    Geometry* geometry = GeometryCreate(3, 1, kGeometryPositions);
    ASSERT_NE(geometry, nullptr);
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
    ASSERT_NE(GeometryUnlock(geometry), nullptr);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    ASSERT_EQ(AtomicEnableEffects(atomic), atomic);
    EXPECT_EQ(atomic->pipeline, effects);
    // A set word leaves a pipeline chosen since then alone.
    atomic->pipeline = nullptr;
    EXPECT_EQ(AtomicEnableEffects(atomic), atomic);
    EXPECT_EQ(atomic->pipeline, nullptr);

    // Read back, the stored word switches the new atomic.
    AtomicEnableEffects(atomic);
    atomic->pipeline = effects;
    const Bytes bytes = WriteBytes([&](Stream* stream) {
        return AtomicStreamWriteInClump(atomic, stream, nullptr, nullptr) != nullptr;
    });
    AtomicDestroy(atomic);
    Atomic* read = ReadBytes<Atomic*>(bytes, [](Stream* stream) {
        return StreamFindChunk(stream, kChunkAtomic, nullptr, nullptr) ? AtomicStreamRead(stream) : nullptr;
    });
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(AtomicEffectsEnabled(read));
    EXPECT_EQ(read->pipeline, effects);
    AtomicDestroy(read);
}

} // namespace
