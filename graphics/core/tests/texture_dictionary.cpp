// Texture dictionaries and the texture and dictionary chunks: round trips,
// device ids, truncated data, shared textures outliving their dictionary,
// and the mip-level settings a texture chunk carries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/imagefiletesting.h"
#include "graphics/core/texture.h"

namespace {

const TestColour kRed{255, 0, 0, 255};
const TestColour kBlue{0, 0, 255, 255};

class TexDictionaryTest : public ImageFileTest
{
  protected:
    template <typename Write> static std::vector<uint8_t> WriteBytes(Write write)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_TRUE(write(s));
            return true;
        });
    }

    template <typename Read>
    static auto ReadBytes(const std::vector<uint8_t>& bytes, uint32_t chunk, Read read)
    {
        StreamMemory memory{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        decltype(read(stream)) result = nullptr;
        if (!stream) {
            return result;
        }
        if (StreamFindChunk(stream, chunk, nullptr, nullptr)) {
            result = read(stream);
        }
        StreamClose(stream, nullptr);
        return result;
    }

    static std::vector<uint8_t> WriteDictionary(TexDictionary* dictionary)
    {
        return WriteBytes([&](Stream* s) { return TexDictionaryStreamWrite(dictionary, s) != nullptr; });
    }

    static TexDictionary* ReadDictionary(const std::vector<uint8_t>& bytes)
    {
        return ReadBytes(bytes, kChunkTexDictionary, TexDictionaryStreamRead);
    }

    static std::vector<std::string> Names(TexDictionary* dictionary)
    {
        std::vector<std::string> names;
        TexDictionaryForAllTextures(
            dictionary,
            [](Texture* texture, void* data) {
                static_cast<std::vector<std::string>*>(data)->push_back(TextureGetName(texture));
                return texture;
            },
            &names);
        return names;
    }

    // A dictionary with two textures read from files, made current.
    TexDictionary* MakeDictionary()
    {
        PutSolid("red.tst", 4, 2, kRed);
        PutSolid("blue.tst", 2, 2, kBlue);
        TexDictionary* dictionary = TexDictionaryCreate();
        EXPECT_NE(dictionary, nullptr);
        TexDictionarySetCurrent(dictionary);
        Texture* red = TextureRead("red", nullptr);
        Texture* blue = TextureRead("blue", nullptr);
        EXPECT_NE(red, nullptr);
        EXPECT_NE(blue, nullptr);
        TextureSetFilterMode(red, kTextureFilterLinear);
        TextureSetAddressingV(blue, kTextureAddressClamp);
        return dictionary;
    }
};

TEST_F(TexDictionaryTest, RoundTripKeepsTexturesInOrder)
{
    TexDictionary* dictionary = MakeDictionary();
    EXPECT_EQ(Names(dictionary), (std::vector<std::string>{"blue", "red"}));
    const std::vector<uint8_t> bytes = WriteDictionary(dictionary);
    EXPECT_EQ(bytes.size(), TexDictionaryStreamGetSize(dictionary) + 12);
    TexDictionaryDestroy(dictionary);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());

    TexDictionary* back = ReadDictionary(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Names(back), (std::vector<std::string>{"blue", "red"}));
    Texture* red = TexDictionaryFindNamedTexture(back, "red");
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(TextureGetFilterMode(red), kTextureFilterLinear);
    EXPECT_EQ(TextureGetDictionary(red), back);
    Raster* raster = TextureGetRaster(red);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->width, 4);
    const uint8_t* pixels = RasterLock(raster, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::memcmp(pixels + raster->stride + 12, &kRed, 4), 0);
    RasterUnlock(raster);
    EXPECT_EQ(TextureGetAddressingV(TexDictionaryFindNamedTexture(back, "blue")), kTextureAddressClamp);
    TexDictionaryDestroy(back);
}

TEST_F(TexDictionaryTest, DataOfAnotherDeviceIsRefused)
{
    RasterDoubleGet().deviceId = 3;
    TexDictionary* dictionary = MakeDictionary();
    const std::vector<uint8_t> bytes = WriteDictionary(dictionary);
    TexDictionaryDestroy(dictionary);
    RasterDoubleGet().deviceId = 5;
    EXPECT_EQ(ReadDictionary(bytes), nullptr);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
    RasterDoubleGet().deviceId = 0;
    TexDictionary* back = ReadDictionary(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Names(back).size(), 2u);
    TexDictionaryDestroy(back);
}

TEST_F(TexDictionaryTest, TruncatedDictionariesAreRefusedWithoutLeftovers)
{
    TexDictionary* dictionary = MakeDictionary();
    const std::vector<uint8_t> bytes = WriteDictionary(dictionary);
    TexDictionaryDestroy(dictionary);
    for (size_t length = 0; length < bytes.size(); length += 3) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
        TexDictionary* back = ReadDictionary(cut);
        EXPECT_EQ(back, nullptr) << length;
        if (back) {
            TexDictionaryDestroy(back);
        }
        EXPECT_TRUE(RasterDoubleGet().bodies.empty()) << length;
        TakeError();
    }
}

