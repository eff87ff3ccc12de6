// The pixel pipeline: texture stages, specular, fog, alpha test, stencil,
// depth, blending and the colour write mask, run over spans of pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {
namespace {

constexpr int kChunk = 64;

struct Work
{
    float z[kChunk], rhw[kChunk], w[kChunk];
    uint8_t live[kChunk];
    float diffuse[4][kChunk], specular[4][kChunk], current[4][kChunk], temp[4][kChunk];
    float texel[4][kChunk], arg[3][4][kChunk], result[4][kChunk];
    float coord[4][kChunk], lod[kChunk], fog[kChunk];
    float bumpDu[kChunk], bumpDv[kChunk], bumpL[kChunk];
    uint32_t dest[kChunk];
};

inline bool Compare(DWORD func, float a, float b)
{
    switch (func) {
    case D3DCMP_NEVER:
        return false;
    case D3DCMP_LESS:
        return a < b;
    case D3DCMP_EQUAL:
        return a == b;
    case D3DCMP_LESSEQUAL:
        return a <= b;
    case D3DCMP_GREATER:
        return a > b;
    case D3DCMP_NOTEQUAL:
        return a != b;
    case D3DCMP_GREATEREQUAL:
        return a >= b;
    default:
        return true;
    }
}

inline bool CompareU(DWORD func, uint32_t a, uint32_t b)
{
    switch (func) {
    case D3DCMP_NEVER:
        return false;
    case D3DCMP_LESS:
        return a < b;
    case D3DCMP_EQUAL:
        return a == b;
    case D3DCMP_LESSEQUAL:
        return a <= b;
    case D3DCMP_GREATER:
        return a > b;
    case D3DCMP_NOTEQUAL:
        return a != b;
    case D3DCMP_GREATEREQUAL:
        return a >= b;
    default:
        return true;
    }
}

inline uint8_t StencilOp(DWORD op, uint8_t s, uint8_t ref)
{
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return 0;
    case D3DSTENCILOP_REPLACE:
        return ref;
    case D3DSTENCILOP_INCRSAT:
        return s == 255 ? 255 : uint8_t(s + 1);
    case D3DSTENCILOP_DECRSAT:
        return s == 0 ? 0 : uint8_t(s - 1);
    case D3DSTENCILOP_INVERT:
        return uint8_t(~s);
    case D3DSTENCILOP_INCR:
        return uint8_t(s + 1);
    case D3DSTENCILOP_DECR:
        return uint8_t(s - 1);
    default:
        return s;
    }
}

inline float Clamp01(float v)
{
    // NaN goes to 0, so that later conversions to integers stay defined.
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

inline uint32_t ToByte(float v)
{
    return uint32_t(Clamp01(v) * 255.0f + 0.5f);
}

// Fills `out` (4 channels) with the argument `arg` of a stage.
void LoadArg(const PixelState& ps, const StageConfig& st, Work& wk, DWORD arg, int n, float (*out)[kChunk])
{
    const float(*src)[kChunk] = nullptr;
    float constant[4];
    bool isConstant = false;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
        src = wk.diffuse;
        break;
    case D3DTA_CURRENT:
        src = wk.current;
        break;
    case D3DTA_TEXTURE:
        src = wk.texel;
        break;
    case D3DTA_SPECULAR:
        src = wk.specular;
        break;
    case D3DTA_TEMP:
        src = wk.temp;
        break;
    case D3DTA_TFACTOR:
        std::memcpy(constant, ps.tfactor, sizeof(constant));
        isConstant = true;
        break;
    default:
        (void)st;
        std::memcpy(constant, ps.tfactor, sizeof(constant));
        isConstant = true;
        break;
    }
    const bool replicate = arg & D3DTA_ALPHAREPLICATE;
    const bool complement = arg & D3DTA_COMPLEMENT;
    for (int k = 0; k < 4; ++k) {
        int from = replicate ? 3 : k;
        if (isConstant) {
            float c = complement ? 1.0f - constant[from] : constant[from];
            std::fill(out[k], out[k] + n, c);
        } else if (complement) {
            for (int i = 0; i < n; ++i)
                out[k][i] = 1.0f - src[from][i];
        } else {
            std::memcpy(out[k], src[from], sizeof(float) * n);
        }
    }
}

