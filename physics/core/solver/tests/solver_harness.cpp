#include <gtest/gtest.h>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/solver/harness/harness.h"

class SolverHarnessTest : public StartedEngineTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(SolverHarnessTest, CaseMeetsItsClosedForm)
{
    for (int32_t mode : {1, 2}) {
        HarnessReport report = RunSolverCase(GetParam(), mode);
        EXPECT_TRUE(report.passed) << "mode " << mode << "\n" << report.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SolverHarnessTest,
                         ::testing::Values("free-fall", "box-rest", "pendulum", "slope", "bounce", "hinge"));
