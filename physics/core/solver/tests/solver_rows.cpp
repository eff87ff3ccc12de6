#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "physics/core/contact/contact.h"
#include "physics/core/joint/joint.h"
#include "physics/core/solver/cpu.h"
#include "physics/core/solver/stages.h"

namespace {

class RowsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        work = OlpSolverWorkCreate(256, 4, 32, 2);
        ASSERT_NE(work, nullptr);
        OlpSolverReset(work);
    }
    void TearDown() override { OlpSolverWorkDestroy(work); }

    /// A contact of `points` points between two static sides, normal +y.
    static OlpContact Contact(uint32_t points)
    {
        OlpContact c{};
        c.normal = {0, 1, 0};
        c.count = points;
        c.partA = c.partB = kOlpBarePart;
        c.bounce = 0.5f;
        c.slide = 0.5f;
        for (uint32_t i = 0; i < points; ++i) {
            c.points[i].position = {static_cast<float>(i), 0, 0};
            c.points[i].separation = -0.01f;
        }
        return c;
    }

    OlpSolverWork* work = nullptr;
};

TEST_F(RowsTest, ContactsGiveThreeRowsPerPointPaddedToFour)
{
    for (uint32_t points : {1u, 4u}) {
        OlpSolverReset(work);
        OlpContact c = Contact(points);
        OlpConstraintContactRows(&work->builder, &c, 60.0f);
        EXPECT_EQ(work->builder.rowCount, points == 1 ? 4u : 12u);
        EXPECT_EQ(work->builder.constraintRows[0], points == 1 ? 4u : 12u);
    }
    // The padding row: zero Jacobian with body words -1, tag -1.
    OlpSolverReset(work);
    OlpContact one = Contact(1);
    OlpConstraintContactRows(&work->builder, &one, 60.0f);
    EXPECT_EQ(work->builder.tag[3], -1);
    EXPECT_EQ(work->builder.jacobian[3][0], 0.0f);
    EXPECT_EQ(work->builder.reduction[3], 0.8f);
}

TEST_F(RowsTest, PropertyBitThreeMakesNoRows)
{
    OlpContactProperties props{};
    props.flags = kOlpPropNoRows;
    OlpContact c = Contact(1);
    c.points[0].properties = &props;
    OlpConstraintContactRows(&work->builder, &c, 60.0f);
    EXPECT_EQ(work->builder.rowCount, 0u);
}

TEST_F(RowsTest, RestitutionBiasOnlyForApproachingPoints)
{
    struct Case
    {
        float vy;
        float bias;
    };
    for (Case k : {Case{-2.0f, 1.0f}, Case{-1e-5f, 0.0f}}) {
        OlpSolverReset(work);
        OlpContact c = Contact(1);
        c.points[0].targetVelocity = {0, k.vy, 0};
        OlpConstraintContactRows(&work->builder, &c, 60.0f);
        EXPECT_FLOAT_EQ(work->builder.bias[0], k.bias) << k.vy;
        EXPECT_FLOAT_EQ(work->builder.error[0], -0.01f);
    }
}

TEST_F(RowsTest, SpringRule)
{
    float soft[2];
    ASSERT_TRUE(OlpConstraintSpring(200.0f, 0.1f, 0.01f, 0.0f, soft));
    EXPECT_NEAR(soft[0], 0.476190f, 1e-6f);
    EXPECT_NEAR(soft[1], 0.952381f, 1e-6f);
    EXPECT_FALSE(OlpConstraintSpring(0.0f, 0.0f, 0.01f, 0.0f, soft));
    EXPECT_FALSE(OlpConstraintSpring(-100.0f, 0.5f, 0.01f, 0.0f, soft));
}

TEST_F(RowsTest, NanRowsAreRefused)
{
    ASSERT_EQ(OlpConstraintOpen(&work->builder, -1, -1, nullptr), 1);
    OlpConstraintRow row{};
    row.error = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(OlpConstraintAddRow(&work->builder, &row), 0);
    row.error = 0.0f;
    row.bounds[3] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(OlpConstraintAddRow(&work->builder, &row), 0);
    row.bounds[3] = kOlpRowUnbounded;
    EXPECT_EQ(OlpConstraintAddRow(&work->builder, &row), 1);
}

TEST_F(RowsTest, EveryCheckedWordRefusesNonFinite)
{
    // Words 0-15 are the Jacobian (each fourth float unread), 16-19 error,
    // bias and softness, 20-23 the bounds (infinite allowed), 24 reduction.
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    for (int word = 0; word <= 24; ++word) {
        const bool unread = word < 16 && word % 4 == 3;
        const bool bound = word >= 20 && word < 24;
        for (float bad : {kNan, kInf, -kInf}) {
            OlpSolverReset(work);
            ASSERT_EQ(OlpConstraintOpen(&work->builder, -1, -1, nullptr), 1);
            OlpConstraintRow row{};
            row.linearA[0] = 1.0f;
            reinterpret_cast<float*>(&row)[word] = bad;
            const bool accepted = unread || (bound && !std::isnan(bad));
            EXPECT_EQ(OlpConstraintAddRow(&work->builder, &row), accepted ? 1 : 0) << word << " " << bad;
        }
    }
}

TEST_F(RowsTest, JointRowCounts)
{
    OlpJointDef* def = OlpJointDefCreate();
    OlpJoint joint{};
    joint.def = def;
    for (auto [flags, rows] :
         {std::pair{56u, 3u}, std::pair{62u, 5u}, std::pair{57u, 4u}, std::pair{58u, 4u}}) {
        OlpJointDefSetFlags(def, flags);
        EXPECT_EQ(OlpConstraintJointRowCount(&joint), rows) << flags;
        OlpSolverReset(work);
        OlpConstraintJointRows(&work->builder, &joint, 0.0f, 0.01f);
        EXPECT_EQ(work->builder.constraintRows[0] >= rows, true);
    }
    OlpJointDefRelease(def);
}

int32_t Vendor(const char* text, char out[13])
{
    for (int i = 0; i < 12; ++i) {
        out[i] = text[i];
    }
    out[12] = '\0';
    return 1;
}

TEST(SolverCpu, InjectedIdentification)
{
    struct Case
    {
        OlpCpuId id;
        uint32_t usable;
    };
    static const Case cases[] = {
        {{[](char o[13]) { return Vendor("GenuineIntel", o); }, [] { return 1u; }, [] { return 1; }}, 1},
        {{[](char o[13]) { return Vendor("AuthenticAMD", o); }, [] { return 1u; }, [] { return 1; }}, 1},
        {{[](char o[13]) { return Vendor("CyrixInstead", o); }, [] { return 1u; }, [] { return 1; }}, 0},
        {{[](char o[13]) { return Vendor("GenuineIntel", o); }, [] { return 0u; }, [] { return 1; }}, 0},
        {{[](char o[13]) { return Vendor("GenuineIntel", o); }, [] { return 1u; }, [] { return 0; }}, 0},
        {{[](char*) { return 0; }, [] { return 1u; }, [] { return 1; }}, 0},
    };
    const char* force = std::getenv("OLAI_PHYSICS_KERNELS");
    if (force != nullptr) {
        GTEST_SKIP() << "the environment forces the kernels";
    }
    for (const Case& k : cases) {
        OlpCpuSetId(&k.id);
        OlpCpuDetect();
        EXPECT_EQ(OlpCpuGetMode(), k.usable);
    }
    OlpCpuSetId(nullptr);
}

} // namespace
