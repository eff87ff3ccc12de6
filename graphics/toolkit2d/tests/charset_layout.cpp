#include <string>

#include "graphics/toolkit2d/tests/charsettesting.h"

namespace {

TEST_F(CharsetLayoutTest, QuadsCoverTheirCellsAndAdvanceEightPixels)
{
    ASSERT_EQ(CharsetPrint(Font(), "A!", 100, 50), Font());
    ASSERT_EQ(Recorder::draws.size(), 1u);
    const RecordedDraw& draw = Recorder::draws[0];
    EXPECT_EQ(draw.type, kIm2DTriList);
    ASSERT_EQ(draw.vertices.size(), 8u);
    ASSERT_EQ(draw.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    // 'A' is glyph 33: column 5, row 2 of the 9 x 15 cells.
    const Im2DVertex& a = draw.vertices[0];
    EXPECT_EQ(a.x, 100.0f);
    EXPECT_EQ(a.y, 50.0f);
    EXPECT_EQ(draw.vertices[2].x, 108.0f);
    EXPECT_EQ(draw.vertices[2].y, 64.0f);
    EXPECT_FLOAT_EQ(a.u, (45.0f + 0.5f) / 128.0f);
    EXPECT_FLOAT_EQ(a.v, (30.0f + 0.5f) / 128.0f);
    EXPECT_FLOAT_EQ(draw.vertices[2].u, (53.0f + 0.5f) / 128.0f);
    EXPECT_EQ(a.colour, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(a.recipW, 2.0f);
    EXPECT_EQ(draw.vertices[4].x, 108.0f); // '!' one pen step on
}

// The draw runs with the character set's states, and every state is as it
// was afterwards.
TEST_F(CharsetLayoutTest, EveryPrintRestoresTheSevenStates)
{
    const auto before = Recorder::states;
    CharsetPrint(Font(), "xyz", 0, 0);
    CharsetPrintBuffered(Font(), "abc", 0, 20, 1);
    CharsetBufferFlush();
    ASSERT_EQ(Recorder::draws.size(), 2u);
    for (const RecordedDraw& draw : Recorder::draws) {
        EXPECT_EQ(draw.states.at(6), 0u);
        EXPECT_EQ(draw.states.at(8), 0u);
        EXPECT_EQ(draw.states.at(9), 1u);
        EXPECT_EQ(draw.states.at(1), reinterpret_cast<uintptr_t>(Font()));
        EXPECT_EQ(draw.states.at(10), 5u);
        EXPECT_EQ(draw.states.at(11), 6u);
        EXPECT_EQ(draw.states.at(20), 1u);
    }
    EXPECT_EQ(Recorder::states, before);
}

TEST_F(CharsetLayoutTest, ClipsAtTheEdgesAndDropsWhatIsOutside)
{
    CharsetPrint(Font(), "AB", -12, 10); // A wholly left of the screen, B half
    ASSERT_EQ(Recorder::draws.size(), 1u);
    const std::vector<Im2DVertex>& v = Recorder::draws[0].vertices;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].x, 0.0f);
    EXPECT_EQ(v[2].x, 4.0f);
    // B is glyph 34, column 6 (x 54): its left 4 columns are cut.
    EXPECT_FLOAT_EQ(v[0].u, (54.0f + 4.0f + 0.5f) / 128.0f);
    EXPECT_FLOAT_EQ(v[2].u, (54.0f + 8.0f + 0.5f) / 128.0f);

    Recorder::draws.clear();
    CharsetPrint(Font(), "AB", 628, 475); // right and bottom edges
    ASSERT_EQ(Recorder::draws.size(), 1u);
    const std::vector<Im2DVertex>& w = Recorder::draws[0].vertices;
    ASSERT_EQ(w.size(), 8u);
    EXPECT_EQ(w[2].x, 636.0f);
    EXPECT_EQ(w[2].y, 479.0f);
    EXPECT_EQ(w[6].x, 639.0f); // B from 636, cut at the last column
    EXPECT_FLOAT_EQ(w[6].u, (54.0f + 3.0f + 0.5f) / 128.0f);
}

TEST_F(CharsetLayoutTest, CharactersWithoutAGlyphDrawNothingButAdvance)
{
    const char text[] = {'A', '\x7f', '\x80', '\xff', '{', 'A', '\0'};
    CharsetPrint(Font(), text, 0, 0);
    ASSERT_EQ(Recorder::draws.size(), 1u);
    const std::vector<Im2DVertex>& v = Recorder::draws[0].vertices;
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[4].x, 40.0f);
}

