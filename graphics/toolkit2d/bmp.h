#pragma once
// Windows bitmap files. Reading gives a 4-bit image for 1- and 4-bit files,
// an 8-bit image for 8-bit files and a 32-bit image (alpha 255) for 15-, 16-,
// 24- and 32-bit files; 8-bit run-length data and top-down rows (negative
// height) are read. Writing stores 4- and 8-bit images with their palette and
// 32-bit images as 24-bit, uncompressed and bottom-up. Errors carry the
// plug-in id 0x19D. Every function needs the engine started.

struct Image;
struct Stream;

/// Reads a bitmap file through the file-system manager: a new image, or null
/// for a missing file, a wrong signature, a short read or a malformed header
/// (0x80000009 unsupported header size, size or compression; 0x80000008
/// unsupported bit count; 0x8000001A data that does not fit).
Image* BmpRead(const char* fileName);
/// BmpRead over an open read stream positioned at the signature.
Image* BmpStreamRead(Stream* stream);
/// Writes the image (depth 4, 8 or 32, with pixels) as a bitmap file: the
/// image, or null when the file cannot be opened or written, or for another
/// depth (0x80000008) or a null argument (0x80000016).
Image* BmpWrite(Image* image, const char* fileName);
/// BmpWrite into an open write stream.
Image* BmpStreamWrite(Image* image, Stream* stream);
