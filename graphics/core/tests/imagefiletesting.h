#pragma once
// Fixture for tests that read images from files: the engine started on the
// raster device double with a memory table that counts live blocks, the file-system manager with a default
// file system rooted in a directory of the test's own, and a small image file format of the tests' own
// (".tst") registered through the image-format registry. Its files hold "TST" and a NUL, then width, height
// and depth (u32 each, little endian), the palette of a 4- or 8-bit image, and the rows without padding.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/tests/rasterdouble.h"
#include "graphics/core/win32filesystem.h"

struct TestColour
{
    uint8_t r, g, b, a;
    bool operator==(const TestColour&) const = default;
};

/// Every file name the ".tst" reader was called with.
inline std::vector<std::string>& TestReaderCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

inline Image* TestImageRead(const char* fileName)
{
    TestReaderCalls().push_back(fileName);
    FileSlot* file = FileSystemManagerFOpen(fileName, "rb");
    if (!file) {
        return nullptr;
    }
    char magic[4];
    uint32_t header[3];
    Image* image = nullptr;
    if (FileSystemManagerFRead(magic, 1, 4, file) == 4 && std::memcmp(magic, "TST", 4) == 0 &&
        FileSystemManagerFRead(header, 4, 3, file) == 3) {
        image = ImageCreate(static_cast<int32_t>(header[0]), static_cast<int32_t>(header[1]),
                            static_cast<int32_t>(header[2]));
        bool ok = image && ImageAllocatePixels(image);
        if (ok && image->palette) {
            const size_t bytes = size_t{4} << image->depth;
            ok = FileSystemManagerFRead(image->palette, 1, bytes, file) == bytes;
        }
        const size_t row =
            static_cast<size_t>(image ? image->width : 0) * (image && image->depth == 32 ? 4 : 1);
        for (int32_t y = 0; ok && y < image->height; ++y) {
            ok = FileSystemManagerFRead(image->pixels + y * image->stride, 1, row, file) == row;
        }
        if (!ok && image) {
            ImageDestroy(image);
            image = nullptr;
        }
    }
    FileSystemManagerFClose(file);
    return image;
}

inline Image* TestImageWrite(Image* image, const char* fileName)
{
    FileSlot* file = FileSystemManagerFOpen(fileName, "wb");
    if (!file) {
        return nullptr;
    }
    const uint32_t header[3] = {static_cast<uint32_t>(image->width), static_cast<uint32_t>(image->height),
                                static_cast<uint32_t>(image->depth)};
    bool ok =
        FileSystemManagerFWrite("TST", 1, 4, file) == 4 && FileSystemManagerFWrite(header, 4, 3, file) == 3;
    if (ok && image->palette) {
        const size_t bytes = size_t{4} << image->depth;
        ok = FileSystemManagerFWrite(image->palette, 1, bytes, file) == bytes;
    }
    const size_t row = static_cast<size_t>(image->width) * (image->depth == 32 ? 4 : 1);
    for (int32_t y = 0; ok && y < image->height; ++y) {
        ok = FileSystemManagerFWrite(image->pixels + y * image->stride, 1, row, file) == row;
    }
    FileSystemManagerFClose(file);
    return ok ? image : nullptr;
}

class ImageFileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        RasterDoubleGet() = RasterDoubleState{};
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table()));
        BeforeOpen();
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
        RasterDoubleInstall();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
               (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* unc = Win32FileSystemCreate(20, (root.string() + "/").c_str(), "unc");
        ASSERT_NE(unc, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(unc));
        FileSystemManagerSetDefault(unc);
        ASSERT_EQ(ImageRegisterFileFormat("tst", TestImageRead, TestImageWrite), 1);
        TestReaderCalls().clear();
    }

    void TearDown() override
    {
        FileSystemManagerClose();
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0) << "engine blocks left after shutdown";
        CountingMemory::Reset();
    }

    /// Runs between EngineInit and EngineOpen, where plug-ins register.
    virtual void BeforeOpen() {}

    /// A width x height image of `depth` whose pixel (x, y) is colour(x, y)
    /// (for 4 and 8 bits: palette entry i is colour(i, 0), pixel (x, y) index (x + y) mod 2^depth).
    template <typename ColourOf>
    static Image* MakeImage(int32_t width, int32_t height, int32_t depth, ColourOf colour)
    {
        Image* image = ImageCreate(width, height, depth);
        EXPECT_NE(ImageAllocatePixels(image), nullptr);
        if (depth == 32) {
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    const TestColour c = colour(x, y);
                    std::memcpy(image->pixels + y * image->stride + x * 4, &c, 4);
                }
            }
        } else {
            for (int32_t i = 0; i < (1 << depth); ++i) {
                const TestColour c = colour(i, 0);
                std::memcpy(image->palette + i * 4, &c, 4);
            }
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    image->pixels[y * image->stride + x] = static_cast<uint8_t>((x + y) % (1 << depth));
                }
            }
        }
        return image;
    }

    /// Writes a solid-colour 32-bit ".tst" file at `relative` (directories made).
    void PutSolid(const std::string& relative, int32_t width, int32_t height, TestColour colour)
    {
        std::filesystem::create_directories((root / relative).parent_path());
        Image* image = MakeImage(width, height, 32, [&](int32_t, int32_t) { return colour; });
        ASSERT_NE(ImageWrite(image, relative.c_str()), nullptr) << relative;
        ImageDestroy(image);
    }

    static TestColour PixelAt(const Image* image, int32_t x, int32_t y)
    {
        TestColour c;
        std::memcpy(&c,
                    image->depth == 32 ? image->pixels + y * image->stride + x * 4
                                       : ImagePaletteColour(image, image->pixels[y * image->stride + x]),
                    4);
        return c;
    }

    /// The pending error, cleared.
    static ErrorRecord TakeError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }

    std::filesystem::path root;
};
