// Brushes: colour and texture-coordinate flags, references, tints, and the
// chunk round trip with and without a texture.

#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

namespace {

class Brushes : public TwoDTest
{
  protected:
    /// A texture of that size filed in the current dictionary under `name`,
    /// so that reading a brush finds it again.
    Texture* MakeTexture(const char* name, int32_t width, int32_t height)
    {
        Raster* raster = RasterCreate(width, height, 32, kRasterTypeTexture | kRasterFormat8888);
        Texture* texture = raster ? TextureCreate(raster) : nullptr;
        if (texture) {
            TextureSetName(texture, name);
            TexDictionaryAddTexture(TexDictionaryGetCurrent(), texture);
        }
        return texture;
    }

    static std::vector<uint8_t> Write(const Brush* brush)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_NE(BrushStreamWrite(brush, s), nullptr);
            return true;
        });
    }

    static Brush* Read(std::vector<uint8_t>& bytes, size_t* consumed = nullptr)
    {
        StreamMemory memory = {bytes.data(), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Brush* brush = BrushStreamReadNew(stream);
        if (consumed) {
            *consumed = bytes.size() - size_t(StreamGetRemaining(stream));
        }
        StreamClose(stream, nullptr);
        return brush;
    }
};

const uint8_t kWhite[4] = {255, 255, 255, 255};
const uint8_t kRed[4] = {255, 0, 0, 255};

} // namespace

TEST_F(Brushes, NewBrushIsWhiteAndHalfAUnitWide)
{
    Brush* brush = BrushCreate();
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush->flags, 0u);
    EXPECT_EQ(brush->refCount, 1);
    EXPECT_EQ(brush->halfWidth, 0.5f);
    EXPECT_EQ(BrushFlatColour(brush), 0xFFFFFFFFu);
    EXPECT_EQ(brush->texture, nullptr);
    EXPECT_TRUE(BrushDestroy(brush));
}

TEST_F(Brushes, ColourFlagFollowsTheCorners)
{
    struct Case
    {
        const char* what;
        const uint8_t *c1, *c2, *c3, *c4;
        bool gradient;
    };
    const Case cases[] = {
        {"all equal", kRed, kRed, kRed, kRed, false},
        {"bottom right differs", kRed, kWhite, kRed, kRed, true},
        {"top right differs", kRed, kRed, kWhite, kRed, true},
        {"top differs from bottom, deltas zero", kRed, kRed, kWhite, kWhite, true},
    };
    Brush* brush = BrushCreate();
    for (const Case& c : cases) {
        BrushSetColours(brush, c.c1, c.c2, c.c3, c.c4);
        EXPECT_EQ((brush->flags & kBrushGradient) != 0, c.gradient) << c.what;
        EXPECT_EQ(std::memcmp(brush->flatColour, c.c4, 4), 0)
            << c.what << ": flat colour is the top-left corner";
    }
    BrushDestroy(brush);
}

TEST_F(Brushes, TextureFlagAndReferences)
{
    Brush* brush = BrushCreate();
    Texture* texture = MakeTexture("band", 8, 8);
    ASSERT_NE(texture, nullptr);
    const int32_t references = texture->refCount;
    BrushSetTexture(brush, texture);
    EXPECT_EQ(texture->refCount, references + 1);
    EXPECT_TRUE(brush->flags & kBrushTextured);

    const float zero[2] = {0, 0};
    BrushSetUVs(brush, zero, zero, zero, zero);
    EXPECT_FALSE(brush->flags & kBrushTextured) << "still coordinates clear the flag, texture or not";
    const float one[2] = {1, 0};
    BrushSetUVs(brush, zero, one, one, zero);
    EXPECT_TRUE(brush->flags & kBrushTextured);
    BrushSetTexture(brush, texture);
    EXPECT_EQ(texture->refCount, references + 1) << "setting the same texture again keeps one reference";

    // A second user keeps the brush alive.
    ++brush->refCount;
    EXPECT_FALSE(BrushDestroy(brush));
    EXPECT_EQ(brush->refCount, 1);
    EXPECT_EQ(texture->refCount, references + 1);
    EXPECT_TRUE(BrushDestroy(brush));
    EXPECT_EQ(texture->refCount, references);
}

