#pragma once
// Palette quantisation. A quantiser accumulates weighted
// RGBA colours in a 16-way colour tree (one leaf per cell of the colour space
// at `PalQuantGetDepth()` bits per channel), reduces them to at most n palette
// colours by splitting boxes of the colour space where the squared error drops
// most, and matches images against the result.

#include <cstdint>

struct Image;
struct FreeList;
struct PalQuantNode;

/// A caller-owned quantiser: `PalQuantInit` before use, `PalQuantTerm` after.
struct PalQuant
{
    PalQuantNode* root;
    FreeList* nodes;
    int32_t depth;            ///< tree depth (bits per channel) fixed at init
    uint32_t interleave[256]; ///< spreads the bits of one channel value over the key nibbles
    int32_t paletteSize;      ///< colours written by the last resolve, 0 before
    uint8_t palette[256 * 4]; ///< those colours (RGBA), used to match colours never added
};

/// Tree depth in bits per channel used by later `PalQuantInit` calls; 1..8
/// (others are refused with 0). Default 6. Returns 1.
int32_t PalQuantSetDepth(int32_t depth);
int32_t PalQuantGetDepth();

/// Builds the key table and an empty tree; returns 1, or 0 when out of memory.
int32_t PalQuantInit(PalQuant* quantiser);
/// Frees the tree and its node list.
void PalQuantTerm(PalQuant* quantiser);
/// Adds every pixel of a 32-bit image, or the palette colour of every pixel of
/// a 4- or 8-bit image, with the weight (> 0; other weights add nothing).
/// Returns the quantiser, or null when out of memory (the colours added so far
/// stay).
PalQuant* PalQuantAddImage(PalQuant* quantiser, const Image* image, float weight);
/// Reduces the colours to at most n (1..256) and writes them to `palette` (n
/// RGBA entries, unused ones zeroed); returns the number written, 0 on failure.
int32_t PalQuantResolvePalette(uint8_t* palette, int32_t n, PalQuant* quantiser);
/// Writes, for each pixel of `source`, the palette index of its colour into
/// `pixels` (rows of `stride` bytes): one byte per pixel, or with depth 4 and
/// `pack` set two per byte (first pixel of a pair in the low nibble). A colour
/// that was never added takes the nearest resolved colour. Returns the
/// quantiser, or null for a source depth other than 4, 8 or 32.
PalQuant* PalQuantMatchImage(uint8_t* pixels, int32_t stride, int32_t depth, int32_t pack,
                             PalQuant* quantiser, const Image* source);
