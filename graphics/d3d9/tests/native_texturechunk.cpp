// The native texture chunk's record layer: round trips of every level
// layout, sizes, and refusal of truncated or lying chunks.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/raster.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/pixelformat.h"
#include "platform/d3d9/d3d9types.h"

namespace {

class NativeTextureChunk : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }
};

NativeTextureRecord Record(uint32_t d3dFormat, uint32_t engineFormat, uint16_t width, uint16_t height,
                           uint8_t levels, uint8_t flags)
{
    NativeTextureRecord r{};
    r.platform = kNativeTexturePlatform;
    r.sampling = 0x2103;
    std::strcpy(r.name, "bricks");
    std::strcpy(r.mask, "bricksmask");
    r.engineFormat = engineFormat;
    r.d3dFormat = d3dFormat;
    r.width = width;
    r.height = height;
    r.depth = D3D9FormatDescribe(d3dFormat).depth ? D3D9FormatDescribe(d3dFormat).depth : 16;
    r.levels = levels;
    r.type = kRasterTypeTexture;
    r.flags = flags;
    return r;
}

/// Level `level` of face `face` filled with a pattern that differs per level and face.
std::vector<uint8_t> LevelBytes(const NativeTextureRecord& r, uint32_t face, uint32_t level)
{
    std::vector<uint8_t> bytes(D3D9FormatLevelBytes(r.d3dFormat, D3D9LevelDimension(r.width, level),
                                                    D3D9LevelDimension(r.height, level)));
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(i * 7 + level * 31 + face * 101);
    }
    return bytes;
}

Bytes WriteTexture(const NativeTextureRecord& r)
{
    return WriteBytes([&](Stream* stream) {
        if (!NativeTextureRecordWrite(stream, &r, NativeTextureBodySize(&r))) {
            return false;
        }
        std::vector<uint8_t> palette(NativeTexturePaletteBytes(r.engineFormat), 0x5A);
        if (!palette.empty() && !StreamWrite(stream, palette.data(), palette.size())) {
            return false;
        }
        for (uint32_t face = 0; face < NativeTextureFaceCount(&r); ++face) {
            for (uint32_t level = 0; level < NativeTextureLevelsPerFace(&r); ++level) {
                const std::vector<uint8_t> bytes = LevelBytes(r, face, level);
                const size_t rowBytes = D3D9FormatRowBytes(r.d3dFormat, D3D9LevelDimension(r.width, level));
                const uint32_t rows = D3D9FormatRowCount(r.d3dFormat, D3D9LevelDimension(r.height, level));
                if (!NativeTextureLevelWrite(stream, bytes.data(), rowBytes, rowBytes, rows)) {
                    return false;
                }
            }
        }
        return true;
    });
}

/// Reads a body back into levels locked with `padding` extra bytes a row;
/// true when everything read and matched what was written.
bool ReadTexture(const Bytes& bytes, const NativeTextureRecord& expected, size_t padding = 0)
{
    return ReadBytes<bool>(bytes, [&](Stream* stream) {
        NativeTextureRecord r{};
        if (!NativeTextureRecordRead(stream, &r)) {
            return false;
        }
        EXPECT_STREQ(r.name, expected.name);
        EXPECT_STREQ(r.mask, expected.mask);
        EXPECT_EQ(r.sampling, expected.sampling);
        EXPECT_EQ(r.d3dFormat, expected.d3dFormat);
        EXPECT_EQ(r.engineFormat, expected.engineFormat);
        EXPECT_EQ(r.flags, expected.flags);
        std::vector<uint8_t> palette(NativeTexturePaletteBytes(r.engineFormat));
        if (StreamRead(stream, palette.data(), palette.size()) != palette.size()) {
            return false;
        }
        for (uint32_t face = 0; face < NativeTextureFaceCount(&r); ++face) {
            for (uint32_t level = 0; level < NativeTextureLevelsPerFace(&r); ++level) {
                const size_t rowBytes = D3D9FormatRowBytes(r.d3dFormat, D3D9LevelDimension(r.width, level));
                const uint32_t rows = D3D9FormatRowCount(r.d3dFormat, D3D9LevelDimension(r.height, level));
                const size_t pitch = rowBytes + padding;
                std::vector<uint8_t> locked(pitch * rows, 0xEE);
                if (!NativeTextureLevelRead(stream, locked.data(), pitch, rowBytes, rows)) {
                    return false;
                }
                const std::vector<uint8_t> want = LevelBytes(r, face, level);
                for (uint32_t row = 0; row < rows; ++row) {
                    if (std::memcmp(locked.data() + row * pitch, want.data() + row * rowBytes, rowBytes) !=
                        0) {
                        ADD_FAILURE() << "face " << face << " level " << level << " row " << row;
                        return false;
                    }
                }
            }
        }
        return true;
    });
}

