#pragma once
// Fixture of the font and text tests: the vector toolkit's fixture plus the
// file-system manager rooted in a directory of the test's own, the BMP and
// PNG readers, and helpers that write ".met" files and glyph pages there.
// The font path is "fonts/".

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/png.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

class FontTest : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
                (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "fonts");
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(20, (root_.string() + "/").c_str(), "unc");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
        ASSERT_NE(FontSetPath("fonts/"), nullptr);
    }

    void TearDown() override
    {
        TwoDTest::TearDown();
        FileSystemManagerClose();
    }

    void PutText(const std::string& name, const std::string& text)
    {
        std::ofstream out(root_ / "fonts" / name, std::ios::binary);
        out << text;
    }

    /// A 32-bit page of width x height, cleared to transparent black, with
    /// `colour` at each of the pixels listed as (x, y) pairs.
    void PutPage(const std::string& name, int32_t width, int32_t height,
                 std::initializer_list<std::pair<int32_t, int32_t>> pixels, const uint8_t* colour = kMagenta)
    {
        Image* image = ImageCreate(width, height, 32);
        ASSERT_NE(ImageAllocatePixels(image), nullptr);
        std::memset(image->pixels, 0, size_t(image->stride) * size_t(height));
        for (const auto& [x, y] : pixels) {
            std::memcpy(image->pixels + y * image->stride + x * 4, colour, 4);
        }
        ASSERT_NE(PngWrite(image, ("fonts/" + name + ".png").c_str()), nullptr);
        ImageDestroy(image);
    }

    static constexpr uint8_t kMagenta[4] = {255, 0, 255, 255};
    std::filesystem::path root_;
};
