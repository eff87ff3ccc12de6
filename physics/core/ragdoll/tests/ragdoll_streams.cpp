// Ragdoll definitions and ragdolls in chunks 0x909 and 0x90A.
#include "graphics/core/chunk.h"
#include "graphics/core/streambytes.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/serial/tests/serialtesting.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/mass.h"

namespace {

class RagdollStreams : public SerialTest
{
  protected:
    /// Eleven parts of varied shapes and masses, ten joints with their own
    /// limits, a checkerboard of part pairs and a 12-bone mapping.
    static OlpRagdollDef* FullDef()
    {
        OlpRagdollDef* def = OlpRagdollDefCreate();
        OlpRagdollDefSetPartCount(def, 11);
        OlpRagdollDefSetJointCount(def, 10);
        for (uint32_t i = 0; i < 11; ++i) {
            if (i == 4) {
                const V3d half = {0.2f, 0.3f, 0.1f};
                OlpVolumeDestroyContents(&def->volumes[4]);
                OlpBoxInit(&def->volumes[4], &half);
            } else {
                OlpCapsuleSetRadius(&def->volumes[i], 0.05f * float(i + 1));
            }
            OlpPartSetMass(&def->parts[i], 1.0f + float(i), 1);
            def->boneKeys[i] = 200 + i;
        }
        for (uint32_t j = 0; j < 10; ++j) {
            OlpRagdollSetJointIndex(def, j, 1, j / 2);
            OlpRagdollSetJointIndex(def, j, 0, j + 1);
            OlpJointLimitSetAngle(&def->joints[j].limitA, 0, 0.1f * float(j));
            def->joints[j].frames[1].position = {0.0f, float(j), 0.0f};
        }
        for (uint32_t b = 0; b < 121; ++b) {
            OlpBitMatrixSetBit(def->partPairs, b, b % 2 == 0);
        }
        std::vector<uint32_t> keys(12), values(12, 5);
        for (uint32_t j = 0; j < 12; ++j) {
            keys[j] = 211 - j; // reversed: part i drives bone 11 - i
        }
        OlpRagdollDefSetMapping(def, keys.data(), values.data(), 12);
        return def;
    }
};

} // namespace

TEST_F(RagdollStreams, ADefinitionComesBackWholeAndItsChunksMeasureRight)
{
    OlpRagdollDef* def = FullDef();
    OlpRagdoll* ragdoll = OlpRagdollCreate(def);
    OlpSerialCtx measure;
    OlpSerialCtxInit(&measure, nullptr, kOlpSerialWrite);
    ASSERT_TRUE(OlpRagdollDefSerialize(&measure, def));
    EXPECT_EQ(OlpRagdollDefStreamSize(def), measure.count + 12);
    EXPECT_EQ(OlpRagdollStreamSize(ragdoll), measure.count + 24);
    std::vector<uint8_t> bytes =
        StreamWrittenBytes([&](Stream* s) { return OlpRagdollStreamWrite(ragdoll, s) != nullptr; });
    ASSERT_EQ(bytes.size(), measure.count + 36);

    OlpRagdoll* read =
        ReadChunk(bytes, bytes.size(), kOlpChunkRagdoll, [](Stream* s) { return OlpRagdollStreamRead(s); });
    ASSERT_NE(read, nullptr);
    auto* back = static_cast<OlpRagdollDef*>(read->base.definition);
    EXPECT_EQ(back->refCount, 1u);
    EXPECT_EQ(back->partCount, 11);
    EXPECT_EQ(back->jointCount, 10);
    EXPECT_EQ(read->base.flags, 0x1000Bu);
    EXPECT_EQ(back->volumes[4].descriptor, &kOlpBoxDescriptor);
    for (uint32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(back->parts[i].mass, def->parts[i].mass);
        EXPECT_EQ(back->volumes[i].margin, def->volumes[i].margin);
        EXPECT_EQ(back->boneKeys[i], def->boneKeys[i]);
        EXPECT_EQ(back->boneIndex[i], 11 - i);
    }
    for (uint32_t j = 0; j < 10; ++j) {
        EXPECT_EQ(OlpRagdollGetJointIndex(back, j, 1), j / 2);
        EXPECT_EQ(OlpRagdollGetJointIndex(back, j, 0), j + 1);
        EXPECT_EQ(back->joints[j].limitA.cosHalf[0], def->joints[j].limitA.cosHalf[0]);
        EXPECT_EQ(back->joints[j].frames[1].position.y, float(j));
    }
    EXPECT_EQ(std::memcmp(back->partPairs->words, def->partPairs->words, 16), 0);
    ASSERT_EQ(back->mappingCount, 12u);
    EXPECT_EQ(back->claimed[0], 0u) << "the bone no part drives";
    EXPECT_EQ(back->claimed[1], kOlpArtClaimed);
    OlpRagdollDestroy(read);
    OlpRagdollDestroy(ragdoll);
    OlpRagdollDefRelease(def);
}

TEST_F(RagdollStreams, CutsAndForeignCapacitiesGiveNullAndLeakNothing)
{
    OlpRagdollDef* def = FullDef();
    std::vector<uint8_t> good =
        StreamWrittenBytes([&](Stream* s) { return OlpRagdollDefStreamWrite(def, s) != nullptr; });
    OlpRagdollDefRelease(def);
    const int64_t live = CountingMemory::live;
    for (size_t cut = 24; cut < good.size(); cut += 7) {
        std::vector<uint8_t> bad(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        const uint32_t sizes[2] = {uint32_t(cut - 12), uint32_t(cut - 24)};
        for (int i = 0; i < 4; ++i) {
            bad[4 + i] = uint8_t(sizes[0] >> (8 * i));
            bad[16 + i] = uint8_t(sizes[1] >> (8 * i));
        }
        EXPECT_EQ(
            ReadChunk(bad, cut, kOlpChunkRagdollDef, [](Stream* s) { return OlpRagdollDefStreamRead(s); }),
            nullptr)
            << "cut at " << cut;
        EXPECT_EQ(TakeError().code, kErrorRead);
    }
    // A part capacity of 12 is not a ragdoll's (the first item's payload).
    std::vector<uint8_t> bad = good;
    bad[24 + 4] = 12;
    EXPECT_EQ(
        ReadChunk(bad, bad.size(), kOlpChunkRagdollDef, [](Stream* s) { return OlpRagdollDefStreamRead(s); }),
        nullptr);
    EXPECT_EQ(TakeError().code, kErrorRead);
    EXPECT_EQ(CountingMemory::live, live);
}
