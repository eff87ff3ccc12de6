// The vertex-shader text: a descriptor decoded once, its constant registers
// laid out, then one emitter per part of the shader, in the order the
// shader runs: declarations, position (morph, skinning), fog, normal
// renormalisation, colour (vertex lighting, or the tangent space of a bump
// map), texture coordinates.
#include "graphics/d3d9/renderer/vertexshadertext.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

namespace {

/// Which texture-coordinate inputs an effect declares.
enum class TexInput : uint8_t
{
    AllSets, ///< every set of the vertices
    Set0,    ///< set 0 only, when there is one
    Set1,    ///< set 1 only, when there are two
};

struct EffectInfo
{
    uint8_t constants; ///< registers of the effect's constants
    bool readsNormal;  ///< the shader needs the normal for the effect, lit or not
    bool needsNormal;  ///< without normals the effect cannot be written at all
    bool tangentSpace; ///< the bump map's tangent-space form (with normals)
    TexInput input;
};

constexpr EffectInfo kEffects[] = {
    /* None */ {0, false, false, false, TexInput::AllSets},
    /* BumpMap */ {2, true, true, false, TexInput::Set0},
    /* EnvMap */ {2, true, true, false, TexInput::Set0},
    /* BumpEnvMap */ {4, true, true, false, TexInput::Set0},
    /* Dual */ {0, false, false, false, TexInput::Set1},
    /* Set0Twice */ {0, false, false, false, TexInput::Set0},
    /* UvTransform */ {2, false, false, false, TexInput::Set0},
    /* DualUvTransform */ {2, false, false, false, TexInput::Set1},
    /* TangentBump */ {0, true, false, true, TexInput::AllSets},
    /* TangentBumpEnv */ {2, true, false, true, TexInput::AllSets},
    /* CubeEnvMap */ {4, true, true, false, TexInput::Set0},
    /* BumpCubeEnvMap */ {6, true, true, false, TexInput::Set0},
};
static_assert(std::size(kEffects) == kVertexShaderTexEffectCount, "one entry per texture effect");

/// Effects above the last named one write what no effect writes.
const EffectInfo& Info(uint32_t effect)
{
    return effect < kVertexShaderTexEffectCount ? kEffects[effect] : kEffects[kVertexShaderTexEffectNone];
}

/// The descriptor's fields and what follows from them.
struct Shader
{
    int directional, point, spot, texSets, weights, fog;
    uint32_t effect;
    EffectInfo info;
    bool morph, prelit, normalise, materialColour;
    bool normals; ///< normals declared and used (something lights or the effect reads them)
    bool bump;    ///< the effect's tangent-space form
    int profile;
    bool wFog;
    int pointGroups; ///< register of the first point-light group
    int spotGroups;  ///< register of the first spot-light group
};

/// Registers of a point-light group (1/radius register, then position and colour per light) and of a
/// spot-light group (1/radius register, then position, direction, cone and colour per light).
constexpr int kPointGroupRegisters = 1 + 2 * 4;
constexpr int kSpotGroupRegisters = 1 + 4 * 4;
/// The first directional light's direction register; its w is the zero of the clamps.
constexpr int kFirstLight = 5;

char Component(int i)
{
    return "xyzw"[i];
}
const char* Mask(int n)
{
    static const char* masks[] = {"", "x", "xy", "xyz", "xyzw"};
    return masks[n];
}
const char* Replicate(int i)
{
    static const char* replicated[] = {"xxx", "yyy", "zzz", "www"};
    return replicated[i];
}

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

Shader Decode(VertexShaderDescriptor d, int profile, bool wFog)
{
    Shader s{};
    s.directional = int(VertexShaderDirectional(d));
    s.point = int(VertexShaderPoint(d));
    s.spot = int(VertexShaderSpot(d));
    s.texSets = int(VertexShaderTexSets(d));
    s.weights = int(VertexShaderWeights(d));
    s.fog = int(VertexShaderFog(d));
    s.effect = VertexShaderEffect(d);
    s.info = Info(s.effect);
    s.morph = d & kVertexShaderMorph;
    s.prelit = d & kVertexShaderPrelit;
    s.normalise = d & kVertexShaderNormalise;
    s.materialColour = d & kVertexShaderMaterialColour;
    s.normals = (d & kVertexShaderNormals) && (s.directional || s.point || s.spot || s.info.readsNormal);
    s.bump = s.normals && s.info.tangentSpace;
    s.profile = profile;
    s.wFog = wFog;
    return s;
}

/// The light block from c5, then the registers the caller uploads, in
/// their fixed order; a skinned shader's effect constants sit at the top of
/// the budget, above the bone palette.
VertexShaderConstantLayout LayOutConstants(Shader* s, int budget)
{
    VertexShaderConstantLayout layout;
    int next = kFirstLight + 2 * s->directional;
    s->pointGroups = next;
    if (s->point) {
        next += 2 * s->point + (s->point + 3) / 4;
    }
    s->spotGroups = next;
    if (s->spot) {
        next += 4 * s->spot + (s->spot + 3) / 4;
    }
    if (s->materialColour) {
        layout.materialColour = uint8_t(next++);
    }
    if (s->fog && !s->wFog) {
        layout.fog = uint8_t(next++);
    }
    if (s->morph) {
        layout.morph = uint8_t(next++);
    }
    if (s->weights) {
        layout.bones = uint8_t(next);
    }
    if (s->info.constants) {
        layout.effect = uint8_t(s->weights == 0 ? next : budget - s->info.constants);
    }
    return layout;
}

/// The shader's state while its body is written: the registers holding the
/// current position and normal (null without normals).
struct Body
{
    Writer& w;
    const Shader& s;
    const VertexShaderConstantLayout& layout;
    const char* position;
    const char* normal;
};

void EmitDeclarations(Writer& w, const Shader& s)
{
    w.Line("dcl_position0 v0\n");
    if (s.weights) {
        if (s.weights != 1) {
            w.Line("dcl_blendweight0 v1\n");
        }
        w.Line("dcl_blendindices0 v2\n");
    }
    if (s.prelit) {
        w.Line("dcl_color0 v4\n");
    }
    if (s.normals) {
        w.Line("dcl_normal0 v3\n");
    }
    if (s.bump) {
        w.Line("dcl_tangent0 v13\n");
    }
    switch (s.info.input) {
    case TexInput::Set0:
        if (s.texSets > 0) {
            w.Line("dcl_texcoord0 v5\n");
        }
        break;
    case TexInput::Set1:
        if (s.texSets > 1) {
            w.Line("dcl_texcoord1 v6\n");
        }
        break;
    case TexInput::AllSets:
        for (int set = 0; set < s.texSets; ++set) {
            w.Line("dcl_texcoord%d v%d\n", set, 5 + set);
        }
        break;
    }
    if (s.morph) {
        w.Line("dcl_position1 v14\n");
        if (s.normals) {
            w.Line("dcl_normal1 v15\n");
        }
    }
}

/// The two morph targets blended by the morph weights into `position` (and `normal`).
void EmitMorph(Body& b, const char* position, const char* normal)
{
    const int weights = b.layout.morph;
    b.w.Line("mul %s, v0, c[%d].x\n", position, weights);
    b.w.Line("mad %s, v14, c[%d].y, %s\n", position, weights, position);
    b.position = position;
    if (b.s.normals) {
        b.w.Line("mul %s, v3, c[%d].x\n", normal, weights);
        b.w.Line("mad %s, v15, c[%d].y, %s\n", normal, weights, normal);
        b.normal = normal;
    }
}

/// Points the address register at bone `i` of the vertex; its component
/// (only x exists in vs_1_1, where each bone is loaded in turn).
char EmitBoneAddress(Body& b, int i)
{
    if (b.s.profile == kVertexShaderProfile11) {
        b.w.Line("mov a0.x, v2.%c\n", Component(i));
        return 'x';
    }
    return Component(i);
}

/// Position and normal through the bone palette into r3 and r5: one bone
/// directly; several blended into r8-r10 first when the normal needs the
/// matrix too, else each bone's position weighted into r3.
void EmitSkinning(Body& b)
{
    Writer& w = b.w;
    const Shader& s = b.s;
    const int palette = b.layout.bones;
    if (s.weights == 1) {
        w.Line(s.profile == kVertexShaderProfile11 ? "mov a0.x, v2.x\n" : "mova a0.x, v2.x\n");
        w.Line("m4x3 r3.xyz, %s, c[a0.x + %d]\n", b.position, palette);
        if (s.normals) {
            w.Line("m3x3 r5.xyz, %s, c[a0.x + %d]\n", b.normal, palette);
        }
        return;
    }
    if (s.profile != kVertexShaderProfile11) {
        w.Line("mova a0.%s, v2\n", Mask(s.weights));
    }
    if (s.normals) {
        for (int i = 0; i < s.weights; ++i) {
            const char a = EmitBoneAddress(b, i);
            for (int row = 0; row < 3; ++row) {
                if (i == 0) {
                    w.Line("mul r%d, v1.%c, c[a0.%c + %d]\n", 8 + row, Component(i), a, palette + row);
                } else {
                    w.Line("mad r%d, v1.%c, c[a0.%c + %d], r%d\n", 8 + row, Component(i), a, palette + row,
                           8 + row);
                }
            }
        }
        w.Line("m4x3 r3.xyz, %s, r8\n", b.position);
        w.Line("m3x3 r5.xyz, %s, r8\n", b.normal);
        return;
    }
    for (int i = 0; i < s.weights; ++i) {
        const char a = EmitBoneAddress(b, i);
        w.Line("m4x3 r5.xyz, %s, c[a0.%c + %d]\n", b.position, a, palette);
        if (i == 0) {
            w.Line("mul r3.xyz, v1.%c, r5.xyz\n", Component(i));
        } else {
            w.Line("mad r3.xyz, v1.%c, r5.xyz, r3.xyz\n", Component(i));
        }
    }
}

/// oPos from the vertex as stored, or from the morphed and skinned one in r3.
void EmitPosition(Body& b)
{
    const Shader& s = b.s;
    if (!s.morph && s.weights == 0) {
        b.w.Line("m4x4 oPos.xyzw, v0, c[0]\n");
        return;
    }
    if (s.morph) {
        // Skinning reads the blend from r2 and r4 and writes r3 and r5.
        s.weights == 0 ? EmitMorph(b, "r3", "r5") : EmitMorph(b, "r2", "r4");
    }
    if (s.weights) {
        EmitSkinning(b);
    }
    b.position = "r3";
    b.normal = s.normals ? "r5" : nullptr;
    b.w.Line("mov r3.w, v0.w\n");
    b.w.Line("m4x4 oPos.xyzw, r3, c[0]\n");
}

/// The fog factor from the clip-space w (c3): by the device with W fog,
/// else by the shader with the fog register.
void EmitFog(Body& b)
{
    const Shader& s = b.s;
    if (!s.fog) {
        return;
    }
    if (s.wFog) {
        b.w.Line("dp4 oFog, %s, c[3]\n", b.position);
        return;
    }
    const int fog = b.layout.fog;
    b.w.Line("dp4 r0.w, %s, c[3]\n", b.position);
    if (s.fog == 1) {
        b.w.Line("mad oFog, r0.w, c[%d].x, c[%d].y\n", fog, fog);
        return;
    }
    b.w.Line("mul r0.w, r0.w, c[%d].x\n", fog);
    if (s.fog == 3) {
        b.w.Line("mul r0.w, r0.w, r0.w\n");
    }
    b.w.Line("exp r0.w, r0.w\n");
    b.w.Line("rcp oFog, r0.w\n");
}

void EmitNormalise(Body& b)
{
    if (!b.s.normals || !b.s.normalise) {
        return;
    }
    b.w.Line("dp3 r5.w, %s, %s\n", b.normal, b.normal);
    b.w.Line("rsq r5.w, r5.w\n");
    b.w.Line("mul r5.xyz, %s, r5.w\n", b.normal);
    b.normal = "r5";
}

/// Adds each light's colour times its factor (r6, one component per light
/// of a group) to r11; the last light of an uncoloured shader writes oD0.
class LightSum
{
  public:
    LightSum(Body& b, int lights) : b_(b), lights_(lights) {}
    void Add(int colourRegister, int i)
    {
        if (++done_ == lights_ && !b_.s.materialColour) {
            b_.w.Line("mad oD0, c[%d], r6.%c, r11\n", colourRegister, Component(i));
        } else {
            b_.w.Line("mad r11.xyz, c[%d].xyz, r6.%s, r11.xyz\n", colourRegister, Replicate(i));
        }
    }

