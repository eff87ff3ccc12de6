#pragma once
// Brushes: how the 2-D toolkit colours what it draws. Four corner colours
// (stored as a base plus an edge delta for the bottom and the top edge, so
// that the colour at t along an edge is base + delta x t), four corner
// texture coordinates in the same form, an optional texture and the half
// width of stroked lines. Corners are passed bottom-left, bottom-right,
// top-right, top-left (c1 to c4). Brushes are reference counted: users that
// keep one add to the count, BrushDestroy releases. The stream form is chunk
// 0x1A2. The brush module also owns the toolkit's shared vertex scratch.

#include <cstdint>

struct Im3DVertex;
struct Material;
struct Stream;
struct Texture;

/// Chunk type of a saved brush.
constexpr uint32_t kChunkBrush = 0x1A2;

/// Brush flag bits.
constexpr uint32_t kBrushGradient = 1; ///< the corner colours differ
constexpr uint32_t kBrushTextured = 2; ///< texture coordinates are drawn

struct BrushColour
{
    float r, g, b, a; ///< 0-255
};

struct BrushUV
{
    float u, v;
};

struct Brush
{
    BrushColour topColour; ///< top-left corner
    BrushUV topUV;
    BrushColour topColourDelta; ///< top-right minus top-left
    BrushUV topUVDelta;
    BrushColour bottomColour; ///< bottom-left corner
    BrushUV bottomUV;
    BrushColour bottomColourDelta; ///< bottom-right minus bottom-left
    BrushUV bottomUVDelta;
    uint8_t flatColour[4]; ///< R, G, B, A bytes of the top-left corner
    uint32_t flags;        ///< kBrushGradient, kBrushTextured
    Texture* texture;      ///< one reference held; null for none
    Material* material;    ///< made by the first build into a geometry; one reference held
    float halfWidth;       ///< half the width of stroked lines, in 2-D units
    int32_t refCount;
};

/// Opens the brush module: the free list and the vertex scratch. False when
/// out of memory.
bool BrushModuleOpen();
void BrushModuleClose();
/// Block parameters used by the next open (defaults 8 entries, 1 block).
void BrushSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate);
/// The shared scratch of kTwoDBatchVertices immediate-mode vertices.
Im3DVertex* BrushGetVertexScratch();

/// A new brush: white corners, UVs 0, no texture, half width 0.5, one
/// reference. Null when out of memory.
Brush* BrushCreate();
/// Releases one reference: false while others remain; at the last the
/// texture is released and the brush freed (true).
bool BrushDestroy(Brush* brush);
/// Corner colours, each 4 bytes R, G, B, A; sets or clears kBrushGradient.
Brush* BrushSetColours(Brush* brush, const uint8_t* c1, const uint8_t* c2, const uint8_t* c3,
                       const uint8_t* c4);
/// Recomputes kBrushGradient and the flat colour from the colour fields.
void BrushUpdateGradientFlag(Brush* brush);
/// Corner texture coordinates (2 floats each); sets kBrushTextured unless
/// both edge deltas are zero.
Brush* BrushSetUVs(Brush* brush, const float* uv1, const float* uv2, const float* uv3, const float* uv4);
/// Takes a reference to `texture` (null for none) and releases the old one;
/// a texture sets kBrushTextured, null clears it.
Brush* BrushSetTexture(Brush* brush, Texture* texture);
/// Tint of the colours given as bottom, bottom delta, top delta and top
/// (usually out's own): each of the four corners becomes corner x scale +
/// offset, clamped to 0-255, and out takes them with the deltas between
/// them; the flat colour follows the top-left corner.
Brush* BrushModulateColours(Brush* out, const BrushColour* bottom, const BrushColour* bottomDelta,
                            const BrushColour* topDelta, const BrushColour* top, const BrushColour* scale,
                            const BrushColour* offset);
/// The colour at t (0-1) along the top (top = true) or bottom edge, as
/// 0xAARRGGBB with each channel rounded and clamped.
uint32_t BrushColourAt(const Brush* brush, bool top, float t);
/// The flat colour as 0xAARRGGBB.
uint32_t BrushFlatColour(const Brush* brush);

/// Body bytes of the brush chunk: 112, plus the texture chunk.
uint32_t BrushStreamGetSize(const Brush* brush);
/// Writes chunk 0x1A2 (and its texture chunk); null on a stream failure.
const Brush* BrushStreamWrite(const Brush* brush, Stream* stream);
/// Finds the next chunk 0x1A2 and reads it into `brush` (its old texture
/// released). Null for a chunk that is missing, shorter than its record,
/// of a format version other than 1, or whose texture cannot be read; the
/// whole chunk is consumed when its size allows.
Brush* BrushStreamRead(Brush* brush, Stream* stream);
/// BrushStreamRead of a chunk the caller has found: its body of `size` bytes.
Brush* BrushStreamReadBody(Brush* brush, Stream* stream, uint32_t size);
/// BrushStreamRead into a new brush; null (nothing left allocated) on failure.
Brush* BrushStreamReadNew(Stream* stream);
