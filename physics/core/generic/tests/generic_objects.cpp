// Generic objects: caller capacities, null volumes, flags 27, activation
// and reservation, and their chunks 0x90B and 0x90C.
#include "graphics/core/chunk.h"
#include "graphics/core/streambytes.h"
#include "physics/core/generic/generic.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/serial/tests/serialtesting.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/sphere.h"

namespace {

const float kBox[6] = {100, 100, 100, -100, -100, -100};

class GenericTest : public SerialTest
{
  protected:
    void TearDown() override
    {
        if (context != nullptr) {
            OlpContextDestroy(context);
        }
        gOlpGenericType.maxActive = kOlpObjTypeUnlimited;
        gOlpGenericType.activeCount = 0;
        SerialTest::TearDown();
    }

    /// Three spheres in a row, joints 0-1 and 1-2.
    static OlpGenericDef* ThreeSpheres(uint16_t parts = 3, uint16_t joints = 2)
    {
        OlpGenericDef* def = OlpGenericDefCreate(parts, joints);
        OlpGenericDefSetPartCount(def, 3);
        OlpGenericDefSetJointCount(def, 2);
        for (uint32_t i = 0; i < 3; ++i) {
            OlpVolumeDestroyContents(&def->volumes[i]);
            OlpSphereInit(&def->volumes[i], 0.25f + 0.25f * float(i));
            OlpPartSetMass(&def->parts[i], 1.0f, 1);
            def->boneKeys[i] = i;
        }
        for (uint32_t j = 0; j < 2; ++j) {
            OlpGenericDefSetJointIndex(def, j, 1, j);
            OlpGenericDefSetJointIndex(def, j, 0, j + 1);
        }
        return def;
    }

    OlpContext* context = nullptr;
};

} // namespace

TEST_F(GenericTest, ADefinitionHasTheCallersCapacitiesAndNullVolumes)
{
    OlpGenericDef* def = OlpGenericDefCreate(5, 4);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->partCapacity, 5);
    EXPECT_EQ(def->jointCapacity, 4);
    EXPECT_EQ(def->partPairs->rows, 5u);
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(def->volumes[i].descriptor, &kOlpNullDescriptor);
    }
    EXPECT_EQ(OlpGenericDefSetPartCount(def, 6), nullptr);
    OlpGenericObj* object = OlpGenericObjCreate(def);
    EXPECT_EQ(object->base.flags, 27u);
    EXPECT_EQ(object->base.type, &gOlpGenericType);
    OlpGenericObjDestroy(object);
    OlpGenericDefRelease(def);
    EXPECT_EQ(OlpGenericDefCreate(0, 1), nullptr);
}

TEST_F(GenericTest, ReservationRaisesWordsFiveToEight)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpContextParams before = params;
    OlpGenericParamsReserve(&params, 1, 1, 3, 2);
    const uint32_t raised[9] = {0, 1, 1, 0, 1, 3, 2, 6, 9};
    for (int w = 0; w < 9; ++w) {
        EXPECT_EQ(params.words[w] - before.words[w], raised[w]) << "word " << w;
    }
    EXPECT_EQ(gOlpGenericType.maxActive, 1u);
}

TEST_F(GenericTest, ActivationNeedsThreeStatesAndTwoJointsAndGivesThemBack)
{
    for (uint32_t missing = 0; missing < 3; ++missing) {
        SCOPED_TRACE(missing);
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        OlpGenericParamsReserve(&params, 1, 1, 3, 2);
        params.words[kOlpParamActiveParts] -= missing == 1 ? 1 : 0;
        params.words[kOlpParamJoints] -= missing == 2 ? 1 : 0;
        context = OlpContextCreate(&params, 1.0f, kBox);
        OlpMgr* mgr = OlpContextGetMgr(context);
        OlpGenericDef* def = ThreeSpheres();
        OlpGenericObj* object = OlpGenericObjCreate(def);
        OlpGenericDefRelease(def);
        ASSERT_EQ(OlpMgrAddObject(mgr, &object->base, kOlpMgrAnyId, kOlpMgrAddDynamic), mgr);
        const uint32_t states = OlpMgrGetFreeDynStates(mgr);
        const uint32_t joints = OlpMgrGetFreeJoints(mgr);
        EXPECT_EQ(OlpMgrActivateObject(mgr, &object->base) != nullptr, missing == 0);
        if (missing == 0) {
            EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), states - 3);
            EXPECT_EQ(OlpMgrGetFreeJoints(mgr), joints - 2);
            OlpMgrDeactivateObject(mgr, &object->base);
        }
        EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), states);
        EXPECT_EQ(OlpMgrGetFreeJoints(mgr), joints);
        EXPECT_EQ(gOlpGenericType.activeCount, 0u);
        OlpGenericObjDestroy(object);
        OlpContextDestroy(context);
        context = nullptr;
    }
}

TEST_F(GenericTest, ChunksMeasureRightAndReadBackOrFailCleanly)
{
    OlpGenericDef* def = ThreeSpheres(6, 4);
    OlpGenericObj* object = OlpGenericObjCreate(def);
    std::vector<uint8_t> bytes =
        StreamWrittenBytes([&](Stream* s) { return OlpGenericObjStreamWrite(object, s) != nullptr; });
    ASSERT_EQ(bytes.size(), OlpGenericObjStreamSize(object) + 12);
    EXPECT_EQ(OlpGenericObjStreamSize(object), OlpGenericDefStreamSize(def) + 12);

    OlpGenericObj* read = ReadChunk(bytes, bytes.size(), kOlpChunkGeneric,
                                    [](Stream* s) { return OlpGenericObjStreamRead(s); });
    ASSERT_NE(read, nullptr);
    auto* back = static_cast<OlpGenericDef*>(read->base.definition);
    EXPECT_EQ(back->partCapacity, 6);
    EXPECT_EQ(back->jointCapacity, 4);
    EXPECT_EQ(back->partCount, 3);
    EXPECT_EQ(read->base.partCapacity, 3);
    EXPECT_EQ(OlpSphereGetRadius(&back->volumes[2]), 0.75f);
    EXPECT_EQ(back->volumes[4].descriptor, &kOlpNullDescriptor);
    EXPECT_EQ(OlpGenericDefGetJointIndex(back, 1, 0), 2u);
    OlpGenericObjDestroy(read);
    OlpGenericObjDestroy(object);
    OlpGenericDefRelease(def);

    // Every cut of the object chunk (its size field kept) fails and leaks nothing.
    const int64_t live = CountingMemory::live;
    for (size_t cut = 0; cut < bytes.size(); cut += 5) {
        EXPECT_EQ(
            ReadChunk(bytes, cut, kOlpChunkGeneric, [](Stream* s) { return OlpGenericObjStreamRead(s); }),
            nullptr)
            << "cut at " << cut;
        TakeError();
    }
    EXPECT_EQ(CountingMemory::live, live);
}