  private:
    Body& b_;
    int lights_;
    int done_ = 0;
};

/// Lights in groups of four, one component of r6 per light.
template <typename EmitGroup> void ForGroupsOfFour(int lights, EmitGroup emit)
{
    for (int first = 0; first < lights; first += 4) {
        emit(first, lights - first < 4 ? lights - first : 4);
    }
}

void EmitDirectionalLights(Body& b, LightSum& sum)
{
    ForGroupsOfFour(b.s.directional, [&](int first, int n) {
        for (int i = 0; i < n; ++i) {
            b.w.Line("dp3 r6.%c, c[%d], %s\n", Component(i), kFirstLight + 2 * (first + i), b.normal);
        }
        b.w.Line("max r6.%s, c[5].w, -r6.%s\n", Mask(n), Mask(n));
        for (int i = 0; i < n; ++i) {
            sum.Add(kFirstLight + 1 + 2 * (first + i), i);
        }
    });
}

/// r7 = the vector from the light at `lightRegister` to the vertex, r1 = its inverse length,
/// r6 = its dot product with the normal (one component per light).
void EmitToLight(Body& b, int lightRegister, int i)
{
    b.w.Line("add r7.xyz, -c[%d].xyz, %s.xyz\n", lightRegister, b.position);
    b.w.Line("dp3 r1.%c, r7, r7\n", Component(i));
    b.w.Line("rsq r1.%c, r1.%c\n", Component(i), Component(i));
    b.w.Line("dp3 r6.%c, %s, r7\n", Component(i), b.normal);
}

void EmitPointLights(Body& b, LightSum& sum)
{
    ForGroupsOfFour(b.s.point, [&](int first, int n) {
        const int group = b.s.pointGroups + (first / 4) * kPointGroupRegisters;
        for (int i = 0; i < n; ++i) {
            EmitToLight(b, group + 1 + 2 * i, i);
        }
        const char* mask = Mask(n);
        b.w.Line("max r8.%s, c[%d].%s, r1.%s\n", mask, group, mask, mask);
        b.w.Line("max r6.%s, c[%d].wwww, -r6.%s\n", mask, group + 1, mask);
        b.w.Line("add r8.%s, -c[%d].%s, r8.%s\n", mask, group, mask, mask);
        b.w.Line("mul r6.%s, r6.%s, r8.%s\n", mask, mask, mask);
        for (int i = 0; i < n; ++i) {
            sum.Add(group + 2 + 2 * i, i);
        }
    });
}

void EmitSpotLights(Body& b, LightSum& sum)
{
    ForGroupsOfFour(b.s.spot, [&](int first, int n) {
        const int group = b.s.spotGroups + (first / 4) * kSpotGroupRegisters;
        for (int i = 0; i < n; ++i) {
            const int light = group + 1 + 4 * i; // position, direction, cone, colour
            EmitToLight(b, light, i);
            b.w.Line("mul r7.xyz, r7.xyz, r1.%c\n", Component(i));
            b.w.Line("dp3 r7.w, r7, c[%d]\n", light + 1);
            b.w.Line("mad r9.%c, r7.w, c[%d].x, c[%d].y\n", Component(i), light + 2, light + 2);
        }
        const char* mask = Mask(n);
        b.w.Line("max r8.%s, c[%d].%s, r1.%s\n", mask, group, mask, mask);
        b.w.Line("max r9.%s, c[%d].wwww, r9.%s\n", mask, group + 1, mask);
        b.w.Line("max r6.%s, c[%d].wwww, -r6.%s\n", mask, group + 1, mask);
        b.w.Line("add r8.%s, -c[%d].%s, r8.%s\n", mask, group, mask, mask);
        b.w.Line("mul r6.%s, r6.%s, r8.%s\n", mask, mask, mask);
        b.w.Line("mul r6.%s, r6.%s, r9.%s\n", mask, mask, mask);
        for (int i = 0; i < n; ++i) {
            sum.Add(group + 1 + 4 * i + 3, i);
        }
    });
}

/// oD0: the ambient (plus the pre-lit colour), then every light, times the
/// material colour when asked.
void EmitVertexLighting(Body& b)
{
    Writer& w = b.w;
    const Shader& s = b.s;
    const int lights = s.directional + s.point + s.spot;
    if (!s.normals || lights == 0) {
        if (!s.materialColour) {
            w.Line(s.prelit ? "add oD0, v4, c[4]\n" : "mov oD0, c[4]\n");
        } else {
            w.Line(s.prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
            w.Line("mul oD0, r11, c[%d]\n", b.layout.materialColour);
        }
        return;
    }
    w.Line(s.prelit ? "add r11, v4, c[4]\n" : "mov r11, c[4]\n");
    LightSum sum(b, lights);
    EmitDirectionalLights(b, sum);
    EmitPointLights(b, sum);
    EmitSpotLights(b, sum);
    if (s.materialColour) {
        w.Line("mul oD0, r11, c[%d]\n", b.layout.materialColour);
    }
}

/// r1 = the first light's direction in tangent space (r4 tangent, r2
/// binormal, the normal); the component of c5 that scales and biases it
/// into a colour, 0 when nothing lights the vertex.
char EmitTangentLightVector(Body& b)
{
    Writer& w = b.w;
    const Shader& s = b.s;
    if (s.directional > 0) {
        w.Line("dp3 r1.x, c[5], r4\n");
        w.Line("dp3 r1.y, c[5], r2\n");
        w.Line("dp3 r1.z, c[5], %s\n", b.normal);
        w.Line("dp3 r1.w, r1, r1\n");
        w.Line("rsq r1.w, r1.w\n");
        w.Line("mul r1.xyz, r1, r1.w\n");
        return 'w';
    }
    if (s.point == 0 && s.spot == 0) {
        return 0;
    }
    // The first point light, or the first spot light with its cone in r9.w.
    const bool spot = s.point == 0;
    w.Line("add r7.xyz, c[1 + 5].xyz, -%s.xyz\n", b.position);
    w.Line("dp3 r7.w, r7, r7\n");
    w.Line("rsq r7.w, r7.w\n");
    w.Line("mul r7.xyz, r7, r7.w\n");
    if (spot) {
        w.Line("dp3 r9.w, r7, c[2 + 5]\n");
        w.Line("mad r9.w, r9.w, c[3 + 5].x, c[3 + 5].y\n");
    }
    w.Line("rcp r7.w, r7.w\n");
    w.Line("mad r7.w, r7.w, c[5].x, c[5].y\n");
    w.Line("max r7.w, r7.w, c[5].w\n");
    if (spot) {
        w.Line("max r9.w, r9.w, c[5].w\n");
    }
    w.Line("dp3 r1.x, r7, r4\n");
    w.Line("dp3 r1.y, r7, r2\n");
    w.Line("dp3 r1.z, r7, %s\n", b.normal);
    w.Line("dp3 r1.w, r1, r1\n");
    w.Line("rsq r1.w, r1.w\n");
    w.Line("mul r1.xyz, r1, r1.w\n");
    w.Line("mul r1.xyz, r1, r7.w\n");
    if (spot) {
        w.Line("mul r1.xyz, r1, r9.w\n");
    }
    return 'z';
}

/// The bump map's tangent space: tangent r4 (skinned like the normal),
/// binormal r2, the light vector in tangent space into a texture set or a
/// colour, and for the environment form the tangent frame through the
/// effect's constants into sets 2 and 3.
void EmitTangentSpace(Body& b)
{
    Writer& w = b.w;
    const Shader& s = b.s;
    if (s.weights == 0) {
        w.Line("mov r4, v13\n");
    } else if (s.weights == 1) {
        w.Line("m3x3 r4.xyz, v13, c[a0.x + %d]\n", b.layout.bones);
    } else {
        w.Line("m3x3 r4.xyz, v13, r8\n");
    }
    if (s.weights && s.normalise) {
        w.Line("dp3 r4.w, r4, r4\n");
        w.Line("rsq r4.w, r4.w\n");
        w.Line("mul r4.xyz, r4, r4.w\n");
    }
    if (s.weights) {
        w.Line("slt r4.w, v13.w, v13.w\n");
    }
    if (s.morph || s.weights) {
        w.Line("mov %s.w, v3.w\n", b.normal);
    }
    w.Line("mul r2, r4.zxyw, %s.yzxw\n", b.normal);
    w.Line("mad r2, r4.yzxw, %s.zxyw, -r2\n", b.normal);
    if (s.normalise) {
        w.Line("dp3 r2.w, r2, r2\n");
        w.Line("rsq r2.w, r2.w\n");
        w.Line("mul r2.xyz, r2, r2.w\n");
    }
    if (s.prelit) {
        w.Line("mov oD0, v4\n");
    }
    const char scale = EmitTangentLightVector(b);
    if (s.effect == kVertexShaderTexEffectTangentBump) {
        if (scale) {
            w.Line("mad oT2.xyz, r1, c[5].%c, c[5].%c\n", scale, scale);
        }
    } else {
        if (scale) {
            w.Line("mad %s.xyz, r1, c[5].%c, c[5].%c\n", s.prelit ? "oD1" : "oD0", scale, scale);
        }
        const int constants = b.layout.effect;
        for (int row = 0; row < 2; ++row) {
            w.Line("dp3 oT%d.x, c[%d], r4\n", 2 + row, constants + row);
            w.Line("dp3 oT%d.y, c[%d], r2\n", 2 + row, constants + row);
            w.Line("dp3 oT%d.z, c[%d], %s\n", 2 + row, constants + row, b.normal);
        }
    }
    w.Line("mov oT0.xy, v%d\n", s.texSets + 4);
    w.Line("mov oT1.xy, v5\n");
}

/// Set 0 into stage 0 and, offset by the normal through two constants, into stage 1.
void EmitNormalOffset(Body& b, int constants)
{
    b.w.Line("dp3 r9.x, %s, c[%d]\n", b.normal, constants);
    b.w.Line("dp3 r9.y, %s, c[%d]\n", b.normal, constants + 1);
    b.w.Line("mov oT0.xy, v5\n");
    b.w.Line("add oT1.xy, r9.xy, v5.xy\n");
}

/// r7 = the direction from the eye (register `eye`) reflected about the normal.
void EmitReflection(Body& b, int eye)
{
    b.w.Line("add r7.xyz, c[%d].xyz, -%s.xyz\n", eye, b.position);
    b.w.Line("dp3 r7.w, r7, r7\n");
    b.w.Line("rsq r7.w, r7.w\n");
    b.w.Line("mul r7.xyz, r7, r7.w\n");
    b.w.Line("dp3 r7.w, r7, %s\n", b.normal);
    b.w.Line("add r7.w, r7.w, r7.w\n");
    b.w.Line("mad r7, r7.w, %s, -r7\n", b.normal);
}

/// r7 through three constants into stage `stage`.
void EmitReflectionInto(Body& b, int stage, int constants)
{
    for (int i = 0; i < 3; ++i) {
        b.w.Line("dp3 oT%d.%c, r7, c[%d]\n", stage, Component(i), constants + i);
    }
}

void EmitTextureCoordinates(Body& b)
{
    Writer& w = b.w;
    const Shader& s = b.s;
    const int constants = b.layout.effect;
    switch (s.effect) {
    case kVertexShaderTexEffectBumpMap:
        EmitNormalOffset(b, constants);
        break;
    case kVertexShaderTexEffectEnvMap:
        if (s.texSets == 0) {
            w.Line("dp4 oT0.x, %s, c[%d]\n", b.normal, constants);
            w.Line("dp4 oT0.y, %s, c[%d]\n", b.normal, constants + 1);
        } else {
            w.Line("mov oT0.xy, v5\n");
            w.Line("dp4 oT1.x, %s, c[%d]\n", b.normal, constants);
            w.Line("dp4 oT1.y, %s, c[%d]\n", b.normal, constants + 1);
        }
        break;
    case kVertexShaderTexEffectBumpEnvMap:
        w.Line("dp4 oT2.x, %s, c[%d]\n", b.normal, constants + 2);
        w.Line("dp4 oT2.y, %s, c[%d]\n", b.normal, constants + 3);
        EmitNormalOffset(b, constants);
        break;
    case kVertexShaderTexEffectDual:
        w.Line("mov oT0.xy, v6\n");
        break;
    case kVertexShaderTexEffectSet0Twice:
        w.Line("mov oT0.xy, v5\n");
        w.Line("mov oT1.xy, v5\n");
        break;
    case kVertexShaderTexEffectUvTransform:
        w.Line("dp4 oT0.x, v5, c[%d]\n", constants);
        w.Line("dp4 oT0.y, v5, c[%d]\n", constants + 1);
        break;
    case kVertexShaderTexEffectDualUvTransform:
        w.Line("dp4 oT0.x, v6, c[%d]\n", constants);
        w.Line("dp4 oT0.y, v6, c[%d]\n", constants + 1);
        break;
    case kVertexShaderTexEffectTangentBump:
    case kVertexShaderTexEffectTangentBumpEnv:
        break; // written with the tangent space
    case kVertexShaderTexEffectCubeEnvMap:
        EmitReflection(b, constants);
        if (s.texSets == 0) {
            EmitReflectionInto(b, 0, constants + 1);
        } else {
            w.Line("mov oT0.xy, v5\n");
            EmitReflectionInto(b, 1, constants + 1);
        }
        break;
    case kVertexShaderTexEffectBumpCubeEnvMap:
        EmitNormalOffset(b, constants);
        EmitReflection(b, constants + 2);
        EmitReflectionInto(b, 2, constants + 3);
        break;
    default:
        for (int set = 0; set < s.texSets; ++set) {
            w.Line("mov oT%d.xy, v%d\n", set, 5 + set);
        }
        break;
    }
}

const char* Version(int profile)
{
    switch (profile) {
    case kVertexShaderProfile11:
        return "vs_1_1";
    case kVertexShaderProfile20:
        return "vs_2_0";
    case kVertexShaderProfile2x:
        return "vs_2_x";
    default:
        return nullptr;
    }
}

} // namespace

uint32_t VertexShaderEffectConstants(uint32_t effect)
{
    return Info(effect).constants;
}

uint32_t VertexShaderCost(VertexShaderDescriptor d)
{
    const uint32_t point = VertexShaderPoint(d);
    const uint32_t spot = VertexShaderSpot(d);
    return kFirstLight + 2 * VertexShaderDirectional(d) + 2 * point + (point + 3) / 4 + 4 * spot +
           (spot + 3) / 4 + ((d & kVertexShaderMaterialColour) ? 1 : 0) + (VertexShaderFog(d) ? 1 : 0) +
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

std::string VertexShaderText(VertexShaderDescriptor descriptor, int profile, uint32_t budget, bool wFog,
                             VertexShaderConstantLayout* layout)
{
    Shader s = Decode(descriptor, profile, wFog);
    const VertexShaderConstantLayout constants = LayOutConstants(&s, int(budget));
    if (layout) {
        *layout = constants;
    }
    const char* version = Version(profile);
    if ((s.info.needsNormal && !s.normals) || !version) {
        return {}; // no profile, or the effect reads a normal the vertices do not carry
    }
    Writer w;
    w.Line("%s\n", version);
    EmitDeclarations(w, s);
    Body body = {w, s, constants, "v0", s.normals ? "v3" : nullptr};
    EmitPosition(body);
    EmitFog(body);
    EmitNormalise(body);
    if (s.bump) {
        EmitTangentSpace(body);
    } else {
        EmitVertexLighting(body);
    }
    EmitTextureCoordinates(body);
    return w.text;
}