TEST_F(CharsetLayoutTest, LongBufferedTextsAreDrawnInBufferFulls)
{
    SetFrameBuffer(16384, 64);
    const std::string text(1500, 'W');
    ASSERT_EQ(CharsetPrintBuffered(Font(), text.c_str(), 4, 8, 1), Font());
    ASSERT_EQ(Recorder::draws.size(), 1u);
    CharsetBufferFlush();
    ASSERT_EQ(Recorder::draws.size(), 2u);
    EXPECT_EQ(Recorder::draws[0].vertices.size(), 4u * 1024u);
    EXPECT_EQ(Recorder::draws[1].vertices.size(), 4u * 476u);
    EXPECT_EQ(Recorder::draws[1].vertices[0].x, 4.0f + 8192.0f);
    EXPECT_EQ(Recorder::draws[1].indices[6], 4u);

    EXPECT_EQ(CharsetPrintBuffered(Font(), "", 0, 0, 1), nullptr);
    // Another character set's text flushes what is queued first.
    Raster other = {};
    CharsetPrintBuffered(Font(), "ab", 0, 0, 1);
    CharsetPrintBuffered(&other, "cd", 0, 20, 1);
    ASSERT_EQ(Recorder::draws.size(), 3u);
    CharsetBufferFlush();
    ASSERT_EQ(Recorder::draws.size(), 4u);
    EXPECT_EQ(Recorder::draws[3].states.at(1), reinterpret_cast<uintptr_t>(&other));
}

// Spaces make no quad until a print says otherwise: CharsetPrint always
// does, a buffered print with keepSkip 0 too.
TEST_F(CharsetLayoutTest, SpacesAreSkippedUntilAPrintStopsIt)
{
    CharsetPrintBuffered(Font(), "a b", 0, 0, 1);
    CharsetBufferFlush();
    CharsetPrint(Font(), "a b", 0, 0);
    CharsetPrintBuffered(Font(), "a b", 0, 0, 1);
    CharsetBufferFlush();
    ASSERT_EQ(Recorder::draws.size(), 3u);
    EXPECT_EQ(Recorder::draws[0].vertices.size(), 8u);
    EXPECT_EQ(Recorder::draws[1].vertices.size(), 12u);
    EXPECT_EQ(Recorder::draws[2].vertices.size(), 12u);
}

TEST_F(CharsetLayoutTest, DescriptionAndNullArguments)
{
    CharsetDesc desc;
    ASSERT_EQ(CharsetGetDesc(Font(), &desc), Font());
    EXPECT_EQ(desc.width, 8);
    EXPECT_EQ(desc.height, 14);
    EXPECT_EQ(desc.cellWidth, 9);
    EXPECT_EQ(desc.cellHeight, 15);
    EXPECT_EQ(desc.count, 91);
    EXPECT_EQ(desc.tileWidth, 14);
    EXPECT_EQ(desc.tileHeight, 7);
    EXPECT_EQ(CharsetGetDesc(nullptr, &desc), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorNullArgument}));
    const uint8_t white[4] = {255, 255, 255, 255};
    EXPECT_EQ(CharsetCreate(white, nullptr), nullptr);
    EXPECT_EQ(CharsetDestroy(nullptr), 0);
}

} // namespace