TEST_F(Brushes, NeutralTintKeepsAGradientAndTintedCornersClamp)
{
    Brush* brush = BrushCreate();
    const uint8_t bright[4] = {200, 100, 50, 255};
    const uint8_t dark[4] = {20, 10, 5, 255};
    BrushSetColours(brush, bright, dark, dark, bright); // falls from left to right
    const Brush before = *brush;
    const BrushColour one = {1, 1, 1, 1}, none = {0, 0, 0, 0};
    BrushModulateColours(brush, &brush->bottomColour, &brush->bottomColourDelta, &brush->topColourDelta,
                         &brush->topColour, &one, &none);
    EXPECT_EQ(BrushColourAt(brush, false, 1.0f), BrushColourAt(&before, false, 1.0f));
    EXPECT_EQ(BrushColourAt(brush, true, 1.0f), 0xFF140A05u) << "the right-hand corners stay dark";
    EXPECT_EQ(brush->bottomColourDelta.r, -180.0f);

    const BrushColour twice = {2, 2, 2, 1}, lift = {10, 0, 0, 0};
    BrushModulateColours(brush, &brush->bottomColour, &brush->bottomColourDelta, &brush->topColourDelta,
                         &brush->topColour, &twice, &lift);
    // Corners: left (255 clamped from 410, 200, 100), right (50, 20, 10).
    EXPECT_EQ(BrushColourAt(brush, true, 0.0f), 0xFFFFC864u);
    EXPECT_EQ(BrushColourAt(brush, false, 1.0f), 0xFF32140Au);
    EXPECT_EQ(BrushFlatColour(brush), 0xFFFFC864u);
    BrushDestroy(brush);
}

TEST_F(Brushes, StreamRoundTripWithoutTexture)
{
    Brush* brush = BrushCreate();
    BrushSetColours(brush, kRed, kWhite, kRed, kWhite);
    const float a[2] = {0, 0}, b[2] = {2, 0}, c[2] = {2, 1}, d[2] = {0, 1};
    BrushSetUVs(brush, a, b, c, d);
    brush->halfWidth = 0.125f;
    std::vector<uint8_t> bytes = Write(brush);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + BrushStreamGetSize(brush));
    EXPECT_EQ(BrushStreamGetSize(brush), 112u);
    size_t consumed = 0;
    Brush* back = Read(bytes, &consumed);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(consumed, bytes.size());
    EXPECT_EQ(std::memcmp(back, brush, offsetof(Brush, texture)), 0) << "colours, UVs, flat colour and flags";
    EXPECT_EQ(back->halfWidth, 0.125f);
    EXPECT_EQ(back->texture, nullptr);
    BrushDestroy(back);

    bytes[kChunkHeaderSize] = 2; // format version 2
    EXPECT_EQ(Read(bytes), nullptr);
    bytes.resize(kChunkHeaderSize + 100);
    EXPECT_EQ(Read(bytes), nullptr) << "cut short";
    BrushDestroy(brush);
}

TEST_F(Brushes, StreamRoundTripWithTextureClampsOddSizes)
{
    struct Case
    {
        const char* name;
        int32_t width, height;
        uint32_t addressing;
    };
    for (const Case c : {Case{"odd", 100, 64, 0x33}, Case{"even", 128, 64, 0x11}}) {
        Texture* texture = MakeTexture(c.name, c.width, c.height);
        ASSERT_NE(texture, nullptr);
        Brush* brush = BrushCreate();
        BrushSetTexture(brush, texture);
        std::vector<uint8_t> bytes = Write(brush);
        ASSERT_EQ(bytes.size(), kChunkHeaderSize + BrushStreamGetSize(brush)) << c.name;
        const int32_t references = texture->refCount;
        Brush* back = Read(bytes);
        ASSERT_NE(back, nullptr) << c.name;
        EXPECT_EQ(back->texture, texture) << c.name << ": found again by name";
        EXPECT_EQ(texture->refCount, references + 1);
        EXPECT_TRUE(back->flags & kBrushTextured);
        EXPECT_EQ((texture->filterAddressing >> 8) & 0xFF, c.addressing) << c.name;
        BrushDestroy(back);
        EXPECT_EQ(texture->refCount, references);
        BrushDestroy(brush);
    }
}

TEST_F(Brushes, MissingTextureFailsTheRead)
{
    Texture* texture = MakeTexture("gone", 8, 8);
    Brush* brush = BrushCreate();
    BrushSetTexture(brush, texture);
    std::vector<uint8_t> bytes = Write(brush);
    BrushDestroy(brush);
    TextureDestroy(texture); // leaves the dictionary: nothing can find it now
    EXPECT_EQ(Read(bytes), nullptr);
    TakeError();
}
