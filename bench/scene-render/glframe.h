#pragma once
// One frame of the software device, as its call log recorded it, drawn again
// through OpenGL 1.5's fixed function (Mesa's OSMesa in the comparison): the
// same vertex and index buffers, textures, matrices, lights, material, render
// and texture-stage states. The log is translated once into draws that each
// carry their state; drawing sends a state block only where it differs from
// the draw before, as a careful GL program would.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/scene-render/sceneviewer.h"

namespace scenebench {

class GlFrame
{
  public:
    GlFrame() = default;
    ~GlFrame();
    GlFrame(const GlFrame&) = delete;
    GlFrame& operator=(const GlFrame&) = delete;

    /// Translates the log from the state it started in; uploads the buffers
    /// and textures it names (a GL context must be current). False with
    /// `why` when a draw cannot be translated.
    bool Load(const DeviceDrawState& start, const std::vector<D3D9CallRecord>& log, std::string* why);
    /// Clears to the ARGB colour, draws every draw and waits for the picture.
    void Draw(uint32_t clearArgb) const;
    size_t DrawCount() const { return m_draws.size(); }
    /// States the translation does not carry over (fog, other texture operations), by name.
    const std::vector<std::string>& Approximations() const { return m_approximations; }

  private:
    struct Array
    {
        uint32_t buffer = 0; ///< GL buffer object
        int32_t size = 0;    ///< components; 0: not present
        uint32_t type = 0;
        int32_t stride = 0;
        uintptr_t offset = 0;
    };
    struct Stage
    {
        uint32_t colourOp = 0, colourArgs[2] = {}, alphaOp = 0, alphaArgs[2] = {};
        bool operator==(const Stage&) const = default;
    };
    struct Render
    {
        bool lighting = false, depthTest = false, depthWrite = false, blend = false, alphaTest = false;
        bool colourMaterial = false, normalise = false, flat = false;
        uint32_t depthFunc = 0, blendSource = 0, blendDestination = 0, alphaFunc = 0, cull = 0;
        float alphaRef = 0.0f;
        uint32_t colourMaterialMode = 0;
        float ambient[4] = {}, textureFactor[4] = {};
        Stage stages[2];
        uint32_t texture = 0; ///< GL texture of stage 0 (the white one when none)
        uint32_t minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0;
        bool operator==(const Render&) const = default;
    };
    struct DrawItem
    {
        float world[16];
        int lightsBlock; ///< index into m_lightBlocks
        D3DMATERIAL9 material;
        Render render;
        Array position, normal, colour, texCoord;
        uint32_t indexBuffer, indexType;
        uintptr_t indexOffset;
        uint32_t mode;
        int32_t count;
    };

    bool Translate(const DeviceDrawState& state, uint32_t type, uint32_t baseVertex, uint32_t primitives,
                   uint32_t startIndex, std::string* why);
    uint32_t Buffer(uint64_t deviceBuffer, bool index);
    /// The buffer's packed DEC3N normals (at `offset` in every `stride` bytes)
    /// as float triples, one a vertex: GL 1.5 has no such type.
    uint32_t UnpackedNormals(uint64_t deviceBuffer, uint32_t stride, uint32_t offset);
    uint32_t Texture(uint64_t deviceTexture);
    void Approximate(const std::string& what);

    float m_view[16] = {}, m_projection[16] = {};
    std::vector<std::vector<D3DLIGHT9>> m_lightBlocks;
    std::vector<DrawItem> m_draws;
    std::map<uint64_t, uint32_t> m_buffers, m_textures;
    std::map<std::array<uint64_t, 3>, uint32_t> m_normals;
    uint32_t m_white = 0;
    std::vector<std::string> m_approximations;
};

} // namespace scenebench
