// Fixed-function transform, lighting, fog and texture-coordinate generation.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD)
#include <xmmintrin.h>
#endif

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {
namespace {

inline void Transform4(const float v[4], const float m[4][4], float out[4])
{
    for (int j = 0; j < 4; ++j)
        out[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j] + v[3] * m[3][j];
}

inline float Dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline void Normalize3(float* v)
{
    float len = std::sqrt(Dot3(v, v));
    if (len > 0.0f) {
        float inv = 1.0f / len;
        v[0] *= inv;
        v[1] *= inv;
        v[2] *= inv;
    }
}

inline void Colour(const D3DCOLORVALUE& c, float out[4])
{
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// Vertices transformed together: the arithmetic common to every vertex runs
// as loops over these lanes, which the compiler turns into vector code. Each
// lane computes exactly what one vertex computed on its own.
constexpr int kLanes = 8;
using Lanes = float[kLanes];

// The inputs of a batch, one array of lanes per component.
struct LaneInputs
{
    Lanes pos[4], normal[4], diffuse[4], specular[4], tex[8][4];
};

// Component c of lane l of a vertex vector (one array per component).
inline void Gather(const Lanes* v, int count, int l, float* out)
{
    for (int c = 0; c < count; ++c)
        out[c] = v[c][l];
}

// Writes components [0, count) of the first `lanes` lanes to the vertices
// at `out`, `stride` floats apart: component c of lane l to out[l * stride + c].
void StoreLanes(const Lanes* v, int count, int lanes, float* out, size_t stride)
{
    int c = 0;
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD)
    // Four components of four lanes at a time, transposed in registers.
    if (lanes == kLanes) {
        for (; c + 4 <= count; c += 4)
            for (int l = 0; l < kLanes; l += 4) {
                __m128 r0 = _mm_loadu_ps(v[c] + l), r1 = _mm_loadu_ps(v[c + 1] + l);
                __m128 r2 = _mm_loadu_ps(v[c + 2] + l), r3 = _mm_loadu_ps(v[c + 3] + l);
                _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
                _mm_storeu_ps(out + size_t(l) * stride + size_t(c), r0);
                _mm_storeu_ps(out + size_t(l + 1) * stride + size_t(c), r1);
                _mm_storeu_ps(out + size_t(l + 2) * stride + size_t(c), r2);
                _mm_storeu_ps(out + size_t(l + 3) * stride + size_t(c), r3);
            }
    }
#endif
    for (int l = 0; l < lanes; ++l)
        for (int k = c; k < count; ++k)
            out[size_t(l) * stride + size_t(k)] = v[k][l];
}

// out = v * m (row vector) for every lane.
inline void TransformLanes(const Lanes* v, const float m[4][4], Lanes* out)
{
    for (int j = 0; j < 4; ++j)
        for (int l = 0; l < kLanes; ++l)
            out[j][l] = v[0][l] * m[0][j] + v[1][l] * m[1][j] + v[2][l] * m[2][j] + v[3][l] * m[3][j];
}

// Scales each lane's vector to unit length (a zero vector stays).
inline void NormalizeLanes(Lanes* v)
{
    for (int l = 0; l < kLanes; ++l) {
        const float len = std::sqrt(v[0][l] * v[0][l] + v[1][l] * v[1][l] + v[2][l] * v[2][l]);
        const float inv = 1.0f / len;
        for (int c = 0; c < 3; ++c)
            v[c][l] = len > 0.0f ? v[c][l] * inv : v[c][l];
    }
}

// Adds one light's ambient, diffuse and specular terms for one vertex at
// camera-space position `eye` with normal `n`.
void AddLight(const VertexConfig& cfg, const LightCompiled& L, const float* eye, const float* n,
              const float* toEye, float* amb, float* dif, float* spe)
{
    float l[3], atten = 1.0f;
    if (L.type == D3DLIGHT_DIRECTIONAL) {
        std::memcpy(l, L.direction, sizeof(l));
    } else {
        l[0] = L.position[0] - eye[0];
        l[1] = L.position[1] - eye[1];
        l[2] = L.position[2] - eye[2];
        float dist = std::sqrt(Dot3(l, l));
        if (dist > L.range)
            return;
        if (dist > 0.0f) {
            float inv = 1.0f / dist;
            l[0] *= inv;
            l[1] *= inv;
            l[2] *= inv;
        }
        float den = L.att0 + L.att1 * dist + L.att2 * dist * dist;
        atten = den > 0.0f ? 1.0f / den : 1.0f;
        if (L.type == D3DLIGHT_SPOT) {
            float rho = Dot3(l, L.direction);
            if (rho <= L.cosHalfPhi) {
                atten = 0.0f;
            } else if (rho <= L.cosHalfTheta) {
                float t = (rho - L.cosHalfPhi) / (L.cosHalfTheta - L.cosHalfPhi);
                atten *= L.falloff == 1.0f ? t : std::pow(t, L.falloff);
            }
        }
    }
    if (atten <= 0.0f)
        return;
    for (int k = 0; k < 3; ++k)
        amb[k] += atten * L.ambient[k];
    float ndotl = Dot3(n, l);
    if (ndotl <= 0.0f)
        return;
    for (int k = 0; k < 3; ++k)
        dif[k] += atten * ndotl * L.diffuse[k];
    if (cfg.specular) {
        float h[3] = {l[0] + toEye[0], l[1] + toEye[1], l[2] + toEye[2]};
        Normalize3(h);
        float ndoth = Dot3(n, h);
        if (ndoth > 0.0f) {
            float f = atten * (cfg.material.Power > 0.0f ? std::pow(ndoth, cfg.material.Power) : 1.0f);
            for (int k = 0; k < 3; ++k)
                spe[k] += f * L.specular[k];
        }
    }
}

// A directional light without specular for every lane: the common case,
// as vector code. Unlit lanes (n . l <= 0) add nothing to the diffuse sum.
void AddDirectionalLanes(const LightCompiled& L, const Lanes* n, Lanes* amb, Lanes* dif)
{
    const float atten = 1.0f;
    for (int k = 0; k < 3; ++k)
        for (int l = 0; l < kLanes; ++l)
            amb[k][l] += atten * L.ambient[k];
    const float* d = L.direction;
    for (int l = 0; l < kLanes; ++l) {
        const float ndotl = n[0][l] * d[0] + n[1][l] * d[1] + n[2][l] * d[2];
        // Adding +0 leaves a sum that started at +0 unchanged.
        for (int k = 0; k < 3; ++k)
            dif[k][l] += ndotl <= 0.0f ? 0.0f : atten * ndotl * L.diffuse[k];
    }
}

// True when stage `g` takes an input set's coordinates as they are.
inline bool PassesThrough(const TexGen& g)
{
    switch (g.mode) {
    case D3DTSS_TCI_CAMERASPACENORMAL:
    case D3DTSS_TCI_CAMERASPACEPOSITION:
    case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
    case D3DTSS_TCI_SPHEREMAP:
        return false;
    default:
        return !g.transform;
    }
}

// Texture coordinates of stage `g` for one vertex (camera-space normal `n`
// and position `eye`, input sets `tex`) into `dst`.
void GenerateTexCoords(const VertexConfig& cfg, const InputLayout& layout, const TexGen& g, const float* n,
                       const float* eye, const float (*tex)[4], float* dst)
{
    // Untransformed coordinates are made in place: copying a vector just
    // written piecewise stalls the load.
    float transformIn[4];
    float* in = g.transform ? transformIn : dst;
    std::fill(in, in + 4, 0.0f);
    switch (g.mode) {
    case D3DTSS_TCI_CAMERASPACENORMAL:
        std::memcpy(in, n, sizeof(float) * 3);
        in[3] = 1;
        break;
    case D3DTSS_TCI_CAMERASPACEPOSITION:
        std::memcpy(in, eye, sizeof(float) * 3);
        in[3] = 1;
        break;
    case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
    case D3DTSS_TCI_SPHEREMAP: {
        float i[3] = {0, 0, 1};
        if (cfg.localViewer) {
            std::memcpy(i, eye, sizeof(i));
            Normalize3(i);
        }
        float d = 2.0f * Dot3(n, i);
        float r[3] = {i[0] - d * n[0], i[1] - d * n[1], i[2] - d * n[2]};
        if (g.mode == D3DTSS_TCI_SPHEREMAP) {
            float m = 2.0f * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] - 1) * (r[2] - 1));
            m = m > 0.0f ? m : 1.0f;
            in[0] = r[0] / m + 0.5f;
            in[1] = -r[1] / m + 0.5f;
            in[2] = 1;
        } else {
            std::memcpy(in, r, sizeof(r));
            in[3] = 1;
        }
        break;
    }
    default: {
        int src = std::min(g.source, 7);
        int comps = std::max<int>(1, layout.texComponents[src]);
        std::memcpy(in, tex[src], sizeof(float) * comps);
        if (comps < 4)
            in[comps] = 1.0f; // the next component is 1 so the matrix can translate
        break;
    }
    }
    if (g.transform)
        Transform4(in, g.matrix, dst);
}

} // namespace

