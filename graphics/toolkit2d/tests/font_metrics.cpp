// Fonts read from ".met" files: the three versions, their glyph maps and
// textures, and the malformed files they refuse.

#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/fonttesting.h"

namespace {

using Fonts = FontTest;

const FontGlyph* Glyph(const Font* font, uint32_t code)
{
    return FontGetGlyph(font, code);
}

} // namespace

TEST_F(Fonts, Metrics1GlyphRectanglesAndTheirMask)
{
    PutPage("plain", 64, 32, {});
    PutText(
        "one.met",
        "METRICS1\nplain\n12\n65 0 0 8 16\nnot a glyph line\n66 8 0 20 16\n67 20 4 28 4\n300 20 0 28 16\n");
    Font* font = FontRead("one");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(FontGetKind(font), kFontBitmap);
    EXPECT_EQ(FontGetGlyphCount(font), 3) << "the zero-height line is skipped";
    const FontGlyph* a = Glyph(font, 'A');
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(a->u0, 0.5f / 64);
    EXPECT_FLOAT_EQ(a->v0, 0.5f / 32);
    EXPECT_FLOAT_EQ(a->u1, 8.5f / 64);
    EXPECT_FLOAT_EQ(a->v1, 16.5f / 32);
    EXPECT_FLOAT_EQ(a->advance, 0.5f);
    EXPECT_FLOAT_EQ(Glyph(font, 'B')->advance, 0.75f);
    EXPECT_EQ(Glyph(font, 'C'), nullptr);
    EXPECT_FLOAT_EQ(font->pixelHeight, 16.0f);
    EXPECT_FLOAT_EQ(font->baseline, 0.75f);
    // Code 300 makes the font 16-bit, with a one-entry extended map.
    EXPECT_TRUE(FontIsWide(font));
    EXPECT_EQ(font->firstCode, 300);
    EXPECT_EQ(font->extendedCount, 1);
    EXPECT_NE(Glyph(font, 300), nullptr);
    EXPECT_STREQ(TextureGetMaskName(font->textures[0]), "") << "no mplain file";
    FontDestroy(font);

    PutPage("masked", 64, 32, {});
    PutPage("mmasked", 64, 32, {});
    PutText("two.met", "METRICS1\nmasked\n12\n65 0 0 8 16\n");
    font = FontRead("two");
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(TextureGetMaskName(font->textures[0]), "mmasked");
    FontDestroy(font);
}

TEST_F(Fonts, Metrics1RefusesWhatItCannotMeasure)
{
    PutPage("plain", 64, 32, {});
    struct Case
    {
        const char* what;
        const char* text;
        bool reads;
    };
    const Case cases[] = {
        {"no glyph lines", "METRICS1\nplain\n12\n", false},
        {"only zero-height lines", "METRICS1\nplain\n12\n65 0 3 8 3\n", false},
        {"code beyond 16 bits", "METRICS1\nplain\n12\n65536 0 0 8 16\n", false},
        {"missing texture", "METRICS1\nabsent\n12\n65 0 0 8 16\n", false},
        {"no names: an empty font", "METRICS1\n\n", true},
        {"unknown version", "METRICS9\nplain\n", false},
    };
    for (const Case& c : cases) {
        PutText("case.met", c.text);
        Font* font = FontRead("case");
        EXPECT_EQ(font != nullptr, c.reads) << c.what;
        FontDestroy(font);
        TakeError();
    }
}

TEST_F(Fonts, Metrics2CellsFoundByMarkers)
{
    // Two bands of h = 7: cells 0-6 and 6-10 in the first (ended by 10, 11), 0-5 in the second.
    PutPage("cells", 32, 15, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}});
    PutText("cells.met", "METRICS2\ncells\n1\nA\xC3\xA9\nZ\n");
    Font* font = FontRead("cells");
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(FontGetGlyphCount(font), 3);
    const FontGlyph* a = Glyph(font, 'A');
    const FontGlyph* e = Glyph(font, 0xE9);
    const FontGlyph* z = Glyph(font, 'Z');
    ASSERT_TRUE(a && e && z) << "a 2-byte character, then the text goes on on the next line";
    EXPECT_FLOAT_EQ(a->advance, 3.0f / 4.0f);
    EXPECT_FLOAT_EQ(e->advance, 1.0f / 4.0f);
    EXPECT_FLOAT_EQ(a->u0, 2.5f / 32);
    EXPECT_FLOAT_EQ(a->u1, 5.5f / 32);
    EXPECT_FLOAT_EQ(z->v0, 9.5f / 15);
    EXPECT_FLOAT_EQ(z->v1, 13.5f / 15);
    EXPECT_FLOAT_EQ(font->pixelHeight, 4.0f);
    EXPECT_FLOAT_EQ(font->baseline, 0.25f);
    EXPECT_TRUE(FontIsWide(font));
    FontDestroy(font);
}