// Applies one texture operation to channels [k0, k1) into wk.result.
void ApplyOp(DWORD op, Work& wk, const PixelState& ps, int k0, int k1, int n)
{
    float(*a0)[kChunk] = wk.arg[0];
    float(*a1)[kChunk] = wk.arg[1];
    float(*a2)[kChunk] = wk.arg[2];
    float(*r)[kChunk] = wk.result;
    for (int k = k0; k < k1; ++k) {
        float* o = r[k];
        const float *x = a1[k], *y = a2[k], *z = a0[k];
        switch (op) {
        case D3DTOP_SELECTARG1:
            std::memcpy(o, x, sizeof(float) * n);
            break;
        case D3DTOP_SELECTARG2:
            std::memcpy(o, y, sizeof(float) * n);
            break;
        case D3DTOP_MODULATE:
            for (int i = 0; i < n; ++i)
                o[i] = x[i] * y[i];
            break;
        case D3DTOP_MODULATE2X:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(2.0f * x[i] * y[i]);
            break;
        case D3DTOP_MODULATE4X:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(4.0f * x[i] * y[i]);
            break;
        case D3DTOP_ADD:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(x[i] + y[i]);
            break;
        case D3DTOP_ADDSIGNED:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(x[i] + y[i] - 0.5f);
            break;
        case D3DTOP_ADDSIGNED2X:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(2.0f * (x[i] + y[i] - 0.5f));
            break;
        case D3DTOP_SUBTRACT:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(x[i] - y[i]);
            break;
        case D3DTOP_ADDSMOOTH:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(x[i] + y[i] - x[i] * y[i]);
            break;
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDCURRENTALPHA: {
            const float* f = op == D3DTOP_BLENDDIFFUSEALPHA   ? wk.diffuse[3]
                             : op == D3DTOP_BLENDTEXTUREALPHA ? wk.texel[3]
                                                              : wk.current[3];
            for (int i = 0; i < n; ++i)
                o[i] = x[i] * f[i] + y[i] * (1.0f - f[i]);
            break;
        }
        case D3DTOP_BLENDFACTORALPHA: {
            float f = ps.tfactor[3];
            for (int i = 0; i < n; ++i)
                o[i] = x[i] * f + y[i] * (1.0f - f);
            break;
        }
        case D3DTOP_BLENDTEXTUREALPHAPM:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(x[i] + y[i] * (1.0f - wk.texel[3][i]));
            break;
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
            for (int i = 0; i < n; ++i)
                o[i] = k == 3 ? x[i] : Clamp01(x[i] + a1[3][i] * y[i]);
            break;
        case D3DTOP_MODULATECOLOR_ADDALPHA:
            for (int i = 0; i < n; ++i)
                o[i] = k == 3 ? x[i] : Clamp01(x[i] * y[i] + a1[3][i]);
            break;
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            for (int i = 0; i < n; ++i)
                o[i] = k == 3 ? x[i] : Clamp01(x[i] + (1.0f - a1[3][i]) * y[i]);
            break;
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            for (int i = 0; i < n; ++i)
                o[i] = k == 3 ? x[i] : Clamp01((1.0f - x[i]) * y[i] + a1[3][i]);
            break;
        case D3DTOP_DOTPRODUCT3:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(4.0f * ((a1[0][i] - 0.5f) * (a2[0][i] - 0.5f) +
                                       (a1[1][i] - 0.5f) * (a2[1][i] - 0.5f) +
                                       (a1[2][i] - 0.5f) * (a2[2][i] - 0.5f)));
            break;
        case D3DTOP_MULTIPLYADD:
            for (int i = 0; i < n; ++i)
                o[i] = Clamp01(z[i] + x[i] * y[i]);
            break;
        case D3DTOP_LERP:
            for (int i = 0; i < n; ++i)
                o[i] = z[i] * x[i] + (1.0f - z[i]) * y[i];
            break;
        default: // PREMODULATE and unknown operations pass the first argument
            std::memcpy(o, x, sizeof(float) * n);
            break;
        }
    }
}

float BlendFactor(DWORD f, int k, const float* src, const float* dst, const float* factor)
{
    switch (f) {
    case D3DBLEND_ZERO:
        return 0.0f;
    case D3DBLEND_ONE:
        return 1.0f;
    case D3DBLEND_SRCCOLOR:
        return src[k];
    case D3DBLEND_INVSRCCOLOR:
        return 1.0f - src[k];
    case D3DBLEND_SRCALPHA:
        return src[3];
    case D3DBLEND_INVSRCALPHA:
        return 1.0f - src[3];
    case D3DBLEND_DESTALPHA:
        return dst[3];
    case D3DBLEND_INVDESTALPHA:
        return 1.0f - dst[3];
    case D3DBLEND_DESTCOLOR:
        return dst[k];
    case D3DBLEND_INVDESTCOLOR:
        return 1.0f - dst[k];
    case D3DBLEND_SRCALPHASAT:
        return k == 3 ? 1.0f : std::min(src[3], 1.0f - dst[3]);
    case D3DBLEND_BOTHSRCALPHA:
        return src[3];
    case D3DBLEND_BOTHINVSRCALPHA:
        return 1.0f - src[3];
    case D3DBLEND_BLENDFACTOR:
        return factor[k];
    case D3DBLEND_INVBLENDFACTOR:
        return 1.0f - factor[k];
    default:
        return 0.0f;
    }
}

float BlendOp(DWORD op, float s, float d)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return s - d;
    case D3DBLENDOP_REVSUBTRACT:
        return d - s;
    case D3DBLENDOP_MIN:
        return std::min(s, d);
    case D3DBLENDOP_MAX:
        return std::max(s, d);
    default:
        return s + d;
    }
}

// Source factor for BOTHSRCALPHA / BOTHINVSRCALPHA sets the destination one.
void ResolveBoth(DWORD& src, DWORD& dst)
{
    if (src == D3DBLEND_BOTHSRCALPHA) {
        src = D3DBLEND_SRCALPHA;
        dst = D3DBLEND_INVSRCALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        src = D3DBLEND_INVSRCALPHA;
        dst = D3DBLEND_SRCALPHA;
    }
}

// Depth and stencil for the live pixels of a chunk; clears `live` where a
// test fails and writes depth/stencil as the state says.
void DepthStencil(const PixelState& ps, Work& wk, int y, int x, int n)
{
    Surface* ds = ps.target.depth;
    float* depth = ds->depth.data() + size_t(y) * ds->width + x;
    uint8_t* stencil = ds->stencil.data() + size_t(y) * ds->width + x;
    const bool useStencil = ps.stencil && ds->info.stencil;
    const uint8_t ref = uint8_t(ps.stencilRef), wmask = uint8_t(ps.stencilWriteMask);
    for (int i = 0; i < n; ++i) {
        if (!wk.live[i])
            continue;
        bool zpass = !ps.depthTest || Compare(ps.depthFunc, wk.z[i], depth[i]);
        if (useStencil) {
            uint8_t s = stencil[i];
            bool spass = CompareU(ps.stencilFunc, ps.stencilRef & ps.stencilMask, s & ps.stencilMask);
            DWORD op = !spass ? ps.stencilFail : (!zpass ? ps.stencilZFail : ps.stencilPass);
            uint8_t ns = StencilOp(op, s, ref);
            stencil[i] = uint8_t((s & ~wmask) | (ns & wmask));
            if (!spass)
                zpass = false;
        }
        if (!zpass) {
            wk.live[i] = 0;
            continue;
        }
        if (ps.depthWrite)
            depth[i] = wk.z[i];
    }
}