TEST_F(TexDictionaryTest, RunningOutOfMemoryWhileReadingFailsCleanly)
{
    TexDictionary* dictionary = MakeDictionary();
    const std::vector<uint8_t> bytes = WriteDictionary(dictionary);
    TexDictionaryDestroy(dictionary);
    TexDictionary* first = ReadDictionary(bytes);
    ASSERT_NE(first, nullptr);
    TexDictionaryDestroy(first);
    const int64_t baseline = CountingMemory::live;
    for (int32_t failAfter = 0; failAfter < 200; ++failAfter) {
        CountingMemory::failAfter = failAfter;
        TexDictionary* back = ReadDictionary(bytes);
        CountingMemory::failAfter = -1;
        TakeError();
        if (back) {
            EXPECT_EQ(Names(back).size(), 2u);
            TexDictionaryDestroy(back);
            EXPECT_EQ(CountingMemory::live, baseline);
            return;
        }
        EXPECT_EQ(CountingMemory::live, baseline) << "after failing allocation " << failAfter;
        EXPECT_TRUE(RasterDoubleGet().bodies.empty()) << failAfter;
    }
    FAIL() << "the read never succeeded";
}

TEST_F(TexDictionaryTest, SharedTextureOutlivesItsDictionary)
{
    TexDictionary* dictionary = MakeDictionary();
    Texture* shared = TextureRead("red", nullptr);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->refCount, 2);
    TexDictionaryDestroy(dictionary);
    EXPECT_EQ(TexDictionaryGetCurrent(), nullptr);
    // The texture lives on, in no dictionary, with its raster.
    EXPECT_EQ(shared->refCount, 1);
    EXPECT_EQ(TextureGetDictionary(shared), nullptr);
    ASSERT_NE(TextureGetRaster(shared), nullptr);
    EXPECT_EQ(RasterDoubleGet().bodies.size(), 1u);

    // A dictionary made afterwards (likely in the freed record) is not touched
    // when the texture finally goes.
    TexDictionary* next = TexDictionaryCreate();
    ASSERT_NE(next, nullptr);
    TextureDestroy(shared);
    EXPECT_TRUE(LinkListIsEmpty(&next->textures));
    EXPECT_EQ(next->textures.next, &next->textures);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
    TexDictionaryDestroy(next);
}

TEST_F(TexDictionaryTest, FindWithoutACurrentDictionarySearchesThemAll)
{
    TexDictionary* first = MakeDictionary();
    TexDictionary* second = TexDictionaryCreate();
    Texture* other = TextureCreate(nullptr);
    TextureSetName(other, "red");
    TexDictionaryAddTexture(second, other);
    TexDictionarySetCurrent(nullptr);
    // Newest dictionary first.
    EXPECT_EQ(TextureFindDefault("RED"), other);
    TexDictionaryAddTexture(first, other);
    EXPECT_EQ(TextureGetDictionary(other), first);
    EXPECT_TRUE(LinkListIsEmpty(&second->textures));
    EXPECT_EQ(Names(first), (std::vector<std::string>{"red", "blue", "red"}));

    int32_t visits = 0;
    TexDictionaryForAllDictionaries(
        [](TexDictionary* dictionary, void* data) {
            ++*static_cast<int32_t*>(data);
            return dictionary;
        },
        &visits);
    EXPECT_EQ(visits, 3); // the default dictionary and the two made here
    TexDictionaryDestroy(second);
    TexDictionaryDestroy(first);
}

class TextureChunkTest : public TexDictionaryTest
{
  protected:
    static std::vector<uint8_t> WriteTexture(Texture* texture)
    {
        return WriteBytes([&](Stream* s) { return TextureStreamWrite(texture, s) != nullptr; });
    }

    static Texture* ReadTexture(const std::vector<uint8_t>& bytes)
    {
        return ReadBytes(bytes, kChunkTexture, TextureStreamRead);
    }

