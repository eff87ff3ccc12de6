// Pixel formats: sizes, and conversion of rows to and from A8R8G8B8.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstddef>
#include <cstdint>

namespace d3d9sw {

struct FormatInfo
{
    uint8_t bytesPerPixel; ///< bytes per pixel, or per 4x4 block for DXT formats
    bool block;            ///< DXT: stored in 4x4 blocks
    bool depth;            ///< a depth(-stencil) format
    bool stencil;          ///< depth format with stencil bits
    bool alpha;            ///< colour format that carries alpha
    bool signedBump;       ///< V8U8-family: signed components
    bool decodable;        ///< DecodeRow/EncodeRow handle it
};

/// Facts of a format; bytesPerPixel 0 for an unknown one.
FormatInfo FormatGetInfo(D3DFORMAT format);
/// True for the formats the rasteriser can draw into.
bool FormatIsRenderTarget(D3DFORMAT format);
/// Bytes of one row of `width` pixels (of 4x4 blocks for DXT), tight.
size_t FormatPitch(D3DFORMAT format, UINT width);
/// Rows stored for `height` pixel rows (height / 4 rounded up for DXT).
UINT FormatRows(D3DFORMAT format, UINT height);

/// Converts `count` pixels of one row to A8R8G8B8. Formats without alpha give
/// alpha 255; luminance repeats into R, G and B; the signed bump formats give
/// U in blue and V in green biased by 128 (so that filtering stays linear)
/// and L in red. `palette` (256 ARGB
/// words) is used by P8 and A8P8. DXT rows are not handled here.
void DecodeRow(D3DFORMAT format, const uint8_t* src, uint32_t* dst, UINT count, const uint32_t* palette);
/// Converts A8R8G8B8 pixels into the format (rounding to the nearest level).
void EncodeRow(D3DFORMAT format, const uint32_t* src, uint8_t* dst, UINT count);
/// Decodes a whole DXT1..5 image (blocks with a tight pitch) to A8R8G8B8.
void DecodeDxt(D3DFORMAT format, const uint8_t* blocks, UINT width, UINT height, uint32_t* dst);

} // namespace d3d9sw
