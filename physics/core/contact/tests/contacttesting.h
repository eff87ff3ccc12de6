#pragma once
// Helpers for the narrow-phase tests: a started engine with a batch area of
// the default capacities, frames made in code and one-call measurements.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/contact/batch.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/tests/volumetesting.h"

class ContactTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        OlpContextParamsDefault(&params);
        memory = OlpAlignedAlloc(OlpBatchAreaSize(&params), 16, kOlpMemoryHint);
        ASSERT_NE(OlpBatchAreaInit(&area, memory, &params), nullptr);
        area.contactDistance = 0.05f;
    }
    void TearDown() override
    {
        OlpAlignedFree(memory);
        StartedEngineTest::TearDown();
    }

    /// Measures volume a under frame fa against b under fb as parts of
    /// `objectA` and `objectB`; 1 when a feature pair was appended.
    int32_t Measure(const OlpVolume* a, const Matrix* fa, const OlpVolume* b, const Matrix* fb,
                    void* objectA = nullptr, void* objectB = nullptr, uint32_t featureA = 0,
                    uint32_t featureB = 0)
    {
        entryA = {objectA, objectA != nullptr ? 0u : kOlpBarePart, featureA, a, fa};
        entryB = {objectB, objectB != nullptr ? 0u : kOlpBarePart, featureB, b, fb};
        OlpBatchPartPair pair = {&entryA, &entryB};
        return OlpBatchFeaturePair(&area, &pair, area.contactDistance);
    }

    /// The contacts of every feature pair measured so far, as one group.
    std::vector<OlpContact> Generate()
    {
        std::vector<OlpContact> out(8);
        uint32_t n = OlpContactGenerate(&area, area.records, area.recordCount, out.data(), 8);
        out.resize(n);
        return out;
    }

    OlpContextParams params;
    void* memory = nullptr;
    OlpBatchArea area;
    OlpBatchEntry entryA, entryB;
};

inline bool IsUnit(V3d v)
{
    return std::fabs(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z) - 1.0f) < 1e-4f;
}