TEST_F(NativeTextureChunk, RoundTripOfEveryLayout)
{
    const NativeTextureRecord cases[] = {
        Record(D3DFMT_A8R8G8B8, 0x8500, 16, 8, 5, kNativeTextureHasAlpha),
        Record(D3DFMT_X8R8G8B8, 0x0600, 5, 3, 1, 0),
        Record(D3DFMT_R5G6B5, 0x8200, 7, 9, 4, 0),
        Record(D3DFMT_A1R5G5B5, 0x0100, 4, 4, 1, kNativeTextureHasAlpha),
        Record(D3DFMT_A4R4G4B4, 0x9300, 8, 8, 4, kNativeTextureHasAlpha | kNativeTextureAutoMipmaps),
        Record(D3DFMT_X1R5G5B5, 0x0A00, 2, 2, 1, 0),
        Record(D3DFMT_L8, 0x8400, 3, 5, 3, 0),
        Record(D3DFMT_P8, 0x2500, 4, 2, 1, kNativeTextureHasAlpha),
        Record(D3DFMT_P8, 0x4600, 4, 2, 1, 0),
        Record(kFourCCDXT1, 0x8200, 16, 16, 5, kNativeTextureNativeFormat),
        Record(kFourCCDXT3, 0x8300, 12, 4, 4, kNativeTextureNativeFormat | kNativeTextureHasAlpha),
        Record(kFourCCDXT5, 0x0300, 3, 5, 1, kNativeTextureNativeFormat | kNativeTextureHasAlpha),
        Record(D3DFMT_A8R8G8B8, 0x8500, 8, 8, 4, kNativeTextureCube | kNativeTextureHasAlpha),
    };
    for (const NativeTextureRecord& r : cases) {
        SCOPED_TRACE(::testing::Message() << "format " << r.d3dFormat << " " << r.width << "x" << r.height);
        const Bytes bytes = WriteTexture(r);
        ASSERT_EQ(bytes.size(), NativeTextureBodySize(&r));
        EXPECT_EQ(GetU32(bytes, 4), bytes.size() - 12);
        EXPECT_TRUE(ReadTexture(bytes, r));
        EXPECT_TRUE(ReadTexture(bytes, r, 12)) << "into padded rows";
    }
}

TEST_F(NativeTextureChunk, BodySizes)
{
    // Four levels of a 256 x 256 X8R8G8B8 raster.
    NativeTextureRecord r = Record(D3DFMT_X8R8G8B8, 0x8600, 256, 256, 4, 0);
    EXPECT_EQ(NativeTextureBodySize(&r), 348276u);
    r.flags = kNativeTextureAutoMipmaps;
    EXPECT_EQ(NativeTextureBodySize(&r), 100u + 4 + 262144);
    r = Record(kFourCCDXT1, 0x8200, 2, 2, 2, kNativeTextureNativeFormat);
    EXPECT_EQ(NativeTextureBodySize(&r), 100u + 2 * (4 + 8));
    r = Record(D3DFMT_P8, 0x2600, 4, 4, 1, 0);
    EXPECT_EQ(NativeTextureBodySize(&r), 100u + 1024 + 4 + 16);
    r = Record(D3DFMT_A8R8G8B8, 0x8500, 4, 4, 3, kNativeTextureCube);
    EXPECT_EQ(NativeTextureBodySize(&r), 100u + 6 * (3 * 4 + 64 + 16 + 4));
    r = Record(0x32595559u, 0, 4, 4, 1, kNativeTextureNativeFormat);
    EXPECT_EQ(NativeTextureBodySize(&r), 0u);
}

