// PNG files: files of every colour type and bit depth (made here with
// libpng) read into the expected images, round trips through the writer,
// and truncated, corrupted or lying files refused cleanly, also when memory
// runs out part-way.
#include <png.h>
#include <zlib.h>

#include "graphics/toolkit2d/tests/imagestesting.h"

namespace {

struct PngLayout
{
    uint32_t width;
    uint32_t height;
    int bits;
    int colourType;
    Bytes rows; ///< the stored rows, packed and big-endian as in the file
    std::vector<png_color> palette = {};
    Bytes alphas = {};
    int transparentGrey = -1;
    bool interlaced = false;
};

void AppendHook(png_structp png, png_bytep data, size_t length)
{
    auto* bytes = static_cast<Bytes*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + length);
}

/// A PNG file as libpng writes it (errors abort the test program).
Bytes EncodePng(const PngLayout& layout)
{
    Bytes bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, AppendHook, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bits, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty()) {
        png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
    }
    if (!layout.alphas.empty()) {
        png_set_tRNS(png, info, layout.alphas.data(), static_cast<int>(layout.alphas.size()), nullptr);
    }
    if (layout.transparentGrey >= 0) {
        png_color_16 grey = {};
        grey.gray = static_cast<png_uint_16>(layout.transparentGrey);
        png_set_tRNS(png, info, nullptr, 0, &grey);
    }
    png_write_info(png, info);
    const size_t rowBytes = layout.rows.size() / layout.height;
    std::vector<png_bytep> rows;
    for (uint32_t y = 0; y < layout.height; ++y) {
        rows.push_back(const_cast<png_bytep>(layout.rows.data() + y * rowBytes));
    }
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

const TestColour kRed{255, 0, 0, 255};
const TestColour kGreen{0, 255, 0, 255};
const TestColour kBlue{0, 0, 255, 255};
const TestColour kWhite{255, 255, 255, 255};
const TestColour kBlack{0, 0, 0, 255};

TestColour Grey(uint8_t v, uint8_t a = 255)
{
    return {v, v, v, a};
}

using PngReadTest = ToolkitImageTest;

TEST_F(PngReadTest, EachColourTypeReadsIntoItsDepth)
{
    struct Case
    {
        const char* name;
        PngLayout layout;
        int32_t depth;
        std::vector<TestColour> colours;
        Bytes indices = {}; ///< for 4- and 8-bit images
    };
    const std::vector<png_color> rgbw = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    const Case cases[] = {
        {"1-bit palette",
         {3, 1, 1, PNG_COLOR_TYPE_PALETTE, {0xA0}, {{255, 0, 0}, {0, 0, 255}}},
         4,
         {kBlue, kRed, kBlue},
         {1, 0, 1}},
        {"2-bit palette with transparency",
         {2, 1, 2, PNG_COLOR_TYPE_PALETTE, {0x1B}, rgbw, {0, 128}},
         4,
         {{255, 0, 0, 0}, {0, 255, 0, 128}},
         {0, 1}},
        {"8-bit palette",
         {2, 2, 8, PNG_COLOR_TYPE_PALETTE, {3, 2, 1, 0}, rgbw, {10, 20, 30}},
         8,
         {kWhite, {0, 0, 255, 30}, {0, 255, 0, 20}, {255, 0, 0, 10}},
         {3, 2, 1, 0}},
        {"8-bit grey", {2, 1, 8, PNG_COLOR_TYPE_GRAY, {10, 200}}, 8, {Grey(10), Grey(200)}, {10, 200}},
        {"1-bit grey expands to the full ramp",
         {2, 1, 1, PNG_COLOR_TYPE_GRAY, {0x80}},
         8,
         {kWhite, kBlack},
         {255, 0}},
        {"2-bit grey with a transparent grey",
         {2, 1, 2, PNG_COLOR_TYPE_GRAY, {0x60}, {}, {}, 1},
         8,
         {Grey(85, 0), Grey(170)},
         {85, 170}},
        {"16-bit grey",
         {2, 1, 16, PNG_COLOR_TYPE_GRAY, {0x12, 0x34, 0xFF, 0x00}},
         8,
         {Grey(0x12), Grey(0xFF)},
         {0x12, 0xFF}},
        {"RGB gets opaque alpha",
         {2, 1, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}},
         32,
         {{1, 2, 3, 255}, {4, 5, 6, 255}}},
        {"16-bit RGB", {1, 1, 16, PNG_COLOR_TYPE_RGB, {0x10, 1, 0x20, 2, 0x30, 3}}, 32, {{16, 32, 48, 255}}},
        {"grey with alpha", {1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {50, 100}}, 32, {Grey(50, 100)}},
        {"16-bit RGBA",
         {1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, {0xAA, 0, 0xBB, 0, 0xCC, 0, 0xDD, 0}},
         32,
         {{0xAA, 0xBB, 0xCC, 0xDD}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("case.png", EncodePng(c.layout));
        Image* image = PngRead("case.png");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->depth, c.depth);
        EXPECT_EQ(Colours(image), c.colours);
        if (!c.indices.empty()) {
            EXPECT_EQ(Indices(image), c.indices);
        }
        ImageDestroy(image);
    }
}

