// A model whose material carries a material effect, written to a file, read
// back by a scene object and drawn by the framework's frame: the effect's
// second texture shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/sceneobject.h"
#include "framework/tests/physicstesting.h"
#include "graphics/animation/effects/effects.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "graphics/toolkit2d/bmp.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGreen = 0x00FF00;
// Dual-texture blend: the second texture times what the first pass drew.
constexpr uint32_t kBlendDestColour = 9;
constexpr uint32_t kBlendZero = 1;

class SceneEffects : public PhysicsWorld
{
  protected:
    /// The sample level under a camera at (0, 1.5, -5) looking along +z.
    void SetUp() override
    {
        PhysicsWorld::SetUp();
        ConfigBuilder config;
        config.Open("Config").Open("Input").Element("MouseMode", {{"Value", "1"}}).Close();
        config.Open("Worlds")
            .Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", "0"}})
            .Close();
        config.Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}})
            .Element("CameraMode", {{"mode", "Free"}})
            .Open("Free")
            .Element("InitialPosition", {{"x", "0"}, {"y", "1.5"}, {"z", "-5"}})
            .Element("InitialTarget", {{"x", "0"}, {"y", "1.5"}, {"z", "0"}})
            .Close()
            .Close();
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_EQ(Worlds()->GetWorldCount(), 1);
    }

    /// A one-pixel BMP of `rgb` named `name`.bmp in the "textures" folder
    /// beside the model, where a model's textures are looked up.
    void WritePicture(const char* name, uint32_t rgb)
    {
        Image* image = ImageCreate(1, 1, 32);
        ASSERT_NE(ImageAllocatePixels(image), nullptr);
        image->pixels[0] = uint8_t(rgb >> 16);
        image->pixels[1] = uint8_t(rgb >> 8);
        image->pixels[2] = uint8_t(rgb);
        image->pixels[3] = 255;
        std::filesystem::create_directories(folder_ / "textures");
        const std::string path = (folder_ / "textures" / (std::string(name) + ".bmp")).string();
        EXPECT_NE(BmpWrite(image, path.c_str()), nullptr);
        ImageDestroy(image);
    }

    /// "quad.dff": a white, unlit quad of side 1 facing -z, its material
    /// textured "base" (white) with the dual-texture effect over "second"
    /// (green), effects switched on for its atomic. The path.
    std::string WriteModel()
    {
        WritePicture("base", kWhite);
        WritePicture("second", kGreen);
        const std::string path = (folder_ / "quad.dff").string();
        ShellSetImagePathForFile(path.c_str());
        Texture* base = TextureReadDefault("base", nullptr);
        Texture* second = TextureReadDefault("second", nullptr);
        EXPECT_TRUE(base && second);
        Material* material = MaterialCreate();
        material->colour = {255, 255, 255, 255};
        MaterialSetTexture(material, base);
        EXPECT_NE(MaterialEffectsSetType(material, EffectTypeDual), nullptr);
        EXPECT_NE(MaterialEffectsSetupDualTexture(material, second, kBlendDestColour, kBlendZero), nullptr);
        TextureDestroy(base);
        TextureDestroy(second);

        Geometry* geometry = GeometryCreate(4, 2, kGeometryPreLit | kGeometryTextured);
        const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
        for (int v = 0; v < 4; ++v) {
            geometry->morphTargets[0].vertices[v] = {corners[v][0], corners[v][1], 0.0f};
            geometry->texCoords[0][v] = {corners[v][0] + 0.5f, corners[v][1] + 0.5f};
            geometry->preLitColours[v] = {255, 255, 255, 255};
        }
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 2, 1, 0);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 3, 2, 0);
        for (int t = 0; t < 2; ++t)
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t], material);
        MaterialRelease(material);
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        EXPECT_NE(GeometryUnlock(geometry), nullptr);

        Clump* clump = ClumpCreate();
        Frame* root = FrameCreate();
        ClumpSetFrame(clump, root);
        Atomic* atomic = AtomicCreate();
        AtomicSetGeometry(atomic, geometry, 0);
        GeometryRelease(geometry);
        AtomicSetFrame(atomic, root);
        ClumpAddAtomic(clump, atomic);
        EXPECT_NE(AtomicEnableEffects(atomic), nullptr);

        Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, path.c_str());
        EXPECT_TRUE(stream && ClumpStreamWrite(clump, stream));
        if (stream)
            StreamClose(stream, nullptr);
        ClumpDestroy(clump);
        return path;
    }

    uint32_t CentrePixel()
    {
        int32_t w = 0, h = 0;
        const std::vector<uint32_t> pixels = CameraPixels(&w, &h);
        return pixels.empty() ? 0xDEADBEEF : pixels[size_t(h / 2 * w + w / 2)] & 0xFFFFFF;
    }
};

TEST_F(SceneEffects, ModelReadWithItsEffectIsDrawnWithIt)
{
    const std::string path = WriteModel();
    CSceneObject quad;
    ASSERT_TRUE(quad.LoadClump(path.c_str()));
    Atomic* atomic = quad.GetFirstAtomic();
    ASSERT_NE(atomic, nullptr);
    EXPECT_TRUE(AtomicEffectsEnabled(atomic)) << "the atomic's effects word was read";
    Material* material = GeometryTriangleGetMaterial(atomic->geometry, &atomic->geometry->triangles[0]);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(MaterialEffectsGetType(material), uint32_t(EffectTypeDual)) << "the material's effect was read";

    // One metre in front of the camera, filling the middle of the picture.
    quad.SetPosition({0.0f, 1.5f, -4.0f});
    ASSERT_TRUE(Worlds()->RegisterObject(&quad));
    RunFrame(20);
    EXPECT_EQ(CentrePixel(), kGreen) << "white base times the green second texture; white without the effect";
    EXPECT_TRUE(Worlds()->UnregisterObject(&quad));
}

} // namespace