TEST_F(Fonts, Metrics2RefusesBadPages)
{
    PutPage("lonely", 16, 8, {{0, 0}, {5, 0}});
    PutPage("flat", 16, 8, {{0, 0}, {0, 3}, {5, 0}});
    PutPage("good", 16, 8, {{0, 0}, {0, 7}, {5, 0}, {6, 0}});
    struct Case
    {
        const char* what;
        const char* text;
    };
    const Case cases[] = {
        {"no second marker in column 0", "METRICS2\nlonely\n1\nA\n"},
        {"cells of h <= 3", "METRICS2\nflat\n1\nA\n"},
        {"a cut 2-byte character", "METRICS2\ngood\n1\n\xC3\n"},
        {"lead byte 0xFF", "METRICS2\ngood\n1\n\xFF\n"},
        {"a missing page", "METRICS2\nabsent\n1\nA\n"},
    };
    for (const Case& c : cases) {
        PutText("case.met", c.text);
        Font* font = FontRead("case");
        EXPECT_EQ(font, nullptr) << c.what;
        FontDestroy(font);
        TakeError();
    }
    PutText("case.met", "METRICS2\ngood\n1\nA\n");
    Font* font = FontRead("case");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(FontGetGlyphCount(font), 1);
    FontDestroy(font);
}

TEST_F(Fonts, Metrics3OutlineGlyphs)
{
    PutText("outline.met",
            "METRICS3\na test outline\n#A\nbegin\nmoveto 0 0\nlineto 0.5 1\nlineto 1 0\nclosepath\n"
            "moveto 1.25 0\nend\n# \nbegin\nmoveto 0.3 0\nend\n");
    Font* font = FontRead("outline");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(FontGetKind(font), kFontOutline);
    EXPECT_EQ(font->draw, FontRenderStringOutline);
    const FontGlyph* a = Glyph(font, 'A');
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(a->advance, 1.25f);
    ASSERT_NE(a->path, nullptr);
    EXPECT_EQ(a->path->next, nullptr) << "the advance's lone move-to is trimmed";
    EXPECT_EQ(PathGetNodeCount(a->path), 4);
    EXPECT_TRUE(a->path->closed);
    EXPECT_EQ(a->path->count, 4) << "finished: a plain array";
    const FontGlyph* space = Glyph(font, ' ');
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->path, nullptr);
    EXPECT_FLOAT_EQ(space->advance, 0.3f);
    FontDestroy(font);

    const char* failures[] = {
        "METRICS3\nx\n#A\nbegin\nlineto 1 1\nend\n",                // a line-to first
        "METRICS3\nx\n#\xFF\nbegin\nmoveto 0 0\nend\n",             // lead byte 0xFF
        "METRICS3\nx\n#\xF0\x9F\x98\x80\nbegin\nmoveto 0 0\nend\n", // a code above 0xFFFF
        "METRICS3\nx\n#A\nbegin\nmoveto nan 0\nlineto 1 1\nend\n",  // not a number
    };
    for (const char* text : failures) {
        PutText("bad.met", text);
        EXPECT_EQ(FontRead("bad"), nullptr) << text;
        TakeError();
    }
    PutText("empty.met", "METRICS3\n\n#A\nbegin\nmoveto 0 0\nend\n");
    font = FontRead("empty");
    ASSERT_NE(font, nullptr) << "an empty description gives a font without glyphs";
    EXPECT_EQ(FontGetGlyphCount(font), 0);
    FontDestroy(font);
}

TEST_F(Fonts, FindOrReadListsOnceAndKeepsTheImagePath)
{
    PutPage("cells", 16, 8, {{0, 0}, {0, 7}, {5, 0}, {6, 0}});
    PutText("listed.met", "METRICS2\ncells\n1\nA\n");
    ImageSetPath("elsewhere/");
    FontListNode* node = FontFindOrRead("listed");
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->name, "listed");
    EXPECT_STREQ(ImageGetPath(), "elsewhere/");
    std::filesystem::remove(root_ / "fonts" / "listed.met");
    EXPECT_EQ(FontFindOrRead("listed"), node) << "listed: the file is not read again";
    EXPECT_EQ(FontListFind("listed"), node->font);
    EXPECT_EQ(FontFindOrRead("absent"), nullptr);
    Font* font = node->font;
    EXPECT_EQ(FontListRemove(font), font);
    EXPECT_EQ(FontListRemove(font), nullptr) << "no longer listed";
    FontDestroy(font);
}

TEST_F(Fonts, PathListsAndSeparatorsOfAnyCase)
{
    std::filesystem::create_directories(root_ / "second");
    PutPage("cells", 16, 8, {{0, 0}, {0, 7}, {5, 0}, {6, 0}});
    {
        std::ofstream out(root_ / "second" / "far.met", std::ios::binary);
        out << "METRICS2\ncells\n1\nA\n";
    }
    // The page is looked for along the font path too, so the first directory must stay.
    ASSERT_NE(FontSetPath("FONTS\\;Second\\"), nullptr);
    Font* font = FontRead("FAR");
    ASSERT_NE(font, nullptr);
    FontDestroy(font);
}
