#include "graphics/toolkit2d/tests/texdicttesting.h"

namespace {

struct Sample
{
    const char* name;
    int32_t side;
    int32_t depth;
    int32_t levels;
    uint32_t filterAddressing;
    bool gamma;
};

// Names, sampling and levels survive; pixels come back within 1; the size
// computed beforehand is what is written.
TEST_F(TexDictTest, RoundTripKeepsTexturesLevelsAndPixels)
{
    const Sample samples[] = {
        {"bricks", 8, 32, 4, 0x3106, false}, // 8 to 1: 4 levels; linear mip linear, U wrap, V clamp
        {"palette", 16, 8, 1, 0x1102, false},
        {"gamma", 16, 32, 1, 0x2202, true},
    };
    ImageSetGamma(1.0f);
    TexDictionary* dictionary = TexDictionaryCreate();
    std::vector<std::vector<Bytes>> written;
    for (const Sample& s : samples) {
        Texture* texture = MakeTexture(s.name, s.side, s.depth, s.levels, s.filterAddressing, s.gamma);
        TexDictionaryAddTexture(dictionary, texture);
        written.push_back(Levels(texture));
    }
    const Bytes bytes = Write(dictionary);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(GetU32(bytes, 0), kChunkImageTexDictionary);
    EXPECT_EQ(GetU32(bytes, 4), ImageTexDictionaryStreamGetSize(dictionary));
    EXPECT_EQ(bytes.size(), ImageTexDictionaryStreamGetSize(dictionary) + 12);
    EXPECT_EQ(GetU32(bytes, 12), 3u | 1u << 16); // count 3, image form

    TexDictionary* current = TexDictionaryCreate();
    TexDictionarySetCurrent(current);
    TexDictionary* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(TexDictionaryGetCurrent(), current);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(samples[i].name);
        Texture* texture = TexDictionaryFindNamedTexture(back, samples[i].name);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->filterAddressing, samples[i].filterAddressing);
        EXPECT_EQ(RasterGetNumLevels(texture->raster), samples[i].levels);
        const std::vector<Bytes> levels = Levels(texture);
        ASSERT_EQ(levels.size(), written[i].size());
        for (size_t level = 0; level < levels.size(); ++level) {
            ExpectPixelsNear(levels[level], written[i][level], 1);
        }
    }
    TexDictionaryDestroy(back);
    TexDictionaryDestroy(current);
    TexDictionaryDestroy(dictionary);
}

TEST_F(TexDictTest, OneLevelWithMipFilterGetsAutomaticLevelsAndVTakesU)
{
    TexDictionary* dictionary = TexDictionaryCreate();
    TexDictionaryAddTexture(dictionary, MakeTexture("grass", 8, 32, 1, 0x0304)); // mip linear, U clamp, V 0
    TexDictionary* back = Read(Write(dictionary));
    ASSERT_NE(back, nullptr);
    Texture* texture = TexDictionaryFindNamedTexture(back, "grass");
    ASSERT_NE(texture, nullptr);
    const uint32_t mipBits = (kRasterFormatMipmap | kRasterFormatAutoMipmap) >> 8;
    EXPECT_EQ(texture->raster->format & mipBits, mipBits);
    EXPECT_EQ(TextureGetAddressingU(texture), kTextureAddressClamp);
    EXPECT_EQ(TextureGetAddressingV(texture), kTextureAddressClamp);
    TexDictionaryDestroy(back);
    TexDictionaryDestroy(dictionary);
}

// The older form: a 72-byte record per texture, then its image chunks.
TEST_F(TexDictTest, ReadsTheRecordForm)
{
    Image* image = LevelImage(4, 4, 32, 0);
    const Bytes imageChunk = WriteBytes([image](Stream* s) { return ImageStreamWrite(image, s) != nullptr; });
    Bytes body = {1, 0, 0, 0}; // one texture, record form
    Bytes record(72, 0);
    std::memcpy(record.data(), "old-record-name-of-thirty-two-ch", 32); // no terminator
    std::memcpy(record.data() + 32, "mask", 4);
    PutU32(record, 64, 1);
    PutU32(record, 68, 0x1102);
    body.insert(body.end(), record.begin(), record.end());
    body.insert(body.end(), imageChunk.begin(), imageChunk.end());
    TexDictionary* back =
        ReadBytes<TexDictionary*>(body, [](Stream* s) { return ImageTexDictionaryRead(s); });
    ASSERT_NE(back, nullptr);
    Texture* texture = TexDictionaryFindNamedTexture(back, "old-record-name-of-thirty-two-c");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(TextureGetMaskName(texture), "mask");
    EXPECT_EQ(texture->filterAddressing, 0x1102u);
    ASSERT_EQ(texture->raster->width, 4);
    TexDictionaryDestroy(back);
    ImageDestroy(image);
}

TEST_F(TexDictTest, RefusesSixtyFiveThousandFiveHundredThirtySixTextures)
{
    TexDictionary* dictionary = TexDictionaryCreate();
    for (int i = 0; i < 65536; ++i) {
        TexDictionaryAddTexture(dictionary, TextureCreate(nullptr));
    }
    const Bytes bytes = Write(dictionary);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadVersion}));
    TexDictionaryDestroy(dictionary);
}

