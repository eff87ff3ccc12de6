// The sample fonts as the build writes them (the test runs in the sample
// data folder): "DID16" read as the framework reads it, and the test fonts
// of the three versions.

#include "graphics/core/filesystem.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/tests/twodtesting.h"

namespace {

class SampleFonts : public TwoDTest
{
  protected:
    void SetUp() override
    {
        TwoDTest::SetUp();
        ASSERT_TRUE(FileSystemManagerOpen(0));
        ASSERT_TRUE(Win32FileSystemRegisterDefault());
        ASSERT_TRUE(Toolkit2dImageFormatsRegister());
    }
    void TearDown() override
    {
        TwoDTest::TearDown();
        FileSystemManagerClose();
    }
};

Texture* SetLinear(Texture* texture, void*)
{
    TextureSetFilterMode(texture, kTextureFilterLinear);
    return texture;
}

int gTextures = 0;
Texture* CountLinear(Texture* texture, void*)
{
    gTextures += TextureGetFilterMode(texture) == kTextureFilterLinear ? 1 : 0;
    return texture;
}

} // namespace

TEST_F(SampleFonts, Did16ReadsAsTheFrameworkReadsIt)
{
    // The framework's path: "FONTS" and a backslash, the name in capitals.
    ASSERT_NE(FontSetPath("FONTS\\"), nullptr);
    FontListNode* node = FontFindOrRead("DID16");
    ASSERT_NE(node, nullptr);
    const Font* font = node->font;
    EXPECT_EQ(FontGetKind(font), kFontBitmap);
    EXPECT_FALSE(FontIsWide(font)) << "codes below 128 only: the framework's strings stay 8-bit";
    EXPECT_EQ(FontGetGlyphCount(font), 95);
    EXPECT_FLOAT_EQ(font->pixelHeight, 16.0f);
    for (uint32_t code = 32; code <= 126; ++code) {
        const FontGlyph* glyph = FontGetGlyph(font, code);
        ASSERT_NE(glyph, nullptr) << code;
        EXPECT_GT(glyph->advance, 0.0f) << code;
    }
    EXPECT_GT(FontGetGlyph(font, 'W')->advance, FontGetGlyph(font, 'i')->advance);
    TexDictionaryForAllTextures(FontGetTexDictionary(), SetLinear, nullptr);
    gTextures = 0;
    TexDictionaryForAllTextures(FontGetTexDictionary(), CountLinear, nullptr);
    EXPECT_GE(gTextures, 1);
    EXPECT_EQ(TextureGetFilterMode(font->textures[0]), kTextureFilterLinear);
}

TEST_F(SampleFonts, TestFontsOfEveryVersion)
{
    ASSERT_NE(FontSetPath("fonts/"), nullptr);
    Font* wide = FontRead("did16x");
    ASSERT_NE(wide, nullptr);
    EXPECT_TRUE(FontIsWide(wide));
    EXPECT_NE(FontGetGlyph(wide, 0xE9), nullptr) << "Latin-1";
    EXPECT_NE(FontGetGlyph(wide, 0x20AC), nullptr) << "a code above 255";
    EXPECT_NE(wide->textures[2], nullptr) << "three pages";
    FontDestroy(wide);

    Font* digits = FontRead("tiny1");
    ASSERT_NE(digits, nullptr);
    EXPECT_STREQ(TextureGetMaskName(digits->textures[0]), "mtiny1");
    EXPECT_EQ(FontGetGlyphCount(digits), 10);
    FontDestroy(digits);

    Font* outline = FontRead("did16o");
    ASSERT_NE(outline, nullptr);
    EXPECT_EQ(FontGetKind(outline), kFontOutline);
    EXPECT_NE(FontGetGlyph(outline, 'O')->path, nullptr);
    EXPECT_EQ(FontGetGlyph(outline, ' ')->path, nullptr);
    EXPECT_GT(FontGetGlyph(outline, 'O')->advance, 0.5f) << "in ems";
    FontDestroy(outline);
}
