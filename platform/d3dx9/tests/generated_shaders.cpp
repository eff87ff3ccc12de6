#include "generated_shaders.h"

#include <cstdarg>
#include <cstdio>

namespace {

const int kEffectCounts[12] = {0, 2, 2, 4, 0, 0, 2, 2, 0, 2, 4, 6};

class Writer
{
  public:
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char buffer[256];
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

} // namespace

std::string GeneratedShaderWrite(const GeneratedShaderKey& k, int profile, int budget, bool wfog,
                                 GeneratedShaderLayout* layout)
{
    GeneratedShaderLayout l;
    const int D = k.directional, P = k.point, S = k.spot, T = k.texSets, W = k.weights, E = k.effect;
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
        l.materialColour = counter++;
    }
    if (k.fog && !wfog) {
        l.fog = counter++;
    }
    if (k.morph) {
        l.morph = counter++;
    }
    if (W) {
        l.bones = counter;
    }
    int effectCount = E < 12 ? kEffectCounts[E] : 0;
    if (effectCount) {
        if (W == 0) {
            l.effect = counter;
            counter += effectCount;
        } else {
            l.effect = budget - effectCount;
        }
    }
    if (layout) {
        *layout = l;
    }
    const bool effectNormal = E == 1 || E == 2 || E == 3 || E == 8 || E == 9 || E == 10 || E == 11;
    const bool normalsUsed = k.normals && (D || P || S || effectNormal);
    const bool bump = normalsUsed && (E == 8 || E == 9);

    Writer w;
    w.Line("%s\n", profile == 10 ? "vs_1_1" : profile == 20 ? "vs_2_0" : "vs_2_x");
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
                w.Line("expp r0.w, r0.w\n");
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
    const char* n = nrm ? nrm : "r5";
    nrm = n;
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

std::vector<GeneratedShaderKey> GeneratedShaderKeys()
{
    std::vector<GeneratedShaderKey> keys;
    keys.push_back({});
    GeneratedShaderKey oneLight;
    oneLight.directional = 1;
    oneLight.normals = true;
    oneLight.texSets = 1;
    keys.push_back(oneLight);
    // Lights of every kind and group size, with material colour, prelit and fog variants.
    for (int i = 0; i < 6; ++i) {
        GeneratedShaderKey k;
        k.directional = (i * 3) % 6;
        k.point = i == 1 ? 5 : i;
        k.spot = (i + 2) % 6;
        k.normals = true;
        k.normalise = (i & 1) != 0;
        k.materialColour = (i & 2) != 0;
        k.prelit = (i % 3) == 0;
        k.fog = i % 4;
        k.texSets = i % 3;
        keys.push_back(k);
    }
    // Skinning with 1-4 weights, with and without normals, with morphing.
    for (int weights = 1; weights <= 4; ++weights) {
        for (int normals = 0; normals < 2; ++normals) {
            GeneratedShaderKey k;
            k.weights = weights;
            k.normals = normals != 0;
            k.directional = 1;
            k.point = normals ? 1 : 0;
            k.morph = weights == 2;
            k.fog = weights % 4;
            k.texSets = 1;
            keys.push_back(k);
        }
    }
    GeneratedShaderKey morph;
    morph.morph = true;
    morph.normals = true;
    morph.directional = 2;
    keys.push_back(morph);
    // Every texture effect, with and without lights; bump mode with each light kind.
    for (int effect = 1; effect <= 11; ++effect) {
        GeneratedShaderKey k;
        k.effect = effect;
        k.normals = true;
        k.texSets = effect == 4 || effect == 7 ? 2 : 1;
        k.directional = effect % 2;
        k.weights = effect == 3 ? 2 : effect == 10 ? 1 : 0;
        keys.push_back(k);
    }
    for (int light = 0; light < 4; ++light) {
        for (int effect = 8; effect <= 9; ++effect) {
            GeneratedShaderKey k;
            k.effect = effect;
            k.normals = true;
            k.normalise = true;
            k.texSets = 2;
            k.prelit = light == 3;
            k.directional = light == 0;
            k.point = light == 1;
            k.spot = light == 2;
            k.weights = light == 3 ? 1 : light == 2 ? 3 : 0;
            keys.push_back(k);
        }
    }
    return keys;
}
