#pragma once
// Fixture for the toolkit's image-format tests: the engine started with a
// counting memory table and a file system rooted in a directory of the
// test's own (the engine core's image-file fixture), the BMP and PNG readers
// registered, and helpers that put byte arrays into files and read images
// back through the named readers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/core/tests/imagefiletesting.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/png.h"

using Bytes = std::vector<uint8_t>;

class ToolkitImageTest : public ImageFileTest
{
  protected:
    void SetUp() override
    {
        ImageFileTest::SetUp();
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
    }

    /// Writes `bytes` to `name` under the test's root.
    void Put(const std::string& name, const Bytes& bytes)
    {
        std::ofstream out(root / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    Bytes Get(const std::string& name)
    {
        std::ifstream in(root / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    /// Every pixel's RGBA colour, row by row.
    static std::vector<TestColour> Colours(const Image* image)
    {
        std::vector<TestColour> colours;
        for (int32_t y = 0; y < image->height; ++y) {
            for (int32_t x = 0; x < image->width; ++x) {
                colours.push_back(PixelAt(image, x, y));
            }
        }
        return colours;
    }

    /// Every pixel's stored byte (palette index) of a 4- or 8-bit image, row by row.
    static Bytes Indices(const Image* image)
    {
        Bytes indices;
        for (int32_t y = 0; y < image->height; ++y) {
            for (int32_t x = 0; x < image->width; ++x) {
                indices.push_back(image->pixels[y * image->stride + x]);
            }
        }
        return indices;
    }

    /// A read-back image has the written one's depth and colours and, when
    /// palettised, its indices and palette.
    static void ExpectSameImage(const Image* back, const Image* image)
    {
        EXPECT_EQ(back->depth, image->depth);
        EXPECT_EQ(Colours(back), Colours(image));
        if (image->depth != 32) {
            EXPECT_EQ(Indices(back), Indices(image));
            EXPECT_EQ(std::memcmp(back->palette, image->palette, size_t{4} << image->depth), 0);
        }
    }
};

/// Little-endian byte assembly for hand-made files.
inline void PutU16(Bytes& bytes, uint32_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU32(Bytes& bytes, uint32_t value)
{
    PutU16(bytes, value & 0xFFFF);
    PutU16(bytes, value >> 16);
}