TEST_F(NativeTextureChunk, TruncatedChunksAreRefused)
{
    const NativeTextureRecord r = Record(kFourCCDXT5, 0x8300, 8, 8, 4, kNativeTextureNativeFormat);
    const Bytes bytes = WriteTexture(r);
    ASSERT_FALSE(bytes.empty());
    for (size_t length = 0; length < bytes.size(); ++length) {
        const Bytes cut(bytes.begin(), bytes.begin() + long(length));
        EXPECT_FALSE(ReadTexture(cut, r)) << "cut at " << length;
    }
}

TEST_F(NativeTextureChunk, LyingRecordsAreRefused)
{
    const NativeTextureRecord r = Record(D3DFMT_A8R8G8B8, 0x8500, 4, 4, 3, 0);
    const Bytes good = WriteTexture(r);
    const size_t record = 12;
    const size_t firstCount = 12 + kNativeTextureRecordBytes;
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {"platform", record + 0, 8},
        {"level count beyond the chain", record + 84, 0x0A002004}, // depth 4, levels 32
        {"zero width", record + 80, 0x00040000},
        {"count larger than the level", firstCount, 64 + 4},
        {"count of a part row", firstCount, 63},
        {"count below the level", firstCount, 60},
        {"version", 8, 0x12345678},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        PutU32(bad, c.offset, c.value);
        EXPECT_FALSE(ReadTexture(bad, r)) << c.what;
    }
    // Only the raster types a texture has: a camera or depth raster made from a file
    // would hold a device texture that its destroy path does not release.
    for (const uint8_t type :
         {kRasterTypeZBuffer, kRasterTypeCamera, uint8_t(3), uint8_t(6), uint8_t(0x84)}) {
        Bytes bad = good;
        bad[record + 86] = type;
        EXPECT_FALSE(ReadTexture(bad, r)) << "raster type " << int(type);
    }
    // A cube must be square.
    const NativeTextureRecord cube = Record(D3DFMT_A8R8G8B8, 0x0500, 8, 4, 1, kNativeTextureCube);
    EXPECT_FALSE(ReadTexture(WriteTexture(cube), cube));
}

TEST_F(NativeTextureChunk, LongNamesEndInsideTheirField)
{
    NativeTextureRecord r = Record(D3DFMT_R5G6B5, 0x0200, 2, 2, 1, 0);
    Bytes bytes = WriteTexture(r);
    // A stored name that fills all 32 bytes has no NUL: it is cut at 32 characters.
    std::memset(bytes.data() + 12 + 8, 'n', 32);
    const bool ok = ReadBytes<bool>(bytes, [](Stream* stream) {
        NativeTextureRecord back{};
        if (!NativeTextureRecordRead(stream, &back)) {
            return false;
        }
        EXPECT_EQ(std::string(back.name), std::string(32, 'n'));
        EXPECT_STREQ(back.mask, "bricksmask");
        return true;
    });
    EXPECT_TRUE(ok);
    // The writer keeps at most 31 characters and a NUL.
    std::memset(r.name, 'w', 32);
    r.name[32] = '\0';
    bytes = WriteTexture(r);
    EXPECT_EQ(bytes[12 + 8 + 30], 'w');
    EXPECT_EQ(bytes[12 + 8 + 31], 0);
}

} // namespace
