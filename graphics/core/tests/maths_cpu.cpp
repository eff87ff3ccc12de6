#include <cstring>
#include <random>
#include <sys/utsname.h>
#include <vector>

#include "graphics/core/cpu.h"
#include "graphics/core/cpu_config.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using CpuTest = StartedEngineTest;

struct NamedSet
{
    const char* name;
    const CpuRoutineSet* set;
};

std::vector<NamedSet> AllSets()
{
    return {{"scalar", CpuRoutinesScalar()}, {"sse-a", CpuRoutinesSseA()}, {"sse-b", CpuRoutinesSseB()}};
}

bool SameBits(const V3d& a, const V3d& b)
{
    return std::memcmp(&a, &b, sizeof(V3d)) == 0;
}

bool SameBits(const Matrix& a, const Matrix& b)
{
    return std::memcmp(&a.right, &b.right, 12) == 0 && std::memcmp(&a.up, &b.up, 12) == 0 &&
           std::memcmp(&a.at, &b.at, 12) == 0 && std::memcmp(&a.pos, &b.pos, 12) == 0;
}

class RandomData
{
  public:
    explicit RandomData(uint32_t seed) : random_(seed) {}

    float Value()
    {
        // Mixed magnitudes and signs, with exact zeros now and then.
        if (random_() % 16 == 0) {
            return 0.0f;
        }
        return std::ldexp(unit_(random_), int(random_() % 40) - 20);
    }
    V3d Vector() { return {Value(), Value(), Value()}; }
    Matrix MakeMatrix()
    {
        Matrix m{};
        m.right = Vector();
        m.flags = uint32_t(random_()) & kMatrixFlagsAll; // never trusted as identity below
        m.up = Vector();
        m.at = Vector();
        m.pos = Vector();
        m.pad1 = m.pad2 = m.pad3 = uint32_t(random_());
        return m;
    }

  private:
    std::mt19937 random_;
    std::uniform_real_distribution<float> unit_{-1.0f, 1.0f};
};

// Every member of every family equals the portable routine bit for bit, on
// one vector and on arrays of several lengths, in place and out of place.
TEST_F(CpuTest, EveryRoutineEqualsThePortableOne)
{
    RandomData data(20240611);
    for (const NamedSet& named : AllSets()) {
        SCOPED_TRACE(named.name);
        const CpuRoutineSet& set = *named.set;
        for (int trial = 0; trial < 200; ++trial) {
            Matrix m = data.MakeMatrix();
            V3d in = data.Vector();
            V3d expected, actual;
            V3dTransformPointDefault(&expected, &in, &m);
            set.transformPoint(&actual, &in, &m);
            ASSERT_TRUE(SameBits(expected, actual));
            V3dTransformVectorDefault(&expected, &in, &m);
            set.transformVector(&actual, &in, &m);
            ASSERT_TRUE(SameBits(expected, actual));

            for (int32_t count : {0, 1, 3, 17}) {
                std::vector<V3d> source(count), wanted(count), got(count, V3d{7, 7, 7});
                for (V3d& v : source) {
                    v = data.Vector();
                }
                V3dTransformPointsDefault(wanted.data(), source.data(), count, &m);
                set.transformPoints(got.data(), source.data(), count, &m);
                for (int32_t i = 0; i < count; ++i) {
                    ASSERT_TRUE(SameBits(wanted[i], got[i]));
                }
                V3dTransformVectorsDefault(wanted.data(), source.data(), count, &m);
                std::vector<V3d> inPlace = source;
                set.transformVectors(inPlace.data(), inPlace.data(), count, &m);
                for (int32_t i = 0; i < count; ++i) {
                    ASSERT_TRUE(SameBits(wanted[i], inPlace[i]));
                }
            }
            Matrix b = data.MakeMatrix();
            Matrix expectedProduct{}, actualProduct{};
            MatrixMultiplyDefault(&expectedProduct, &m, &b);
            set.multiply(&actualProduct, &m, &b);
            ASSERT_TRUE(SameBits(expectedProduct, actualProduct));
        }
    }
}

TEST(CpuChoiceTest, FamilyFollowsTheFeatures)
{
    struct Case
    {
        CpuFeatures features;
        const CpuRoutineSet* set;
    } cases[] = {
        {{1, 0, 0, 0}, CpuRoutinesScalar()}, {{0, 0, 0, 1}, CpuRoutinesScalar()},
        {{1, 1, 1, 0}, CpuRoutinesSseB()},   {{1, 1, 1, 1}, CpuRoutinesSseA()},
        {{1, 1, 0, 0}, CpuRoutinesSseA()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CpuChooseRoutines(&c.features), c.set);
    }
}

