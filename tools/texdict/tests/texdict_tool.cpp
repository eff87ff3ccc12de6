// texdict packs two PNGs, lists them and unpacks them unchanged; with --mips
// every level holds the picture filtered down.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "graphics/core/chunk.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "graphics/toolkit2d/png.h"

namespace {

class TexdictToolTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        // A folder per test: CTest runs the tests side by side.
        root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "texdict-tool" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(8, (root.string() + "/").c_str(), "tool");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    void TearDown() override
    {
        FileSystemManagerClose();
        EngineFixture::TearDown();
    }

    /// Runs texdict in the test's folder; its output, and whether it succeeded.
    bool Run(const std::string& arguments, std::string* output)
    {
        const std::string command = "cd '" + root.string() + "' && '" OLAI_TEXDICT "' " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return false;
        }
        char buffer[256];
        output->clear();
        while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) {
            *output += buffer;
        }
        return pclose(pipe) == 0;
    }

    static Image* Picture(int32_t width, int32_t height, int seed)
    {
        Image* image = ImageCreate(width, height, 32);
        ImageAllocatePixels(image);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t rgba[4] = {uint8_t(x * 31 + seed), uint8_t(y * 47), uint8_t(seed * 3 + x * y),
                                         uint8_t(255 - ((x + y) % 3) * 100)};
                std::memcpy(image->pixels + y * image->stride + x * 4, rgba, 4);
            }
        }
        return image;
    }

    static bool SamePixels(const Image* a, const Image* b)
    {
        if (a->width != b->width || a->height != b->height || a->depth != b->depth) {
            return false;
        }
        for (int32_t y = 0; y < a->height; ++y) {
            if (std::memcmp(a->pixels + y * a->stride, b->pixels + y * b->stride, size_t(a->width) * 4) !=
                0) {
                return false;
            }
        }
        return true;
    }

    std::filesystem::path root;
};

TEST_F(TexdictToolTest, PacksListsAndUnpacksUnchanged)
{
    Image* first = Picture(8, 8, 1);
    Image* second = Picture(16, 4, 7);
    ASSERT_NE(PngWrite(first, "First.png"), nullptr);
    ASSERT_NE(PngWrite(second, "second.png"), nullptr);

    std::string output;
    ASSERT_TRUE(Run("pack out.txd First.png second.png --filter 1", &output)) << output;
    ASSERT_TRUE(Run("list out.txd", &output)) << output;
    EXPECT_NE(output.find("first 8x8 depth 32 levels 1 filter 1 addressing 1 1"), std::string::npos)
        << output;
    EXPECT_NE(output.find("second 16x4 depth 32 levels 1 filter 1"), std::string::npos) << output;
    ASSERT_TRUE(Run("unpack out.txd unpacked", &output)) << output;

    Image* firstBack = PngRead("unpacked/first.png");
    Image* secondBack = PngRead("unpacked/second.png");
    ASSERT_NE(firstBack, nullptr);
    ASSERT_NE(secondBack, nullptr);
    EXPECT_TRUE(SamePixels(firstBack, first));
    EXPECT_TRUE(SamePixels(secondBack, second));
    for (Image* image : {first, second, firstBack, secondBack}) {
        ImageDestroy(image);
    }

    EXPECT_FALSE(Run("pack out.txd missing.png", &output));
    EXPECT_FALSE(Run("list First.png", &output));
}

// A one-pixel checker of black and white: every smaller level is the mid grey
// it averages to (not the black of a level left empty), so that a distant
// wall does not shimmer.
TEST_F(TexdictToolTest, MipLevelsHoldThePictureFilteredDown)
{
    Image* checker = ImageCreate(16, 16, 32);
    ImageAllocatePixels(checker);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const uint8_t v = (x + y) % 2 != 0 ? 255 : 0;
            const uint8_t rgba[4] = {v, v, v, 255};
            std::memcpy(checker->pixels + y * checker->stride + x * 4, rgba, 4);
        }
    ASSERT_NE(PngWrite(checker, "checker.png"), nullptr);
    ImageDestroy(checker);
    std::string output;
    ASSERT_TRUE(Run("pack mips.txd checker.png --mips --filter 6", &output)) << output;
    ASSERT_TRUE(Run("list mips.txd", &output)) << output;
    EXPECT_NE(output.find("checker 16x16 depth 32 levels 5 filter 6"), std::string::npos) << output;

    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, (root / "mips.txd").string().c_str());
    ASSERT_NE(stream, nullptr);
    TexDictionary* dictionary = StreamFindChunk(stream, kChunkImageTexDictionary, nullptr, nullptr)
                                    ? ImageTexDictionaryRead(stream)
                                    : nullptr;
    StreamClose(stream, nullptr);
    ASSERT_NE(dictionary, nullptr);
    Texture* texture = TexDictionaryFindNamedTexture(dictionary, "checker");
    ASSERT_NE(texture, nullptr);
    Image** levels = RasterGetMipImages(texture->raster, 5, true);
    ASSERT_NE(levels, nullptr);
    for (int32_t level = 1; level < 5; ++level) {
        const Image* image = levels[level];
        ASSERT_EQ(image->width, 16 >> level);
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x) {
                const uint8_t* p = image->pixels + y * image->stride + x * 4;
                EXPECT_NEAR(int(p[0]), 128, 2) << "level " << level << " at " << x << " " << y;
            }
    }
    for (int32_t level = 0; level < 5; ++level)
        ImageDestroy(levels[level]);
    MemoryFree(levels);
    TexDictionaryDestroy(dictionary);
}

} // namespace
