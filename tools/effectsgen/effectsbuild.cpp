#include "tools/effectsgen/effectsbuild.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

#include "graphics/animation/effects/effects.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/dds.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/png.h"

namespace {

constexpr float kRadius = 0.4f;
constexpr float kPi = 3.14159265f;
constexpr int32_t kTextureSide = 64;
constexpr int32_t kCubeSide = 16;

/// A texture that only names what the reader is to find.
Texture* Named(const char* name)
{
    Texture* texture = TextureCreate(nullptr);
    return texture ? TextureSetName(texture, name) : nullptr;
}

/// What one sphere of the row shows.
struct Effect
{
    EffectType type;
    uint32_t source, destination; ///< dual blend
    const char* environment;      ///< environment texture, or null
    float coefficient;            ///< environment strength
};

const Effect kRow[] = {
    {EffectTypeDual, 9, 1, nullptr, 0.0f},      {EffectTypeDual, 5, 6, nullptr, 0.0f},
    {EffectTypeDual, 2, 2, nullptr, 0.0f},      {EffectTypeUvTransform, 0, 0, nullptr, 0.0f},
    {EffectTypeEnvMap, 0, 0, "fxsphere", 0.5f}, {EffectTypeEnvMap, 0, 0, "fxcube", 0.75f},
    {EffectTypeBumpMap, 0, 0, nullptr, 0.0f},   {EffectTypeBumpEnvMap, 0, 0, "fxsphere", 0.5f},
};

/// The material of one sphere; null when out of memory.
Material* MaterialOf(const Effect& effect)
{
    Material* material = MaterialCreate();
    Texture* base = Named("fxbase");
    if (!material || !base || !MaterialSetTexture(material, base) ||
        !MaterialEffectsSetType(material, effect.type)) {
        TextureDestroy(base);
        MaterialRelease(material);
        return nullptr;
    }
    TextureDestroy(base);
    bool ok = true;
    auto with = [&ok](const char* name, auto set) {
        Texture* texture = Named(name);
        ok = ok && texture && set(texture);
        TextureDestroy(texture);
    };
    if (effect.type == EffectTypeDual) {
        with("fxsecond", [&](Texture* t) {
            return MaterialEffectsSetupDualTexture(material, t, effect.source, effect.destination) != nullptr;
        });
    }
    if (effect.type == EffectTypeBumpMap || effect.type == EffectTypeBumpEnvMap) {
        // Without rasters no combined texture is made here: the reader
        // builds it from the height texture it finds.
        with("fxheight",
             [&](Texture* t) { return MaterialEffectsSetupBumpMap(material, t, nullptr, 1.0f) != nullptr; });
    }
    if (effect.environment) {
        with(effect.environment, [&](Texture* t) {
            return MaterialEffectsSetupEnvMap(material, t, nullptr, 0, effect.coefficient) != nullptr;
        });
    }
    if (!ok) {
        MaterialRelease(material);
        return nullptr;
    }
    return material;
}

/// A lit, textured sphere of `material` centred on the origin.
Geometry* Sphere(Material* material, int32_t rings)
{
    const int32_t segments = 2 * rings;
    const int32_t vertices = (rings + 1) * (segments + 1);
    Geometry* geometry = GeometryCreate(vertices, 2 * rings * segments,
                                        kGeometryPositions | kGeometryNormals | kGeometryTextured |
                                            kGeometryLight | kGeometryModulateMaterialColor);
    if (!geometry) {
        return nullptr;
    }
    MorphTarget& target = geometry->morphTargets[0];
    for (int32_t r = 0; r <= rings; ++r) {
        const float theta = kPi * float(r) / float(rings);
        for (int32_t s = 0; s <= segments; ++s) {
            const float phi = 2.0f * kPi * float(s) / float(segments);
            const int32_t v = r * (segments + 1) + s;
            const V3d n = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            target.normals[v] = n;
            target.vertices[v] = {n.x * kRadius, n.y * kRadius, n.z * kRadius};
            geometry->texCoords[0][v] = {2.0f * float(s) / float(segments), float(r) / float(rings)};
        }
    }
    int32_t t = 0;
    for (int32_t r = 0; r < rings; ++r) {
        for (int32_t s = 0; s < segments; ++s) {
            const uint16_t a = uint16_t(r * (segments + 1) + s);
            const uint16_t b = uint16_t(a + segments + 1);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], a, uint16_t(a + 1), b);
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(a + 1),
                                             uint16_t(b + 1), b);
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
        }
    }
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    if (!GeometryUnlock(geometry)) {
        GeometryRelease(geometry);
        return nullptr;
    }
    return geometry;
}

bool AddSphere(Clump* clump, const Effect& effect, float x, int32_t rings)
{
    Material* material = MaterialOf(effect);
    Geometry* geometry = material ? Sphere(material, rings) : nullptr;
    MaterialRelease(material);
    Frame* frame = FrameCreate();
    Atomic* atomic = AtomicCreate();
    if (!geometry || !frame || !atomic) {
        if (geometry) {
            GeometryRelease(geometry);
        }
        if (frame) {
            FrameDestroy(frame);
        }
        if (atomic) {
            AtomicDestroy(atomic);
        }
        return false;
    }
    const V3d at = {x, 0.5f, 0.0f};
    FrameTranslate(frame, &at, kCombineReplace);
    FrameAddChild(ClumpGetFrame(clump), frame);
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    AtomicSetFrame(atomic, frame);
    ClumpAddAtomic(clump, atomic);
    return AtomicEnableEffects(atomic) != nullptr;
}

