// A Clear of the render target and the depth-stencil buffer, worked out when
// it is called (rectangles clipped, colour encoded) and filled row by row:
// at once on one thread, or in the draw queue (drawqueue.h) in bands of rows,
// in order with the draws around it, so that a frame's clear costs no wait
// of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/resources.h"

namespace d3d9sw {

struct ClearRows
{
    Surface* colour = nullptr;     ///< null: no colour is cleared
    std::vector<uint8_t> encoded;  ///< the colour in its format, as wide as the widest rectangle
    std::vector<RECT> colourRects; ///< within the render target
    Surface* depth = nullptr;      ///< null: neither depth nor stencil is cleared
    bool clearDepth = false, clearStencil = false;
    float z = 1.0f;
    uint8_t stencil = 0;
    std::vector<RECT> depthRects; ///< within the depth-stencil buffer
    int rowTop = 0, rowEnd = 0;   ///< every rectangle lies in these rows
    float pixels = 0;             ///< of every rectangle, colour and depth
};

/// Sets `encoded` to `color` in the colour surface's format, as wide as the
/// widest of colourRects.
void EncodeClearColour(ClearRows& clear, D3DCOLOR color);
/// Fills what the clear's rectangles hold of rows [top, bottom).
void FillClearRows(const ClearRows& clear, int top, int bottom);

} // namespace d3d9sw