TEST_F(PngReadTest, InterlacedFilesReadLikePlainOnes)
{
    PngLayout layout = {5, 4, 8, PNG_COLOR_TYPE_RGB, {}};
    for (uint8_t i = 0; i < 5 * 4 * 3; ++i) {
        layout.rows.push_back(static_cast<uint8_t>(i * 3));
    }
    Put("plain.png", EncodePng(layout));
    layout.interlaced = true;
    Put("interlaced.png", EncodePng(layout));
    Image* plain = PngRead("plain.png");
    Image* interlaced = PngRead("interlaced.png");
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(interlaced, nullptr);
    EXPECT_EQ(Colours(interlaced), Colours(plain));
    EXPECT_EQ(PixelAt(plain, 1, 0), (TestColour{9, 12, 15, 255}));
    ImageDestroy(plain);
    ImageDestroy(interlaced);
}

using PngWriteTest = ToolkitImageTest;

TEST_F(PngWriteTest, EachDepthRoundTripsWithPaletteAndAlpha)
{
    auto colour = [](int32_t x, int32_t y) {
        return TestColour{static_cast<uint8_t>(x * 40 + 1), static_cast<uint8_t>(y * 70 + 2),
                          static_cast<uint8_t>(x * y + 3), static_cast<uint8_t>(255 - x * 9 - y)};
    };
    for (const int32_t depth : {4, 8, 32}) {
        for (const auto& [width, height] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{33, 4}}) {
            SCOPED_TRACE(testing::Message() << depth << "-bit " << width << "x" << height);
            Image* image = MakeImage(width, height, depth, colour);
            ASSERT_EQ(PngWrite(image, "round.png"), image);
            Image* back = PngRead("round.png");
            ASSERT_NE(back, nullptr);
            ExpectSameImage(back, image);
            ImageDestroy(back);
            ImageDestroy(image);
        }
    }
}

TEST_F(PngWriteTest, PalettisedImagesCarryATransparencyEntryForEveryColour)
{
    Image* image = MakeImage(2, 2, 8, [](int32_t i, int32_t) { return TestColour{1, 2, 3, uint8_t(i)}; });
    ASSERT_NE(PngWrite(image, "a.png"), nullptr);
    ImageDestroy(image);
    const Bytes bytes = Get("a.png");
    const Bytes tag = {'t', 'R', 'N', 'S'};
    const auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(at, bytes.end());
    ASSERT_GE(at - bytes.begin(), 4);
    EXPECT_EQ((Bytes(at - 4, at)), (Bytes{0, 0, 1, 0})) << "256 entries";
    EXPECT_EQ(bytes[25], PNG_COLOR_TYPE_PALETTE);
}