/// A 64 x 64 RGBA image from `texel`(x, y) as 0xAARRGGBB; written as PNG.
template <typename Texel> bool WritePng(const std::string& path, Texel texel)
{
    Image* image = ImageCreate(kTextureSide, kTextureSide, 32);
    if (!image || !ImageAllocatePixels(image)) {
        ImageDestroy(image);
        return false;
    }
    for (int32_t y = 0; y < kTextureSide; ++y) {
        uint8_t* row = image->pixels + size_t(y) * size_t(image->stride);
        for (int32_t x = 0; x < kTextureSide; ++x) {
            const uint32_t c = texel(x, y);
            row[4 * x] = uint8_t(c >> 16);
            row[4 * x + 1] = uint8_t(c >> 8);
            row[4 * x + 2] = uint8_t(c);
            row[4 * x + 3] = uint8_t(c >> 24);
        }
    }
    const bool ok = PngWrite(image, path.c_str()) != nullptr;
    ImageDestroy(image);
    return ok;
}

uint32_t Grey(uint32_t level, uint32_t alpha = 255)
{
    return alpha << 24 | level << 16 | level << 8 | level;
}

bool WriteCube(const std::string& path)
{
    DdsHeader header = {};
    header.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat;
    header.width = header.height = kCubeSide;
    header.pixelFlags = kDdsPixelRgb;
    header.bitCount = 32;
    header.redMask = 0xFF0000;
    header.greenMask = 0xFF00;
    header.blueMask = 0xFF;
    header.caps = 0x1000 | kDdsCapsComplex;
    header.caps2 = kDdsCaps2CubeMap | kDdsCaps2CubeBits;
    std::vector<uint8_t> bytes(kDdsHeaderBytes);
    DdsWriteHeader(&header, bytes.data());
    // +x, -x, +y, -y, +z, -z: warm and cool sides, a bright sky, a dark floor.
    const uint32_t faces[6] = {0xE08040, 0x4080E0, 0xF0F0FF, 0x302820, 0x80E080, 0xE080C0};
    for (uint32_t face : faces) {
        for (int32_t y = 0; y < kCubeSide; ++y) {
            for (int32_t x = 0; x < kCubeSide; ++x) {
                const uint32_t c = ((x / 4 + y / 4) % 2) ? face : (face >> 1) & 0x7F7F7F;
                for (int shift = 0; shift < 32; shift += 8) {
                    bytes.push_back(uint8_t(c >> shift));
                }
            }
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

Clump* EffectsBuildSample(int32_t rings)
{
    Clump* clump = ClumpCreate();
    Frame* root = FrameCreate();
    if (!clump || !root) {
        if (root) {
            FrameDestroy(root);
        }
        if (clump) {
            ClumpDestroy(clump);
        }
        return nullptr;
    }
    ClumpSetFrame(clump, root);
    const int32_t count = int32_t(std::size(kRow));
    for (int32_t i = 0; i < count; ++i) {
        if (!AddSphere(clump, kRow[i], float(i) - 0.5f * float(count - 1), rings < 2 ? 2 : rings)) {
            ClumpDestroy(clump);
            return nullptr;
        }
    }
    return clump;
}

bool EffectsWriteTextures(const std::string& dir, const std::string& cubeDir)
{
    const auto base = [](int32_t x, int32_t y) {
        // Terracotta tiles with light joints.
        return (x % 16 < 1 || y % 16 < 1) ? 0xFFE0D8C8u
                                          : 0xFFB05030u + uint32_t(((x / 16 + y / 16) % 2) * 0x101010);
    };
    const auto second = [](int32_t x, int32_t y) {
        // Blue and yellow stripes, opaque on the left fading out to the right.
        const uint32_t alpha = uint32_t(255 - x * 255 / (kTextureSide - 1));
        return alpha << 24 | (((x + y) / 8) % 2 ? 0x2060E0u : 0xF0D020u);
    };
    const auto height = [](int32_t x, int32_t y) {
        // Round bumps on a 16-texel grid.
        const float dx = float(x % 16) - 7.5f, dy = float(y % 16) - 7.5f;
        const float d = std::sqrt(dx * dx + dy * dy) / 7.5f;
        return Grey(uint32_t(d < 1.0f ? 255.0f * (1.0f - d * d) : 0.0f));
    };
    const auto sphere = [](int32_t x, int32_t y) {
        // A sky over a horizon with a bright sun high on the left.
        const float sx = float(x) - 20.0f, sy = float(y) - 18.0f;
        if (sx * sx + sy * sy < 36.0f) {
            return 0xFFFFFFE0u;
        }
        return y < kTextureSide / 2
                   ? 0xFF000000u | uint32_t(80 + y * 3) << 16 | uint32_t(120 + y * 3) << 8 | 0xF0
                   : 0xFF605040u;
    };
    return WritePng(dir + "/fxbase.png", base) && WritePng(dir + "/fxsecond.png", second) &&
           WritePng(dir + "/fxheight.png", height) && WritePng(dir + "/fxsphere.png", sphere) &&
           WriteCube(cubeDir + "/fxcube.dds");
}
