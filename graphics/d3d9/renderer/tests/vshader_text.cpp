// The generated shader text: exact lines of the main forms, the constant
// layout, and a sweep over descriptors that assembles and round-trips every
// text and checks that no constant at or above the shader's cost is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/d3d9/renderer/vertexshadertext.h"
#include "platform/d3dx9/shaderasm.h"
#include "testing/textpattern.h"

namespace {

using GeneratedText = ::testing::Test;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "every line ends with a line feed";
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool Has(const std::string& text, const std::string& line)
{
    return text.find(line + "\n") != std::string::npos;
}

VertexShaderDescriptor Make(uint32_t d, uint32_t p, uint32_t s, uint32_t t, uint32_t w, uint32_t fog,
                            uint32_t effect, uint32_t flags)
{
    return VertexShaderDescriptorMake(d, p, s, t, w, fog, effect, flags);
}

// Highest constant register read with an absolute index ("c[5]", "c[1 + 5]").
int HighestAbsoluteConstant(const std::string& text)
{
    int highest = -1;
    for (const auto& match : TextPatternMatches(text, R"(c\[(\d+)(?: \+ (\d+))?\])")) {
        int value = std::stoi(match[1]) + (match[2].empty() ? 0 : std::stoi(match[2]));
        highest = std::max(highest, value);
    }
    return highest;
}

} // namespace

TEST_F(GeneratedText, DescriptorZeroTransformsAndTakesTheAmbient)
{
    EXPECT_EQ(VertexShaderText(0, 10, 256, false, nullptr),
              "vs_1_1\ndcl_position0 v0\nm4x4 oPos.xyzw, v0, c[0]\nmov oD0, c[4]\n");
    EXPECT_EQ(Lines(VertexShaderText(0, 20, 256, false, nullptr))[0], "vs_2_0");
    EXPECT_EQ(Lines(VertexShaderText(0, 25, 256, false, nullptr))[0], "vs_2_x");
    EXPECT_EQ(VertexShaderText(0, 0, 256, false, nullptr), "");
    EXPECT_EQ(VertexShaderText(0, 30, 256, false, nullptr), "");
}

