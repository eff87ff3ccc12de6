// Creation parameters and the custom volume-type registry.
#include <gtest/gtest.h>

#include "physics/core/context/contextparams.h"
#include "physics/core/context/volumetype.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/sphere.h"

TEST(ContextParams, DefaultsAndSetters)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    const uint32_t expected[16] = {0xFFFFFFFFu, 3,  0,   0,   0,    0,   0,    100,
                                   100,         10, 400, 400, 1000, 100, 1000, 40};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(params.words[i], expected[i]) << "word " << i;
    }
    params.words[kOlpParamJoints] = 7; // object joints reserved by the types
    OlpContextParamsSetFreeJoints(&params, 4);
    OlpContextParamsSetFreeJoints(&params, 6);
    EXPECT_EQ(params.words[kOlpParamFreeJoints], 6u);
    EXPECT_EQ(params.words[kOlpParamJoints], 13u);
    OlpContextParamsSetNarrowCapacities(&params, 1, 2, 3, 4);
    EXPECT_EQ(params.words[13], 1u);
    EXPECT_EQ(params.words[12], 2u);
    EXPECT_EQ(params.words[14], 3u);
    EXPECT_EQ(params.words[15], 4u);
    OlpContextParamsSetRowLimits(&params, 64);
    EXPECT_EQ(params.words[10], 64u);
    EXPECT_EQ(params.words[11], 64u);
    OlpContextParamsSetLayoutFlags(&params, 0);
    EXPECT_EQ(params.words[0], 0u);
}

TEST(ContextVolumeTypes, AnEmptyRegistryKnowsNothing)
{
    EXPECT_EQ(OlpVolumeTypeRegister(nullptr, 100, nullptr), 0);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 100), nullptr);
}

TEST(ContextVolumeTypes, RegisteredTypesAreFoundAndTheNewestWins)
{
    ASSERT_EQ(OlpVolumeTypeRegister(nullptr, 100, &kOlpSphereDescriptor), 1);
    ASSERT_EQ(OlpVolumeTypeRegister(nullptr, 101, &kOlpBoxDescriptor), 1);
    ASSERT_EQ(OlpVolumeTypeRegister(nullptr, 102, &kOlpSphereDescriptor), 1);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 100), &kOlpSphereDescriptor);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 101), &kOlpBoxDescriptor);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 102), &kOlpSphereDescriptor);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 103), nullptr);
    EXPECT_EQ(OlpVolumeTypeRegister(nullptr, 101, nullptr), 1);
    ASSERT_EQ(OlpVolumeTypeRegister(nullptr, 100, &kOlpBoxDescriptor), 1);
    EXPECT_EQ(OlpVolumeTypeFind(nullptr, 100), &kOlpBoxDescriptor);
    // A full registry refuses further types.
    int32_t accepted = 1;
    for (uint32_t i = 0; i < kOlpVolumeTypeCapacity && accepted; ++i) {
        accepted = OlpVolumeTypeRegister(nullptr, 200 + i, &kOlpBoxDescriptor);
    }
    EXPECT_EQ(accepted, 0);
}
