#include "graphics/core/matrix.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using MatrixChunkTest = StartedEngineTest;

Matrix ReadMatrix(const Bytes& bytes, bool* ok)
{
    Matrix m{};
    *ok = ReadBytes<bool>(bytes, [&](Stream* s) {
        return StreamFindChunk(s, kChunkMatrix, nullptr, nullptr) && MatrixStreamRead(s, &m) != nullptr;
    });
    return m;
}

TEST_F(MatrixChunkTest, LayoutAndRoundTrip)
{
    Matrix m{};
    m.right = {1, 2, 3};
    m.up = {4, 5, 6};
    m.at = {7, 8, 9};
    m.pos = {-1, -2, -3.5f};
    m.flags = 0x20000;
    Bytes bytes = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    ASSERT_EQ(bytes.size(), 76u);
    EXPECT_EQ(MatrixStreamGetSize(), 64u);
    EXPECT_EQ(GetU32(bytes, 0), 0xDu);
    EXPECT_EQ(GetU32(bytes, 4), 64u);
    EXPECT_EQ(GetU32(bytes, 8), 0x1C020016u);
    EXPECT_EQ(GetU32(bytes, 12), 1u);
    EXPECT_EQ(GetU32(bytes, 16), 52u);
    EXPECT_EQ(GetF32(bytes, 24), 1.0f);
    EXPECT_EQ(GetF32(bytes, 24 + 44), -3.5f);
    EXPECT_EQ(GetU32(bytes, 24 + 48), 0u); // flags AND 3
    bool ok;
    Matrix back = ReadMatrix(bytes, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.up.y, 5.0f);
    EXPECT_EQ(back.pos.z, -3.5f);
    EXPECT_EQ(back.flags, 0u);

    // Into a new matrix from the free list.
    Matrix* created = ReadBytes<Matrix*>(bytes, [](Stream* s) {
        return StreamFindChunk(s, kChunkMatrix, nullptr, nullptr) ? MatrixStreamRead(s, nullptr) : nullptr;
    });
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->at.z, 9.0f);
    MatrixDestroy(created);
}

TEST_F(MatrixChunkTest, OrthonormalMatricesAreCleanedOnBothSides)
{
    Matrix m{};
    V3d axis = {1, 1, 0};
    MatrixRotate(&m, &axis, 30, kCombineReplace);
    m.right.x *= 1.001f; // slightly off, still flagged orthonormal
    Bytes bytes = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    EXPECT_EQ(GetU32(bytes, 24 + 48), 3u);
    bool ok;
    Matrix back = ReadMatrix(bytes, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.flags, kMatrixFlagsOrthonormal);
    EXPECT_LT(MatrixNormalError(&back), 1e-6f);
}

TEST_F(MatrixChunkTest, ShortAndLongStructChunks)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.flags = 3;
    Bytes bytes = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    // 48 bytes: the flags word reads as zero.
    Bytes shorter(bytes.begin(), bytes.end() - 4);
    PutU32(shorter, 4, 60);
    PutU32(shorter, 16, 48);
    bool ok;
    Matrix back = ReadMatrix(shorter, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.flags, 0u);
    EXPECT_EQ(back.right.x, 1.0f);
    // 56 bytes: the first 52 are read, the rest skipped, so the next chunk follows.
    Bytes longer = bytes;
    longer.insert(longer.end(), {0xEE, 0xEE, 0xEE, 0xEE});
    PutU32(longer, 4, 68);
    PutU32(longer, 16, 56);
    Bytes second = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    longer.insert(longer.end(), second.begin(), second.end());
    int matrices = ReadBytes<int>(longer, [](Stream* s) {
        Matrix a, b;
        int n = 0;
        n += StreamFindChunk(s, kChunkMatrix, nullptr, nullptr) && MatrixStreamRead(s, &a);
        n += StreamFindChunk(s, kChunkMatrix, nullptr, nullptr) && MatrixStreamRead(s, &b);
        return n;
    });
    EXPECT_EQ(matrices, 2);
}

TEST_F(MatrixChunkTest, NonFiniteNumbersAreRefusedAtTheirOffset)
{
    Matrix m{};
    m.right = {1, 0, 0};
    const Bytes good = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    for (size_t field = 0; field < 12; ++field) {
        for (uint32_t bits : kNotFiniteBits) {
            Bytes bytes = good;
            PutU32(bytes, 24 + 4 * field, bits);
            bool ok;
            ReadMatrix(bytes, &ok);
            EXPECT_FALSE(ok) << field;
            EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorRead})) << field;
            EXPECT_EQ(TakeRefusedOffset(), int64_t(24 + 4 * field)) << field;
        }
    }
    bool ok;
    ReadMatrix(good, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(TakeRefusedOffset(), -2);
}

TEST_F(MatrixChunkTest, TruncatedAndBadVersionFail)
{
    Matrix m{};
    m.right = {1, 0, 0};
    Bytes bytes = WriteBytes([&](Stream* s) { return MatrixStreamWrite(&m, s) != nullptr; });
    for (size_t length = 12; length < bytes.size(); ++length) {
        Bytes cut(bytes.begin(), bytes.begin() + length);
        bool ok;
        ReadMatrix(cut, &ok);
        EXPECT_FALSE(ok) << length;
        EXPECT_NE(TakeError(), kNoError) << length;
    }
    Bytes old = bytes;
    PutU32(old, 20, 0x310); // a stamp of version 0x31000
    bool ok;
    ReadMatrix(old, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadVersion}));
}

} // namespace
