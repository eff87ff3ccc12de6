// Fixed-function transform, lighting, fog and texture-coordinate generation.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// The material colour of a source: the material, or a vertex colour when
// colour-vertex is on and the vertex has it.
inline const float* Source(DWORD source, const float* material, const float* diffuse, bool hasDiffuse,
                           const float* specular, bool hasSpecular)
{
    if (source == D3DMCS_COLOR1 && hasDiffuse)
        return diffuse;
    if (source == D3DMCS_COLOR2 && hasSpecular)
        return specular;
    return material;
}

} // namespace

void ProcessVertices(const VertexConfig& cfg, const InputLayout& layout, const uint8_t* const* streams,
                     const UINT* strides, UINT count, int attrCount, VertexOut* out)
{
    float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4];
    Colour(cfg.material.Diffuse, matDiffuse);
    Colour(cfg.material.Ambient, matAmbient);
    Colour(cfg.material.Specular, matSpecular);
    Colour(cfg.material.Emissive, matEmissive);
    // Every vertex overwrites the same inputs (the layout's elements), so
    // the defaults of the others are set once.
    float pos[4] = {0, 0, 0, 1}, normal[4] = {0, 0, 0, 0}, diffuse[4] = {1, 1, 1, 1},
          specular[4] = {0, 0, 0, 0};
    float tex[8][4] = {};
    // Where each element lands (null: unused). Fetching straight into place
    // spares copying a freshly written vector, which stalls the load.
    std::vector<float*> targets(layout.elements.size(), nullptr);
    for (size_t i = 0; i < layout.elements.size(); ++i) {
        const InputElement& e = layout.elements[i];
        switch (e.usage) {
        case D3DDECLUSAGE_POSITION:
        case D3DDECLUSAGE_POSITIONT:
            targets[i] = e.index == 0 ? pos : nullptr;
            break;
        case D3DDECLUSAGE_NORMAL:
            targets[i] = e.index == 0 ? normal : nullptr;
            break;
        case D3DDECLUSAGE_COLOR:
            targets[i] = e.index == 0 ? diffuse : e.index == 1 ? specular : nullptr;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            targets[i] = e.index < 8 ? tex[e.index] : nullptr;
            break;
        default:
            break;
        }
    }
    for (UINT vi = 0; vi < count; ++vi) {
        for (size_t i = 0; i < layout.elements.size(); ++i) {
            const InputElement& e = layout.elements[i];
            if (targets[i])
                FetchElement(e.type, streams[e.stream] + size_t(vi) * strides[e.stream] + e.offset,
                             targets[i]);
        }
        VertexOut& o = out[vi];
        float* attr = o.attr;
        std::fill(attr, attr + attrCount, 0.0f);
        if (layout.positionT) {
            std::memcpy(o.pos, pos, sizeof(pos));
            std::memcpy(attr + kAttrDiffuse, diffuse, 16);
            std::memcpy(attr + kAttrSpecular, specular, 16);
            attr[kAttrFog] = layout.hasSpecular ? specular[3] : 1.0f;
            for (int s = 0; s < cfg.stageCount; ++s) {
                int src = std::min(cfg.tex[s].source, 7);
                std::memcpy(attr + kAttrTex + 4 * s, tex[src], 16);
            }
            SanitizeAttributes(attr, attrCount);
            continue;
        }
        Transform4(pos, cfg.worldViewProj, o.pos);
        float eye[4] = {0, 0, 0, 1}, n[3] = {0, 0, 0};
        if (cfg.needCamera || cfg.lighting || cfg.fogVertex)
            Transform4(pos, cfg.worldView, eye);
        if (cfg.needCamera || cfg.lighting) {
            for (int j = 0; j < 3; ++j)
                n[j] = normal[0] * cfg.normal[0][j] + normal[1] * cfg.normal[1][j] +
                       normal[2] * cfg.normal[2][j];
            if (cfg.normalize)
                Normalize3(n);
        }
        if (cfg.lighting) {
            const float* md = Source(cfg.diffuseSource, matDiffuse, diffuse, layout.hasDiffuse, specular,
                                     layout.hasSpecular);
            const float* ma = Source(cfg.ambientSource, matAmbient, diffuse, layout.hasDiffuse, specular,
                                     layout.hasSpecular);
            const float* ms = Source(cfg.specularSource, matSpecular, diffuse, layout.hasDiffuse, specular,
                                     layout.hasSpecular);
            const float* me = Source(cfg.emissiveSource, matEmissive, diffuse, layout.hasDiffuse, specular,
                                     layout.hasSpecular);
            float amb[3] = {cfg.ambient[0], cfg.ambient[1], cfg.ambient[2]};
            float dif[3] = {0, 0, 0}, spe[3] = {0, 0, 0};
            float toEye[3] = {0, 0, -1};
            if (cfg.specular && cfg.localViewer) {
                toEye[0] = -eye[0];
                toEye[1] = -eye[1];
                toEye[2] = -eye[2];
                Normalize3(toEye);
            }
            for (const LightCompiled& L : cfg.lights) {
                float l[3], atten = 1.0f;
                if (L.type == D3DLIGHT_DIRECTIONAL) {
                    std::memcpy(l, L.direction, sizeof(l));
                } else {
                    l[0] = L.position[0] - eye[0];
                    l[1] = L.position[1] - eye[1];
                    l[2] = L.position[2] - eye[2];
                    float dist = std::sqrt(Dot3(l, l));
                    if (dist > L.range)
                        continue;
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
                    continue;
                for (int k = 0; k < 3; ++k)
                    amb[k] += atten * L.ambient[k];
                float ndotl = Dot3(n, l);
                if (ndotl <= 0.0f)
                    continue;
                for (int k = 0; k < 3; ++k)
                    dif[k] += atten * ndotl * L.diffuse[k];
                if (cfg.specular) {
                    float h[3] = {l[0] + toEye[0], l[1] + toEye[1], l[2] + toEye[2]};
                    Normalize3(h);
                    float ndoth = Dot3(n, h);
                    if (ndoth > 0.0f) {
                        float f =
                            atten * (cfg.material.Power > 0.0f ? std::pow(ndoth, cfg.material.Power) : 1.0f);
                        for (int k = 0; k < 3; ++k)
                            spe[k] += f * L.specular[k];
                    }
                }
            }
            // Lit colours are clamped to [0, 1] per vertex, before interpolation.
            for (int k = 0; k < 3; ++k) {
                attr[kAttrDiffuse + k] = std::clamp(me[k] + ma[k] * amb[k] + md[k] * dif[k], 0.0f, 1.0f);
                attr[kAttrSpecular + k] = std::clamp(ms[k] * spe[k], 0.0f, 1.0f);
            }
            attr[kAttrDiffuse + 3] = std::clamp(md[3], 0.0f, 1.0f);
            attr[kAttrSpecular + 3] = std::clamp(ms[3], 0.0f, 1.0f);
        } else {
            std::memcpy(attr + kAttrDiffuse, diffuse, 16);
            std::memcpy(attr + kAttrSpecular, specular, 16);
        }
        float fog = 1.0f;
        if (cfg.fogVertex) {
            float d = cfg.rangeFog ? std::sqrt(Dot3(eye, eye)) : std::fabs(eye[2]);
            if (cfg.fogMode == D3DFOG_LINEAR)
                fog = cfg.fogEnd != cfg.fogStart ? (cfg.fogEnd - d) / (cfg.fogEnd - cfg.fogStart) : 1.0f;
            else if (cfg.fogMode == D3DFOG_EXP)
                fog = std::exp(-d * cfg.fogDensity);
            else if (cfg.fogMode == D3DFOG_EXP2)
                fog = std::exp(-(d * cfg.fogDensity) * (d * cfg.fogDensity));
            fog = std::clamp(fog, 0.0f, 1.0f);
        }
        attr[kAttrFog] = fog;
        attr[kAttrEyeDepth] = eye[2];
        for (int s = 0; s < cfg.stageCount; ++s) {
            const TexGen& g = cfg.tex[s];
            // Untransformed coordinates are made in place: copying a vector
            // just written piecewise stalls the load.
            float* dst = attr + kAttrTex + 4 * s;
            float transformIn[4];
            float* in = g.transform ? transformIn : dst;
            std::fill(in, in + 4, 0.0f);
            switch (g.mode) {
            case D3DTSS_TCI_CAMERASPACENORMAL:
                std::memcpy(in, n, sizeof(n));
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
        SanitizeAttributes(attr, attrCount);
    }
}

} // namespace d3d9sw
