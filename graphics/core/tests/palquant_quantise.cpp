// Palette quantisation: which colours survive a reduction, averaging inside
// one cell of the colour tree, weights, and matching images (packed 4-bit
// output, colours that were never added).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/image.h"
#include "graphics/core/palquant.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

struct Colour
{
    uint8_t r, g, b, a;
    bool operator==(const Colour&) const = default;
};

struct ColourRun
{
    Colour colour;
    int32_t count; ///< pixels of that colour
};

class PalQuantTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }

    // One row of pixels, the runs one after the other.
    static Image* MakeImage(const std::vector<ColourRun>& runs)
    {
        int32_t width = 0;
        for (const ColourRun& run : runs) {
            width += run.count;
        }
        Image* image = ImageCreate(width, 1, 32);
        EXPECT_NE(ImageAllocatePixels(image), nullptr);
        int32_t x = 0;
        for (const ColourRun& run : runs) {
            for (int32_t i = 0; i < run.count; ++i, ++x) {
                std::memcpy(image->pixels + x * 4, &run.colour, 4);
            }
        }
        return image;
    }

    static std::vector<Colour> Resolve(const std::vector<Image*>& images, int32_t n, PalQuant* quantiser)
    {
        EXPECT_EQ(PalQuantInit(quantiser), 1);
        for (Image* image : images) {
            EXPECT_NE(PalQuantAddImage(quantiser, image, 1.0f), nullptr);
        }
        std::vector<Colour> palette(n);
        const int32_t count =
            PalQuantResolvePalette(reinterpret_cast<uint8_t*>(palette.data()), n, quantiser);
        palette.resize(count);
        return palette;
    }

    static int32_t Distance(const Colour& a, const Colour& b)
    {
        return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b), std::abs(a.a - b.a)});
    }
};

struct SurvivalCase
{
    std::string name;
    std::vector<ColourRun> runs;
    int32_t n;                     ///< palette size asked for
    int32_t expectedEntries;       ///< entries resolved
    std::vector<Colour> survivors; ///< colours that must be in the palette
    int32_t tolerance;             ///< largest channel difference allowed for a survivor
};

std::vector<ColourRun> Greys(int32_t count, int32_t from, int32_t step)
{
    std::vector<ColourRun> runs;
    for (int32_t i = 0; i < count; ++i) {
        const auto v = static_cast<uint8_t>(from + i * step);
        runs.push_back({{v, v, v, 255}, 1});
    }
    return runs;
}

std::vector<ColourRun> Join(std::vector<ColourRun> a, const std::vector<ColourRun>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Colour kRed{255, 0, 0, 255};
const Colour kGreen{0, 255, 0, 255};
const Colour kBlue{0, 0, 255, 255};
const Colour kClear{0, 0, 0, 0};
const Colour kWhite{255, 255, 255, 255};

TEST_F(PalQuantTest, ColoursThatMustSurvive)
{
    std::vector<ColourRun> tenColours;
    std::vector<Colour> tenSurvivors;
    for (int32_t i = 0; i < 10; ++i) {
        const Colour c{static_cast<uint8_t>(i * 25), static_cast<uint8_t>(250 - i * 20),
                       static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i % 2 ? 255 : 128)};
        tenColours.push_back({c, i + 1});
        tenSurvivors.push_back(c);
    }
    const SurvivalCase cases[] = {
        {"fewer colours than entries come out exactly", tenColours, 256, 10, tenSurvivors, 0},
        {"alpha alone tells colours apart",
         {{kWhite, 3}, {{255, 255, 255, 0}, 3}},
         16,
         2,
         {kWhite, {255, 255, 255, 0}},
         0},
        {"four clusters into four entries",
         {{kRed, 20},
          {{250, 4, 4, 255}, 20},
          {kBlue, 20},
          {{4, 4, 250, 255}, 20},
          {kGreen, 20},
          {{4, 250, 4, 255}, 20},
          {kClear, 20},
          {{4, 0, 4, 0}, 20}},
         4,
         4,
         {kRed, kBlue, kGreen, kClear},
         4},
        {"heavy colours survive a ramp",
         Join({{kRed, 400}, {kBlue, 400}}, Greys(250, 1, 1)),
         16,
         16,
         {kRed, kBlue},
         2},
        {"a single colour", {{kGreen, 7}}, 256, 1, {kGreen}, 0},
        {"more distinct cells than entries fill the palette",
         Greys(60, 0, 4),
         16,
         16,
         {{0, 0, 0, 255}, {236, 236, 236, 255}},
         8},
        {"colours of one cell share it", Greys(200, 0, 1), 64, 50, {{0, 0, 0, 255}}, 2},
    };
    for (const SurvivalCase& c : cases) {
        SCOPED_TRACE(c.name);
        Image* image = MakeImage(c.runs);
        PalQuant quantiser;
        const std::vector<Colour> palette = Resolve({image}, c.n, &quantiser);
        EXPECT_EQ(static_cast<int32_t>(palette.size()), c.expectedEntries);
        for (const Colour& survivor : c.survivors) {
            int32_t best = 256;
            for (const Colour& entry : palette) {
                best = std::min(best, Distance(entry, survivor));
            }
            EXPECT_LE(best, c.tolerance) << "colour " << int(survivor.r) << "," << int(survivor.g) << ","
                                         << int(survivor.b) << "," << int(survivor.a);
        }
        // Every pixel matches an entry within the tolerance of its own cluster
        // or, for ramps, of its neighbours.
        std::vector<uint8_t> indices(image->width);
        ASSERT_NE(PalQuantMatchImage(indices.data(), image->width, 8, 0, &quantiser, image), nullptr);
        for (int32_t x = 0; x < image->width; ++x) {
            ASSERT_LT(indices[x], palette.size());
        }
        PalQuantTerm(&quantiser);
        ImageDestroy(image);
    }
}

