#pragma once
// Pixel formats of the Direct3D 9 device: the engine's raster format codes
// and the Direct3D formats behind them, single-colour conversion between RGBA
// and device pixel values (device entry points RGBA-to-pixel and
// pixel-to-RGBA), and row conversion between every supported Direct3D format
// and 32-bit RGBA (bytes red, green, blue, alpha, as images hold them).
// Plain tables and functions: nothing here needs a device.

#include <cstddef>
#include <cstdint>

/// What the engine knows of a Direct3D format below 128.
struct D3D9FormatDescription
{
    uint8_t hasAlpha;
    uint8_t depth;         ///< bits per pixel; 0 for an unknown format
    uint16_t engineFormat; ///< kRasterFormat... code, 0 when none matches
};

/// The Direct3D format behind an engine format code.
struct D3D9EngineFormat
{
    uint32_t d3dFormat; ///< D3DFMT_UNKNOWN (0) for codes 0 and 0x0B00-0x0F00
    uint8_t depth;
    uint8_t hasAlpha;
};

/// Description of a Direct3D format; all zero for unknown formats and for
/// every format of 128 and above (FOURCC codes).
D3D9FormatDescription D3D9FormatDescribe(uint32_t d3dFormat);
/// The entry of the format nibble (bits 8-11) of an engine format word.
D3D9EngineFormat D3D9EngineFormatDescribe(uint32_t formatWord);
/// True for the depth formats D3DFMT_D16_LOCKABLE (70) to D3DFMT_D16 (80).
bool D3D9FormatIsDepth(uint32_t d3dFormat);

/// floor(log2(value)); -1 for 0.
int32_t Log2Floor(uint32_t value);

/// Device pixel value of an RGBA colour in the colour format of `formatWord`
/// (format code 0 means 0x0500). False for an unknown format code.
bool D3D9ColourToPixel(const uint8_t* rgba, uint32_t formatWord, uint32_t* pixel);
/// RGBA of a device pixel value; an 8-bit palette word (0x2000) answers the
/// pixel value itself (its low byte first). False for an unknown format code.
bool D3D9PixelToColour(uint32_t pixel, uint32_t formatWord, uint8_t* rgba);
/// Device entry points: (out u32 pixel, RGBA bytes, format word) and
/// (out RGBA bytes, in u32 pixel, format word); 1, or 0 recording kErrorRasterFormat.
int32_t D3D9RGBAToPixel(void* pixel, void* rgba, int32_t formatWord);
int32_t D3D9PixelToRGBA(void* rgba, void* pixel, int32_t formatWord);

/// Bytes per pixel of a format that has a row decoder or encoder; 0 otherwise.
uint32_t D3D9FormatPixelBytes(uint32_t d3dFormat);
/// True when rows of the format can be decoded / encoded.
bool D3D9FormatCanDecode(uint32_t d3dFormat);
bool D3D9FormatCanEncode(uint32_t d3dFormat);
/// Decodes `count` pixels of a row into RGBA. False (nothing written) for a
/// format without decoder.
bool D3D9DecodePixels(uint32_t d3dFormat, const uint8_t* source, uint8_t* rgba, uint32_t count);
/// Encodes `count` RGBA pixels into the format. False (nothing written) for a
/// format without encoder.
bool D3D9EncodePixels(uint32_t d3dFormat, const uint8_t* rgba, uint8_t* destination, uint32_t count);
/// Luminance of a colour as the 8-bit formats store it: (30 r + 59 g + 11 b) / 100.
uint8_t D3D9Luminance(const uint8_t* rgba);

/// Bytes of one stored row of a w-texel level (a row of 4 x 4 blocks for the
/// DXT formats) and the number of stored rows of an h-texel level (ceil(h / 4)
/// block rows for DXT); tight, without padding. 0 bytes for a format without
/// a known layout. Sizes of 0 count as 1.
size_t D3D9FormatRowBytes(uint32_t d3dFormat, uint32_t width);
uint32_t D3D9FormatRowCount(uint32_t d3dFormat, uint32_t height);
/// Bytes of a stored level: row bytes x rows (SIZE_MAX when that does not fit).
size_t D3D9FormatLevelBytes(uint32_t d3dFormat, uint32_t width, uint32_t height);
/// Size of mip level n of a side of `size` texels (at least 1).
uint32_t D3D9LevelDimension(uint32_t size, uint32_t level);
