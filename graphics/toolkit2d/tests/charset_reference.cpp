// "Hello" drawn with the debug character set on the software device, at once
// and buffered, compared with the reference picture (3 levels on 99.5 % of
// the pixels), and the glyph pixels checked where they must be.
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "platform/d3d9/testing/referenceimage.h"

namespace {

using CharsetPicture = TwoDTest;

TEST_F(CharsetPicture, HelloMatchesTheReference)
{
    const uint8_t white[4] = {255, 255, 255, 255};
    const uint8_t clear[4] = {0, 0, 0, 0};
    Charset* charset = CharsetCreate(white, clear);
    ASSERT_NE(charset, nullptr);
    ASSERT_EQ(CharsetBufferOpen(), 1);
    const uint8_t background[4] = {16, 32, 64, 255};
    ASSERT_NE(CameraClear(camera_, background, 3), nullptr);
    ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
    CharsetPrint(charset, "Hello", 8, 8);
    CharsetPrintBuffered(charset, "Hello", 8, 30, 1);
    CharsetBufferFlush();
    CameraEndUpdate(camera_);
    const std::vector<uint32_t> pixels = FramePixels();
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);
    // The left bar of 'H' (glyph column 1, rows 1 to 13) is white on both
    // lines; the gap between its bars and the pixels right of the text keep
    // the background.
    for (int32_t top : {8, 30}) {
        EXPECT_EQ(pixels[size_t(top + 5) * kWidth + 9] & 0xFFFFFF, 0xFFFFFFu) << top;
        EXPECT_EQ(pixels[size_t(top + 5) * kWidth + 11] & 0xFFFFFF, 0x102040u) << top;
        EXPECT_EQ(pixels[size_t(top + 5) * kWidth + 60] & 0xFFFFFF, 0x102040u) << top;
    }
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                               "charset_hello", pixels, kWidth, kHeight),
              "");
    CharsetBufferClose();
    CharsetDestroy(charset);
}

} // namespace
