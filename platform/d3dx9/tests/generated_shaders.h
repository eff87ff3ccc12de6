// Writes vertex-shader text in the exact shape of the renderer's run-time
// shader generator (lights, skinning, morphing, fog, texture effects), so
// the assembler, the disassembler and the interpreter are tested on every
// line form the renderer can produce.
#pragma once

#include <string>
#include <vector>

struct GeneratedShaderKey
{
    int directional = 0; // 0..15
    int point = 0;       // 0..15
    int spot = 0;        // 0..15
    int texSets = 0;     // 0..15
    bool morph = false;
    int weights = 0; // 0..4
    bool prelit = false;
    bool normals = false;
    bool normalise = false;
    bool materialColour = false;
    int fog = 0;    // 0..3
    int effect = 0; // 0..11
};

struct GeneratedShaderLayout
{
    int materialColour = 0xFF;
    int fog = 0xFF;
    int effect = 0xFF;
    int morph = 0xFF;
    int bones = 0xFF;
};

/// profile: 10 (vs_1_1), 20 (vs_2_0) or 25 (vs_2_x); budget: constant registers; wfog: device has W fog.
std::string GeneratedShaderWrite(const GeneratedShaderKey& key, int profile, int budget, bool wfog,
                                 GeneratedShaderLayout* layout);

/// A spread of keys covering every line form of the generator.
std::vector<GeneratedShaderKey> GeneratedShaderKeys();