TEST_F(PngWriteTest, BadArgumentsFailWithoutWriting)
{
    Image* image = MakeImage(2, 2, 32, [](int32_t, int32_t) { return kRed; });
    EXPECT_EQ(PngWrite(image, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNullArgument);
    EXPECT_EQ(PngWrite(nullptr, "a.png"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(root / "a.png"));
    EXPECT_EQ(PngRead(nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNullArgument);
    EXPECT_EQ(PngWrite(image, "no/such/directory/a.png"), nullptr);
    EXPECT_NE(TakeError().code, kErrorNone);
    ImageDestroy(image);
}

/// Replaces the bytes at `at` and fixes the CRC of the chunk that starts at `chunk`.
Bytes Patched(Bytes bytes, size_t chunk, size_t at, const Bytes& with)
{
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    const uint32_t length =
        uint32_t(bytes[chunk]) << 24 | bytes[chunk + 1] << 16 | bytes[chunk + 2] << 8 | bytes[chunk + 3];
    const uLong crc = crc32(0, bytes.data() + chunk + 4, length + 4);
    for (int i = 0; i < 4; ++i) {
        bytes[chunk + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    return bytes;
}

using PngRefuseTest = ToolkitImageTest;

TEST_F(PngRefuseTest, TruncatedCorruptedAndLyingFilesAreRefused)
{
    Image* image = MakeImage(6, 5, 32, [](int32_t x, int32_t y) {
        return TestColour{uint8_t(x * 30), uint8_t(y * 40), uint8_t(x ^ y), 200};
    });
    ASSERT_NE(PngWrite(image, "good.png"), nullptr);
    ImageDestroy(image);
    const Bytes good = Get("good.png");
    // Signature 8 bytes, IHDR chunk at 8 (data at 16: width, height, ...), then IDAT.
    const size_t idat = 8 + 25;
    ASSERT_EQ((Bytes(good.begin() + idat + 4, good.begin() + idat + 8)), (Bytes{'I', 'D', 'A', 'T'}));
    struct Case
    {
        const char* name;
        Bytes bytes;
    };
    auto flipped = [&](size_t at) {
        Bytes bytes = good;
        bytes[at] ^= 0x41;
        return bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"signature only", Bytes(good.begin(), good.begin() + 8)},
        {"wrong signature", flipped(1)},
        {"header checksum", flipped(17)},
        {"compressed data checksum", flipped(idat + 10)},
        {"end checksum", flipped(good.size() - 1)},
        {"huge width", Patched(good, 8, 16, {0x7F, 0xFF, 0xFF, 0xFF})},
        {"huge width and height", Patched(good, 8, 16, {0, 0x10, 0, 0, 0, 0x10, 0, 0})},
        {"width 0", Patched(good, 8, 16, {0, 0, 0, 0})},
        {"bit depth 3", Patched(good, 8, 24, {3})},
        {"colour type 5", Patched(good, 8, 25, {5})},
        {"corrupt compressed data", Patched(good, idat, idat + 8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("bad.png", c.bytes);
        Image* read = PngRead("bad.png");
        EXPECT_EQ(read, nullptr);
        if (read) {
            ImageDestroy(read);
        }
        EXPECT_NE(TakeError().code, kErrorNone);
    }
    for (size_t size = 0; size < good.size(); ++size) {
        Put("part.png", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        Image* read = PngRead("part.png");
        EXPECT_EQ(read, nullptr) << size << " bytes";
        if (read) {
            ImageDestroy(read);
        }
        EXPECT_NE(TakeError().code, kErrorNone) << size << " bytes";
    }
    // Any single damaged byte: refused or read, never a crash or a leak.
    for (size_t at = 0; at < good.size(); ++at) {
        Put("flip.png", flipped(at));
        if (Image* read = PngRead("flip.png")) {
            ImageDestroy(read);
        }
        TakeError();
    }
}

// A few bytes that declare a chunk of gigabytes must not make the reader ask for
// them: no allocation may exceed a small bound, whatever the declared lengths.
TEST_F(PngRefuseTest, DeclaredChunkLengthsDoNotBecomeAllocations)
{
    Image* image = MakeImage(4, 4, 32, [](int32_t x, int32_t y) {
        return TestColour{uint8_t(x), uint8_t(y), 0, 255};
    });
    ASSERT_NE(PngWrite(image, "good.png"), nullptr);
    ImageDestroy(image);
    const Bytes good = Get("good.png");
    const Bytes header(good.begin(), good.begin() + 8 + 25); // signature and IHDR
    for (const char* type : {"zTXt", "iCCP", "tEXt", "iTXt", "sPLT", "vpAg"}) {
        SCOPED_TRACE(type);
        Bytes bytes = header;
        // Length 0x7FFFFFF0, the type, then two bytes of data and the end of the file.
        bytes.insert(bytes.end(), {0x7F, 0xFF, 0xFF, 0xF0});
        bytes.insert(bytes.end(), type, type + 4);
        bytes.insert(bytes.end(), {0x78, 0x9C});
        ASSERT_EQ(bytes.size(), 43u);
        Put("lying.png", bytes);
        CountingMemory::largest = 0;
        Image* read = PngRead("lying.png");
        EXPECT_EQ(read, nullptr);
        if (read) {
            ImageDestroy(read);
        }
        EXPECT_NE(TakeError().code, kErrorNone);
        EXPECT_LT(CountingMemory::largest, size_t{1} << 20);
    }
}

TEST_F(PngRefuseTest, RunningOutOfMemoryAnywhereFailsCleanly)
{
    Image* image = MakeImage(9, 7, 8, [](int32_t i, int32_t) { return TestColour{uint8_t(i), 0, 0, 255}; });
    ASSERT_NE(PngWrite(image, "good.png"), nullptr);
    bool read = false;
    bool written = false;
    for (int64_t fail = 0; fail < 400 && !(read && written); ++fail) {
        CountingMemory::failAfter = fail;
        Image* back = read ? nullptr : PngRead("good.png");
        CountingMemory::failAfter = fail;
        written = written || PngWrite(image, "again.png") != nullptr;
        CountingMemory::failAfter = -1;
        if (back) {
            EXPECT_EQ(Indices(back), Indices(image));
            ImageDestroy(back);
            read = true;
        }
        TakeError();
    }
    EXPECT_TRUE(read);
    EXPECT_TRUE(written);
    ImageDestroy(image);
}

TEST_F(PngReadTest, FilesAreFoundThroughTheRegistryByExtension)
{
    Image* image = MakeImage(2, 1, 32, [](int32_t x, int32_t) { return x ? kRed : kGreen; });
    ASSERT_NE(PngWrite(image, "reg.png"), nullptr);
    ASSERT_NE(PngWrite(image, "upper.PNG"), nullptr);
    ImageDestroy(image);
    for (const char* name : {"reg.png", "upper.PNG"}) {
        Image* back = ImageReadByExtension(name);
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(Colours(back), (std::vector<TestColour>{kGreen, kRed}));
        ImageDestroy(back);
    }
}

} // namespace
