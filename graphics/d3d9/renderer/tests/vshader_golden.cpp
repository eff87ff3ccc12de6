// The generator's output pinned: for every texture effect (0-11 and one
// above), a hash over the text and the constant layout of every combination
// of bone weights, the five flags, fog, texture sets, light counts that
// cover the group and bump-mode forms, and two profiles (with and without
// W fog, two constant budgets). A change to any line of any shader
// changes a hash; the effect it names says where to look.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "graphics/d3d9/renderer/vertexshadertext.h"

namespace {

struct Fnv
{
    uint64_t hash = 0xcbf29ce484222325ull;
    void Add(const void* data, size_t size)
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash = (hash ^ bytes[i]) * 0x100000001b3ull;
        }
    }
};

struct Lights
{
    uint32_t directional, point, spot;
};

// No light; one of each kind alone (the three bump-mode forms); three full
// groups and a part group of every kind.
constexpr Lights kLights[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {15, 15, 15}};
constexpr uint32_t kTexSets[] = {0, 1, 3};

struct Target
{
    int profile;
    bool wFog;
    uint32_t budget;
};
// The later profiles differ only in their first line.
constexpr Target kTargets[] = {{kVertexShaderProfile11, false, 96}, {kVertexShaderProfile20, true, 256}};

uint64_t EffectHash(uint32_t effect)
{
    Fnv fnv;
    for (const Target& target : kTargets) {
        for (uint32_t weights = 0; weights <= 4; ++weights) {
            for (uint32_t flags = 0; flags < 32; ++flags) {
                const uint32_t bits =
                    ((flags & 1) ? kVertexShaderMorph : 0) | ((flags & 2) ? kVertexShaderPrelit : 0) |
                    ((flags & 4) ? kVertexShaderNormals : 0) | ((flags & 8) ? kVertexShaderNormalise : 0) |
                    ((flags & 16) ? kVertexShaderMaterialColour : 0);
                for (uint32_t fog = 0; fog < 4; ++fog) {
                    for (uint32_t sets : kTexSets) {
                        for (const Lights& l : kLights) {
                            const VertexShaderDescriptor d = VertexShaderDescriptorMake(
                                l.directional, l.point, l.spot, sets, weights, fog, effect, bits);
                            VertexShaderConstantLayout layout;
                            const std::string text =
                                VertexShaderText(d, target.profile, target.budget, target.wFog, &layout);
                            fnv.Add(text.c_str(), text.size() + 1);
                            fnv.Add(&layout, sizeof layout);
                        }
                    }
                }
            }
        }
    }
    return fnv.hash;
}

struct Pinned
{
    uint32_t effect; ///< 63 stands for every effect above 11, which writes what effect 0 does
    uint64_t hash;
};

void PrintTo(const Pinned& pinned, std::ostream* out)
{
    *out << "effect " << pinned.effect;
}

class GoldenEffect : public testing::TestWithParam<Pinned>
{
};

// One test per effect, so that they run side by side.
TEST_P(GoldenEffect, ShadersAreAsPinned)
{
    const uint64_t hash = EffectHash(GetParam().effect);
    EXPECT_EQ(hash, GetParam().hash) << "effect " << GetParam().effect << ": today 0x" << std::hex << hash;
}

INSTANTIATE_TEST_SUITE_P(Effects, GoldenEffect,
                         testing::Values(Pinned{0, 0x039652fb57886171ull}, Pinned{1, 0x5f87e1f1fe9939c9ull},
                                         Pinned{2, 0x4c350bf5107239e1ull}, Pinned{3, 0xab0d2d8961dc9999ull},
                                         Pinned{4, 0x9819f2a8c5606249ull}, Pinned{5, 0x202d22c36fd0b051ull},
                                         Pinned{6, 0x6c245c5aff4c8b31ull}, Pinned{7, 0x5180a79e04376109ull},
                                         Pinned{8, 0x943138d18ce9c385ull}, Pinned{9, 0x4f075f59e89330e5ull},
                                         Pinned{10, 0xcbf5e061df2df4c9ull}, Pinned{11, 0xffb296adc7833299ull},
                                         Pinned{63, 0x039652fb57886171ull}),
                         [](const testing::TestParamInfo<Pinned>& info) {
                             return "Effect" + std::to_string(info.param.effect);
                         });

} // namespace