void ProcessVertices(const VertexConfig& cfg, const InputLayout& layout, const uint8_t* const* streams,
                     const UINT* strides, UINT count, int attrCount, const VertexStore& out)
{
    // Every batch overwrites the same inputs (the layout's elements), so the
    // defaults of the others are set once.
    LaneInputs in;
    for (int l = 0; l < kLanes; ++l) {
        for (int c = 0; c < 4; ++c) {
            in.pos[c][l] = c == 3 ? 1.0f : 0.0f;
            in.normal[c][l] = 0.0f;
            in.diffuse[c][l] = 1.0f;
            in.specular[c][l] = 0.0f;
            for (auto& set : in.tex)
                set[c][l] = 0.0f;
        }
    }
    // Where each element lands (null: unused).
    std::vector<Lanes*> targets(layout.elements.size(), nullptr);
    for (size_t i = 0; i < layout.elements.size(); ++i) {
        const InputElement& e = layout.elements[i];
        switch (e.usage) {
        case D3DDECLUSAGE_POSITION:
        case D3DDECLUSAGE_POSITIONT:
            targets[i] = e.index == 0 ? in.pos : nullptr;
            break;
        case D3DDECLUSAGE_NORMAL:
            targets[i] = e.index == 0 ? in.normal : nullptr;
            break;
        case D3DDECLUSAGE_COLOR:
            targets[i] = e.index == 0 ? in.diffuse : e.index == 1 ? in.specular : nullptr;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            targets[i] = e.index < 8 ? in.tex[e.index] : nullptr;
            break;
        default:
            break;
        }
    }
    // Material colours in every lane, and for each lighting source the
    // lanes it reads: the material, or the vertex colours it is taken from.
    Lanes matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4];
    const D3DCOLORVALUE* materials[4] = {&cfg.material.Diffuse, &cfg.material.Ambient, &cfg.material.Specular,
                                         &cfg.material.Emissive};
    Lanes* materialLanes[4] = {matDiffuse, matAmbient, matSpecular, matEmissive};
    for (int m = 0; m < 4; ++m) {
        float colour[4];
        Colour(*materials[m], colour);
        for (int c = 0; c < 4; ++c)
            std::fill(materialLanes[m][c], materialLanes[m][c] + kLanes, colour[c]);
    }
    auto source = [&](DWORD from, const Lanes* material) -> const Lanes* {
        if (from == D3DMCS_COLOR1 && layout.hasDiffuse)
            return in.diffuse;
        if (from == D3DMCS_COLOR2 && layout.hasSpecular)
            return in.specular;
        return material;
    };
    const Lanes* md = source(cfg.diffuseSource, matDiffuse);
    const Lanes* ma = source(cfg.ambientSource, matAmbient);
    const Lanes* ms = source(cfg.specularSource, matSpecular);
    const Lanes* me = source(cfg.emissiveSource, matEmissive);
    const bool needEye = cfg.needCamera || cfg.lighting || cfg.fogVertex;
    // Stages whose coordinates fit the attribute slots written.
    const int stages = std::min(cfg.stageCount, (attrCount - kAttrTex) / 4);
    const bool needNormal = cfg.needCamera || cfg.lighting;

    // Every attribute slot is made in lanes too, so that values are written
    // to the vertices once and never read back from them.
    Lanes clip[4], eye[4], n[3], attrs[kMaxAttr];
    Lanes* diffuse = attrs + kAttrDiffuse;
    Lanes* specular = attrs + kAttrSpecular;
    float* fog = attrs[kAttrFog];
    for (UINT first = 0; first < count; first += kLanes) {
        const int lanes = int(std::min<UINT>(kLanes, count - first));
        for (size_t i = 0; i < layout.elements.size(); ++i) {
            const InputElement& e = layout.elements[i];
            if (!targets[i])
                continue;
            const uint8_t* src = streams[e.stream] + size_t(first) * strides[e.stream] + e.offset;
            const size_t stride = strides[e.stream];
            Lanes* target = targets[i];
            if (e.type <= D3DDECLTYPE_FLOAT4) {
                // Float vectors, the common case, straight into the lanes.
                const int comps = e.type + 1;
                for (int c = 0; c < 4; ++c)
                    for (int l = 0; l < lanes; ++l) {
                        float value = c == 3 ? 1.0f : 0.0f;
                        if (c < comps)
                            std::memcpy(&value, src + size_t(l) * stride + 4 * size_t(c), 4);
                        target[c][l] = value;
                    }
                continue;
            }
            for (int l = 0; l < lanes; ++l) {
                float v[4];
                FetchElement(e.type, src + size_t(l) * stride, v);
                for (int c = 0; c < 4; ++c)
                    target[c][l] = v[c];
            }
        }
        if (layout.positionT) {
            for (int l = 0; l < lanes; ++l) {
                float* attr = out.Attr(first + UINT(l));
                std::fill(attr, attr + attrCount, 0.0f);
                Gather(in.pos, 4, l, out.Pos(first + UINT(l)));
                Gather(in.diffuse, 4, l, attr + kAttrDiffuse);
                Gather(in.specular, 4, l, attr + kAttrSpecular);
                attr[kAttrFog] = layout.hasSpecular ? in.specular[3][l] : 1.0f;
                for (int s = 0; s < stages; ++s)
                    Gather(in.tex[std::min(cfg.tex[s].source, 7)], 4, l, attr + kAttrTex + 4 * s);
                SanitizeAttributes(attr, attrCount);
            }
            continue;
        }

        TransformLanes(in.pos, cfg.worldViewProj, clip);
        if (needEye) {
            TransformLanes(in.pos, cfg.worldView, eye);
        } else {
            for (int c = 0; c < 4; ++c)
                std::fill(eye[c], eye[c] + kLanes, c == 3 ? 1.0f : 0.0f);
        }
        if (needNormal) {
            for (int j = 0; j < 3; ++j)
                for (int l = 0; l < kLanes; ++l)
                    n[j][l] = in.normal[0][l] * cfg.normal[0][j] + in.normal[1][l] * cfg.normal[1][j] +
                              in.normal[2][l] * cfg.normal[2][j];
            if (cfg.normalize)
                NormalizeLanes(n);
        } else {
            std::memset(n, 0, sizeof(n));
        }

        if (cfg.lighting) {
            Lanes amb[3], dif[3], spe[3];
            for (int k = 0; k < 3; ++k) {
                std::fill(amb[k], amb[k] + kLanes, cfg.ambient[k]);
                std::fill(dif[k], dif[k] + kLanes, 0.0f);
                std::fill(spe[k], spe[k] + kLanes, 0.0f);
            }
            for (const LightCompiled& L : cfg.lights) {
                if (L.type == D3DLIGHT_DIRECTIONAL && !cfg.specular) {
                    AddDirectionalLanes(L, n, amb, dif);
                    continue;
                }
                for (int l = 0; l < lanes; ++l) {
                    float e[4], nl[3], a[3], d[3], sp[3], toEye[3] = {0, 0, -1};
                    Gather(eye, 4, l, e);
                    Gather(n, 3, l, nl);
                    Gather(amb, 3, l, a);
                    Gather(dif, 3, l, d);
                    Gather(spe, 3, l, sp);
                    if (cfg.specular && cfg.localViewer) {
                        toEye[0] = -e[0];
                        toEye[1] = -e[1];
                        toEye[2] = -e[2];
                        Normalize3(toEye);
                    }
                    AddLight(cfg, L, e, nl, toEye, a, d, sp);
                    for (int k = 0; k < 3; ++k) {
                        amb[k][l] = a[k];
                        dif[k][l] = d[k];
                        spe[k][l] = sp[k];
                    }
                }
            }
            // Lit colours are clamped to [0, 1] per vertex, before interpolation.
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < kLanes; ++l) {
                    diffuse[k][l] =
                        std::clamp(me[k][l] + ma[k][l] * amb[k][l] + md[k][l] * dif[k][l], 0.0f, 1.0f);
                    specular[k][l] = std::clamp(ms[k][l] * spe[k][l], 0.0f, 1.0f);
                }
            for (int l = 0; l < kLanes; ++l) {
                diffuse[3][l] = std::clamp(md[3][l], 0.0f, 1.0f);
                specular[3][l] = std::clamp(ms[3][l], 0.0f, 1.0f);
            }
        } else {
            std::memcpy(diffuse, in.diffuse, sizeof(in.diffuse));
            std::memcpy(specular, in.specular, sizeof(in.specular));
        }
        std::fill(fog, fog + kLanes, 1.0f);
        if (cfg.fogVertex) {
            for (int l = 0; l < lanes; ++l) {
                float e[3];
                Gather(eye, 3, l, e);
                float d = cfg.rangeFog ? std::sqrt(Dot3(e, e)) : std::fabs(e[2]);
                float f = 1.0f;
                if (cfg.fogMode == D3DFOG_LINEAR)
                    f = cfg.fogEnd != cfg.fogStart ? (cfg.fogEnd - d) / (cfg.fogEnd - cfg.fogStart) : 1.0f;
                else if (cfg.fogMode == D3DFOG_EXP)
                    f = std::exp(-d * cfg.fogDensity);
                else if (cfg.fogMode == D3DFOG_EXP2)
                    f = std::exp(-(d * cfg.fogDensity) * (d * cfg.fogDensity));
                fog[l] = std::clamp(f, 0.0f, 1.0f);
            }
        }

        std::memcpy(attrs[kAttrEyeDepth], eye[2], sizeof(Lanes));
        for (int k = kAttrEyeDepth + 1; k < kAttrTex; ++k) // unused slots
            std::fill(attrs[k], attrs[k] + kLanes, 0.0f);
        for (int s = 0; s < stages; ++s) {
            const TexGen& g = cfg.tex[s];
            Lanes* dst = attrs + kAttrTex + 4 * s;
            if (PassesThrough(g)) {
                const int src = std::min(g.source, 7);
                const int comps = std::max<int>(1, layout.texComponents[src]);
                for (int c = 0; c < 4; ++c)
                    for (int l = 0; l < kLanes; ++l)
                        dst[c][l] = c < comps ? in.tex[src][c][l] : c == comps ? 1.0f : 0.0f;
                continue;
            }
            for (int l = 0; l < lanes; ++l) {
                float e[4], nl[3], tex[8][4], coords[4];
                Gather(eye, 4, l, e);
                Gather(n, 3, l, nl);
                for (int set = 0; set < 8; ++set)
                    Gather(in.tex[set], 4, l, tex[set]);
                GenerateTexCoords(cfg, layout, g, nl, e, tex, coords);
                for (int c = 0; c < 4; ++c)
                    dst[c][l] = coords[c];
            }
        }
        for (int k = kAttrTex + 4 * stages; k < attrCount; ++k)
            std::fill(attrs[k], attrs[k] + kLanes, 0.0f);
        for (int k = 0; k < attrCount; ++k)
            SanitizeAttributes(attrs[k], kLanes);

        StoreLanes(clip, 4, lanes, out.Pos(first), out.stride);
        StoreLanes(attrs, attrCount, lanes, out.Attr(first), out.stride);
    }
}

} // namespace d3d9sw