TEST_F(PalQuantTest, ColoursOfOneCellAverageByWeight)
{
    // At depth 6 the two lowest bits of every channel fall into one leaf.
    ASSERT_EQ(PalQuantGetDepth(), 6);
    Image* image = MakeImage({{{16, 16, 16, 252}, 3}, {{19, 18, 17, 255}, 1}});
    PalQuant quantiser;
    const std::vector<Colour> palette = Resolve({image}, 256, &quantiser);
    ASSERT_EQ(palette.size(), 1u);
    // (3 x 16 + 19) / 4 = 16.75, (3 x 16 + 18) / 4 = 16.5, (3 x 16 + 17) / 4 = 16.25
    EXPECT_EQ(palette[0], (Colour{17, 17, 16, 253}));
    PalQuantTerm(&quantiser);
    ImageDestroy(image);
}

TEST_F(PalQuantTest, WeightTwoEqualsAddingTwice)
{
    Image* image = MakeImage(Join({{kRed, 5}, {kBlue, 9}}, Greys(40, 3, 6)));
    PalQuant twice;
    const std::vector<Colour> a = Resolve({image, image}, 8, &twice);
    PalQuant doubled;
    ASSERT_EQ(PalQuantInit(&doubled), 1);
    ASSERT_NE(PalQuantAddImage(&doubled, image, 2.0f), nullptr);
    std::vector<Colour> b(8);
    b.resize(PalQuantResolvePalette(reinterpret_cast<uint8_t*>(b.data()), 8, &doubled));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 8u);
    PalQuantTerm(&twice);
    PalQuantTerm(&doubled);
    ImageDestroy(image);
}

TEST_F(PalQuantTest, PalettisedImagesAddTheirPaletteColours)
{
    Image* image = ImageCreate(3, 1, 8);
    ASSERT_NE(ImageAllocatePixels(image), nullptr);
    std::memset(image->palette, 0, 1024);
    std::memcpy(image->palette + 4 * 9, &kRed, 4);
    std::memcpy(image->palette + 4 * 200, &kBlue, 4);
    image->pixels[0] = 9;
    image->pixels[1] = 200;
    image->pixels[2] = 9;
    PalQuant quantiser;
    const std::vector<Colour> palette = Resolve({image}, 16, &quantiser);
    ASSERT_EQ(palette.size(), 2u);
    EXPECT_NE(std::find(palette.begin(), palette.end(), kRed), palette.end());
    EXPECT_NE(std::find(palette.begin(), palette.end(), kBlue), palette.end());
    PalQuantTerm(&quantiser);
    ImageDestroy(image);
}

TEST_F(PalQuantTest, MatchPacksFourBitIndicesLowNibbleFirst)
{
    Image* image = MakeImage({{kRed, 1}, {kBlue, 1}, {kRed, 1}});
    PalQuant quantiser;
    const std::vector<Colour> palette = Resolve({image}, 16, &quantiser);
    ASSERT_EQ(palette.size(), 2u);
    const uint8_t red = palette[0] == kRed ? 0 : 1;
    const uint8_t blue = 1 - red;
    uint8_t packed[2] = {0xA0, 0x0B}; // high nibble of byte 1 kept
    ASSERT_NE(PalQuantMatchImage(packed, 2, 4, 1, &quantiser, image), nullptr);
    EXPECT_EQ(packed[0], red | blue << 4);
    EXPECT_EQ(packed[1], (red & 0x0F) | 0x00);
    uint8_t bytes[3] = {};
    ASSERT_NE(PalQuantMatchImage(bytes, 3, 4, 0, &quantiser, image), nullptr);
    EXPECT_EQ(bytes[0], red);
    EXPECT_EQ(bytes[1], blue);
    EXPECT_EQ(bytes[2], red);
    PalQuantTerm(&quantiser);
    ImageDestroy(image);
}

TEST_F(PalQuantTest, ColourNeverAddedMatchesNearestEntry)
{
    Image* added = MakeImage({{kRed, 2}, {kBlue, 2}});
    PalQuant quantiser;
    const std::vector<Colour> palette = Resolve({added}, 16, &quantiser);
    ASSERT_EQ(palette.size(), 2u);
    Image* other = MakeImage({{{200, 10, 30, 255}, 1}, {{20, 0, 180, 240}, 1}});
    uint8_t indices[2] = {};
    ASSERT_NE(PalQuantMatchImage(indices, 2, 8, 0, &quantiser, other), nullptr);
    EXPECT_EQ(palette[indices[0]], kRed);
    EXPECT_EQ(palette[indices[1]], kBlue);
    PalQuantTerm(&quantiser);
    ImageDestroy(added);
    ImageDestroy(other);
}

TEST_F(PalQuantTest, DepthSetting)
{
    EXPECT_EQ(PalQuantSetDepth(0), 0);
    EXPECT_EQ(PalQuantSetDepth(9), 0);
    ASSERT_EQ(PalQuantSetDepth(8), 1);
    // At full depth neighbouring colours stay apart.
    Image* image = MakeImage({{{16, 16, 16, 255}, 1}, {{17, 16, 16, 255}, 1}});
    PalQuant quantiser;
    EXPECT_EQ(Resolve({image}, 256, &quantiser).size(), 2u);
    PalQuantTerm(&quantiser);
    ImageDestroy(image);
    ASSERT_EQ(PalQuantSetDepth(6), 1);
}

} // namespace