    static void PutU32(std::vector<uint8_t>* bytes, size_t at, uint32_t value)
    {
        for (int32_t i = 0; i < 4; ++i) {
            (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }

    // Offset of the stored sampling word: chunk header, struct header.
    static constexpr size_t kSampling = 24;
};

TEST_F(TextureChunkTest, LoadedTextureKeepsItsSettings)
{
    PutSolid("red.tst", 4, 4, kRed);
    Texture* texture = TextureRead("red", nullptr);
    ASSERT_NE(texture, nullptr);
    TextureSetFilterMode(texture, kTextureFilterLinear);
    const std::vector<uint8_t> bytes = WriteTexture(texture);
    EXPECT_EQ(bytes.size(), TextureStreamGetSize(texture) + 12);
    TextureSetFilterMode(texture, kTextureFilterNearest);
    Texture* again = ReadTexture(bytes);
    EXPECT_EQ(again, texture);
    EXPECT_EQ(texture->refCount, 2);
    EXPECT_EQ(TextureGetFilterMode(texture), kTextureFilterNearest);
    TextureDestroy(again);
    TextureDestroy(texture);
}

TEST_F(TextureChunkTest, StoredFilterModeChoosesMipLevels)
{
    PutSolid("red.tst", 4, 4, kRed);
    PutSolid("redm1.tst", 2, 2, kBlue);
    PutSolid("redm2.tst", 1, 1, kBlue);
    Texture* texture = TextureCreate(nullptr);
    TextureSetName(texture, "red");
    const std::vector<uint8_t> template_ = WriteTexture(texture);
    TextureDestroy(texture);

    struct Case
    {
        uint32_t stored;
        bool mipmaps, automatic;
        uint32_t filterAddressing;
    };
    const Case cases[] = {
        {0x00001104, true, true, 0x1104},   // mip filter, device-made levels
        {0x00011104, true, false, 0x1104},  // mip filter, levels from files
        {0x00010101, false, false, 0x1101}, // no mip filter whatever bit 16 says; V taken from U
        {0x00003206, true, true, 0x3206},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = template_;
        PutU32(&bytes, kSampling, c.stored);
        Texture* read = ReadTexture(bytes);
        ASSERT_NE(read, nullptr) << std::hex << c.stored;
        Raster* raster = TextureGetRaster(read);
        EXPECT_EQ((raster->format & (kRasterFormatMipmap >> 8)) != 0, c.mipmaps) << std::hex << c.stored;
        EXPECT_EQ((raster->format & (kRasterFormatAutoMipmap >> 8)) != 0, c.automatic)
            << std::hex << c.stored;
        EXPECT_EQ(read->filterAddressing, c.filterAddressing) << std::hex << c.stored;
        // The module's flags are as they were.
        EXPECT_EQ(TextureGetMipmapping(), 0);
        EXPECT_EQ(TextureGetAutoMipmapping(), 0);
        TextureDestroy(read);
    }
}

TEST_F(TextureChunkTest, MissingImageSkipsTheExtension)
{
    Texture* texture = TextureCreate(nullptr);
    TextureSetName(texture, "absent");
    std::vector<uint8_t> bytes = WriteTexture(texture);
    TextureDestroy(texture);
    EXPECT_EQ(ReadTexture(bytes), nullptr);
    // Truncated chunks fail cleanly.
    for (size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_EQ(ReadTexture(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)), nullptr);
    }
}

} // namespace

namespace {

// A texture plug-in that saves one u32 per texture in the extension chunk.
constexpr uint32_t kTagPluginId = 0x7F1;
int32_t g_tagOffset = -1;

uint32_t& Tag(void* texture)
{
    return *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(texture) + g_tagOffset);
}

void* TagConstruct(void* texture, int32_t, int32_t)
{
    Tag(texture) = 0;
    return texture;
}

Stream* TagRead(Stream* stream, int32_t length, void* texture, int32_t, int32_t)
{
    return length == 4 && StreamReadUInt32(stream, &Tag(texture)) ? stream : nullptr;
}

Stream* TagWrite(Stream* stream, int32_t, const void* texture, int32_t, int32_t)
{
    return StreamWriteUInt32(stream, Tag(const_cast<void*>(texture)));
}

int32_t TagSize(const void* texture, int32_t, int32_t)
{
    return Tag(const_cast<void*>(texture)) ? 4 : 0;
}

class TexturePluginTest : public TextureChunkTest
{
  protected:
    void BeforeOpen() override
    {
        g_tagOffset = TextureRegisterPlugin(4, kTagPluginId, TagConstruct, nullptr, nullptr);
        ASSERT_GE(g_tagOffset, 0);
        ASSERT_EQ(TextureRegisterPluginStream(kTagPluginId, TagRead, TagWrite, TagSize), g_tagOffset);
    }
};

TEST_F(TexturePluginTest, ExtensionDataIsReadOnlyForFreshTextures)
{
    PutSolid("red.tst", 2, 2, kRed);
    Texture* texture = TextureRead("red", nullptr);
    ASSERT_NE(texture, nullptr);
    Tag(texture) = 0xC0FFEE;
    const std::vector<uint8_t> bytes = WriteTexture(texture);
    EXPECT_EQ(bytes.size(), TextureStreamGetSize(texture) + 12);

    // Loaded: the stored extension is skipped.
    Tag(texture) = 7;
    Texture* again = ReadTexture(bytes);
    ASSERT_EQ(again, texture);
    EXPECT_EQ(Tag(texture), 7u);
    TextureDestroy(again);
    TextureDestroy(texture);

    // Read afresh: the extension gives the plug-in its data back.
    Texture* fresh = ReadTexture(bytes);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->refCount, 1);
    EXPECT_EQ(Tag(fresh), 0xC0FFEEu);

    // And through a dictionary.
    TexDictionary* dictionary = TexDictionaryGetCurrent();
    const std::vector<uint8_t> saved = WriteDictionary(dictionary);
    TexDictionaryDestroy(dictionary);
    TexDictionary* back = ReadDictionary(saved);
    ASSERT_NE(back, nullptr);
    Texture* restored = TexDictionaryFindNamedTexture(back, "red");
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(Tag(restored), 0xC0FFEEu);
    TexDictionaryDestroy(back);
}

} // namespace