// Blends the chunk's final colours with the target and stores them.
void WriteColour(const PixelState& ps, Work& wk, int y, int x, int n, float (*c)[kChunk])
{
    Surface* rt = ps.target.color;
    const D3DFORMAT fmt = rt->format;
    const bool direct = fmt == D3DFMT_A8R8G8B8 || fmt == D3DFMT_X8R8G8B8;
    uint8_t* row = rt->bits.data() + size_t(y) * rt->pitch + size_t(x) * rt->info.bytesPerPixel;
    const bool needDest = ps.blend || ps.colorWriteMask != 0xF || !direct;
    if (needDest) {
        if (direct)
            std::memcpy(wk.dest, row, sizeof(uint32_t) * n);
        else
            DecodeRow(fmt, row, wk.dest, UINT(n), nullptr);
    }
    const bool destAlpha = rt->info.alpha;
    uint32_t out[kChunk];
    for (int i = 0; i < n; ++i) {
        if (!wk.live[i]) {
            out[i] = needDest ? wk.dest[i] : reinterpret_cast<uint32_t*>(row)[i];
            continue;
        }
        float s[4] = {c[0][i], c[1][i], c[2][i], c[3][i]};
        if (ps.blend) {
            uint32_t dc = wk.dest[i];
            float d[4] = {float((dc >> 16) & 255) / 255.0f, float((dc >> 8) & 255) / 255.0f,
                          float(dc & 255) / 255.0f, destAlpha ? float(dc >> 24) / 255.0f : 1.0f};
            DWORD sb = ps.srcBlend, db = ps.destBlend;
            ResolveBoth(sb, db);
            DWORD sba = ps.separateAlpha ? ps.srcBlendAlpha : sb,
                  dba = ps.separateAlpha ? ps.destBlendAlpha : db;
            if (ps.separateAlpha)
                ResolveBoth(sba, dba);
            float r[4];
            for (int k = 0; k < 4; ++k) {
                bool alpha = k == 3;
                DWORD fs = alpha ? sba : sb, fd = alpha ? dba : db;
                DWORD op = alpha && ps.separateAlpha ? ps.blendOpAlpha : ps.blendOp;
                r[k] = BlendOp(op, s[k] * BlendFactor(fs, k, s, d, ps.blendFactor),
                               d[k] * BlendFactor(fd, k, s, d, ps.blendFactor));
            }
            std::memcpy(s, r, sizeof(s));
        }
        uint32_t v = ToByte(s[3]) << 24 | ToByte(s[0]) << 16 | ToByte(s[1]) << 8 | ToByte(s[2]);
        if (ps.colorWriteMask != 0xF) {
            uint32_t keep = 0;
            if (!(ps.colorWriteMask & D3DCOLORWRITEENABLE_RED))
                keep |= 0x00FF0000u;
            if (!(ps.colorWriteMask & D3DCOLORWRITEENABLE_GREEN))
                keep |= 0x0000FF00u;
            if (!(ps.colorWriteMask & D3DCOLORWRITEENABLE_BLUE))
                keep |= 0x000000FFu;
            if (!(ps.colorWriteMask & D3DCOLORWRITEENABLE_ALPHA))
                keep |= 0xFF000000u;
            v = (v & ~keep) | (wk.dest[i] & keep);
        }
        out[i] = v;
    }
    if (direct)
        std::memcpy(row, out, sizeof(uint32_t) * n);
    else
        EncodeRow(fmt, out, row, UINT(n));
}

// Level of detail (log2 of texels per pixel) from the screen derivatives of
// the perspective-divided coordinates.
void ComputeLod(const SpanPlanes& pl, const StageConfig& st, const Work& wk, float fx, float fy, int n,
                float* lod)
{
    const SamplerConfig& smp = st.sampler;
    if (!smp.chain) {
        std::fill(lod, lod + n, 0.0f);
        return;
    }
    const Surface* top = smp.chain->Level(0, std::min(smp.firstLevel, smp.chain->levels - 1));
    const float tw = float(top->width), th = float(top->height);
    const Plane& pu = pl.attr[st.coordSlot];
    const Plane& pv = pl.attr[st.coordSlot + 1];
    for (int i = 0; i < n; ++i) {
        float x = fx + float(i);
        float w = wk.w[i];
        float u = pu.At(x, fy) * w, v = pv.At(x, fy) * w;
        float dudx = (pu.dx - u * pl.rhw.dx) * w * tw, dvdx = (pv.dx - v * pl.rhw.dx) * w * th;
        float dudy = (pu.dy - u * pl.rhw.dy) * w * tw, dvdy = (pv.dy - v * pl.rhw.dy) * w * th;
        float rho = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
        lod[i] = rho > 0.0f ? 0.5f * std::log2(rho) : -16.0f;
    }
}

} // namespace

