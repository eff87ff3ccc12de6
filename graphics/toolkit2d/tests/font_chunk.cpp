// Fonts in streams: round trips of bitmap and outline fonts, and the chunks
// the reader refuses.

#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/fonttesting.h"

namespace {

using Bytes = std::vector<uint8_t>;

class FontChunks : public FontTest
{
  protected:
    static Bytes Write(const Font* font)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_NE(FontStreamWrite(font, s), nullptr);
            return true;
        });
    }

    static Font* Read(Bytes bytes)
    {
        StreamMemory memory = {bytes.data(), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Font* font = FontStreamRead(stream);
        StreamClose(stream, nullptr);
        TakeError();
        return font;
    }

    Font* BitmapFont()
    {
        PutPage("cells", 32, 15, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}});
        PutText("cells.met", "METRICS2\ncells\n1\nA\xC3\xA9\nZ\n");
        return FontRead("cells");
    }

    static void ExpectSameGlyphs(const Font* a, const Font* b)
    {
        ASSERT_EQ(a->glyphCount, b->glyphCount);
        for (uint32_t code : {uint32_t('A'), uint32_t(0xE9), uint32_t('Z'), uint32_t(' ')}) {
            const FontGlyph* p = FontGetGlyph(a, code);
            const FontGlyph* q = FontGetGlyph(b, code);
            ASSERT_EQ(p == nullptr, q == nullptr) << code;
            if (p) {
                EXPECT_EQ(p->advance, q->advance);
                EXPECT_EQ(p->u0, q->u0);
                EXPECT_EQ(p->v1, q->v1);
                EXPECT_EQ(p->texture, q->texture);
                EXPECT_EQ(p->path == nullptr, q->path == nullptr);
            }
        }
        EXPECT_EQ(a->flags, b->flags);
        EXPECT_EQ(a->firstCode, b->firstCode);
        EXPECT_EQ(a->extendedCount, b->extendedCount);
        EXPECT_EQ(a->baseline, b->baseline);
    }
};

/// Offset of the glyph records: header, extended map, basic map.
size_t GlyphsAt(const Font* font)
{
    return kChunkHeaderSize + 36 + 2 * size_t(font->extendedCount) + 256;
}

} // namespace

TEST_F(FontChunks, BitmapFontRoundTrip)
{
    Font* font = BitmapFont();
    ASSERT_NE(font, nullptr);
    const Bytes bytes = Write(font);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + FontStreamGetSize(font));
    Font* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    ExpectSameGlyphs(font, back);
    EXPECT_EQ(back->textures[0], font->textures[0]) << "found again in the font dictionary";
    EXPECT_EQ(back->draw, FontRenderStringBitmap);
    FontDestroy(back);
    FontDestroy(font);
}

TEST_F(FontChunks, OutlineFontRoundTrip)
{
    PutText("outline.met", "METRICS3\nx\n#A\nbegin\nmoveto 0 0\nlineto 0.5 1\nlineto 1 0\nclosepath\n"
                           "moveto 1.25 0\nend\n# \nbegin\nmoveto 0.3 0\nend\n");
    Font* font = FontRead("outline");
    ASSERT_NE(font, nullptr);
    const Bytes bytes = Write(font);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + FontStreamGetSize(font));
    Font* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    ExpectSameGlyphs(font, back);
    EXPECT_EQ(back->draw, FontRenderStringOutline);
    EXPECT_EQ(PathGetNodeCount(FontGetGlyph(back, 'A')->path), 4);
    FontDestroy(back);
    FontDestroy(font);
}

TEST_F(FontChunks, MalformedChunksAreRefused)
{
    Font* font = BitmapFont();
    ASSERT_NE(font, nullptr);
    const Bytes good = Write(font);
    const size_t glyphs = GlyphsAt(font);
    const size_t textures = glyphs + 21 * size_t(font->glyphCount);
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
        int32_t width; ///< bytes written
    };
    const Case cases[] = {
        {"top byte 0", kChunkHeaderSize, 0x00000001, 4},
        {"kind 7", kChunkHeaderSize + 4, 7, 4},
        {"glyph count beyond the chunk", kChunkHeaderSize + 28, 100000, 4},
        {"extended count beyond the chunk", kChunkHeaderSize + 32, 60000, 4},
        {"texture index above 3", glyphs + 20, 4, 1},
        {"texture index naming an empty slot", glyphs + 20, 2, 1},
        {"more than 4 textures", textures, 5, 4},
        {"a map entry beyond the glyphs", kChunkHeaderSize + 36 + 2 * size_t(font->extendedCount) + 2 * 'A',
         9, 2},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        for (int32_t i = 0; i < c.width; ++i) {
            bytes[c.at + i] = uint8_t(c.value >> (8 * i));
        }
        Font* read = Read(bytes);
        EXPECT_EQ(read, nullptr) << c.what;
        FontDestroy(read);
    }
    for (size_t cut = kChunkHeaderSize; cut < good.size(); cut += 13) {
        EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + cut)), nullptr) << "cut at " << cut;
    }
    FontDestroy(font);
}
