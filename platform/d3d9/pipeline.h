// The draw pipeline of the software device: vertex input layouts, the
// vertex records that flow from transform to rasteriser, the compiled pixel
// state and the entry points of each phase.
//
// A draw runs in four phases. (1) Vertex processing (vertexpipe.cpp) fetches
// the used vertex range through the compiled input layout and runs fixed-
// function transform and lighting (or the vertex shader) into a packed
// VertexStore. (2) Primitive assembly (primitive.cpp) builds points, lines and
// triangles, culls, clips against 0 <= z <= w and the guard band and maps to
// the viewport. (3) The rasteriser (raster.cpp) walks rows with exact
// fixed-point edge tests (top-left rule, 4 sub-pixel bits) and hands spans
// with attribute planes to (4) the pixel pipeline (pixelpipe.cpp), compiled
// from the device state whenever it changes: texture stages, fog, alpha
// test, stencil, depth, blending and the colour write mask run as loops over
// a span of pixels, so no work is dispatched per pixel. Common states get a
// specialised span routine instead (fastspan.cpp); a pixel shader replaces
// the stages, a vertex shader (vertexshader.cpp) the transform and lighting.
#pragma once

#include "platform/d3d9/resources.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace d3d9sw {

constexpr int kMaxStages = 8;
constexpr int kMaxStreams = 16;
/// Attribute slots of a vertex: 0-3 diffuse, 4-7 specular, 8 fog factor,
/// 9 eye distance for table fog, 10-11 unused, then 4 per texture set.
constexpr int kAttrDiffuse = 0;
constexpr int kAttrSpecular = 4;
constexpr int kAttrFog = 8;
constexpr int kAttrEyeDepth = 9;
constexpr int kAttrTex = 12;
constexpr int kMaxAttr = kAttrTex + 4 * kMaxStages;

/// One input element, resolved for fetching.
struct InputElement
{
    uint16_t stream, offset;
    uint8_t type, usage, index;
};
struct InputLayout
{
    std::vector<InputElement> elements;
    bool positionT = false; ///< pre-transformed vertices
    bool hasDiffuse = false, hasSpecular = false, hasNormal = false;
    uint8_t texComponents[8] = {}; ///< components of TEXCOORD n (0: absent)
    int blendWeights = 0;
};
/// Layout of a declaration's elements (without the end marker).
InputLayout LayoutFromElements(const D3DVERTEXELEMENT9* elements, size_t count);
/// Declaration elements of an FVF code (with the end marker); false for an
/// invalid code.
bool ElementsFromFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9>* elements);
/// Size of one element type in bytes (0 for UNUSED or unknown types).
UINT DeclTypeSize(BYTE type);
/// Reads one element into four floats (missing components 0, 0, 0, 1).
void FetchElement(BYTE type, const uint8_t* src, float out[4]);

/// A processed vertex: position in clip space (x, y, z, w), or for
/// pre-transformed input the screen position (x, y, z, rhw); attributes as
/// laid out above.
struct VertexOut
{
    float pos[4];
    float attr[kMaxAttr];
};

/// The processed vertices of a draw, packed: each is its position (4
/// floats) followed by only the attribute slots the draw uses, `stride`
/// floats in all, so that vertex processing writes and the rasteriser reads
/// no more memory than the draw needs.
struct VertexStore
{
    float* data = nullptr;
    size_t stride = 4 + kMaxAttr;

    float* Pos(size_t i) const { return data + i * stride; }
    float* Attr(size_t i) const { return data + i * stride + 4; }
    /// The store from vertex `first` on.
    VertexStore From(size_t first) const { return {data + first * stride, stride}; }
    /// Vertex `i` as a whole record (for clipping); slots beyond the stride
    /// are left as they are.
    void Get(size_t i, VertexOut* out) const
    {
        std::memcpy(out->pos, Pos(i), sizeof(out->pos));
        std::memcpy(out->attr, Attr(i), sizeof(float) * (stride - 4));
    }
};
/// Floats a stored vertex takes with `attrCount` attribute slots.
constexpr size_t VertexStride(int attrCount)
{
    return 4 + size_t(attrCount);
}

/// A vertex mapped to the screen: pixel x, y, depth z in [MinZ, MaxZ],
/// rhw = 1/w, and its attributes (kept where the vertex lives).
struct ScreenVertex
{
    float x, y, z, rhw;
    const float* attr;
};

