// The vertex-shader generator (text in the shape of the renderer's constant
// map) and the cache of assembled shaders, sorted by descriptor.
#include "graphics/d3d9/renderer/vertexshader.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "platform/d3dx9/d3dx9shader.h"

namespace {

constexpr uint32_t kCacheSize = 256;
constexpr uint32_t kMaxBudget = 256;
constexpr uint32_t kNormalisedDeclTypes =
    D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N;

struct CacheEntry
{
    VertexShaderDescriptor descriptor;
    uint32_t stamp;
    IDirect3DVertexShader9* shader;
    VertexShaderConstantLayout layout;
};

struct Flags
{
    bool morph, prelit, normals, normalise, materialColour;
    int fog;
};

uint32_t gEffectConstants[64];
CacheEntry gCache[kCacheSize];
uint32_t gCount;
uint32_t gLastHit;
int gProfile;
uint32_t gBudget;

// The text grows as needed: fifteen lights of each kind with every feature
// write several kilobytes.
class Writer
{
  public:
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char buffer[128];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        text += buffer;
    }
    std::string text;
};

char Comp(int i)
{
    return "xyzw"[i];
}
const char* Mask(int n)
{
    static const char* masks[] = {"", "x", "xy", "xyz", "xyzw"};
    return masks[n];
}
const char* Repl(int i)
{
    static const char* r[] = {"xxx", "yyy", "zzz", "www"};
    return r[i];
}

void CacheEmpty()
{
    gCount = 0;
    gCache[0].descriptor = 0xFFFFFFFFu;
    gCache[0].stamp = 0xFFFFFFFFu;
    gCache[0].shader = nullptr;
    gCache[0].layout = {};
    gLastHit = 0;
}

bool DeviceHasWFog()
{
    const D3DCAPS9* caps = D3D9GetCaps();
    return caps && (caps->RasterCaps & D3DPRASTERCAPS_WFOG) != 0;
}

uint32_t Stamp()
{
    return EngineGetInstance()->renderFrame;
}

// Sorted position of a descriptor among the first `count` entries.
uint32_t LowerBound(VertexShaderDescriptor descriptor, uint32_t count)
{
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        const uint32_t mid = (low + high) / 2;
        if (gCache[mid].descriptor < descriptor) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

} // namespace

uint32_t VertexShaderEffectConstants(uint32_t effect)
{
    return effect < 64 ? gEffectConstants[effect] : 0;
}

uint32_t VertexShaderCost(VertexShaderDescriptor d)
{
    const uint32_t P = VertexShaderPoint(d);
    const uint32_t S = VertexShaderSpot(d);
    return 5 + 2 * VertexShaderDirectional(d) + 2 * P + (P + 3) / 4 + 4 * S + (S + 3) / 4 +
           ((d & kVertexShaderMaterialColour) ? 1 : 0) + (VertexShaderFog(d) ? 1 : 0) +
           VertexShaderEffectConstants(VertexShaderEffect(d)) + ((d & kVertexShaderMorph) ? 1 : 0);
}

bool VertexShaderDropLight(VertexShaderDescriptor* d)
{
    if (VertexShaderSpot(*d)) {
        *d -= 1u << 8;
    } else if (VertexShaderPoint(*d)) {
        *d -= 1u << 4;
    } else if (VertexShaderDirectional(*d)) {
        *d -= 1u;
    } else if (VertexShaderFog(*d)) {
        *d &= ~(3u << 24);
    } else {
        return false;
    }
    return true;
}

