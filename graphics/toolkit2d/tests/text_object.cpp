// Texts: the common record's defaults and tints, strings of 8- and 16-bit
// fonts, the missing font, copies and streams.

#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "graphics/toolkit2d/tests/fonttesting.h"
#include "graphics/toolkit2d/toolkit2dids.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Texts : public FontTest
{
  protected:
    void SetUp() override
    {
        FontTest::SetUp();
        PutPage("cells", 32, 15, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}});
        PutText("narrow.met", "METRICS2\ncells\n1\nAB\nZ\n");
        PutText("wide.met", "METRICS2\ncells\n1\nA\xC4\xAC\nZ\n"); // 'A', U+012C, 'Z'
    }

    static Bytes Write(const Object2D* object)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_NE(TextStreamWrite(object, s), nullptr);
            return true;
        });
    }

    static Object2D* Read(Bytes bytes)
    {
        StreamMemory memory = {bytes.data(), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Object2D* object = TextStreamRead(stream);
        StreamClose(stream, nullptr);
        return object;
    }
};

bool IsIdentity(const Matrix& m)
{
    return m.right.x == 1 && m.up.y == 1 && m.at.z == 1 && m.pos.x == 0 && m.right.y == 0;
}

} // namespace

TEST_F(Texts, DefaultsAndTints)
{
    Object2D* text = TextCreate("AB", "narrow");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(ObjectGetKind(text), kObjectText);
    EXPECT_TRUE(ObjectIsText(text));
    EXPECT_EQ(ObjectGetDrawOrder(text), 666);
    EXPECT_EQ(text->flags, 6u);
    EXPECT_TRUE(IsIdentity(text->local) && IsIdentity(text->world));
    EXPECT_EQ(ObjectGetColourScale(text)[3], 1.0f);
    EXPECT_EQ(text->colourOffset[0], 0.0f);
    EXPECT_EQ(TextGetSize(text), 1.0f);
    EXPECT_STREQ(TextGetFontName(text), "narrow");

    const float offset[4] = {0.5f, 0, 0, 1};
    ObjectSetColourOffset(text, offset);
    EXPECT_EQ(text->colourOffset[0], 127.5f);
    EXPECT_EQ(text->colourOffset[3], 255.0f);
    EXPECT_TRUE(text->flags & kObjectColourSet);
    const float* back = ObjectGetColourOffset(text);
    EXPECT_NEAR(back[0], 0.5f, 1e-6f);
    EXPECT_NEAR(back[3], 1.0f, 1e-6f);
    EXPECT_TRUE(TextDestroy(text));
}

TEST_F(Texts, SixteenBitStringsAndBufferGrowth)
{
    Object2D* text = TextCreate(nullptr, "wide");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(TextGetString(text), nullptr);
    const char wide[] = {'A', 0, 0x2C, 0x01, 0, 0}; // "A", U+012C
    ASSERT_NE(TextSetString(text, wide), nullptr);
    EXPECT_EQ(text->text.length, 4) << "measured to the 16-bit zero, not the first zero byte";
    const char* buffer = TextGetString(text);
    const char shorter[] = {'Z', 0, 0, 0};
    ASSERT_NE(TextSetString(text, shorter), nullptr);
    EXPECT_EQ(TextGetString(text), buffer) << "a shorter string keeps the buffer";
    EXPECT_EQ(text->text.length, 2);
    EXPECT_EQ(TextGetString(text)[2], 0);
    EXPECT_EQ(TextGetString(text)[3], 0);
    const char longer[] = {'A', 0, 'Z', 0, 'A', 0, 0, 0};
    ASSERT_NE(TextSetString(text, longer), nullptr);
    EXPECT_EQ(text->text.length, 6);
    EXPECT_EQ(TextGetString(text)[6], 0);
    EXPECT_EQ(TextGetString(text)[7], 0);
    TextDestroy(text);
}