#ifdef OLAI_CPU_X86
TEST(CpuDetectTest, X86ProcessorsHaveSse)
{
    CpuFeatures features;
    CpuDetectFeatures(&features);
    EXPECT_EQ(features.sse, 1u);
    EXPECT_EQ(features.sse2, 1u);
    EXPECT_EQ(features.mmx, CpuHasMmx());
    EXPECT_EQ(features.amd3dnow, CpuHas3DNow());
    EXPECT_STRNE(CpuGetName(), "");
}
#endif

TEST(CpuNameTest, VendorFamilyAndModel)
{
    struct Case
    {
        const char* vendor;
        uint32_t family, model;
        const char* name;
    } cases[] = {
        {"GenuineIntel", 4, 8, "Intel 486"},
        {"GenuineIntel", 5, 2, "Intel Pentium"},
        {"GenuineIntel", 5, 4, "Intel Pentium MMX"},
        {"GenuineIntel", 6, 1, "Intel Pentium Pro"},
        {"GenuineIntel", 6, 5, "Intel Pentium II"},
        {"GenuineIntel", 6, 6, "Intel Celeron"},
        {"GenuineIntel", 6, 8, "Intel Pentium III"},
        {"GenuineIntel", 6, 10, "Intel Pentium III Xeon"},
        {"GenuineIntel", 15, 2, "Intel Pentium 4"},
        {"AuthenticAMD", 4, 3, "AMD 486"},
        {"AuthenticAMD", 5, 1, "AMD K5"},
        {"AuthenticAMD", 5, 6, "AMD K6"},
        {"AuthenticAMD", 5, 8, "AMD K6 2"},
        {"AuthenticAMD", 5, 9, "AMD K6 III"},
        {"AuthenticAMD", 6, 2, "AMD Athlon"},
        {"AuthenticAMD", 6, 3, "AMD Duron"},
        {"AuthenticAMD", 15, 1, "AMD ISBETTER"},
        {"CentaurHauls", 6, 9, "Unknown"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(CpuNameFromId(c.vendor, c.family, c.model), c.name) << c.vendor << c.family << c.model;
    }
}

TEST(OsVersionTest, NamesTheSystem)
{
    utsname name{};
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(std::strncmp(OsGetVersionString(), name.sysname, std::strlen(name.sysname)), 0);
}

TEST_F(CpuTest, InstallSetsStateAndRestoreBringsItBack)
{
    const uint32_t before = FpuGetControlState();
    CpuFeatures features;
    CpuDetectFeatures(&features);
    CpuInstallRoutines(&features);
    const CpuRoutineSet* chosen = CpuChooseRoutines(&features);
    V3dTransformOneFunc point, vector;
    V3dTransformManyFunc points, vectors;
    VectorGetTransformFunctions(&point, &points, &vector, &vectors);
    EXPECT_EQ(point, chosen->transformPoint);
    EXPECT_EQ(points, chosen->transformPoints);
    EXPECT_EQ(vector, chosen->transformVector);
    EXPECT_EQ(vectors, chosen->transformVectors);
    EXPECT_EQ(MatrixGetMultiplyFunction(), chosen->multiply);
#ifdef OLAI_CPU_X86
    EXPECT_EQ(FpuGetControlState() & 0x8000u, 0x8000u); // flush to zero
    EXPECT_EQ(FpuGetControlState() & 0x1F80u, 0x1F80u); // every exception masked
#endif
    FpuForceSinglePrecision();
    CpuRestoreControlState();
    EXPECT_EQ(FpuGetControlState(), before);
}

TEST_F(CpuTest, WithoutSseTheScalarRoutinesAndNoFlushToZero)
{
    const uint32_t before = FpuGetControlState();
    CpuFeatures none = {0, 0, 0, 0};
    CpuInstallRoutines(&none);
    V3dTransformOneFunc point;
    VectorGetTransformFunctions(&point, nullptr, nullptr, nullptr);
    EXPECT_EQ(point, V3dTransformPointDefault);
    EXPECT_EQ(MatrixGetMultiplyFunction(), MatrixMultiplyDefault);
    EXPECT_EQ(FpuGetControlState() & 0x8000u, before & 0x8000u);
    CpuRestoreControlState();
    EXPECT_EQ(FpuGetControlState(), before);
}

} // namespace
