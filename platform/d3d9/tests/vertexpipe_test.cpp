// Fixed-function vertex processing: a vertex comes out the same whichever
// other vertices share its call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/d3d9/pipeline.h"

using namespace d3d9sw;

namespace {

// Every lighting, fog and texture-coordinate feature at once: a light of
// each kind, specular with a local viewer, normalised normals, vertex
// colours as material sources, range fog and every coordinate generator.
VertexConfig EveryFeature(std::mt19937& rng)
{
    std::uniform_real_distribution<float> any(-1.5f, 1.5f), unit(0.0f, 1.0f);
    VertexConfig cfg;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            cfg.worldView[i][j] = any(rng);
            cfg.worldViewProj[i][j] = any(rng);
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cfg.normal[i][j] = any(rng);
    cfg.lighting = cfg.normalize = cfg.localViewer = cfg.specular = true;
    for (DWORD type : {D3DLIGHT_DIRECTIONAL, D3DLIGHT_POINT, D3DLIGHT_SPOT, D3DLIGHT_DIRECTIONAL}) {
        LightCompiled light{};
        light.type = type;
        for (int c = 0; c < 4; ++c) {
            light.diffuse[c] = unit(rng);
            light.specular[c] = unit(rng);
            light.ambient[c] = unit(rng) * 0.2f;
        }
        for (int c = 0; c < 3; ++c)
            light.position[c] = any(rng);
        light.direction[0] = 0.6f;
        light.direction[2] = -0.8f;
        light.range = 2.0f;
        light.att0 = 1.0f;
        light.att1 = 0.5f;
        light.falloff = 2.0f;
        light.cosHalfTheta = 0.9f;
        light.cosHalfPhi = 0.3f;
        cfg.lights.push_back(light);
    }
    cfg.ambient[0] = cfg.ambient[1] = cfg.ambient[2] = 0.1f;
    cfg.material.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    cfg.material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    cfg.material.Power = 12.0f;
    cfg.diffuseSource = D3DMCS_COLOR1;
    cfg.ambientSource = D3DMCS_MATERIAL;
    cfg.specularSource = D3DMCS_COLOR2;
    cfg.emissiveSource = D3DMCS_MATERIAL;
    cfg.fogVertex = cfg.rangeFog = true;
    cfg.fogMode = D3DFOG_EXP;
    cfg.fogDensity = 0.4f;
    const DWORD modes[] = {D3DTSS_TCI_PASSTHRU, D3DTSS_TCI_CAMERASPACENORMAL, D3DTSS_TCI_CAMERASPACEPOSITION,
                           D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, D3DTSS_TCI_SPHEREMAP};
    cfg.stageCount = 6;
    cfg.needCamera = true;
    for (int s = 0; s < cfg.stageCount; ++s) {
        TexGen& g = cfg.tex[s];
        g.mode = modes[s % 5];
        g.source = s % 2;
        g.transform = s == 5 ? 3 : 0; // the last stage passes through a matrix
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                g.matrix[i][j] = any(rng);
    }
    return cfg;
}

} // namespace

TEST(VertexPipe, AVertexIsTheSameAloneAndAmongOthers)
{
    // Vertices are transformed in groups of several at a time; each must
    // come out exactly as when it is processed on its own, in both vertex
    // formats (float elements, and packed colours besides).
    std::mt19937 rng(24);
    std::uniform_real_distribution<float> any(-2.0f, 2.0f);
    for (DWORD fvf : {DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1)),
                      DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2),
                      DWORD(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2)}) {
        const VertexConfig cfg = EveryFeature(rng);
        std::vector<D3DVERTEXELEMENT9> elements;
        ASSERT_TRUE(ElementsFromFvf(fvf, &elements));
        const InputLayout layout = LayoutFromElements(elements.data(), elements.size() - 1);
        UINT stride = 0;
        for (const InputElement& e : layout.elements)
            stride = std::max<UINT>(stride, e.offset + DeclTypeSize(e.type));
        constexpr UINT kCount = 29; // three whole groups and a partial one
        std::vector<uint8_t> data(size_t(stride) * kCount);
        for (size_t i = 0; i + 4 <= data.size(); i += 4) {
            const float value = i % 36 == 12 ? 0.0f : any(rng); // some zero normals
            std::memcpy(&data[i], &value, 4);
        }
        const int attrCount = kAttrTex + 4 * cfg.stageCount;
        const size_t floats = VertexStride(attrCount);
        std::vector<float> together(floats * kCount), alone(floats * kCount);
        const uint8_t* streams[kMaxStreams] = {data.data()};
        const UINT strides[kMaxStreams] = {stride};
        ProcessVertices(cfg, layout, streams, strides, kCount, attrCount, {together.data(), floats});
        for (UINT v = 0; v < kCount; ++v) {
            const uint8_t* one[kMaxStreams] = {data.data() + size_t(v) * stride};
            ProcessVertices(cfg, layout, one, strides, 1, attrCount, {alone.data() + v * floats, floats});
        }
        for (UINT v = 0; v < kCount; ++v)
            for (size_t k = 0; k < floats; ++k) {
                ASSERT_TRUE(std::isfinite(together[v * floats + k]));
                ASSERT_EQ(std::memcmp(&together[v * floats + k], &alone[v * floats + k], 4), 0)
                    << "format " << fvf << " vertex " << v << " float " << k << ": "
                    << together[v * floats + k] << " != " << alone[v * floats + k];
            }
    }
}