TEST_F(Texts, MissingFontIsRecordedAndDrawsNothing)
{
    Object2D* text = TextCreate("AB", "absent");
    ASSERT_NE(text, nullptr) << "usable without its font";
    const ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, kPluginIdToolkit2D);
    EXPECT_EQ(error.code, 0u);
    EXPECT_TRUE(text->flags & kObjectNoFont);
    {
        Im3DRecorder recorder;
        EXPECT_EQ(TextRender(text, nullptr, nullptr), text);
        EXPECT_TRUE(recorder.Batches().empty());
    }
    const Bytes bytes = Write(text);
    // Header, matrix chunk, n, size, "AB\0", then the name length.
    const size_t nameLength = kChunkHeaderSize + 44 + 76 + 8 + 3;
    ASSERT_GT(bytes.size(), nameLength + 4);
    EXPECT_EQ(bytes[nameLength], 0) << "written without a font name";
    Object2D* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->flags & kObjectNoFont);
    EXPECT_EQ(TakeError().code, kErrorNone) << "length 0 means no font: nothing is looked for";
    ASSERT_NE(TextSetFont(back, "narrow"), nullptr);
    EXPECT_FALSE(back->flags & kObjectNoFont) << "a font found clears the mark";
    EXPECT_EQ(TextSetFont(back, "absent"), nullptr);
    EXPECT_TRUE(back->flags & kObjectNoFont);
    TakeError();
    TextDestroy(back);
    TextDestroy(text);
}

TEST_F(Texts, StreamRoundTripAndRenderTinted)
{
    Object2D* text = TextCreate("ABZ", "narrow");
    TextSetSize(text, 0.25f);
    ObjectTranslate(text, 0.5f, 0.25f);
    const float scale[4] = {0.5f, 1, 1, 1};
    ObjectSetColourScale(text, scale);
    const Bytes bytes = Write(text);
    ASSERT_EQ(bytes.size(), kChunkHeaderSize + TextStreamGetSize(text));
    Object2D* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(TextGetString(back), "ABZ");
    EXPECT_EQ(TextGetSize(back), 0.25f);
    EXPECT_EQ(back->text.font, text->text.font) << "the listed font";
    EXPECT_EQ(back->local.pos.x, 0.5f);
    EXPECT_EQ(back->colourScale[0], 0.5f);

    Im3DRecorder recorder;
    ASSERT_EQ(ObjectRender(back, nullptr, nullptr), back);
    ASSERT_EQ(recorder.Batches().size(), 1u);
    EXPECT_EQ(recorder.Batches()[0].vertices[0].colour, 0xFF80FFFFu) << "red halved by the tint";
    EXPECT_EQ(BrushFlatColour(back->text.brush), 0xFFFFFFFFu) << "the brush is restored";
    EXPECT_FALSE(back->flags & kObjectRecompose);
    EXPECT_EQ(back->world.pos.x, 0.5f);
    EXPECT_EQ(TwoDCTMGetIndex(), 0);

    Bytes cut = bytes;
    cut.resize(bytes.size() - 20);
    EXPECT_EQ(Read(cut), nullptr);
    Bytes lying = bytes;
    lying[kChunkHeaderSize + 44 + 76] = 0xFF; // a string longer than the chunk
    EXPECT_EQ(Read(lying), nullptr);
    TakeError();
    TextDestroy(back);
    TextDestroy(text);
}

TEST_F(Texts, CopiesAreIndependent)
{
    Object2D* text = TextCreate("AB", "narrow");
    Raster* raster = RasterCreate(8, 8, 32, kRasterTypeTexture | kRasterFormat8888);
    Texture* texture = TextureCreate(raster);
    TextureSetName(texture, "stripes");
    TexDictionaryAddTexture(TexDictionaryGetCurrent(), texture);
    Brush* shared = BrushCreate();
    BrushSetTexture(shared, texture);
    const int32_t references = texture->refCount;
    TextSetBrush(text, shared);
    EXPECT_EQ(texture->refCount, references + 1);
    EXPECT_EQ(shared->refCount, 1) << "the text keeps its own brush";

    Object2D* copy = ObjectAssign(nullptr, text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->text.string, text->text.string);
    EXPECT_NE(copy->text.brush, text->text.brush);
    EXPECT_EQ(copy->text.brush->refCount, 1);
    EXPECT_EQ(text->text.brush->refCount, 1);
    EXPECT_EQ(copy->text.brush->texture, texture);
    TextSetString(copy, "ZZZ");
    EXPECT_STREQ(TextGetString(text), "AB");
    EXPECT_EQ(ObjectAssign(copy, copy), copy);
    TextDestroy(copy);
    TextDestroy(text);
    BrushDestroy(shared);
    EXPECT_EQ(texture->refCount, 1) << "only the dictionary's reference is left";
}
