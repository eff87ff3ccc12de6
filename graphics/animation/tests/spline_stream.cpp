#include <cstring>
#include <vector>

#include "graphics/animation/splineinternal.h"
#include "graphics/animation/tests/filetesting.h"
#include "graphics/animation/tests/splinetesting.h"
#include "graphics/core/tests/chunktesting.h"

namespace {

// Mn inverts An: row 0 (4, 2, 0...) / 6, rows (1, 4, 1) / 6, last row (..., 2, 4) / 6.
TEST_F(SplineTest, InverseMatricesInvertTheInterpolationMatrices)
{
    for (int32_t n = 4; n <= 10; ++n) {
        const float* m = SplineGetInverseMatrix(n);
        ASSERT_NE(m, nullptr);
        auto a = [n](int32_t r, int32_t c) -> double {
            if (r == c) {
                return 4.0 / 6.0;
            }
            if ((r == 0 && c == 1) || (r == n - 1 && c == n - 2)) {
                return 2.0 / 6.0;
            }
            return (c == r - 1 || c == r + 1) ? 1.0 / 6.0 : 0.0;
        };
        for (int32_t r = 0; r < n; ++r) {
            for (int32_t c = 0; c < n; ++c) {
                double sum = 0;
                for (int32_t k = 0; k < n; ++k) {
                    sum += a(r, k) * m[k * n + c];
                }
                EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-6) << n << " " << r << " " << c;
            }
        }
    }
    EXPECT_EQ(SplineGetInverseMatrix(3), nullptr);
    EXPECT_EQ(SplineGetInverseMatrix(11), nullptr);
}

Bytes WriteSpline(const Spline* spline)
{
    return WriteBytes([spline](Stream* s) { return SplineStreamWrite(spline, s) != nullptr; });
}

Spline* ReadSpline(const Bytes& bytes)
{
    // Past the 12-byte chunk header, as a caller that found the chunk.
    Bytes body(bytes.begin() + std::min<size_t>(12, bytes.size()), bytes.end());
    return ReadBytes<Spline*>(body, [](Stream* s) { return SplineStreamRead(s); });
}

TEST_F(SplineTest, StreamRoundTripKeepsNameTypeAndPoints)
{
    const V3d points[5] = {{0, 0, 0}, {1, 2, 3}, {-4, 5, 6}, {7, -8, 9}, {1, 1, 1}};
    Spline* spline = SplineCreate(5, kSplineClosed, points);
    ASSERT_NE(spline, nullptr);
    std::strcpy(spline->name, "camera path");
    const Bytes bytes = WriteSpline(spline);
    ASSERT_EQ(bytes.size(), 12u + 40u + 60u);
    EXPECT_EQ(SplineStreamGetSize(spline), 100);
    EXPECT_EQ(GetU32(bytes, 0), kChunkSpline);
    EXPECT_EQ(GetU32(bytes, 4), 100u);
    EXPECT_EQ(GetU32(bytes, 12 + 32), 5u);
    EXPECT_EQ(GetU32(bytes, 12 + 36), kSplineClosed);
    EXPECT_EQ(GetF32(bytes, 12 + 40 + 12 + 4), 2.0f);

    Spline* back = ReadSpline(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->name, "camera path");
    EXPECT_EQ(back->type, kSplineClosed);
    ASSERT_EQ(SplineGetNumControlPoints(back), 5);
    for (uint32_t i = 0; i < back->storedCount; ++i) {
        EXPECT_EQ(back->stored[i].x, spline->stored[i].x);
        EXPECT_EQ(back->stored[i].z, spline->stored[i].z);
    }
    SplineDestroy(back);

    // Through a file, found by its chunk.
    ASSERT_FALSE(TestFilesOpen().empty());
    EXPECT_EQ(SplineWriteFile(spline, "spline.ols"), 1);
    back = SplineReadFile("spline.ols");
    SplineDestroy(spline);
    FileSystemManagerClose();
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->name, "camera path");
    SplineDestroy(back);
}

TEST_F(SplineTest, MalformedBodiesAreRefused)
{
    const V3d points[4] = {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {3, 0, 0}};
    Spline* spline = SplineCreate(4, kSplineOpen, points);
    ASSERT_NE(spline, nullptr);
    std::memset(spline->name, 'n', sizeof(spline->name)); // no terminator
    const Bytes good = WriteSpline(spline);
    SplineDestroy(spline);

    // A name without a terminator is cut to 31 characters.
    Spline* back = ReadSpline(good);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::strlen(back->name), 31u);
    SplineDestroy(back);

    for (size_t cut = 12; cut < good.size(); cut += 4) {
        EXPECT_EQ(ReadSpline(Bytes(good.begin(), good.begin() + cut)), nullptr) << cut;
    }
    struct Case
    {
        uint32_t count;
        uint32_t type;
    } cases[] = {
        {5, kSplineOpen}, {0xFFFFFFFF, kSplineOpen}, {0x40000000, kSplineClosed}, {4, 7}, {3, kSplineOpen}};
    for (const Case& c : cases) {
        Bytes bytes = good;
        PutU32(bytes, 12 + 32, c.count);
        PutU32(bytes, 12 + 36, c.type);
        EXPECT_EQ(ReadSpline(bytes), nullptr) << c.count << " " << c.type;
        EXPECT_NE(TakeError(), kNoError);
    }
}

} // namespace