TEST_F(GeneratedText, OneDirectionalLightEndsWithTheColourAccumulation)
{
    const std::string text =
        VertexShaderText(Make(1, 0, 0, 1, 0, 0, 0, kVertexShaderNormals), 10, 256, false, nullptr);
    const std::vector<std::string> lines = Lines(text);
    EXPECT_TRUE(Has(text, "dcl_normal0 v3"));
    EXPECT_TRUE(Has(text, "dcl_texcoord0 v5"));
    EXPECT_TRUE(Has(text, "dp3 r6.x, c[5], v3"));
    EXPECT_TRUE(Has(text, "max r6.x, c[5].w, -r6.x"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "mad oD0, c[6], r6.x, r11");
    EXPECT_EQ(lines.back(), "mov oT0.xy, v5");
}

TEST_F(GeneratedText, FivePointLightsFormTwoGroups)
{
    const uint32_t D = 2;
    const std::string text =
        VertexShaderText(Make(D, 5, 0, 0, 0, 0, 0, kVertexShaderNormals), 20, 256, false, nullptr);
    const int first = 5 + 2 * D;
    const int second = first + 9;
    EXPECT_TRUE(Has(text, "max r8.xyzw, c[" + std::to_string(first) + "].xyzw, r1.xyzw"));
    EXPECT_TRUE(Has(text, "max r8.x, c[" + std::to_string(second) + "].x, r1.x"));
    EXPECT_TRUE(Has(text, "add r7.xyz, -c[" + std::to_string(second + 1) + "].xyz, v0.xyz"));
    EXPECT_TRUE(Has(text, "mad oD0, c[" + std::to_string(second + 2) + "], r6.x, r11"));
    EXPECT_EQ(VertexShaderCost(Make(D, 5, 0, 0, 0, 0, 0, 0)), 5u + 2 * D + 10 + 2);
}

TEST_F(GeneratedText, SkinningDeclarationsAndPaletteForms)
{
    VertexShaderConstantLayout layout;
    std::string one = VertexShaderText(Make(0, 0, 0, 0, 1, 0, 0, 0), 10, 256, false, &layout);
    EXPECT_FALSE(Has(one, "dcl_blendweight0 v1"));
    EXPECT_TRUE(Has(one, "dcl_blendindices0 v2"));
    EXPECT_TRUE(Has(one, "mov a0.x, v2.x"));
    EXPECT_TRUE(Has(one, "m4x3 r3.xyz, v0, c[a0.x + 5]"));
    EXPECT_EQ(layout.bones, 5);
    EXPECT_TRUE(
        Has(VertexShaderText(Make(0, 0, 0, 0, 1, 0, 0, 0), 20, 256, false, nullptr), "mova a0.x, v2.x"));

    const VertexShaderDescriptor three = Make(1, 0, 0, 0, 3, 0, 0, kVertexShaderNormals);
    std::string p10 = VertexShaderText(three, 10, 256, false, &layout);
    EXPECT_EQ(layout.bones, 7);
    EXPECT_TRUE(Has(p10, "dcl_blendweight0 v1"));
    EXPECT_TRUE(Has(p10, "mov a0.x, v2.z"));
    EXPECT_TRUE(Has(p10, "mad r10, v1.z, c[a0.x + 9], r10"));
    EXPECT_TRUE(Has(p10, "m3x3 r5.xyz, v3, r8"));
    std::string p20 = VertexShaderText(three, 20, 256, false, nullptr);
    EXPECT_TRUE(Has(p20, "mova a0.xyz, v2"));
    EXPECT_TRUE(Has(p20, "mul r8, v1.x, c[a0.x + 7]"));
    EXPECT_TRUE(Has(p20, "mad r9, v1.z, c[a0.z + 8], r9"));
    EXPECT_TRUE(Has(p20, "mov r3.w, v0.w"));
    EXPECT_TRUE(Has(p20, "m4x4 oPos.xyzw, r3, c[0]"));
}

TEST_F(GeneratedText, FogForms)
{
    VertexShaderConstantLayout layout;
    std::string linear = VertexShaderText(Make(0, 0, 0, 0, 0, 1, 0, 0), 10, 256, false, &layout);
    EXPECT_EQ(layout.fog, 5);
    EXPECT_TRUE(Has(linear, "dp4 r0.w, v0, c[3]"));
    EXPECT_TRUE(Has(linear, "mad oFog, r0.w, c[5].x, c[5].y"));
    std::string wFog = VertexShaderText(Make(0, 0, 0, 0, 0, 1, 0, 0), 10, 256, true, &layout);
    EXPECT_EQ(layout.fog, 0xFF);
    EXPECT_TRUE(Has(wFog, "dp4 oFog, v0, c[3]"));
    // expp keeps only a partial-precision .w under vs_1_1 (1): the full exp is written.
    for (uint32_t fog : {2u, 3u}) {
        std::string text = VertexShaderText(Make(0, 0, 0, 0, 0, fog, 0, 0), 10, 256, false, nullptr);
        EXPECT_TRUE(Has(text, "exp r0.w, r0.w")) << text;
        EXPECT_FALSE(Has(text, "expp r0.w, r0.w"));
        EXPECT_TRUE(Has(text, "rcp oFog, r0.w"));
        EXPECT_EQ(Has(text, "mul r0.w, r0.w, r0.w"), fog == 3);
    }
}

TEST_F(GeneratedText, LayoutOrderAndSkinnedEffectConstantsAtTheTop)
{
    VertexShaderConstantLayout layout;
    const uint32_t flags = kVertexShaderNormals | kVertexShaderMaterialColour | kVertexShaderMorph;
    VertexShaderText(Make(1, 1, 1, 1, 0, 1, 10, flags), 20, 256, false, &layout);
    // 5 + 2 (directional) + 3 (point group) + 5 (spot group) = 15.
    EXPECT_EQ(layout.materialColour, 15);
    EXPECT_EQ(layout.fog, 16);
    EXPECT_EQ(layout.morph, 17);
    EXPECT_EQ(layout.effect, 18);
    EXPECT_EQ(layout.bones, 0xFF);
    EXPECT_EQ(VertexShaderCost(Make(1, 1, 1, 1, 0, 1, 10, flags)), 18u + 4);

    VertexShaderText(Make(1, 0, 0, 1, 2, 0, 10, kVertexShaderNormals), 20, 96, false, &layout);
    EXPECT_EQ(layout.bones, 7);
    EXPECT_EQ(layout.effect, 96 - 4);

    for (uint32_t t : {0u, 1u}) {
        std::string text =
            VertexShaderText(Make(1, 0, 0, t, 0, 0, 10, kVertexShaderNormals), 20, 256, false, &layout);
        EXPECT_TRUE(Has(text, "add r7.xyz, c[7].xyz, -v0.xyz"));
        EXPECT_TRUE(Has(text, t ? "dp3 oT1.z, r7, c[10]" : "dp3 oT0.z, r7, c[10]"));
    }
}

TEST_F(GeneratedText, BumpModeWithPointLightReadsTheScaleFromC5)
{
    VertexShaderConstantLayout layout;
    std::string text =
        VertexShaderText(Make(0, 1, 0, 2, 0, 0, 8, kVertexShaderNormals), 20, 256, false, &layout);
    EXPECT_TRUE(Has(text, "dcl_tangent0 v13"));
    EXPECT_TRUE(Has(text, "add r7.xyz, c[1 + 5].xyz, -v0.xyz"));
    EXPECT_TRUE(Has(text, "mad oT2.xyz, r1, c[5].z, c[5].z"));
    EXPECT_TRUE(Has(text, "mov oT0.xy, v6"));
    EXPECT_TRUE(Has(text, "mov oT1.xy, v5"));
}

// Every combination that matters assembles (except effects that read the
// normal without one), survives disassembly and reassembly, and reads no
// absolute constant at or above its cost when unskinned.
TEST_F(GeneratedText, SweepAssemblesRoundTripsAndStaysWithinTheCost)
{
    const uint32_t counts[] = {0, 1, 4, 5, 15};
    int assembled = 0;
    auto check = [&](VertexShaderDescriptor d, int profile) {
        const std::string text = VertexShaderText(d, profile, 256, false, nullptr);
        const uint32_t e = VertexShaderEffect(d);
        const bool readsMissingNormal =
            !(d & kVertexShaderNormals) && (e == 1 || e == 2 || e == 3 || e == 10 || e == 11);
        EXPECT_EQ(text.empty(), readsMissingNormal) << std::hex << d;
        if (readsMissingNormal) {
            return;
        }
        ShaderAssembly first;
        ASSERT_TRUE(ShaderAssemble(text, &first)) << std::hex << d << "\n" << text << first.error;
        std::string disassembled;
        std::string error;
        ASSERT_TRUE(ShaderDisassemble(first.tokens.data(), first.tokens.size(), &disassembled, &error))
            << error;
        ShaderAssembly second;
        ASSERT_TRUE(ShaderAssemble(disassembled, &second)) << disassembled;
        EXPECT_EQ(first.tokens, second.tokens) << text;
        if (VertexShaderWeights(d) == 0) {
            EXPECT_LT(HighestAbsoluteConstant(text), int(VertexShaderCost(d))) << text;
        }
        ++assembled;
    };
    for (int profile : {10, 20, 25}) {
        for (uint32_t d : counts) {
            for (uint32_t p : counts) {
                for (uint32_t s : counts) {
                    check(Make(d, p, s, 1, 0, (d + p) % 4, 0,
                               kVertexShaderNormals | kVertexShaderMaterialColour),
                          profile);
                }
            }
        }
        for (uint32_t w = 0; w <= 4; ++w) {
            for (uint32_t fog = 0; fog <= 3; ++fog) {
                for (uint32_t flags : {0u, kVertexShaderNormals | kVertexShaderNormalise,
                                       kVertexShaderMorph | kVertexShaderNormals | kVertexShaderPrelit,
                                       kVertexShaderMorph | kVertexShaderMaterialColour}) {
                    check(Make(1, 4, 1, 2, w, fog, 0, flags), profile);
                }
            }
        }
        // Texture sets each effect reads (the effects take them as given).
        const uint32_t setsRead[12] = {0, 1, 0, 1, 2, 1, 1, 2, 1, 1, 0, 1};
        for (uint32_t e = 0; e <= 11; ++e) {
            for (uint32_t t = setsRead[e]; t <= 2; ++t) {
                for (uint32_t flags : {0u, kVertexShaderNormals,
                                       kVertexShaderNormals | kVertexShaderNormalise | kVertexShaderPrelit}) {
                    for (uint32_t w : {0u, 1u, 3u}) {
                        check(Make(e % 2, e == 9 ? 1 : 0, e == 8 ? 2 : 0, t, w, 0, e, flags), profile);
                    }
                }
            }
        }
    }
    EXPECT_GT(assembled, 1000);
}
