#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Zelk {
namespace {

std::string OutputPath(const char* name)
{
    std::string mk = std::string("mkdir -p ") + OLAI_TEST_OUTPUT_DIR;
    EXPECT_EQ(std::system(mk.c_str()), 0);
    return std::string(OLAI_TEST_OUTPUT_DIR) + "/" + name;
}

TEST(TestHostFilesTest, TextModeStripsCarriageReturns)
{
    std::string path = OutputPath("lines.txt");
    void* out = TestFileOpen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const char text[] = "one\r\ntwo\r\n";
    EXPECT_EQ(TestFileWrite(text, 1, sizeof text - 1, out), sizeof text - 1);
    TestFileClose(out);

    void* in = TestFileOpen(path.c_str(), "rt");
    char line[32];
    ASSERT_NE(TestFileReadLine(line, sizeof line, in), nullptr);
    EXPECT_STREQ(line, "one\n");
    ASSERT_NE(TestFileReadLine(line, sizeof line, in), nullptr);
    EXPECT_STREQ(line, "two\n");
    EXPECT_EQ(TestFileReadLine(line, sizeof line, in), nullptr);
    EXPECT_NE(TestFileEof(in), 0);
    EXPECT_EQ(TestFileSeek(in, 0, 0), 0);
    char all[32] = {};
    std::size_t n = TestFileRead(all, 1, sizeof all, in);
    EXPECT_EQ(std::string(all, n), "one\ntwo\n");
    EXPECT_EQ(TestFileSeek(in, 0, 3), -1);
    TestFileClose(in);

    void* binary = TestFileOpen(path.c_str(), "rb");
    EXPECT_EQ(TestFileRead(all, 1, sizeof all, binary), sizeof text - 1);
    TestFileClose(binary);
    EXPECT_EQ(TestFileOpen("/nonexistent/x", "rb"), nullptr);
}

TEST(TestHostClockTest, StepsAfterEachRead)
{
    CTestHost host;
    AiHostInterface block;
    host.Fill(block);
    host.SetTime(1.0f);
    host.SetClockStep(0.5f);
    EXPECT_FLOAT_EQ(block.clock(block.clockUser), 1.0f);
    EXPECT_FLOAT_EQ(block.clock(block.clockUser), 1.5f);
    EXPECT_EQ(host.GetClockReads(), 2u);
}

TEST(TestHostWorldTest, GroundAndBoxesAnswerQueries)
{
    CTestHost host;
    AiHostInterface block;
    host.Fill(block);
    host.SetGround(0.0f);
    host.AddBox(CVec3(-1, 0, 4), CVec3(1, 2, 6));
    float from[3] = {0, 1, 0}, to[3] = {0, 1, 10}, normal[3];
    EXPECT_FLOAT_EQ(block.rayCast(from, to, nullptr, 0, 10.0f, normal), 4.0f);
    EXPECT_EQ(normal[2], -1.0f);
    EXPECT_EQ(block.segmentTest(from, to, nullptr, 0), 0);
    float down[3] = {0, -1, 0};
    EXPECT_FLOAT_EQ(block.rayCast(from, down, nullptr, 0, 2.0f, normal), 1.0f);
    EXPECT_EQ(normal[1], 1.0f);
    float side[3] = {3, 1, 0}, side2[3] = {3, 1, 10};
    EXPECT_EQ(block.sweptTest(side, side2, 1.0f, nullptr, 0), 1);
    EXPECT_EQ(block.sweptTest(side, side2, 2.5f, nullptr, 0), 0);
    host.SetRayCastUnavailable(true);
    EXPECT_EQ(block.rayCast(from, to, nullptr, 0, 10.0f, normal), -1.0f);
}

} // namespace
} // namespace Zelk