namespace {

// Per-pixel state of the shader's texture fetches.
struct ShaderSampleContext
{
    const PixelState* ps;
    const float (*lod)[kChunk];
    int pixel;
};

void ShaderSample(void* user, int stage, float u, float v, float w, float rgba[4])
{
    auto* ctx = static_cast<ShaderSampleContext*>(user);
    const SamplerConfig& smp = ctx->ps->stages[stage].sampler;
    if (!smp.chain) {
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return;
    }
    float lod = ctx->lod[stage][ctx->pixel];
    float* out[4] = {&rgba[0], &rgba[1], &rgba[2], &rgba[3]};
    SampleTexture(smp, 1, &u, &v, &w, &lod, out);
}

// Runs the pixel shader over the live pixels of a chunk into wk.current;
// texkill clears `live`.
void RunPixelShader(const PixelState& ps, const SpanPlanes& pl, Work& wk, float fx, float fy, int n)
{
    float coords[kShaderPixelTextures][4][kChunk];
    float lod[kShaderPixelTextures][kChunk];
    for (int s = 0; s < kShaderPixelTextures && s < ps.stageCount; ++s) {
        const StageConfig& st = ps.stages[s];
        for (int c = 0; c < 4; ++c) {
            const Plane& p = pl.attr[st.coordSlot + c];
            for (int i = 0; i < n; ++i)
                coords[s][c][i] = p.At(fx + float(i), fy) * wk.w[i];
        }
        ComputeLod(pl, st, wk, fx, fy, n, lod[s]);
    }
    ShaderSampleContext ctx{&ps, lod, 0};
    ShaderPixelState state = ps.shaderState;
    state.sample = &ShaderSample;
    state.user = &ctx;
    ShaderPixelInputs in{};
    for (int i = 0; i < n; ++i) {
        if (!wk.live[i])
            continue;
        ctx.pixel = i;
        for (int c = 0; c < 4; ++c) {
            in.color[0][c] = wk.diffuse[c][i];
            in.color[1][c] = wk.specular[c][i];
            for (int s = 0; s < kShaderPixelTextures; ++s)
                in.texcoord[s][c] = s < ps.stageCount ? coords[s][c][i] : 0.0f;
        }
        float result[4];
        if (!ShaderPixelRun(ps.pixelShader, state, in, result)) {
            wk.live[i] = 0;
            continue;
        }
        for (int c = 0; c < 4; ++c)
            wk.current[c][i] = result[c];
    }
}

} // namespace

void ShadeSpanGeneral(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Work wk;
    const float fy = float(y);
    const bool earlyDepth = ps.target.depth && !ps.alphaTest && !ps.stencil;
    for (int x = xa; x < xb; x += kChunk) {
        const int n = std::min(kChunk, xb - x);
        const float fx = float(x);
        for (int i = 0; i < n; ++i) {
            float px = fx + float(i);
            float z = pl.z.At(px, fy);
            wk.z[i] = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            wk.rhw[i] = pl.rhw.At(px, fy);
            wk.w[i] = 1.0f / wk.rhw[i];
            wk.live[i] = 1;
        }
        if (earlyDepth && (ps.depthTest || ps.depthWrite)) {
            DepthStencil(ps, wk, y, x, n);
            bool any = false;
            for (int i = 0; i < n; ++i)
                any |= wk.live[i] != 0;
            if (!any)
                continue;
        }
        // Interpolated colours.
        for (int k = 0; k < 4; ++k) {
            const Plane& d = pl.attr[kAttrDiffuse + k];
            for (int i = 0; i < n; ++i)
                wk.diffuse[k][i] = Clamp01(d.At(fx + float(i), fy) * wk.w[i]);
            if (!ps.needSpecular) {
                std::fill(wk.specular[k], wk.specular[k] + n, 0.0f);
                continue;
            }
            const Plane& s = pl.attr[kAttrSpecular + k];
            for (int i = 0; i < n; ++i)
                wk.specular[k][i] = Clamp01(s.At(fx + float(i), fy) * wk.w[i]);
        }
        std::memcpy(wk.current, wk.diffuse, sizeof(wk.current));
        std::memset(wk.temp, 0, sizeof(wk.temp));
        if (ps.pixelShader) {
            RunPixelShader(ps, pl, wk, fx, fy, n);
        } else {
            bool bumpPending = false, bumpLuminance = false;
            // Texture stages.
            for (int s = 0; s < ps.stageCount; ++s) {
                const StageConfig& st = ps.stages[s];
                const bool sample = st.sampler.chain != nullptr;
                if (sample || bumpPending) {
                    for (int c = 0; c < 4; ++c) {
                        const Plane& p = pl.attr[st.coordSlot + c];
                        for (int i = 0; i < n; ++i)
                            wk.coord[c][i] = p.At(fx + float(i), fy) * wk.w[i];
                    }
                    if (st.projected) {
                        const float* q = wk.coord[std::max(0, st.coordCount - 1)];
                        for (int i = 0; i < n; ++i) {
                            float inv = q[i] != 0.0f ? 1.0f / q[i] : 0.0f;
                            wk.coord[0][i] *= inv;
                            wk.coord[1][i] *= inv;
                            if (st.coordCount > 3)
                                wk.coord[2][i] *= inv;
                        }
                    }
                    if (bumpPending) {
                        for (int i = 0; i < n; ++i) {
                            wk.coord[0][i] += wk.bumpDu[i];
                            wk.coord[1][i] += wk.bumpDv[i];
                        }
                    }
                }
                if (sample) {
                    ComputeLod(pl, st, wk, fx, fy, n, wk.lod);
                    float* out[4] = {wk.texel[0], wk.texel[1], wk.texel[2], wk.texel[3]};
                    SampleTexture(st.sampler, n, wk.coord[0], wk.coord[1], wk.coord[2], wk.lod, out);
                    if (bumpLuminance)
                        for (int k = 0; k < 3; ++k)
                            for (int i = 0; i < n; ++i)
                                wk.texel[k][i] = Clamp01(wk.texel[k][i] * wk.bumpL[i]);
                } else {
                    for (int k = 0; k < 4; ++k)
                        std::fill(wk.texel[k], wk.texel[k] + n, 1.0f);
                }
                bumpPending = bumpLuminance = false;
                if (st.colorOp == D3DTOP_BUMPENVMAP || st.colorOp == D3DTOP_BUMPENVMAPLUMINANCE) {
                    // du/dv (biased by 128 in blue and green) rotate into the next
                    // stage's coordinates; the colour passes through unchanged.
                    for (int i = 0; i < n; ++i) {
                        float du = (wk.texel[2][i] * 255.0f - 128.0f) / 127.0f;
                        float dv = (wk.texel[1][i] * 255.0f - 128.0f) / 127.0f;
                        wk.bumpDu[i] = st.bumpMat[0] * du + st.bumpMat[2] * dv;
                        wk.bumpDv[i] = st.bumpMat[1] * du + st.bumpMat[3] * dv;
                        wk.bumpL[i] = wk.texel[0][i] * st.bumpLScale + st.bumpLOffset;
                    }
                    bumpPending = true;
                    bumpLuminance = st.colorOp == D3DTOP_BUMPENVMAPLUMINANCE;
                    continue;
                }
                LoadArg(ps, st, wk, st.colorArg0, n, wk.arg[0]);
                LoadArg(ps, st, wk, st.colorArg1, n, wk.arg[1]);
                LoadArg(ps, st, wk, st.colorArg2, n, wk.arg[2]);
                ApplyOp(st.colorOp, wk, ps, 0, 3, n);
                const bool dot3 = st.colorOp == D3DTOP_DOTPRODUCT3;
                float saved[3][kChunk];
                for (int k = 0; k < 3; ++k)
                    std::memcpy(saved[k], wk.result[k], sizeof(float) * n);
                if (dot3) {
                    std::memcpy(wk.result[3], wk.result[0], sizeof(float) * n);
                } else if (st.alphaOp == D3DTOP_DISABLE) {
                    std::memcpy(wk.result[3], wk.current[3], sizeof(float) * n);
                } else {
                    LoadArg(ps, st, wk, st.alphaArg0, n, wk.arg[0]);
                    LoadArg(ps, st, wk, st.alphaArg1, n, wk.arg[1]);
                    LoadArg(ps, st, wk, st.alphaArg2, n, wk.arg[2]);
                    ApplyOp(st.alphaOp, wk, ps, 3, 4, n);
                }
                float(*dest)[kChunk] = st.resultArg == D3DTA_TEMP ? wk.temp : wk.current;
                for (int k = 0; k < 3; ++k)
                    std::memcpy(dest[k], saved[k], sizeof(float) * n);
                std::memcpy(dest[3], wk.result[3], sizeof(float) * n);
            }
        }
        float(*colour)[kChunk] = wk.current;
        if (ps.specularAdd)
            for (int k = 0; k < 3; ++k)
                for (int i = 0; i < n; ++i)
                    colour[k][i] = Clamp01(colour[k][i] + wk.specular[k][i]);
        if (ps.fog) {
            if (ps.fogTableMode != D3DFOG_NONE) {
                for (int i = 0; i < n; ++i) {
                    float d = ps.fogUseW ? wk.w[i] : wk.z[i];
                    float f;
                    if (ps.fogTableMode == D3DFOG_LINEAR)
                        f = ps.fogEnd != ps.fogStart ? (ps.fogEnd - d) / (ps.fogEnd - ps.fogStart) : 1.0f;
                    else if (ps.fogTableMode == D3DFOG_EXP)
                        f = std::exp(-d * ps.fogDensity);
                    else
                        f = std::exp(-(d * ps.fogDensity) * (d * ps.fogDensity));
                    wk.fog[i] = Clamp01(f);
                }
            } else {
                const Plane& p = pl.attr[kAttrFog];
                for (int i = 0; i < n; ++i)
                    wk.fog[i] = Clamp01(p.At(fx + float(i), fy) * wk.w[i]);
            }
            for (int k = 0; k < 3; ++k)
                for (int i = 0; i < n; ++i)
                    colour[k][i] = colour[k][i] * wk.fog[i] + ps.fogColor[k] * (1.0f - wk.fog[i]);
        }
        if (ps.alphaTest) {
            const uint32_t ref = uint32_t(ps.alphaRef);
            for (int i = 0; i < n; ++i)
                if (wk.live[i] && !CompareU(ps.alphaFunc, ToByte(colour[3][i]), ref))
                    wk.live[i] = 0;
        }
        if (!earlyDepth && ps.target.depth)
            DepthStencil(ps, wk, y, x, n);
        if (ps.target.color && ps.colorWriteMask)
            WriteColour(ps, wk, y, x, n, colour);
    }
}

