// Native texture chunks through texture dictionaries, and DDS files read
// into rasters, on the software device.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/ddsread.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/pixelformat.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

using Bytes = std::vector<uint8_t>;

class NativeTextureRead : public EngineFixture
{
  protected:
    void StartOn(bool dxt)
    {
        D3D9AdapterConfig adapter = TestAdapter("native", D3DFMT_X8R8G8B8);
        adapter.supportsDxt = dxt;
        D3D9SetAdapters(&adapter, 1);
        ASSERT_TRUE(Start());
    }

    /// The bytes of level `level` (rows of the format, tight).
    static Bytes Pattern(uint32_t format, int32_t width, int32_t height, uint32_t level, uint32_t face = 0)
    {
        Bytes bytes(D3D9FormatLevelBytes(format, uint32_t(width), uint32_t(height)));
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = uint8_t(i * 5 + level * 17 + face * 59 + 1);
        }
        return bytes;
    }

    /// Fills (or, with `check`, compares) every level of the raster with Pattern.
    static bool Levels(Raster* raster, bool check, uint32_t face = 0)
    {
        const uint32_t format = D3D9RasterGetExtension(raster)->format;
        const int32_t levels = RasterGetNumLevels(raster);
        bool same = true;
        for (int32_t level = 0; level < levels; ++level) {
            uint8_t* pixels = RasterLock(raster, uint8_t(level), check ? kRasterLockRead : kRasterLockWrite);
            if (!pixels) {
                return false;
            }
            const Bytes want = Pattern(format, raster->width, raster->height, uint32_t(level), face);
            const size_t rowBytes = D3D9FormatRowBytes(format, uint32_t(raster->width));
            const uint32_t rows = D3D9FormatRowCount(format, uint32_t(raster->height));
            for (uint32_t row = 0; row < rows; ++row) {
                uint8_t* at = pixels + size_t(row) * size_t(raster->stride);
                if (check) {
                    same &= std::memcmp(at, want.data() + row * rowBytes, rowBytes) == 0;
                } else {
                    std::memcpy(at, want.data() + row * rowBytes, rowBytes);
                }
            }
            RasterUnlock(raster);
        }
        return same;
    }

    static Bytes WriteDictionary(TexDictionary* dictionary)
    {
        return StreamWrittenBytes(
            [&](Stream* s) { return TexDictionaryStreamWrite(dictionary, s) != nullptr; });
    }

    static TexDictionary* ReadDictionary(const Bytes& bytes)
    {
        StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        TexDictionary* dictionary = nullptr;
        if (StreamFindChunk(stream, kChunkTexDictionary, nullptr, nullptr)) {
            dictionary = TexDictionaryStreamRead(stream);
        }
        StreamClose(stream, nullptr);
        ErrorRecord error;
        ErrorGet(&error);
        return dictionary;
    }

    static Raster* ReadDds(const Bytes& file)
    {
        StreamMemory memory = {const_cast<uint8_t*>(file.data()), file.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Raster* raster = D3D9RasterReadDDS(stream);
        StreamClose(stream, nullptr);
        return raster;
    }

    static Bytes DdsFile(uint32_t fourCC, uint32_t width, uint32_t height, uint32_t mips,
                         uint32_t storedLevels)
    {
        DdsHeader h{};
        h.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat |
                  (mips ? kDdsFlagMipMapCount : 0);
        h.width = width;
        h.height = height;
        h.mipMapCount = mips;
        h.pixelFlags = kDdsPixelFourCC;
        h.fourCC = fourCC;
        Bytes file(kDdsHeaderBytes);
        DdsWriteHeader(&h, file.data());
        for (uint32_t level = 0; level < storedLevels; ++level) {
            const Bytes bytes = Pattern(fourCC, int32_t(D3D9LevelDimension(width, level)),
                                        int32_t(D3D9LevelDimension(height, level)), level);
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        return file;
    }
};

TEST_F(NativeTextureRead, DictionaryRoundTripOfEveryFormat)
{
    StartOn(true);
    struct Case
    {
        uint32_t word;      ///< engine format word, or 0 with a Direct3D format
        uint32_t d3dFormat; ///< explicit format
    };
    const Case cases[] = {
        {kRasterFormat565, 0},
        {kRasterFormat1555 | kRasterFormatMipmap, 0},
        {kRasterFormat4444, 0},
        {kRasterFormat8888 | kRasterFormatMipmap, 0},
        {kRasterFormat888, 0},
        {kRasterFormat555, 0},
        {kRasterFormatLum8 | kRasterFormatMipmap, 0},
        {kRasterFormatPal8 | kRasterFormat888, 0},
        {0, kFourCCDXT1},
        {0, kFourCCDXT3},
        {0, kFourCCDXT5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.word << " " << c.d3dFormat);
        Raster* raster = c.d3dFormat ? D3D9RasterCreateFromFormat(16, 8, c.d3dFormat,
                                                                  kRasterTypeTexture | kRasterFormatMipmap)
                                     : RasterCreate(16, 8, 0, kRasterTypeTexture | c.word);
        ASSERT_NE(raster, nullptr);
        ASSERT_TRUE(Levels(raster, false));
        if (c.word & kRasterFormatPal8) {
            uint8_t* palette = RasterLockPalette(raster, kRasterLockWrite);
            for (int i = 0; i < 1024; ++i) {
                palette[i] = uint8_t(255 - i);
            }
            RasterUnlockPalette(raster);
        }
        Texture* texture = TextureCreate(raster);
        TextureSetName(texture, "stone");
        TextureSetMaskName(texture, "stonemask");
        texture->filterAddressing = 0x3204;
        TexDictionary* dictionary = TexDictionaryCreate();
        TexDictionaryAddTexture(dictionary, texture);
        const Bytes bytes = WriteDictionary(dictionary);
        ASSERT_FALSE(bytes.empty());
        TexDictionaryDestroy(dictionary);

        TexDictionary* back = ReadDictionary(bytes);
        ASSERT_NE(back, nullptr);
        Texture* read = TexDictionaryFindNamedTexture(back, "stone");
        ASSERT_NE(read, nullptr);
        EXPECT_STREQ(read->mask, "stonemask");
        EXPECT_EQ(read->filterAddressing & 0xFFFF, 0x3204u);
        Raster* again = read->raster;
        EXPECT_EQ(again->width, 16);
        EXPECT_EQ(again->height, 8);
        EXPECT_EQ(RasterGetNumLevels(again), (c.word & kRasterFormatMipmap) || c.d3dFormat ? 5 : 1);
        EXPECT_TRUE(Levels(again, true));
        if (c.d3dFormat) {
            EXPECT_NE(D3D9RasterHasNativeFormat(again), 0);
            EXPECT_EQ(D3D9RasterHasAlpha(again), c.d3dFormat == kFourCCDXT1 ? 0 : 1);
            EXPECT_EQ(again->depth, 16);
        }
        if (c.word & kRasterFormatPal8) {
            uint8_t* palette = RasterLockPalette(again, kRasterLockRead);
            ASSERT_NE(palette, nullptr);
            EXPECT_EQ(palette[1000], uint8_t(255 - 1000));
            RasterUnlockPalette(again);
        }

        // Every cut of the dictionary is refused without leaks.
        for (size_t length = 0; length < bytes.size(); length += 1 + length / 4) {
            EXPECT_EQ(ReadDictionary(Bytes(bytes.begin(), bytes.begin() + long(length))), nullptr) << length;
        }
        TexDictionaryDestroy(back);
    }
}

TEST_F(NativeTextureRead, TexturesWithoutRasterAreNotSaved)
{
    StartOn(true);
    Texture* texture = TextureCreate(nullptr);
    TexDictionary* dictionary = TexDictionaryCreate();
    TexDictionaryAddTexture(dictionary, texture);
    EXPECT_TRUE(WriteDictionary(dictionary).empty());
    TexDictionaryDestroy(dictionary);
}

TEST_F(NativeTextureRead, DxtFileCopiedLevelByLevel)
{
    StartOn(true);
    Bytes file = DdsFile(kFourCCDXT1, 64, 64, 7, 7);
    Raster* raster = ReadDds(file);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(RasterGetNumLevels(raster), 7);
    EXPECT_TRUE(Levels(raster, true));
    EXPECT_NE(D3D9RasterHasNativeFormat(raster), 0);
    // The pattern's first block has colour 0 <= colour 1 and uses index 3.
    EXPECT_EQ(D3D9RasterHasAlpha(raster), 1);
    EXPECT_EQ(raster->format & 0x0F, 0x01);
    RasterDestroy(raster);

    // Opaque blocks: colour 0 > colour 1 everywhere.
    for (size_t i = kDdsHeaderBytes; i + 8 <= file.size(); i += 8) {
        file[i + 1] = 0xFF;
        file[i + 3] = 0x00;
    }
    raster = ReadDds(file);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(D3D9RasterHasAlpha(raster), 0);
    EXPECT_EQ(raster->format & 0x0F, 0x02);
    RasterDestroy(raster);
}

TEST_F(NativeTextureRead, DxtFileDecodedWithoutDeviceSupport)
{
    StartOn(false);
    // One 4 x 4 block: colour 0 red, colour 1 blue, every texel index 2.
    Bytes file = DdsFile(kFourCCDXT1, 4, 4, 0, 0);
    const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
    file.insert(file.end(), block, block + 8);
    Raster* raster = ReadDds(file);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(D3D9RasterHasNativeFormat(raster), 0);
    EXPECT_EQ(raster->format & 0x0F, 0x02);
    uint8_t* pixels = RasterLock(raster, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    uint8_t rgba[4];
    D3D9DecodePixels(D3D9RasterGetExtension(raster)->format, pixels, rgba, 1);
    RasterUnlock(raster);
    EXPECT_EQ(rgba[0], 160); // 165 through R5G6B5
    EXPECT_EQ(rgba[2], 80);
    RasterDestroy(raster);
}

TEST_F(NativeTextureRead, OddSizedAndCubeFiles)
{
    StartOn(true);
    Raster* odd = ReadDds(DdsFile(kFourCCDXT5, 3, 5, 0, 1));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->width, 3);
    EXPECT_EQ(odd->height, 5);
    EXPECT_TRUE(Levels(odd, true));
    RasterDestroy(odd);

    // A cube flagging +X and -Z stores two faces, read into faces 0 and 5.
    DdsHeader h{};
    h.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat;
    h.width = h.height = 8;
    h.pixelFlags = kDdsPixelRgb | kDdsPixelAlpha;
    h.bitCount = 32;
    h.redMask = 0xFF0000;
    h.alphaMask = 0xFF000000;
    h.caps = kDdsCapsComplex;
    h.caps2 = kDdsCaps2CubeMap | 0x400 | 0x8000;
    Bytes file(kDdsHeaderBytes);
    DdsWriteHeader(&h, file.data());
    for (uint32_t face : {0u, 5u}) {
        const Bytes bytes = Pattern(D3DFMT_A8R8G8B8, 8, 8, 0, face);
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    Raster* cube = ReadDds(file);
    ASSERT_NE(cube, nullptr);
    EXPECT_NE(D3D9RasterIsCubeTexture(cube), 0);
    EXPECT_EQ(D3D9RasterHasAlpha(cube), 1);
    D3D9RasterSetCubeFace(cube, 0);
    EXPECT_TRUE(Levels(cube, true, 0));
    D3D9RasterSetCubeFace(cube, 5);
    EXPECT_TRUE(Levels(cube, true, 5));
    D3D9RasterSetCubeFace(cube, 0);
    RasterDestroy(cube);
}

TEST_F(NativeTextureRead, LyingDdsFilesAreRefused)
{
    StartOn(true);
    struct Case
    {
        const char* what;
        Bytes file;
    };
    Bytes redLow = DdsFile(0, 4, 4, 0, 0);
    {
        DdsHeader h{};
        DdsParseHeader(redLow.data(), redLow.size(), &h);
        h.pixelFlags = kDdsPixelRgb;
        h.bitCount = 32;
        h.redMask = 0xFF;
        DdsWriteHeader(&h, redLow.data());
        redLow.resize(kDdsHeaderBytes + 64);
    }
    Bytes huge = DdsFile(kFourCCDXT1, 4, 4, 0, 1);
    huge[12] = huge[13] = huge[16] = huge[17] = 0xFF;
    Bytes linear = DdsFile(kFourCCDXT5, 64, 64, 0, 0);
    linear.resize(linear.size() + 16);
    linear[10] |= 0x08; // linear-size flag (0x80000)
    linear[20] = 16;    // claims one block
    const Case cases[] = {
        {"chain shorter than declared", DdsFile(kFourCCDXT1, 64, 64, 7, 3)},
        {"level cut short",
         [this] {
             Bytes b = DdsFile(kFourCCDXT3, 8, 8, 0, 1);
             b.pop_back();
             return b;
         }()},
        {"red mask 0x00FF", redLow},
        {"huge size", huge},
        {"linear size smaller than the level", linear},
        {"header cut short",
         [this] {
             Bytes b = DdsFile(kFourCCDXT1, 4, 4, 0, 0);
             b.resize(b.size() - 4);
             return b;
         }()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadDds(c.file), nullptr) << c.what;
    }
    Shutdown();
    StartOn(false);
    for (const Case& c : cases) {
        EXPECT_EQ(ReadDds(c.file), nullptr) << "decoded: " << c.what;
    }
}

TEST_F(NativeTextureRead, TextureFoundAlongTheImagePath)
{
    StartOn(true);
    const std::filesystem::path root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / "ddsfiles";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "second");
    const Bytes file = DdsFile(kFourCCDXT3, 8, 8, 0, 1);
    {
        std::ofstream out(root / "second" / "rock.dds", std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    ASSERT_TRUE(FileSystemManagerOpen(0));
    FileSystem* files = Win32FileSystemCreate(20, (root.string() + "/").c_str(), "dds");
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(FileSystemManagerRegister(files));
    FileSystemManagerSetDefault(files);
    ASSERT_NE(ImageSetPath("first/;second/"), nullptr);
    Texture* texture = D3D9TextureReadDDS("rock");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(texture->name, "rock");
    EXPECT_TRUE(Levels(texture->raster, true));
    TextureDestroy(texture);
    EXPECT_EQ(D3D9TextureReadDDS("missing"), nullptr);
    FileSystemManagerClose();
}

TEST_F(NativeTextureRead, LuminanceAndPaletteFilesConvertToImages)
{
    StartOn(true);
    auto header = [](uint32_t flags, uint32_t bits, uint32_t red, uint32_t alpha) {
        DdsHeader h{};
        h.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat;
        h.width = 2;
        h.height = 1;
        h.pixelFlags = flags;
        h.bitCount = bits;
        h.redMask = red;
        h.alphaMask = alpha;
        Bytes file(kDdsHeaderBytes);
        DdsWriteHeader(&h, file.data());
        return file;
    };
    // A8L8: grey 0x40 with alpha 0x80, grey 0xC0 opaque.
    Bytes luminance = header(0x20001, 16, 0xFF, 0xFF00);
    for (uint8_t byte : {0x40, 0x80, 0xC0, 0xFF}) {
        luminance.push_back(byte);
    }
    // P8: entries 1 and 2 of the palette.
    Bytes palette = header(0x20, 8, 0, 0);
    Bytes entries(kDdsPaletteBytes, 0);
    const uint8_t one[4] = {10, 20, 30, 255}, two[4] = {40, 50, 60, 255};
    std::memcpy(entries.data() + 4, one, 4);
    std::memcpy(entries.data() + 8, two, 4);
    palette.insert(palette.end(), entries.begin(), entries.end());
    palette.push_back(2);
    palette.push_back(1);
    struct Case
    {
        const Bytes& file;
        int32_t depth;
        uint8_t first[4], second[4];
    };
    const Case cases[] = {
        {luminance, 16, {0x40, 0x40, 0x40, 0x80}, {0xC0, 0xC0, 0xC0, 0xFF}},
        {palette, 8, {40, 50, 60, 255}, {10, 20, 30, 255}},
    };
    for (const Case& c : cases) {
        Raster* raster = ReadDds(c.file);
        ASSERT_NE(raster, nullptr);
        EXPECT_EQ(raster->depth, c.depth);
        Image* image = ImageCreate(2, 1, 32);
        ASSERT_TRUE(ImageAllocatePixels(image));
        ASSERT_NE(ImageSetFromRaster(image, raster), nullptr);
        EXPECT_EQ(std::memcmp(image->pixels, c.first, 4), 0) << c.depth;
        EXPECT_EQ(std::memcmp(image->pixels + 4, c.second, 4), 0) << c.depth;
        ImageDestroy(image);
        RasterDestroy(raster);
    }
}

} // namespace
