// The pixel pipeline: texture stages, specular, fog, alpha test, stencil,
// depth, blending and the colour write mask, run over spans of pixels.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/pipeline.h"
#include "platform/d3d9/span.h"

namespace d3d9sw {
namespace {

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
            bool spass =
                Compare<uint32_t>(ps.stencilFunc, ps.stencilRef & ps.stencilMask, s & ps.stencilMask);
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
                if (wk.live[i] && !Compare<uint32_t>(ps.alphaFunc, ToByte(colour[3][i]), ref))
                    wk.live[i] = 0;
        }
        if (!earlyDepth && ps.target.depth)
            DepthStencil(ps, wk, y, x, n);
        if (ps.target.color && ps.colorWriteMask)
            WriteColour(ps, wk, y, x, n, colour);
    }
}

} // namespace d3d9sw
