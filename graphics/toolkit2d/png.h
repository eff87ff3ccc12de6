#pragma once
// PNG files over libpng. Reading gives an 8-bit image for 8-bit palette and
// grey files (grey as a grey-ramp palette), a 4-bit image for palette files
// of fewer bits, and a 32-bit RGBA image for RGB, grey-with-alpha and RGBA
// files; 16-bit samples are reduced to 8 bits. Writing stores 4- and 8-bit
// images as palette files (with a transparency chunk of every entry's alpha)
// and 32-bit images as 8-bit RGBA. Errors carry the plug-in id 0x10D. Every
// function needs the engine started.

struct Image;
struct Stream;

/// Reads a PNG file through the file-system manager: a new image, or null
/// for a null name (0x80000016), a missing file, or any read or decode
/// failure (0x8000001A; 0x80000013 when memory fails).
Image* PngRead(const char* fileName);
/// PngRead over an open read stream positioned at the signature.
Image* PngStreamRead(Stream* stream);
/// Writes the image (depth 4, 8 or 32, with pixels) as a PNG file: the image,
/// or null for a null argument (0x80000016), another depth (0x80000008), a
/// file that cannot be opened or a failed write (0x8000001C).
Image* PngWrite(Image* image, const char* fileName);
/// PngWrite into an open write stream.
Image* PngStreamWrite(Image* image, Stream* stream);
