// Image files through the format registry: extension forms, the search path,
// masks, writers and finding a name's extension on disk.
#include <gtest/gtest.h>

#include "graphics/core/tests/imagefiletesting.h"

namespace {

const TestColour kRed{255, 0, 0, 255};
const TestColour kGrey{128, 128, 128, 255};

Image* OtherReader(const char*)
{
    Image* image = ImageCreate(1, 1, 32);
    ImageAllocatePixels(image);
    std::memset(image->pixels, 7, 4);
    return image;
}

using ImageFormatTest = ImageFileTest;

TEST_F(ImageFormatTest, RegisteringAgainUpdatesOneEntry)
{
    PutSolid("a.tst", 1, 1, kRed);
    ASSERT_EQ(ImageRegisterFileFormat("TST", OtherReader, nullptr), 1);
    Image* image = ImageReadByExtension("a.tst");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels[0], 7) << "the second reader replaced the first";
    ImageDestroy(image);
    // The writer given first is kept: writing still works.
    PutSolid("b.tst", 1, 1, kRed);
}

TEST_F(ImageFormatTest, ExtensionFormsMatchExactlyInEitherCase)
{
    PutSolid("lower.tst", 1, 1, kRed);
    std::filesystem::copy_file(root / "lower.tst", root / "upper.TST");
    std::filesystem::copy_file(root / "lower.tst", root / "mixed.Tst");
    for (const char* name : {"lower.tst", "upper.TST"}) {
        Image* image = ImageReadByExtension(name);
        EXPECT_NE(image, nullptr) << name;
        if (image) {
            ImageDestroy(image);
        }
    }
    EXPECT_EQ(ImageReadByExtension("mixed.Tst"), nullptr);
}

TEST_F(ImageFormatTest, ExtensionsKeepEighteenCharacters)
{
    ASSERT_EQ(ImageRegisterFileFormat("abcdefghijklmnopqr", TestImageRead, TestImageWrite), 1);
    ASSERT_EQ(ImageRegisterFileFormat("ABCDEFGHIJKLMNOPQRSTUV", TestImageRead, TestImageWrite), 1);
    PutSolid("x.tst", 1, 1, kRed);
    std::filesystem::copy_file(root / "x.tst", root / "x.abcdefghijklmnopqr");
    std::filesystem::copy_file(root / "x.tst", root / "x.abcdefghijklmnopqrstuv");
    std::filesystem::copy_file(root / "x.tst", root / "x.abcdefghijklmnopqrst");
    Image* kept = ImageReadByExtension("x.abcdefghijklmnopqr");
    ASSERT_NE(kept, nullptr);
    ImageDestroy(kept);
    // The 22-character registration was cut to the same 18 characters.
    EXPECT_EQ(ImageReadByExtension("x.abcdefghijklmnopqrstuv"), nullptr);
    EXPECT_EQ(ImageReadByExtension("x.abcdefghijklmnopqrst"), nullptr);
}

TEST_F(ImageFormatTest, NamesWithoutAnExtensionAfterTheLastSeparatorFail)
{
    PutSolid("x.tst", 1, 1, kRed);
    std::filesystem::create_directories(root / "dir.tst");
    std::filesystem::copy_file(root / "x.tst", root / "dir.tst" / "plain");
    TestReaderCalls().clear();
    EXPECT_EQ(ImageReadByExtension("dir.tst/plain"), nullptr);
    EXPECT_TRUE(TestReaderCalls().empty());
    EXPECT_EQ(ImageReadByExtension("nothing.unknown"), nullptr);
    EXPECT_EQ(ImageReadByExtension("missing.tst"), nullptr);
    EXPECT_TRUE(TestReaderCalls().empty()) << "the reader runs only for files that exist";
}