std::string VertexShaderText(VertexShaderDescriptor d, int profile, uint32_t budgetRegisters, bool wfog,
                             VertexShaderConstantLayout* layout)
{
    VertexShaderConstantLayout l;
    const int D = int(VertexShaderDirectional(d)), P = int(VertexShaderPoint(d)),
              S = int(VertexShaderSpot(d));
    const int T = int(VertexShaderTexSets(d)), W = int(VertexShaderWeights(d)),
              E = int(VertexShaderEffect(d));
    const int budget = int(budgetRegisters);
    const Flags k = {(d & kVertexShaderMorph) != 0,          (d & kVertexShaderPrelit) != 0,
                     (d & kVertexShaderNormals) != 0,        (d & kVertexShaderNormalise) != 0,
                     (d & kVertexShaderMaterialColour) != 0, int(VertexShaderFog(d))};
    int counter = 5 + 2 * D;
    int pointGroup0 = counter;
    if (P) {
        counter += 2 * P + (P + 3) / 4;
    }
    int spotGroup0 = counter;
    if (S) {
        counter += 4 * S + (S + 3) / 4;
    }
    if (k.materialColour) {
        l.materialColour = uint8_t(counter++);
    }
    if (k.fog && !wfog) {
        l.fog = uint8_t(counter++);
    }
    if (k.morph) {
        l.morph = uint8_t(counter++);
    }
    if (W) {
        l.bones = uint8_t(counter);
    }
    const int effectCount = int(VertexShaderEffectConstants(uint32_t(E)));
    if (effectCount) {
        if (W == 0) {
            l.effect = uint8_t(counter);
            counter += effectCount;
        } else {
            l.effect = uint8_t(budget - effectCount);
        }
    }
    if (layout) {
        *layout = l;
    }
    const bool effectNormal = E == 1 || E == 2 || E == 3 || E == 8 || E == 9 || E == 10 || E == 11;
    const bool normalsUsed = k.normals && (D || P || S || effectNormal);
    const bool bump = normalsUsed && (E == 8 || E == 9);
    if (!normalsUsed && (E == 1 || E == 2 || E == 3 || E == 10 || E == 11)) {
        return {}; // the effect reads a normal the vertices do not carry: no shader
    }

    const char* version = profile == kVertexShaderProfile11   ? "vs_1_1"
                          : profile == kVertexShaderProfile20 ? "vs_2_0"
                          : profile == kVertexShaderProfile2x ? "vs_2_x"
                                                              : nullptr;
    if (!version) {
        return {};
    }
    Writer w;
    w.Line("%s\n", version);
    w.Line("dcl_position0 v0\n");
    if (W) {
        if (W != 1) {
            w.Line("dcl_blendweight0 v1\n");
        }
        w.Line("dcl_blendindices0 v2\n");
    }
    if (k.prelit) {
        w.Line("dcl_color0 v4\n");
    }
    if (normalsUsed) {
        w.Line("dcl_normal0 v3\n");
    }
    if (bump) {
        w.Line("dcl_tangent0 v13\n");
    }
    if (E == 1 || E == 2 || E == 3 || E == 5 || E == 6 || E == 10 || E == 11) {
        if (T > 0) {
            w.Line("dcl_texcoord0 v5\n");
        }
    } else if (E == 4 || E == 7) {
        if (T > 1) {
            w.Line("dcl_texcoord1 v6\n");
        }
    } else {
        for (int u = 0; u < T; ++u) {
            w.Line("dcl_texcoord%u v%u\n", u, 5 + u);
        }
    }
    if (k.morph) {
        w.Line("dcl_position1 v14\n");
        if (normalsUsed) {
            w.Line("dcl_normal1 v15\n");
        }
    }

    const char* pos = "v0";
    const char* nrm = normalsUsed ? "v3" : nullptr;
    if (!k.morph && W == 0) {
        w.Line("m4x4 oPos.xyzw, v0, c[0]\n");
    } else {
        if (k.morph && W == 0) {
            w.Line("mul r3, v0, c[%d].x\n", l.morph);
            w.Line("mad r3, v14, c[%d].y, r3\n", l.morph);
            if (normalsUsed) {
                w.Line("mul r5, v3, c[%d].x\n", l.morph);
                w.Line("mad r5, v15, c[%d].y, r5\n", l.morph);
            }
            pos = "r3";
            nrm = normalsUsed ? "r5" : nullptr;
        }
        if (W) {
            if (k.morph) {
                w.Line("mul r2, v0, c[%d].x\n", l.morph);
                w.Line("mad r2, v14, c[%d].y, r2\n", l.morph);
                pos = "r2";
                if (normalsUsed) {
                    w.Line("mul r4, v3, c[%d].x\n", l.morph);
                    w.Line("mad r4, v15, c[%d].y, r4\n", l.morph);
                    nrm = "r4";
                }
            }
            const int b = l.bones;
            if (W == 1) {
                w.Line(profile == 10 ? "mov a0.x, v2.x\n" : "mova a0.x, v2.x\n");
                w.Line("m4x3 r3.xyz, %s, c[a0.x + %d]\n", pos, b);
                if (normalsUsed) {
                    w.Line("m3x3 r5.xyz, %s, c[a0.x + %d]\n", nrm, b);
                }
            } else if (normalsUsed) {
                if (profile != 10) {
                    w.Line("mova a0.%s, v2\n", Mask(W));
                }
                for (int i = 0; i < W; ++i) {
                    char a = profile == 10 ? 'x' : Comp(i);
                    if (profile == 10) {
                        w.Line("mov a0.x, v2.%c\n", Comp(i));
                    }
                    for (int r = 0; r < 3; ++r) {
                        if (i == 0) {
                            w.Line("mul r%d, v1.%c, c[a0.%c + %d]\n", 8 + r, Comp(i), a, b + r);
                        } else {
                            w.Line("mad r%d, v1.%c, c[a0.%c + %d], r%d\n", 8 + r, Comp(i), a, b + r, 8 + r);
                        }
                    }
                }
                w.Line("m4x3 r3.xyz, %s, r8\n", pos);
                w.Line("m3x3 r5.xyz, %s, r8\n", nrm);
            } else {
                if (profile != 10) {
                    w.Line("mova a0.%s, v2\n", Mask(W));
                }
                for (int i = 0; i < W; ++i) {
                    char a = profile == 10 ? 'x' : Comp(i);
                    if (profile == 10) {
                        w.Line("mov a0.x, v2.%c\n", Comp(i));
                    }
                    w.Line("m4x3 r5.xyz, %s, c[a0.%c + %d]\n", pos, a, b);
                    if (i == 0) {
                        w.Line("mul r3.xyz, v1.%c, r5.xyz\n", Comp(i));
                    } else {
                        w.Line("mad r3.xyz, v1.%c, r5.xyz, r3.xyz\n", Comp(i));
                    }
                }
            }
        }
        pos = "r3";
        nrm = normalsUsed ? "r5" : nullptr;
        w.Line("mov r3.w, v0.w\n");
        w.Line("m4x4 oPos.xyzw, r3, c[0]\n");
    }

    if (k.fog) {
        if (wfog) {
            w.Line("dp4 oFog, %s, c[3]\n", pos);
        } else {
            w.Line("dp4 r0.w, %s, c[3]\n", pos);
            const int f = l.fog;
            if (k.fog == 1) {
                w.Line("mad oFog, r0.w, c[%d].x, c[%d].y\n", f, f);
            } else {
                w.Line("mul r0.w, r0.w, c[%d].x\n", f);
                if (k.fog == 3) {
                    w.Line("mul r0.w, r0.w, r0.w\n");
                }
                w.Line("exp r0.w, r0.w\n");
                w.Line("rcp oFog, r0.w\n");
            }
        }
    }

    if (normalsUsed && k.normalise) {
        w.Line("dp3 r5.w, %s, %s\n", nrm, nrm);
        w.Line("rsq r5.w, r5.w\n");
        w.Line("mul r5.xyz, %s, r5.w\n", nrm);
        nrm = "r5";
    }

    const int L = D + P + S;
    if (!bump) {
        if (!normalsUsed || L == 0) {
            if (!k.materialColour) {
                w.Line(k.prelit ? "add oD0, v4, c[4]\n" : "mov oD0, c[4]\n");
            } else {
                w.Line(k.prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
                w.Line("mul oD0, r11, c[%d]\n", l.materialColour);
            }
        } else {
            w.Line(k.prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
            int done = 0;
            auto accumulate = [&](int colourReg, int i) {
                ++done;
                if (done == L && !k.materialColour) {
                    w.Line("mad oD0, c[%d], r6.%c, r11\n", colourReg, Comp(i));
                } else {
                    w.Line("mad r11.xyz, c[%d].xyz, r6.%s, r11.xyz\n", colourReg, Repl(i));
                }
            };
            for (int g = 0; g < D; g += 4) {
                int n = D - g < 4 ? D - g : 4;
                for (int i = 0; i < n; ++i) {
                    w.Line("dp3 r6.%c, c[%d], %s\n", Comp(i), 5 + 2 * (g + i), nrm);
                }
                w.Line("max r6.%s, c[5].w, -r6.%s\n", Mask(n), Mask(n));
                for (int i = 0; i < n; ++i) {
                    accumulate(6 + 2 * (g + i), i);
                }
            }
            for (int g = 0; g < P; g += 4) {
                int n = P - g < 4 ? P - g : 4;
                int gr = pointGroup0 + (g / 4) * 9;
                for (int i = 0; i < n; ++i) {
                    w.Line("add r7.xyz, -c[%d].xyz, %s.xyz\n", gr + 1 + 2 * i, pos);
                    w.Line("dp3 r1.%c, r7, r7\n", Comp(i));
                    w.Line("rsq r1.%c, r1.%c\n", Comp(i), Comp(i));
                    w.Line("dp3 r6.%c, %s, r7\n", Comp(i), nrm);
                }
                const char* m = Mask(n);
                w.Line("max r8.%s, c[%d].%s, r1.%s\n", m, gr, m, m);
                w.Line("max r6.%s, c[%d].wwww, -r6.%s\n", m, gr + 1, m);
                w.Line("add r8.%s, -c[%d].%s, r8.%s\n", m, gr, m, m);
                w.Line("mul r6.%s, r6.%s, r8.%s\n", m, m, m);
                for (int i = 0; i < n; ++i) {
                    accumulate(gr + 2 + 2 * i, i);
                }
            }
            for (int g = 0; g < S; g += 4) {
                int n = S - g < 4 ? S - g : 4;
                int gr = spotGroup0 + (g / 4) * 17;
                for (int i = 0; i < n; ++i) {
                    int base = gr + 1 + 4 * i;
                    w.Line("add r7.xyz, -c[%d].xyz, %s.xyz\n", base, pos);
                    w.Line("dp3 r1.%c, r7, r7\n", Comp(i));
                    w.Line("rsq r1.%c, r1.%c\n", Comp(i), Comp(i));
                    w.Line("dp3 r6.%c, %s, r7\n", Comp(i), nrm);
                    w.Line("mul r7.xyz, r7.xyz, r1.%c\n", Comp(i));
                    w.Line("dp3 r7.w, r7, c[%d]\n", base + 1);
                    w.Line("mad r9.%c, r7.w, c[%d].x, c[%d].y\n", Comp(i), base + 2, base + 2);
                }
                const char* m = Mask(n);
                w.Line("max r8.%s, c[%d].%s, r1.%s\n", m, gr, m, m);
                w.Line("max r9.%s, c[%d].wwww, r9.%s\n", m, gr + 1, m);
                w.Line("max r6.%s, c[%d].wwww, -r6.%s\n", m, gr + 1, m);
                w.Line("add r8.%s, -c[%d].%s, r8.%s\n", m, gr, m, m);
                w.Line("mul r6.%s, r6.%s, r8.%s\n", m, m, m);
                w.Line("mul r6.%s, r6.%s, r9.%s\n", m, m, m);
                for (int i = 0; i < n; ++i) {
                    accumulate(gr + 1 + 4 * i + 3, i);
                }
            }
            if (k.materialColour) {
                w.Line("mul oD0, r11, c[%d]\n", l.materialColour);
            }
        }
    } else {
        if (W == 0) {
            w.Line("mov r4, v13\n");
        } else if (W == 1) {
            w.Line("m3x3 r4.xyz, v13, c[a0.x + %d]\n", l.bones);
        } else {
            w.Line("m3x3 r4.xyz, v13, r8\n");
        }
        if (W && k.normalise) {
            w.Line("dp3 r4.w, r4, r4\n");
            w.Line("rsq r4.w, r4.w\n");
            w.Line("mul r4.xyz, r4, r4.w\n");
        }
        if (W) {
            w.Line("slt r4.w, v13.w, v13.w\n");
        }
        if (k.morph || W) {
            w.Line("mov %s.w, v3.w\n", nrm);
        }
        w.Line("mul r2, r4.zxyw, %s.yzxw\n", nrm);
        w.Line("mad r2, r4.yzxw, %s.zxyw, -r2\n", nrm);
        if (k.normalise) {
            w.Line("dp3 r2.w, r2, r2\n");
            w.Line("rsq r2.w, r2.w\n");
            w.Line("mul r2.xyz, r2, r2.w\n");
        }
        if (k.prelit) {
            w.Line("mov oD0, v4\n");
        }
        char scale = 'w';
        bool lit = true;
        if (D > 0) {
            w.Line("dp3 r1.x, c[5], r4\n");
            w.Line("dp3 r1.y, c[5], r2\n");
            w.Line("dp3 r1.z, c[5], %s\n", nrm);
            w.Line("dp3 r1.w, r1, r1\n");
            w.Line("rsq r1.w, r1.w\n");
            w.Line("mul r1.xyz, r1, r1.w\n");
        } else if (P > 0 || S > 0) {
            scale = 'z';
            w.Line("add r7.xyz, c[1 + 5].xyz, -%s.xyz\n", pos);
            w.Line("dp3 r7.w, r7, r7\n");
            w.Line("rsq r7.w, r7.w\n");
            w.Line("mul r7.xyz, r7, r7.w\n");
            if (P == 0) {
                w.Line("dp3 r9.w, r7, c[2 + 5]\n");
                w.Line("mad r9.w, r9.w, c[3 + 5].x, c[3 + 5].y\n");
            }
            w.Line("rcp r7.w, r7.w\n");
            w.Line("mad r7.w, r7.w, c[5].x, c[5].y\n");
            w.Line("max r7.w, r7.w, c[5].w\n");
            if (P == 0) {
                w.Line("max r9.w, r9.w, c[5].w\n");
            }
            w.Line("dp3 r1.x, r7, r4\n");
            w.Line("dp3 r1.y, r7, r2\n");
            w.Line("dp3 r1.z, r7, %s\n", nrm);
            w.Line("dp3 r1.w, r1, r1\n");
            w.Line("rsq r1.w, r1.w\n");
            w.Line("mul r1.xyz, r1, r1.w\n");
            w.Line("mul r1.xyz, r1, r7.w\n");
            if (P == 0) {
                w.Line("mul r1.xyz, r1, r9.w\n");
            }
        } else {
            lit = false;
        }
        if (E == 8) {
            if (lit) {
                w.Line("mad oT2.xyz, r1, c[5].%c, c[5].%c\n", scale, scale);
            }
        } else {
            if (lit) {
                w.Line("mad %s.xyz, r1, c[5].%c, c[5].%c\n", k.prelit ? "oD1" : "oD0", scale, scale);
            }
            const int e = l.effect;
            w.Line("dp3 oT2.x, c[%d], r4\n", e);
            w.Line("dp3 oT2.y, c[%d], r2\n", e);
            w.Line("dp3 oT2.z, c[%d], %s\n", e, nrm);
            w.Line("dp3 oT3.x, c[%d], r4\n", e + 1);
            w.Line("dp3 oT3.y, c[%d], r2\n", e + 1);
            w.Line("dp3 oT3.z, c[%d], %s\n", e + 1, nrm);
        }
        w.Line("mov oT0.xy, v%d\n", T + 4);
        w.Line("mov oT1.xy, v5\n");
    }

    const int e = l.effect;
    auto effect1 = [&](int reg) {
        w.Line("dp3 r9.x, %s, c[%d]\n", nrm, reg);
        w.Line("dp3 r9.y, %s, c[%d]\n", nrm, reg + 1);
        w.Line("mov oT0.xy, v5\n");
        w.Line("add oT1.xy, r9.xy, v5.xy\n");
    };
    auto reflection = [&](int eye) {
        w.Line("add r7.xyz, c[%d].xyz, -%s.xyz\n", eye, pos);
        w.Line("dp3 r7.w, r7, r7\n");
        w.Line("rsq r7.w, r7.w\n");
        w.Line("mul r7.xyz, r7, r7.w\n");
        w.Line("dp3 r7.w, r7, %s\n", nrm);
        w.Line("add r7.w, r7.w, r7.w\n");
        w.Line("mad r7, r7.w, %s, -r7\n", nrm);
    };
    switch (E) {
    case 1:
        effect1(e);
        break;
    case 2:
        if (T == 0) {
            w.Line("dp4 oT0.x, %s, c[%d]\n", nrm, e);
            w.Line("dp4 oT0.y, %s, c[%d]\n", nrm, e + 1);
        } else {
            w.Line("mov oT0.xy, v5\n");
            w.Line("dp4 oT1.x, %s, c[%d]\n", nrm, e);
            w.Line("dp4 oT1.y, %s, c[%d]\n", nrm, e + 1);
        }
        break;
    case 3:
        w.Line("dp4 oT2.x, %s, c[%d]\n", nrm, e + 2);
        w.Line("dp4 oT2.y, %s, c[%d]\n", nrm, e + 3);
        effect1(e);
        break;
    case 4:
        w.Line("mov oT0.xy, v6\n");
        break;
    case 5:
        w.Line("mov oT0.xy, v5\n");
        w.Line("mov oT1.xy, v5\n");
        break;
    case 6:
        w.Line("dp4 oT0.x, v5, c[%d]\n", e);
        w.Line("dp4 oT0.y, v5, c[%d]\n", e + 1);
        break;
    case 7:
        w.Line("dp4 oT0.x, v6, c[%d]\n", e);
        w.Line("dp4 oT0.y, v6, c[%d]\n", e + 1);
        break;
    case 8:
    case 9:
        break;
    case 10:
        reflection(e);
        if (T == 0) {
            for (int i = 0; i < 3; ++i) {
                w.Line("dp3 oT0.%c, r7, c[%d]\n", Comp(i), e + 1 + i);
            }
        } else {
            w.Line("mov oT0.xy, v5\n");
            for (int i = 0; i < 3; ++i) {
                w.Line("dp3 oT1.%c, r7, c[%d]\n", Comp(i), e + 1 + i);
            }
        }
        break;
    case 11:
        effect1(e);
        reflection(e + 2);
        for (int i = 0; i < 3; ++i) {
            w.Line("dp3 oT2.%c, r7, c[%d]\n", Comp(i), e + 3 + i);
        }
        break;
    default:
        for (int u = 0; u < T; ++u) {
            w.Line("mov oT%u.xy, v%u\n", u, 5 + u);
        }
        break;
    }
    return w.text;
}

IDirect3DVertexShader9* VertexShaderWrite(VertexShaderDescriptor descriptor,
                                          VertexShaderConstantLayout* layout)
{
    const std::string text = VertexShaderText(descriptor, gProfile, gBudget, DeviceHasWFog(), layout);
    if (text.empty()) {
        return nullptr;
    }
    ID3DXBuffer* tokens = nullptr;
    if (D3DXAssembleShader(text.data(), uint32_t(text.size()), nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION,
                           &tokens, nullptr) != D3DX_OK) {
        return nullptr;
    }
    IDirect3DVertexShader9* shader = nullptr;
    if (!D3D9CreateVertexShader(static_cast<const DWORD*>(tokens->GetBufferPointer()), &shader)) {
        shader = nullptr;
    }
    tokens->Release();
    return shader;
}

IDirect3DVertexShader9* VertexShaderFind(VertexShaderDescriptor descriptor,
                                         VertexShaderConstantLayout* layout)
{
    CacheEntry* hit = nullptr;
    if (gCount && gCache[gLastHit].descriptor == descriptor) {
        hit = &gCache[gLastHit];
    } else {
        const uint32_t at = LowerBound(descriptor, gCount);
        if (at < gCount && gCache[at].descriptor == descriptor) {
            gLastHit = at;
            hit = &gCache[at];
        }
    }
    if (hit) {
        hit->stamp = Stamp();
        if (layout) {
            *layout = hit->layout;
        }
        return hit->shader;
    }

    VertexShaderConstantLayout written;
    IDirect3DVertexShader9* shader = VertexShaderWrite(descriptor, &written);
    uint32_t at;
    if (gCount < kCacheSize) {
        at = LowerBound(descriptor, gCount);
        std::copy_backward(gCache + at, gCache + gCount, gCache + gCount + 1);
        ++gCount;
    } else {
        // Replace the least recently used entry, then move the new entry to
        // its sorted place so the binary search keeps finding every entry.
        uint32_t oldest = 0;
        for (uint32_t i = 1; i < kCacheSize; ++i) {
            if (gCache[i].stamp < gCache[oldest].stamp) {
                oldest = i;
            }
        }
        if (gCache[oldest].shader) {
            D3D9ReleaseObject(gCache[oldest].shader);
        }
        std::copy(gCache + oldest + 1, gCache + kCacheSize, gCache + oldest);
        at = LowerBound(descriptor, kCacheSize - 1);
        std::copy_backward(gCache + at, gCache + kCacheSize - 1, gCache + kCacheSize);
    }
    gCache[at] = {descriptor, Stamp(), shader, written};
    gLastHit = at;
    if (layout) {
        *layout = written;
    }
    return shader;
}

void VertexShaderCacheReset()
{
    CacheEmpty();
    std::fill(std::begin(gEffectConstants), std::end(gEffectConstants), 0u);
    gEffectConstants[1] = 2;
    gEffectConstants[2] = 2;
    gEffectConstants[3] = 4;
    gEffectConstants[6] = 2;
    gEffectConstants[7] = 2;
    gEffectConstants[9] = 2;
    gEffectConstants[10] = 4;
    gEffectConstants[11] = 6;

    const D3DCAPS9* caps = D3D9GetCaps();
    const uint32_t version = caps ? (caps->VertexShaderVersion & 0xFFFF) : 0;
    if (version >= 0x300) {
        gProfile = kVertexShaderProfile2x;
    } else if (version >= 0x200) {
        gProfile =
            caps->VS20Caps.DynamicFlowControlDepth >= 1 ? kVertexShaderProfile2x : kVertexShaderProfile20;
    } else if (version >= 0x100) {
        gProfile = kVertexShaderProfile11;
        VertexDeclTypesSet(VertexDeclTypesGet() & ~kNormalisedDeclTypes);
    } else {
        gProfile = kVertexShaderProfileNone;
        return;
    }
    gBudget = caps->MaxVertexShaderConst < kMaxBudget ? caps->MaxVertexShaderConst : kMaxBudget;
}

void VertexShaderCacheFlush()
{
    for (uint32_t i = 0; i < gCount; ++i) {
        if (gCache[i].shader) {
            D3D9ReleaseObject(gCache[i].shader);
        }
    }
    CacheEmpty();
}

int VertexShaderProfile()
{
    return gProfile;
}
uint32_t VertexShaderBudget()
{
    return gBudget;
}
uint32_t VertexShaderCacheCount()
{
    return gCount;
}