// Every cut of a good chunk and every lying field fails cleanly: null, the
// current dictionary as before and no block left behind.
TEST_F(TexDictTest, FailedReadsRestoreTheCurrentDictionaryAndLeakNothing)
{
    TexDictionary* dictionary = TexDictionaryCreate();
    TexDictionaryAddTexture(dictionary, MakeTexture("a", 8, 32, 2, 0x1106));
    TexDictionaryAddTexture(dictionary, MakeTexture("b", 4, 32, 1, 0x1101));
    const Bytes good = Write(dictionary);
    TexDictionaryDestroy(dictionary);
    TexDictionary* current = TexDictionaryCreate();
    TexDictionarySetCurrent(current);
    const int64_t baseline = CountingMemory::live;

    std::vector<Bytes> bad;
    for (size_t cut = 12; cut < good.size(); cut += 3) {
        bad.emplace_back(good.begin(), good.begin() + cut);
    }
    for (uint32_t levels : {0u, 33u, 0x80000000u, 6u}) {
        Bytes b = good;
        PutU32(b, 16, levels);
        bad.push_back(b);
    }
    Bytes lyingCount = good;
    PutU32(lyingCount, 12, 0xFFFF | 1u << 16);
    bad.push_back(lyingCount);
    for (const Bytes& b : bad) {
        EXPECT_EQ(Read(b), nullptr) << b.size();
        EXPECT_EQ(TexDictionaryGetCurrent(), current);
        EXPECT_EQ(CountingMemory::live, baseline) << b.size();
        TakeError();
    }
    TexDictionaryDestroy(current);
}

TEST_F(TexDictTest, CombinedNamesInterleave)
{
    char name[32];
    EXPECT_STREQ(TextureNameInterleave(name, "grass", "mask"), "gmraassks");
    EXPECT_STREQ(TextureNameInterleave(name, "ab", "ab"), "aabb");
    EXPECT_STREQ(TextureNameInterleave(name, "", ""), "");
    // Long names stop after the round that reaches 30 characters.
    EXPECT_EQ(std::strlen(TextureNameInterleave(name, "0123456789012345678901234567890",
                                                "abcdefghijklmnopqrstuvwxyz01234")),
              30u);
    EXPECT_EQ(std::strlen(TextureNameInterleave(name, "0123456789012345678901234567890", "")), 30u);
}

TEST_F(TexDictTest, ColourAndMaskMakeOneTexture)
{
    Texture* colour = MakeTexture("grass", 8, 32, 1, 0x1102);
    Texture* mask = MakeTexture("mask", 4, 32, 1, 0x3302);
    Texture* combined = TextureCreateFromColourAndMask(colour, mask);
    ASSERT_NE(combined, nullptr);
    EXPECT_STREQ(TextureGetName(combined), "gmraassks");
    EXPECT_EQ(combined->raster->width, 8);
    EXPECT_EQ(TextureGetFilterMode(combined), 2u);
    EXPECT_EQ(TextureGetAddressingU(combined), 1u);
    TextureDestroy(combined);

    TextureSetName(mask, "ab");
    Texture* white = TextureCreateFromColourAndMask(nullptr, mask);
    ASSERT_NE(white, nullptr);
    EXPECT_STREQ(TextureGetName(white), "aabb");
    EXPECT_EQ(TextureGetAddressingU(white), 3u);
    TextureDestroy(white);

    EXPECT_EQ(TextureCreateFromColourAndMask(colour, nullptr), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
    Texture* bare = TextureCreate(nullptr);
    EXPECT_EQ(TextureCreateFromColourAndMask(colour, bare), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
    TextureDestroy(bare);
    TextureDestroy(colour);
    TextureDestroy(mask);
}

TEST_F(TexDictTest, OptionalTextureChunks)
{
    Texture* texture = MakeTexture("opt", 4, 32, 1, 0x1102);
    TexDictionary* dictionary = TexDictionaryCreate();
    TexDictionaryAddTexture(dictionary, texture);
    TexDictionarySetCurrent(dictionary);
    const Bytes some =
        WriteBytes([texture](Stream* s) { return TextureStreamWriteOptional(s, texture) != nullptr; });
    const Bytes none =
        WriteBytes([](Stream* s) { return TextureStreamWriteOptional(s, nullptr) != nullptr; });
    EXPECT_EQ(none.size(), 4u);
    Texture* back = nullptr;
    EXPECT_NE(ReadBytes<Stream*>(some, [&back](Stream* s) { return TextureStreamReadOptional(s, &back); }),
              nullptr);
    EXPECT_EQ(back, texture);
    TextureDestroy(back);
    EXPECT_NE(ReadBytes<Stream*>(none, [&back](Stream* s) { return TextureStreamReadOptional(s, &back); }),
              nullptr);
    EXPECT_EQ(back, nullptr);
    // A texture nobody has: no texture, and the read goes on.
    TexDictionarySetCurrent(nullptr);
    TexDictionaryDestroy(dictionary);
    EXPECT_NE(ReadBytes<Stream*>(some, [&back](Stream* s) { return TextureStreamReadOptional(s, &back); }),
              nullptr);
    EXPECT_EQ(back, nullptr);
    EXPECT_EQ(TakeError(), kNoError);
}

} // namespace
