// Vertex processing through a vertex shader of the shader interpreter.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {

void ProcessVerticesShader(const VertexConfig& cfg, const InputLayout& layout, const uint8_t* const* streams,
                           const UINT* strides, UINT count, int attrCount, const VertexStore& out)
{
    const ShaderProgram* program = cfg.vertexShader;
    // Input register -> declaration element with the same usage and index.
    int source[kShaderVertexInputs];
    const uint32_t inputs = ShaderProgramInputMask(program);
    for (int reg = 0; reg < kShaderVertexInputs; ++reg) {
        source[reg] = -1;
        ShaderUsage usage;
        uint32_t index = 0;
        if (!(inputs & (1u << reg)) || !ShaderProgramInputUsage(program, reg, &usage, &index))
            continue;
        for (size_t e = 0; e < layout.elements.size(); ++e)
            if (layout.elements[e].usage == uint8_t(usage) && layout.elements[e].index == index) {
                source[reg] = int(e);
                break;
            }
    }
    // One group of batches (128 vertices) per interpreter call, which
    // prepares the constants once per call. The interpreter leaves outputs
    // the program never writes alone: they hold their defaults from the start.
    constexpr int kGroup = kShaderBatchGroup;
    std::vector<ShaderVertexBatch> batches(kGroup);
    const uint32_t written = ShaderProgramOutputMask(program);
    // Stages whose coordinates fit the attribute slots written.
    const int stages = std::min(cfg.stageCount, (attrCount - kAttrTex) / 4);
    for (int o = 0; o < kShaderOutputCount; ++o) {
        if (written & (1u << o))
            continue;
        float value[4] = {0, 0, 0, 1}; // oPos, oT#
        if (o == kShaderOutColor0)
            value[0] = value[1] = value[2] = 1.0f;
        else if (o == kShaderOutColor1)
            value[3] = 0.0f;
        else if (o == kShaderOutFog)
            value[0] = 1.0f;
        for (ShaderVertexBatch& batch : batches)
            for (int c = 0; c < 4; ++c)
                std::fill(batch.output[o].v[c], batch.output[o].v[c] + kShaderLanes, value[c]);
    }
    for (UINT group = 0; group < count; group += kGroup * kShaderLanes) {
        const UINT inGroup = std::min<UINT>(kGroup * kShaderLanes, count - group);
        const int used = int((inGroup + kShaderLanes - 1) / kShaderLanes);
        for (int b = 0; b < used; ++b) {
            const UINT first = group + UINT(b) * kShaderLanes;
            const int lanes = int(std::min<UINT>(kShaderLanes, count - first));
            ShaderVertexBatch& batch = batches[size_t(b)];
            for (int reg = 0; reg < kShaderVertexInputs; ++reg) {
                if (!(inputs & (1u << reg)))
                    continue;
                for (int lane = 0; lane < kShaderLanes; ++lane) {
                    float v[4] = {0, 0, 0, 1};
                    if (source[reg] >= 0 && lane < lanes) {
                        const InputElement& e = layout.elements[size_t(source[reg])];
                        FetchElement(e.type,
                                     streams[e.stream] + size_t(first + lane) * strides[e.stream] + e.offset,
                                     v);
                    }
                    for (int c = 0; c < 4; ++c)
                        batch.input[reg].v[c][lane] = v[c];
                }
            }
        }
        ShaderVertexRunBatches(program, cfg.vsConstants, kShaderMaxVertexConstants, batches.data(), used);
        for (int b = 0; b < used; ++b) {
            const UINT first = group + UINT(b) * kShaderLanes;
            const int lanes = int(std::min<UINT>(kShaderLanes, count - first));
            const ShaderVertexBatch& batch = batches[size_t(b)];
            for (int lane = 0; lane < lanes; ++lane) {
                float* pos = out.Pos(first + lane);
                float* attr = out.Attr(first + lane);
                std::fill(attr, attr + attrCount, 0.0f);
                for (int c = 0; c < 4; ++c) {
                    pos[c] = batch.output[kShaderOutPosition].v[c][lane];
                    attr[kAttrDiffuse + c] =
                        std::clamp(batch.output[kShaderOutColor0].v[c][lane], 0.0f, 1.0f);
                    attr[kAttrSpecular + c] =
                        std::clamp(batch.output[kShaderOutColor1].v[c][lane], 0.0f, 1.0f);
                }
                attr[kAttrFog] = std::clamp(batch.output[kShaderOutFog].v[0][lane], 0.0f, 1.0f);
                for (int s = 0; s < stages; ++s) {
                    int set = std::clamp(cfg.tex[s].source, 0, kShaderTexCoordOutputs - 1);
                    for (int c = 0; c < 4; ++c)
                        attr[kAttrTex + 4 * s + c] = batch.output[kShaderOutTexCoord0 + set].v[c][lane];
                }
                SanitizeAttributes(attr, attrCount);
            }
        }
    }
}

} // namespace d3d9sw
