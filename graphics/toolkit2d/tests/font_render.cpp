// Fonts drawn: bitmap quads into the recording immediate mode, outline
// strokes, string widths, and paragraphs laid out through a stub routine.

#include <memory>
#include <string>
#include <vector>

#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "graphics/toolkit2d/tests/fonttesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

struct DrawnLine
{
    std::string text;
    float x, y;
};
std::vector<DrawnLine> gLines;

Font* RecordLine(Font* font, const char* string, float, float* position, Brush*)
{
    gLines.push_back({string, position[0], position[1]});
    return font;
}

class FontDrawing : public FontTest
{
  protected:
    /// A font by hand: letters of advance 1, the space 0.5, 'W' 2.
    static Font* StubFont()
    {
        Font* font = FontCreate();
        for (uint32_t code = 'a'; code <= 'z'; ++code) {
            FontAddGlyph(font, code)->advance = 1.0f;
        }
        FontAddGlyph(font, ' ')->advance = 0.5f;
        FontAddGlyph(font, 'W')->advance = 2.0f;
        font->draw = RecordLine;
        return font;
    }
};

} // namespace

TEST_F(FontDrawing, WidthsSkipCodesWithoutGlyphs)
{
    Font* font = StubFont();
    EXPECT_FLOAT_EQ(FontGetStringWidth(font, "ab W", 2.0f), 2.0f * (1 + 1 + 0.5f + 2));
    EXPECT_FLOAT_EQ(FontGetStringWidth(font, "a#b", 1.0f), 2.0f) << "no glyph for '#'";
    FontSetSpacing(font, 0.25f);
    float width = 0;
    int32_t count = 0;
    FontGetStringExtent(font, "ab", &width, &count);
    EXPECT_FLOAT_EQ(width, 2.5f);
    EXPECT_EQ(count, 2);
    uint32_t codes[64];
    EXPECT_EQ(FontGetCharacters(font, codes), 28);
    EXPECT_EQ(codes[0], uint32_t(' '));
    FontDestroy(font);
}

TEST_F(FontDrawing, ParagraphBreaksAndAligns)
{
    Font* font = StubFont();
    const float rect[4] = {10, 0, 8, 4}; // 8 units wide at size 1: four lines of 1
    gLines.clear();
    ASSERT_EQ(FontRenderParagraph(font, "abc def ghij\nkl", 1.0f, rect, 0, nullptr), font);
    ASSERT_EQ(gLines.size(), 3u);
    EXPECT_EQ(gLines[0].text, "abc def");
    EXPECT_EQ(gLines[1].text, "ghij\n");
    EXPECT_EQ(gLines[2].text, "kl");
    EXPECT_FLOAT_EQ(gLines[0].x, 10.0f);
    EXPECT_FLOAT_EQ(gLines[0].y, 3.0f) << "the first baseline is one size below the top";
    EXPECT_FLOAT_EQ(gLines[2].y, 1.0f);

    gLines.clear();
    ASSERT_EQ(FontRenderParagraph(font, "abc def", 1.0f, rect, 1, nullptr), font);
    EXPECT_FLOAT_EQ(gLines[0].x, 10.0f + (8.0f - 6.5f) * 0.5f) << "centred";
    gLines.clear();
    ASSERT_EQ(FontRenderParagraph(font, "abc def", 2.0f, rect, 2, nullptr), font);
    ASSERT_EQ(gLines.size(), 2u) << "four units wide at size 2";
    EXPECT_EQ(gLines[0].text, "abc");
    EXPECT_FLOAT_EQ(gLines[0].x, 10.0f + (4.0f - 3.0f) * 2.0f) << "right-aligned";

    gLines.clear();
    EXPECT_EQ(FontRenderParagraph(font, "abcdefghijkl", 1.0f, rect, 0, nullptr), nullptr) << "over-long word";
    ASSERT_EQ(gLines.size(), 4u) << "fills the remaining lines with empty ones";
    EXPECT_EQ(gLines[0].text, "");
    EXPECT_EQ(FontRenderParagraph(font, "abc", 0.0f, rect, 0, nullptr), nullptr);
    EXPECT_EQ(FontRenderParagraph(font, "abc", -1.0f, rect, 0, nullptr), nullptr);
    FontDestroy(font);
}