namespace {

using DepthPassFn = decltype(PixelState::fastDepth);

// Depth pass of a chunk for the fast paths: fills `live`, writes depth
// where it passes and answers how many pixels live. Func 0: no depth buffer.
template <DWORD Func, bool Write>
int DepthPass(const Plane& pz, float fx, float fy, int n, float* depth, uint8_t* live)
{
    if constexpr (Func == 0) {
        std::memset(live, 1, size_t(n));
        return n;
    } else {
        int alive = 0;
        float z0 = pz.At(fx, fy);
        for (int i = 0; i < n; ++i) {
            float z = z0 + pz.dx * float(i);
            z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            bool pass = Compare(Func, z, depth[i]);
            live[i] = pass;
            alive += pass;
            if constexpr (Write)
                depth[i] = pass ? z : depth[i];
        }
        return alive;
    }
}

template <bool Write> DepthPassFn PickDepth(DWORD func)
{
    switch (func) {
    case D3DCMP_LESS:
        return &DepthPass<D3DCMP_LESS, Write>;
    case D3DCMP_LESSEQUAL:
        return &DepthPass<D3DCMP_LESSEQUAL, Write>;
    case D3DCMP_GREATER:
        return &DepthPass<D3DCMP_GREATER, Write>;
    case D3DCMP_GREATEREQUAL:
        return &DepthPass<D3DCMP_GREATEREQUAL, Write>;
    case D3DCMP_EQUAL:
        return &DepthPass<D3DCMP_EQUAL, Write>;
    case D3DCMP_NOTEQUAL:
        return &DepthPass<D3DCMP_NOTEQUAL, Write>;
    case D3DCMP_NEVER:
        return &DepthPass<D3DCMP_NEVER, Write>;
    default:
        return &DepthPass<D3DCMP_ALWAYS, Write>;
    }
}

// 1/w per pixel of a chunk (constant when the primitive is affine).
inline void ChunkW(const SpanPlanes& pl, float fx, float fy, int n, float* w)
{
    if (!pl.perspective) {
        float c = 1.0f / pl.rhw.a;
        for (int i = 0; i < n; ++i)
            w[i] = c;
        return;
    }
    float r0 = pl.rhw.At(fx, fy);
    for (int i = 0; i < n; ++i)
        w[i] = 1.0f / (r0 + pl.rhw.dx * float(i));
}

// Packed 8-bit lerp of two ARGB words, f in 0..256.
inline uint32_t LerpArgb(uint32_t a, uint32_t b, uint32_t f)
{
    uint32_t g = 256 - f;
    uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

// src x srcAlpha + dest x (1 - srcAlpha), on all four channels.
inline uint32_t BlendSourceAlpha(uint32_t dest, uint32_t src)
{
    uint32_t a = src >> 24;
    return LerpArgb(dest, src, a + (a >> 7));
}

// Fast path: Gouraud colour only, no blending, fog, alpha test or stencil,
// into a 32-bit target.
void ShadeSpanGouraud(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Surface* rt = ps.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(rt->bits.data() + size_t(y) * rt->pitch);
    float* depth =
        ps.target.depth ? ps.target.depth->depth.data() + size_t(y) * ps.target.depth->width : nullptr;
    const float fy = float(y);
    const Plane* pc = &pl.attr[kAttrDiffuse];
    for (int x = xa; x < xb; x += kChunk) {
        const int n = std::min(kChunk, xb - x);
        uint8_t live[kChunk];
        float w[kChunk];
        const float fx = float(x);
        if (!ps.fastDepth(pl.z, fx, fy, n, depth ? depth + x : nullptr, live))
            continue;
        ChunkW(pl, fx, fy, n, w);
        // Colours to packed words in loops the compiler vectorises: vertex
        // colours lie in [0, 1], so an integer clamp catches rounding.
        uint32_t packed[kChunk];
        std::fill(packed, packed + n, ps.fastAlphaOne ? 0xFF000000u : 0u);
        for (int k = 0; k < 4; ++k) {
            if (k == 3 && ps.fastAlphaOne)
                break;
            const Plane& p = pc[k];
            const float v = p.At(fx, fy);
            const int shift = k == 3 ? 24 : 16 - 8 * k;
            for (int i = 0; i < n; ++i) {
                int b = int((v + p.dx * float(i)) * w[i] * 255.0f + 0.5f);
                packed[i] |= uint32_t(std::min(std::max(b, 0), 255)) << shift;
            }
        }
        if (ps.fastBlend) {
            for (int i = 0; i < n; ++i)
                if (live[i])
                    row[x + i] = BlendSourceAlpha(row[x + i], packed[i]);
        } else {
            for (int i = 0; i < n; ++i)
                if (live[i])
                    row[x + i] = packed[i];
        }
    }
}

#if defined(__SSE2__)
// Bilinear filter of four ARGB texels (weights ax, ay in 0..255), then each channel times the byte of `mul` /
// 255; `alphaOr` forces the filtered alpha to 255 first (so that the multiplier replaces it).
inline uint32_t BilinearModulate(uint32_t t00, uint32_t t01, uint32_t t10, uint32_t t11, uint32_t ax,
                                 uint32_t ay, uint32_t mul, uint32_t alphaOr)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i top =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t00)), _mm_cvtsi32_si128(int(t01))), zero);
    __m128i bot =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t10)), _mm_cvtsi32_si128(int(t11))), zero);
    // a * (256 - w) + b * w stays below 65281: exact in unsigned 16-bit lanes.
    const __m128i wy = _mm_set1_epi16(short(ay)), iy = _mm_set1_epi16(short(256 - ay));
    const __m128i wx = _mm_set1_epi16(short(ax)), ix = _mm_set1_epi16(short(256 - ax));
    __m128i v = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, iy), _mm_mullo_epi16(bot, wy)), 8);
    __m128i right = _mm_unpackhi_epi64(v, v);
    __m128i h = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, ix), _mm_mullo_epi16(right, wx)), 8);
    h = _mm_or_si128(h, _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(alphaOr)), zero));
    __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(mul)), zero);
    __m128i p = _mm_add_epi16(_mm_mullo_epi16(h, m), _mm_set1_epi16(128));
    p = _mm_srli_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), 8);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(p, p)));
}
#endif

