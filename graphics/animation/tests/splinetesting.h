#pragma once
// A started engine with the spline plug-in attached.

#include "graphics/animation/spline.h"
#include "graphics/core/tests/mathstesting.h"

class SplineTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit());
        ASSERT_TRUE(SplinePluginAttach());
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        TakeError();
    }
};