TEST_F(FontDrawing, BitmapQuadsCarryTheGlyphCellsAndAdvanceThePen)
{
    PutPage("cells", 32, 15, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}});
    PutText("cells.met", "METRICS2\ncells\n1\nAB\nZ\n");
    Font* font = FontRead("cells");
    ASSERT_NE(font, nullptr);
    Im3DRecorder recorder;
    Brush* brush = BrushCreate();
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 255};
    BrushSetColours(brush, red, blue, blue, red); // left red, right blue
    float position[2] = {0.1f, 0.2f};
    ASSERT_EQ(FontRenderString(font, "A#BZ", 0.5f, position, brush), font);
    EXPECT_FLOAT_EQ(position[0], 0.1f + 0.5f * (0.75f + 0.25f + 0.5f)) << "'#' has no glyph";
    ASSERT_EQ(recorder.Batches().size(), 1u);
    const Im3DBatch& batch = recorder.Batches()[0];
    EXPECT_EQ(batch.type, kIm3DTriList);
    ASSERT_EQ(batch.vertices.size(), 12u);
    ASSERT_EQ(batch.indices.size(), 18u);
    EXPECT_EQ(batch.indices[1], 2);
    EXPECT_EQ(batch.flags & (kIm3DTextured | kIm3DNoClip), kIm3DTextured | kIm3DNoClip);
    const FontGlyph* a = FontGetGlyph(font, 'A');
    EXPECT_FLOAT_EQ(batch.vertices[0].u, a->u0);
    EXPECT_FLOAT_EQ(batch.vertices[0].v, a->v1) << "bottom left takes v1";
    EXPECT_FLOAT_EQ(batch.vertices[1].y, 1.0f);
    EXPECT_FLOAT_EQ(batch.vertices[2].x, 0.75f) << "glyph units: the CTM scales";
    EXPECT_EQ(batch.vertices[0].colour, 0xFFFF0000u) << "the gradient starts red";
    EXPECT_EQ(batch.vertices[11].colour, 0xFF0000FFu) << "and ends blue";
    BrushDestroy(brush);
    FontDestroy(font);
}

// Drawing bitmap text with a textured brush clears the brush's textured
// flag (the glyph pages take the texture's place); a brush with texture
// coordinates but no texture keeps it.
TEST_F(FontDrawing, BitmapTextClearsTheTexturedFlagOfABrushWithATexture)
{
    PutPage("cells", 32, 15, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}});
    PutText("cells.met", "METRICS2\ncells\n1\nAB\nZ\n");
    Font* font = FontRead("cells");
    ASSERT_NE(font, nullptr);
    Texture* page = FontGetGlyph(font, 'A')->texture;
    ASSERT_NE(page, nullptr);
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    struct Case
    {
        const char* name;
        bool texture;
        uint32_t flagsAfter;
    };
    for (const Case& c : {Case{"texture", true, 0u}, Case{"coordinates only", false, kBrushTextured}}) {
        SCOPED_TRACE(c.name);
        Im3DRecorder recorder;
        Brush* brush = BrushCreate();
        BrushSetUVs(brush, uv[0], uv[1], uv[2], uv[3]);
        if (c.texture) {
            BrushSetTexture(brush, page);
        }
        ASSERT_NE(brush->flags & kBrushTextured, 0u);
        float position[2] = {0, 0};
        ASSERT_EQ(FontRenderString(font, "AB", 1.0f, position, brush), font);
        EXPECT_EQ(brush->flags & kBrushTextured, c.flagsAfter);
        EXPECT_EQ(brush->texture, c.texture ? page : nullptr) << "the texture itself stays";
        BrushDestroy(brush);
    }
    FontDestroy(font);
}

TEST_F(FontDrawing, ManyGlyphsDrawInBatchesOfSixtyFourQuads)
{
    Font* font = StubFont();
    font->draw = FontRenderStringBitmap;
    Im3DRecorder recorder;
    const std::string line(150, 'a');
    float position[2] = {0, 0};
    ASSERT_EQ(FontRenderString(font, line.c_str(), 0.01f, position, nullptr), font);
    ASSERT_EQ(recorder.Batches().size(), 3u);
    EXPECT_EQ(recorder.Batches()[0].vertices.size(), 256u);
    EXPECT_EQ(recorder.Batches()[2].vertices.size(), 4u * (150 - 128));
    FontDestroy(font);
}

TEST_F(FontDrawing, OutlineGlyphsAreStroked)
{
    PutText("outline.met",
            "METRICS3\nx\n#A\nbegin\nmoveto 0 0\nlineto 0.5 1\nlineto 1 0\nmoveto 1.25 0\nend\n");
    Font* font = FontRead("outline");
    ASSERT_NE(font, nullptr);
    Im3DRecorder recorder;
    Brush* brush = BrushCreate();
    brush->halfWidth = 0.05f;
    float position[2] = {0, 0};
    ASSERT_EQ(FontRenderString(font, "AA", 0.2f, position, brush), font);
    EXPECT_EQ(position[0], 0.0f) << "outline drawing leaves the position";
    ASSERT_EQ(recorder.Batches().size(), 2u);
    EXPECT_EQ(recorder.Batches()[0].type, kIm3DTriStrip);
    EXPECT_EQ(TwoDCTMGetIndex(), 0);
    BrushDestroy(brush);
    FontDestroy(font);
}