// x * y / 255 rounded, for bytes.
inline uint32_t MulByte(uint32_t x, uint32_t y)
{
    uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// Fast path: one texture stage (texture, or texture times diffuse) sampled
// from a 32-bit level without mip-mapping, with wrap (power-of-two sizes) or
// clamp addressing; otherwise as the Gouraud path.
template <bool Linear, bool Wrap>
void ShadeSpanTextured(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Surface* rt = ps.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(rt->bits.data() + size_t(y) * rt->pitch);
    float* depth =
        ps.target.depth ? ps.target.depth->depth.data() + size_t(y) * ps.target.depth->width : nullptr;
    const StageConfig& st = ps.stages[0];
    const SamplerConfig& smp = st.sampler;
    Surface* level = smp.chain->Level(0, std::min(smp.firstLevel, smp.chain->levels - 1));
    const uint32_t* texels = level->Argb(smp.palette, smp.paletteStamp);
    const int tw = int(level->width), th = int(level->height);
    const float fw = float(tw) * 256.0f, fh = float(th) * 256.0f;
    const float fy = float(y);
    const Plane& pu = pl.attr[st.coordSlot];
    const Plane& pv = pl.attr[st.coordSlot + 1];
    const Plane* pc = &pl.attr[kAttrDiffuse];
    const bool modulate = ps.fastModulate;
    const int alphaMode = ps.fastAlphaMode;
    for (int x = xa; x < xb; x += kChunk) {
        const int n = std::min(kChunk, xb - x);
        uint8_t live[kChunk];
        float w[kChunk];
        const float fx = float(x);
        if (!ps.fastDepth(pl.z, fx, fy, n, depth ? depth + x : nullptr, live))
            continue;
        ChunkW(pl, fx, fy, n, w);
        const float u0 = pu.At(fx, fy), v0 = pv.At(fx, fy);
        // Texel coordinates in 24.8 fixed point and the diffuse colour as
        // bytes, in loops the compiler can vectorise.
        int iu[kChunk], iv[kChunk];
        const float bias = Linear ? 128.0f : 0.0f;
        for (int i = 0; i < n; ++i) {
            float u = (u0 + pu.dx * float(i)) * w[i];
            float v = (v0 + pv.dx * float(i)) * w[i];
            // Wrap: keep the fixed-point coordinates in range (masks wrap them).
            constexpr float lo = Wrap ? -1024.0f : 0.0f, hi = Wrap ? 1024.0f : 1.0f;
            u = std::min(std::max(u, lo), hi);
            v = std::min(std::max(v, lo), hi);
            iu[i] = int(u * fw - bias);
            iv[i] = int(v * fh - bias);
        }
        uint32_t dc[kChunk];
        if (modulate || alphaMode != 0) {
            // Vertex colours lie in [0, 1], so interpolated ones only stray by
            // rounding: an integer clamp suffices (and vectorises).
            int c[4][kChunk];
            for (int k = 0; k < 4; ++k) {
                float a0 = pc[k].At(fx, fy);
                for (int i = 0; i < n; ++i) {
                    int v = int((a0 + pc[k].dx * float(i)) * w[i] * 255.0f + 0.5f);
                    c[k][i] = std::min(std::max(v, 0), 255);
                }
            }
            for (int i = 0; i < n; ++i)
                dc[i] = uint32_t(c[3][i]) << 24 | uint32_t(c[0][i]) << 16 | uint32_t(c[1][i]) << 8 |
                        uint32_t(c[2][i]);
        }
        // Per-channel multipliers of the filtered texel: the diffuse colour
        // where the stage modulates, 255 (unchanged) elsewhere.
        uint32_t mul[kChunk];
        const uint32_t rgbKeep = modulate ? 0u : 0x00FFFFFFu, alphaKeep = alphaMode == 0 ? 0xFF000000u : 0u;
        const uint32_t alphaOr = alphaMode == 2 ? 0xFF000000u : 0u;
        for (int i = 0; i < n; ++i)
            mul[i] = dc[i] | rgbKeep | alphaKeep;
        for (int i = 0; i < n; ++i) {
            if (!live[i])
                continue;
            uint32_t t;
            if constexpr (Linear) {
                int x0 = iu[i] >> 8, y0 = iv[i] >> 8;
                uint32_t ax = uint32_t(iu[i] & 255), ay = uint32_t(iv[i] & 255);
                int x1, y1;
                if constexpr (Wrap) {
                    x0 &= tw - 1;
                    y0 &= th - 1;
                    x1 = (x0 + 1) & (tw - 1);
                    y1 = (y0 + 1) & (th - 1);
                } else {
                    x1 = std::min(x0 + 1, tw - 1);
                    y1 = std::min(y0 + 1, th - 1);
                    x0 = std::max(x0, 0);
                    y0 = std::max(y0, 0);
                    x1 = std::max(x1, 0);
                    y1 = std::max(y1, 0);
                }
                const uint32_t* r0 = texels + size_t(y0) * tw;
                const uint32_t* r1 = texels + size_t(y1) * tw;
#if defined(__SSE2__)
                uint32_t value = BilinearModulate(r0[x0], r0[x1], r1[x0], r1[x1], ax, ay, mul[i], alphaOr);
                row[x + i] = ps.fastBlend ? BlendSourceAlpha(row[x + i], value) : value;
                continue;
#else
                t = LerpArgb(LerpArgb(r0[x0], r0[x1], ax), LerpArgb(r1[x0], r1[x1], ax), ay);
#endif
            } else {
                int ix = iu[i] >> 8, iy = iv[i] >> 8;
                if constexpr (Wrap) {
                    ix &= tw - 1;
                    iy &= th - 1;
                } else {
                    ix = std::min(ix, tw - 1);
                    iy = std::min(iy, th - 1);
                }
                t = texels[size_t(iy) * tw + ix];
            }
            uint32_t r = (t >> 16) & 255, g = (t >> 8) & 255, b = t & 255, a = t >> 24;
            const uint32_t d = dc[i];
            if (modulate) {
                r = MulByte(r, (d >> 16) & 255);
                g = MulByte(g, (d >> 8) & 255);
                b = MulByte(b, d & 255);
            }
            if (alphaMode == 1)
                a = MulByte(a, d >> 24);
            else if (alphaMode == 2)
                a = d >> 24;
            uint32_t value = a << 24 | r << 16 | g << 8 | b;
            row[x + i] = ps.fastBlend ? BlendSourceAlpha(row[x + i], value) : value;
        }
    }
}

// True when the stages reduce to "the diffuse colour".
bool StagesAreDiffuse(const PixelState& ps, bool* alphaOne)
{
    *alphaOne = false;
    if (ps.stageCount == 0)
        return true;
    if (ps.stageCount > 1)
        return false;
    const StageConfig& st = ps.stages[0];
    if (st.sampler.chain || st.resultArg == D3DTA_TEMP)
        return false;
    auto isDiffuseOrWhite = [](DWORD a) {
        return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT || a == D3DTA_TEXTURE; // no texture: white
    };
    auto colourIsDiffuse = [&](DWORD op, DWORD a1, DWORD a2) {
        if (op == D3DTOP_SELECTARG1)
            return a1 == D3DTA_DIFFUSE || a1 == D3DTA_CURRENT;
        if (op == D3DTOP_SELECTARG2)
            return a2 == D3DTA_DIFFUSE || a2 == D3DTA_CURRENT;
        if (op == D3DTOP_MODULATE)
            return isDiffuseOrWhite(a1) && isDiffuseOrWhite(a2) &&
                   (a1 == D3DTA_TEXTURE || a2 == D3DTA_TEXTURE);
        return false;
    };
    bool colour = colourIsDiffuse(st.colorOp, st.colorArg1, st.colorArg2);
    bool alpha = st.alphaOp == D3DTOP_DISABLE || colourIsDiffuse(st.alphaOp, st.alphaArg1, st.alphaArg2) ||
                 (st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE);
    *alphaOne = st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE;
    return colour && alpha;
}

// Colour and alpha of a single stage 0 that samples a texture: colour
// TEXTURE or TEXTURE x DIFFUSE; alpha TEXTURE (0), TEXTURE x DIFFUSE (1) or
// DIFFUSE (2).
bool StageIsSimpleTexture(const StageConfig& st, bool* modulate, int* alphaMode)
{
    auto diffuse = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    if (st.resultArg == D3DTA_TEMP || st.projected || st.coordCount < 2)
        return false;
    if (st.colorOp == D3DTOP_SELECTARG1 && st.colorArg1 == D3DTA_TEXTURE)
        *modulate = false;
    else if (st.colorOp == D3DTOP_MODULATE && ((st.colorArg1 == D3DTA_TEXTURE && diffuse(st.colorArg2)) ||
                                               (st.colorArg2 == D3DTA_TEXTURE && diffuse(st.colorArg1))))
        *modulate = true;
    else
        return false;
    if (st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE)
        *alphaMode = 0;
    else if (st.alphaOp == D3DTOP_MODULATE && ((st.alphaArg1 == D3DTA_TEXTURE && diffuse(st.alphaArg2)) ||
                                               (st.alphaArg2 == D3DTA_TEXTURE && diffuse(st.alphaArg1))))
        *alphaMode = 1;
    else if (st.alphaOp == D3DTOP_DISABLE || (st.alphaOp == D3DTOP_SELECTARG1 && diffuse(st.alphaArg1)) ||
             (st.alphaOp == D3DTOP_SELECTARG2 && diffuse(st.alphaArg2)))
        *alphaMode = 2;
    else
        return false;
    return true;
}

} // namespace