TEST_F(ImageFormatTest, SearchPathDirectoriesAreTriedInOrderAndNeverTheNameAlone)
{
    PutSolid("first/n.tst", 1, 1, kRed);
    PutSolid("second/n.tst", 1, 1, kGrey);
    PutSolid("n.tst", 1, 1, kGrey);
    ASSERT_NE(ImageSetPath("missing/;second/;first/"), nullptr);
    EXPECT_STREQ(ImageGetPath(), "missing/;second/;first/");
    Image* image = ImageReadByExtension("n.tst");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), kGrey);
    ImageDestroy(image);
    EXPECT_EQ(TestReaderCalls(), (std::vector<std::string>{"second/n.tst"}));

    // A directory without the file and no other: the name alone is not tried.
    ASSERT_NE(ImageSetPath("missing/"), nullptr);
    EXPECT_EQ(ImageReadByExtension("n.tst"), nullptr);

    // An absolute name is tried alone.
    TestReaderCalls().clear();
    const std::string absolute = (root / "first" / "n.tst").string();
    image = ImageReadByExtension(absolute.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(PixelAt(image, 0, 0), kRed);
    ImageDestroy(image);
    EXPECT_EQ(TestReaderCalls(), (std::vector<std::string>{absolute}));
}

TEST_F(ImageFormatTest, SearchPathGrowsBeyondItsFirstBuffer)
{
    std::string path;
    for (int32_t i = 0; i < 40; ++i) {
        path += "directory" + std::to_string(i) + "/;";
    }
    path += "first/";
    ASSERT_NE(ImageSetPath(path.c_str()), nullptr);
    EXPECT_EQ(ImageGetPath(), path);
    PutSolid("first/n.tst", 1, 1, kRed);
    Image* image = ImageReadByExtension("n.tst");
    ASSERT_NE(image, nullptr);
    ImageDestroy(image);
}

TEST_F(ImageFormatTest, FindFileExtensionFollowsListOrderLowerCaseFirst)
{
    ASSERT_EQ(ImageRegisterFileFormat("raw", TestImageRead, nullptr), 1);
    PutSolid("both.tst", 1, 1, kRed);
    std::filesystem::copy_file(root / "both.tst", root / "both.RAW");
    std::filesystem::copy_file(root / "both.tst", root / "only.TST");
    // "raw" is the newest registration, so its forms come first; the file
    // system finds names in any case, so the lower-case form answers.
    EXPECT_STREQ(ImageFindFileExtension("both"), ".raw");
    EXPECT_STREQ(ImageFindFileExtension("only"), ".tst");
    EXPECT_EQ(ImageFindFileExtension("none"), nullptr);
}

TEST_F(ImageFormatTest, ReadMaskedAppliesTheMasksGreyAsAlpha)
{
    Image* picture = MakeImage(2, 1, 8, [](int32_t i, int32_t) {
        return TestColour{static_cast<uint8_t>(i), 10, 20, 255};
    });
    ASSERT_NE(ImageWrite(picture, "picture.tst"), nullptr);
    ImageDestroy(picture);
    Image* mask = MakeImage(2, 1, 32, [](int32_t x, int32_t) {
        return x == 0 ? TestColour{30, 60, 90, 255} : TestColour{200, 100, 0, 0};
    });
    ASSERT_NE(ImageWrite(mask, "mask.tst"), nullptr);
    ImageDestroy(mask);

    Image* image = ImageReadMasked("picture.tst", "mask.tst");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(PixelAt(image, 0, 0), (TestColour{0, 10, 20, 90}));
    EXPECT_EQ(PixelAt(image, 1, 0), (TestColour{1, 10, 20, 200}));
    ImageDestroy(image);

    EXPECT_EQ(ImageReadMasked("picture.tst", "missing.tst"), nullptr);
    Image* plain = ImageReadMasked("picture.tst", "");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->depth, 8);
    ImageDestroy(plain);
}

TEST_F(ImageFormatTest, WriteNeedsAWriter)
{
    Image* image = MakeImage(1, 1, 32, [](int32_t, int32_t) { return kRed; });
    EXPECT_EQ(ImageWrite(image, "x.unknown"), nullptr);
    ASSERT_EQ(ImageRegisterFileFormat("rdonly", TestImageRead, nullptr), 1);
    EXPECT_EQ(ImageWrite(image, "x.rdonly"), nullptr);
    EXPECT_EQ(ImageWrite(image, "x.tst"), image);
    ImageDestroy(image);
}

} // namespace