struct SamplerConfig
{
    const MipChain* chain = nullptr; ///< null: no texture (samples white)
    bool cube = false;
    DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP, addressW = D3DTADDRESS_WRAP;
    uint32_t border = 0;
    DWORD magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
    UINT firstLevel = 0; ///< max(MAXMIPLEVEL, the texture's LOD)
    float lodBias = 0;
    const uint32_t* palette = nullptr;
    uint32_t paletteStamp = 0;
};

struct StageConfig
{
    DWORD colorOp, colorArg0, colorArg1, colorArg2;
    DWORD alphaOp, alphaArg0, alphaArg1, alphaArg2;
    DWORD resultArg;
    int coordSlot;   ///< attribute slot of this stage's coordinates
    int coordCount;  ///< components used for lookup (2 for 2-D, 3 for cube)
    bool projected;  ///< divide by the last transformed component
    bool bumpSigned; ///< the stage's texture holds signed du/dv
    float bumpMat[4], bumpLScale, bumpLOffset;
    SamplerConfig sampler;
};

/// What the pixel pipeline writes into.
struct TargetView
{
    Surface* color = nullptr;
    Surface* depth = nullptr;
    int width = 0, height = 0; ///< drawing is clipped to both surfaces
};

/// Everything the pixel pipeline needs, compiled from the device state.
struct Plane;

struct PixelState
{
    int stageCount = 0;
    StageConfig stages[kMaxStages];
    float tfactor[4];
    bool specularAdd = false;
    bool fog = false;
    DWORD fogTableMode = D3DFOG_NONE; ///< table fog: per pixel from depth
    float fogStart = 0, fogEnd = 1, fogDensity = 1;
    bool fogUseW = true;
    float fogColor[3];
    bool alphaTest = false;
    DWORD alphaFunc = D3DCMP_ALWAYS;
    float alphaRef = 0;
    bool depthTest = false, depthWrite = false;
    DWORD depthFunc = D3DCMP_LESSEQUAL;
    bool stencil = false;
    DWORD stencilFunc = D3DCMP_ALWAYS, stencilFail = 1, stencilZFail = 1, stencilPass = 1;
    uint32_t stencilRef = 0, stencilMask = 0xFF, stencilWriteMask = 0xFF;
    bool blend = false;
    DWORD srcBlend = D3DBLEND_ONE, destBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
    bool separateAlpha = false;
    DWORD srcBlendAlpha = D3DBLEND_ONE, destBlendAlpha = D3DBLEND_ZERO, blendOpAlpha = D3DBLENDOP_ADD;
    float blendFactor[4];
    DWORD colorWriteMask = 0xF;
    int attrCount = kAttrTex; ///< attribute slots to interpolate
    /// A ps_1_x program replaces the texture stages (stages 0-3 then only
    /// provide samplers and coordinates); shaderState holds its constants.
    const ShaderProgram* pixelShader = nullptr;
    ShaderPixelState shaderState;
    bool fastAlphaOne = false; ///< fast paths: alpha comes from a missing texture (1)
    bool fastModulate = false; ///< textured fast path: texture x diffuse
    bool fastBlend = false;    ///< fast paths: blend by source alpha
    /// Attribute slots the pixel side reads (the rasteriser sets up planes
    /// for these only); specular is among them only when needSpecular.
    int usedAttr[kMaxAttr];
    int usedCount = 0;
    bool needSpecular = false;
    int fastAlphaMode = 0; ///< textured fast path: alpha of texture, product, diffuse
    /// Fast paths: depth test and write of a chunk; answers the live pixels.
    int (*fastDepth)(const Plane& z, float x, float y, int n, float* depth, uint8_t* live) = nullptr;
    bool needEyeDepth = false;
    TargetView target;
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0; ///< pixel rectangle, exclusive end
    /// Span routine chosen for this state (a specialised fast path or the
    /// general one).
    void (*span)(const struct PixelState&, const struct SpanPlanes&, int y, int x0, int x1) = nullptr;
};

/// Attribute planes of one primitive: value(x, y) = a + dx * x + dy * y.
/// Attributes (and 1/w) are interpolated divided by w; z directly.
struct Plane
{
    float a, dx, dy;
    float At(float x, float y) const { return a + dx * x + dy * y; }
};
struct SpanPlanes
{
    Plane z, rhw;
    Plane attr[kMaxAttr];
    bool perspective; ///< false when 1/w is constant (affine is exact)
};

/// A light moved into camera space for the vertex loop.
struct LightCompiled
{
    DWORD type;
    float diffuse[4], specular[4], ambient[4];
    float position[3];  ///< camera space
    float direction[3]; ///< camera space, unit, towards the light
    float range, att0, att1, att2, falloff, cosHalfTheta, cosHalfPhi;
};

