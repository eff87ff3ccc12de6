#pragma once
// The skin tests' fixture: the engine on the software device with the scene
// library, hierarchical animation and skinning attached (optionally over the
// counting memory table, so a test ends with nothing left allocated), and
// builders of small skinned geometries and their stored bytes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/core/engine.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/tests/scenetesting.h"

class SkinFixture : public SceneFixture
{
  protected:
    bool StartSkin(bool counting = true)
    {
        return EngineInit(counting ? CountingMemory::Table() : nullptr, 0, 0x400000) &&
               WorldLibraryAttach() && HierarchyPluginAttach() && SkinPluginAttach() && Open() &&
               EngineStart();
    }

    void TearDown() override
    {
        for (Geometry* geometry : geometries_) {
            GeometryRelease(geometry);
        }
        SceneFixture::TearDown();
    }

    /// A geometry of `vertices` points along x (vertex v at (v, 0, 0)), no triangles.
    Geometry* Points(int32_t vertices)
    {
        Geometry* geometry = GeometryCreate(vertices, 0, kGeometryPositions | kGeometryNormals);
        EXPECT_NE(geometry, nullptr);
        for (int32_t v = 0; v < vertices; ++v) {
            geometry->morphTargets[0].vertices[v] = {float(v), 0.0f, 0.0f};
            geometry->morphTargets[0].normals[v] = {0.0f, 1.0f, 0.0f};
        }
        geometries_.push_back(geometry);
        return geometry;
    }

    static uint32_t Indices(uint8_t a, uint8_t b = 0, uint8_t c = 0, uint8_t d = 0)
    {
        return uint32_t(a) | uint32_t(b) << 8 | uint32_t(c) << 16 | uint32_t(d) << 24;
    }

    static Matrix Translation(float x, float y, float z)
    {
        Matrix m = {};
        m.right.x = m.up.y = m.at.z = 1.0f;
        m.pos = {x, y, z};
        m.flags = 0x3;
        return m;
    }

    std::vector<Geometry*> geometries_;
};

/// The stored body of a skin, byte by byte, so tests can write what the
/// writer never would.
struct SkinBody
{
    uint8_t bones = 0;
    uint8_t used = 0;
    uint8_t maxWeights = 0;
    std::vector<uint8_t> usedList;
    std::vector<uint32_t> indices;
    std::vector<float> weights;
    std::vector<float> matrices; ///< 16 per bone
    uint32_t splitHead[3] = {0, 0, 0};
    std::vector<uint8_t> split;

    std::vector<uint8_t> Bytes() const
    {
        std::vector<uint8_t> out = {bones, used, maxWeights, 0};
        out.insert(out.end(), usedList.begin(), usedList.end());
        auto word = [&](uint32_t value) {
            for (int i = 0; i < 4; ++i) {
                out.push_back(uint8_t(value >> (8 * i)));
            }
        };
        auto real = [&](float value) {
            uint32_t bits;
            std::memcpy(&bits, &value, 4);
            word(bits);
        };
        for (uint32_t index : indices) {
            word(index);
        }
        for (float weight : weights) {
            real(weight);
        }
        for (float value : matrices) {
            real(value);
        }
        for (uint32_t value : splitHead) {
            word(value);
        }
        out.insert(out.end(), split.begin(), split.end());
        return out;
    }
};