void PixelStateFinish(PixelState* ps)
{
    // Attributes to interpolate: diffuse always, specular when added or an
    // argument, fog when per vertex, coordinates of every active stage.
    ps->needSpecular = ps->specularAdd || ps->pixelShader;
    for (int s = 0; s < ps->stageCount; ++s) {
        const StageConfig& st = ps->stages[s];
        for (DWORD arg : {st.colorArg0, st.colorArg1, st.colorArg2, st.alphaArg0, st.alphaArg1, st.alphaArg2})
            ps->needSpecular |= (arg & D3DTA_SELECTMASK) == D3DTA_SPECULAR;
    }
    ps->usedCount = 0;
    for (int k = 0; k < 4; ++k)
        ps->usedAttr[ps->usedCount++] = kAttrDiffuse + k;
    if (ps->needSpecular)
        for (int k = 0; k < 4; ++k)
            ps->usedAttr[ps->usedCount++] = kAttrSpecular + k;
    if (ps->fog && ps->fogTableMode == D3DFOG_NONE)
        ps->usedAttr[ps->usedCount++] = kAttrFog;
    for (int k = kAttrTex; k < ps->attrCount; ++k)
        ps->usedAttr[ps->usedCount++] = k;

    ps->span = &ShadeSpanGeneral;
    if (ps->pixelShader)
        return;
    Surface* rt = ps->target.color;
    if (!rt || (rt->format != D3DFMT_A8R8G8B8 && rt->format != D3DFMT_X8R8G8B8))
        return;
    // The one blend the fast paths do: source alpha over the target.
    ps->fastBlend = ps->blend && !ps->separateAlpha && ps->blendOp == D3DBLENDOP_ADD &&
                    ((ps->srcBlend == D3DBLEND_SRCALPHA && ps->destBlend == D3DBLEND_INVSRCALPHA) ||
                     ps->srcBlend == D3DBLEND_BOTHSRCALPHA);
    if ((ps->blend && !ps->fastBlend) || ps->fog || ps->alphaTest || ps->stencil || ps->specularAdd ||
        ps->colorWriteMask != 0xF)
        return;
    const bool test = ps->target.depth && ps->depthTest;
    const bool write = ps->target.depth && ps->depthWrite;
    if (!test && !write)
        ps->fastDepth = &DepthPass<0, false>;
    else
        ps->fastDepth = write ? PickDepth<true>(test ? ps->depthFunc : DWORD(D3DCMP_ALWAYS))
                              : PickDepth<false>(ps->depthFunc);
    if (StagesAreDiffuse(*ps, &ps->fastAlphaOne)) {
        ps->span = &ShadeSpanGouraud;
        return;
    }
    if (ps->stageCount != 1)
        return;
    const StageConfig& st = ps->stages[0];
    const SamplerConfig& smp = st.sampler;
    if (!smp.chain || smp.cube || !StageIsSimpleTexture(st, &ps->fastModulate, &ps->fastAlphaMode))
        return;
    // No mip-mapping and one filter for both magnification and minification.
    if ((smp.mipFilter != D3DTEXF_NONE && smp.chain->levels > smp.firstLevel + 1) ||
        (smp.magFilter >= D3DTEXF_LINEAR) != (smp.minFilter >= D3DTEXF_LINEAR))
        return;
    const Surface* level = smp.chain->Level(0, std::min(smp.firstLevel, smp.chain->levels - 1));
    if (!level->info.decodable || level->info.signedBump || level->info.depth)
        return;
    const bool linear = smp.magFilter >= D3DTEXF_LINEAR;
    const bool pow2 = (level->width & (level->width - 1)) == 0 && (level->height & (level->height - 1)) == 0;
    const bool wrap = smp.addressU == D3DTADDRESS_WRAP && smp.addressV == D3DTADDRESS_WRAP;
    const bool clamp = smp.addressU == D3DTADDRESS_CLAMP && smp.addressV == D3DTADDRESS_CLAMP;
    if (wrap && pow2)
        ps->span = linear ? &ShadeSpanTextured<true, true> : &ShadeSpanTextured<false, true>;
    else if (clamp)
        ps->span = linear ? &ShadeSpanTextured<true, false> : &ShadeSpanTextured<false, false>;
}

} // namespace d3d9sw
