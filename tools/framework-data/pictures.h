#pragma once
// The framework's sample pictures, drawn in code: the mouse pointer (an
// 8-bit picture whose brightness is also its mask), the first-person target,
// and the start screen's logos, title, text page, message and scroll bar.
#include <cstdint>
#include <string>
#include <vector>

struct Image;

/// One picture: its file name (lower case) and how it is drawn.
struct SamplePicture
{
    const char* file;
    int32_t width, height;
    int32_t depth; ///< 8: palettised, 32: true colour
    void (*paint)(Image* image);
};

/// The pictures written under models/textures/.
const SamplePicture* SamplePictures(int32_t* count);
/// A new image of the picture (engine started); null when out of memory.
Image* SamplePictureMake(const SamplePicture& picture);
/// Prints the lines on the picture in dark glyphs of the debug character set,
/// 8 pixels a character and 16 a line from (16, 16); what does not fit is cut.
void SamplePicturePrint(Image* image, const std::vector<std::string>& lines);
/// The picture that shows the help text on the start screen.
constexpr const char* kSamplePictureText = "sttext.bmp";