/// Texture coordinates of one stage as the vertex loop makes them.
struct TexGen
{
    DWORD mode;      ///< D3DTSS_TCI_* (high half of TEXCOORDINDEX)
    int source;      ///< input texture set for PASSTHRU
    DWORD transform; ///< D3DTTFF_* count (0 none) without the PROJECTED bit
    float matrix[4][4];
};

/// Fixed-function vertex state, compiled with the pixel state.
struct VertexConfig
{
    float worldView[4][4], worldViewProj[4][4], normal[3][3];
    bool lighting = false, normalize = false, localViewer = true, specular = false;
    std::vector<LightCompiled> lights;
    float ambient[4];
    D3DMATERIAL9 material;
    DWORD diffuseSource, ambientSource, specularSource, emissiveSource;
    bool fogVertex = false, rangeFog = false;
    DWORD fogMode = D3DFOG_NONE;
    float fogStart = 0, fogEnd = 1, fogDensity = 1;
    int stageCount = 0;
    TexGen tex[kMaxStages];
    bool needCamera = false; ///< camera-space position or normal is used
    float vpX, vpY, vpW, vpH, vpMinZ, vpMaxZ;
    bool clipping = true;
    float pointSize = 1;
    const ShaderProgram* vertexShader = nullptr; ///< runs instead of transform and lighting
    const float (*vsConstants)[4] = nullptr;     ///< its 256 constant registers
};

/// Replaces NaN and huge attribute values of a processed vertex by 0, so
/// that the pixel pipeline only ever interpolates finite numbers.
inline void SanitizeAttributes(float* attr, int count)
{
    // A select rather than a branch, so that the loop vectorises.
    for (int k = 0; k < count; ++k)
        attr[k] = attr[k] >= -1e30f && attr[k] <= 1e30f ? attr[k] : 0.0f;
}

/// Runs transform and lighting over `count` vertices fetched through
/// `layout` from stream pointers (already offset to the first vertex) with
/// their strides. `attrCount` attribute slots are written (the store's
/// stride holds at least that many).
void ProcessVertices(const VertexConfig& config, const InputLayout& layout, const uint8_t* const* streams,
                     const UINT* strides, UINT count, int attrCount, const VertexStore& out);

/// The same through the vertex shader of `config`: inputs bound by usage
/// and usage index, outputs oPos, oD0, oD1, oFog and oT (per stage, by its
/// texture-coordinate index).
void ProcessVerticesShader(const VertexConfig& config, const InputLayout& layout,
                           const uint8_t* const* streams, const UINT* strides, UINT count, int attrCount,
                           const VertexStore& out);

/// Chooses the span routine and derived flags; call after filling the state.
void PixelStateFinish(PixelState* state);
/// General span routine (also used by the fast paths for what they skip).
void ShadeSpanGeneral(const PixelState& state, const SpanPlanes& planes, int y, int x0, int x1);

/// Screen positions the rasteriser takes, in pixels either way of 0: far
/// beyond any guard band, near enough that positions snapped to sixteenths
/// of a pixel multiply without overflowing 64 bits. A primitive with a vertex
/// beyond it, or whose x or y is not a number, is not drawn.
constexpr float kRasterLimit = 16777216.0f;
inline bool Rasterisable(const ScreenVertex& v)
{
    return std::fabs(v.x) <= kRasterLimit && std::fabs(v.y) <= kRasterLimit;
}

/// Rasterises one screen-space triangle (any winding), with the top-left
/// rule, into spans clipped to the state's clip rectangle. `flat` non-null:
/// the colours (diffuse, specular) of every pixel are these attributes.
void RasterTriangle(const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                    const ScreenVertex& v2, const float* flat);
/// A line without its last pixel, and a square point of `size` pixels (at
/// least 1, at most kRasterLimit; a NaN size draws one pixel).
void RasterLine(const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1, const float* flat);
void RasterPoint(const PixelState& state, const ScreenVertex& v, float size);

/// Samples stage `s` for `n` pixels: coordinates u, v, w per pixel (w for
/// cube maps), lod per pixel (log2 of texels per pixel, ignored when not
/// mip-mapping or magnifying) into ARGB floats in [0, 1].
void SampleTexture(const SamplerConfig& sampler, int n, const float* u, const float* v, const float* w,
                   const float* lod, float* out[4]);

} // namespace d3d9sw
