// The scene viewer's pictures of the sample data set and of the demo's data
// set, rendered headless and compared with their reference images (every channel within 3 levels on at
// least 99.5 % of the pixels) plus pixels that follow from the scene, and
// its refusal of a truncated world; the same scene through generated vertex
// shaders against its fixed-function picture.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/capsprofiles.h"
#include "platform/d3d9/testing/referenceimage.h"
#include "tools/scene-view/sceneview.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
const std::string kData = OLAI_SAMPLE_DATA;

std::vector<std::string> SampleModels()
{
    std::vector<std::string> models;
    for (const char* name : {"button", "crate", "lift", "morph", "soldier"}) {
        models.push_back(kData + "/" + name + ".dff");
    }
    return models;
}

Atomic* HalfwayMorph(Atomic* atomic, void*)
{
    if (atomic->geometry && atomic->geometry->numMorphTargets > 1) {
        atomic->interpolator.startMorphTarget = 0;
        atomic->interpolator.endMorphTarget = 1;
        atomic->interpolator.time = 1.0f;
        atomic->interpolator.recipTime = 1.0f;
        atomic->interpolator.position = 0.5f;
        atomic->interpolator.flags |= 0x1 | kAtomicInterpolatorDirty;
    }
    return atomic;
}

/// Puts the view's camera at `eye`, upright, looking along +z.
void LookAlongZFrom(SceneView& view, const V3d& eye)
{
    Matrix camera = {};
    camera.right = {1, 0, 0};
    camera.up = {0, 1, 0};
    camera.at = {0, 0, 1};
    camera.pos = eye;
    FrameTransform(view.cameraFrame, &camera, kCombineReplace);
}

// Channels of `a` and `b` within `tolerance` levels on what share of the pixels.
double ShareWithin(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance)
{
    size_t close = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool near = true;
        for (int shift = 0; shift < 24; shift += 8) {
            near = near && std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)) <= tolerance;
        }
        close += near;
    }
    return a.empty() ? 0.0 : double(close) / double(a.size());
}

class View : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) {
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        }
        window_ = Win32WindowCreate("scene-view test", kWidth, kHeight);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(SceneViewEngineStart(window_));
    }

    void TearDown() override
    {
        SceneViewEngineStop();
        Win32WindowDestroy(window_);
        EXPECT_EQ(D3D9LiveObjectCount(), 0) << "device objects outlived the engine";
    }

    HWND window_ = nullptr;
};

TEST_F(View, SampleWorldMatchesItsReferencePicture)
{
    SceneViewOptions options;
    options.world = kData + "/level.bsp";
    options.models = SampleModels();
    options.instances = 20;
    options.width = kWidth;
    options.height = kHeight;
    SceneView view;
    std::string error;
    ASSERT_TRUE(SceneViewCreate(&view, options, &error)) << error;
    ASSERT_TRUE(SceneViewRender(&view));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    SceneViewDestroy(&view);
    ASSERT_EQ(pixels.size(), size_t(kWidth * kHeight));

    // The sky fills the top corners; the world fills the middle.
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x6080A0u);
    EXPECT_EQ(pixels[kWidth - 1] & 0xFFFFFF, 0x6080A0u);
    EXPECT_NE(pixels[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF, 0x6080A0u);
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                               "scene-view", pixels, kWidth, kHeight),
              "");
}

// A device without hardware transform and lighting: skinned models take the
// software path, which the data set's pictures are about.
class SoftwareSkinnedView : public View
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(D3D9UseCapsProfile("nohwtl"));
        View::SetUp();
    }
    void TearDown() override
    {
        View::TearDown();
        D3D9ResetAdapters();
    }
};

// The demo's data set as the demo sees it: its world with the textures of
// its own dictionary, and each soldier (500 units a metre, scaled by 0.002)
// in the walk at half a second, in front of the camera.
TEST_F(SoftwareSkinnedView, DemoDataSetMatchesItsReferencePictures)
{
    const std::string data = OLAI_DEMO_DATA;
    const struct
    {
        const char* name;
        const char* model; ///< under models/; null: the world alone
        uint32_t dominant; ///< colour channel mask of the soldier's pixels
    } cases[] = {{"demo-world", nullptr, 0},
                 {"demo-bluesoldier", "bluesoldier.dff", 0x0000FF},
                 {"demo-redsoldier", "redsoldier.dff", 0xFF0000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SceneViewOptions options;
        options.world = data + "/models/wardels.bsp";
        options.width = kWidth;
        options.height = kHeight;
        if (c.model) {
            options.models = {data + "/models/" + c.model};
            options.modelScale = 0.002f;
            options.anim = data + "/anims/walk.anm";
            options.time = 0.5f;
        }
        SceneView view;
        std::string error;
        ASSERT_TRUE(SceneViewCreate(&view, options, &error)) << error;
        ASSERT_NE(view.textures, nullptr) << "the world file carries its textures";
        if (c.model) {
            // Three metres in front of the soldier, who stands at the middle of the floor.
            const V3d feet = ClumpGetFrame(view.clumps[0])->modelling.pos;
            LookAlongZFrom(view, {feet.x, feet.y + 1.0f, feet.z - 3.0f});
        }
        ASSERT_TRUE(SceneViewRender(&view));
        const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
        SceneViewDestroy(&view);
        ASSERT_EQ(pixels.size(), size_t(kWidth * kHeight));
        if (c.model) {
            // The soldier stands out in his own colour in the middle column.
            int own = 0;
            for (int y = 0; y < kHeight; ++y) {
                const uint32_t pixel = pixels[size_t(y * kWidth + kWidth / 2)];
                const uint32_t r = pixel >> 16 & 0xFF, b = pixel & 0xFF;
                own += c.dominant == 0xFF ? b > r + 40 : r > b + 40;
            }
            EXPECT_GT(own, kHeight / 4);
        }
        EXPECT_EQ(d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                                   c.name, pixels, kWidth, kHeight),
                  "");
    }
}

// The material-effects sample, a row of eight spheres (three dual textures,
// a texture transform, a sphere and a cube environment, a bump map, a bump
// map with an environment), six metres in front of the camera, on a device
// with one texture stage and no pixel shaders and on one with both.
class EffectsSampleView : public View, public testing::WithParamInterface<const char*>
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(D3D9UseCapsProfile(GetParam()));
        View::SetUp();
    }
    void TearDown() override
    {
        View::TearDown();
        D3D9ResetAdapters();
    }
};

TEST_P(EffectsSampleView, MatchesItsReferencePicture)
{
    SceneViewOptions options;
    options.world = kData + "/level.bsp";
    options.models = {std::string(OLAI_DEMO_DATA) + "/models/effects_sample.dff"};
    options.width = kWidth;
    options.height = kHeight;
    SceneView view;
    std::string error;
    ASSERT_TRUE(SceneViewCreate(&view, options, &error)) << error;
    const V3d centre = ClumpGetFrame(view.clumps[0])->modelling.pos;
    LookAlongZFrom(view, {centre.x, centre.y + 0.5f, centre.z - 6.0f});
    ASSERT_TRUE(SceneViewRender(&view));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    SceneViewDestroy(&view);
    ASSERT_EQ(pixels.size(), size_t(kWidth * kHeight));
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                               std::string("effects-") + GetParam(), pixels, kWidth, kHeight),
              "");
}

INSTANTIATE_TEST_SUITE_P(Profiles, EffectsSampleView, testing::Values("minimal", "full"));

// The sample scene lit by its ambient and directional light only (the local
// lights darkened: the shaders' falloff is not the fixed-function one), the
// morphing model half-way between its targets.
std::vector<uint32_t> SunlitScene(bool shaders)
{
    SceneViewOptions options;
    options.world = kData + "/level.bsp";
    options.models = SampleModels();
    options.instances = 20;
    options.width = kWidth;
    options.height = kHeight;
    options.shaders = shaders;
    SceneView view;
    std::string error;
    EXPECT_TRUE(SceneViewCreate(&view, options, &error)) << error;
    if (!view.world) {
        return {};
    }
    const RGBAReal dark = {0, 0, 0, 1};
    for (Light* light : view.lights) {
        if (LightGetType(light) >= kLightPoint) {
            LightSetColor(light, &dark);
        }
    }
    for (Clump* clump : view.clumps) {
        ClumpVisitAtomics(clump, HalfwayMorph, nullptr);
    }
    EXPECT_TRUE(SceneViewRender(&view));
    std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    SceneViewDestroy(&view);
    return pixels;
}

TEST_F(View, ShadersDrawTheSunlitSceneAsTheFixedFunctionPathDoes)
{
    const std::vector<uint32_t> fixed = SunlitScene(false);
    const std::vector<uint32_t> shaded = SunlitScene(true);
    ASSERT_EQ(fixed.size(), size_t(kWidth * kHeight));
    ASSERT_EQ(shaded.size(), fixed.size());
    EXPECT_NE(shaded[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF, 0x6080A0u)
        << "the world is drawn";
    EXPECT_GE(ShareWithin(fixed, shaded, 3), 0.99);
    if (HasFailure()) {
        d3d9test::CompareWithReferenceIn(OLAI_TEST_OUTPUT_DIR, OLAI_TEST_OUTPUT_DIR, "sunlit-fixed", fixed,
                                         kWidth, kHeight);
        d3d9test::CompareWithReferenceIn(OLAI_TEST_OUTPUT_DIR, OLAI_TEST_OUTPUT_DIR, "sunlit-fixed", shaded,
                                         kWidth, kHeight);
    }
}

TEST_F(View, WithoutVertexShadersTheShaderViewIsRefused)
{
    const std::string output = std::string(OLAI_TEST_OUTPUT_DIR) + "/no-shaders.txt";
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    const std::string command = "SDL_VIDEODRIVER=offscreen OLAI_EXIT_AFTER_FRAMES=1 " OLAI_SCENE_VIEW
                                " --data " +
                                kData + " --caps ff3 --shaders 2>" + output;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(output);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("the device runs no vertex shaders"), std::string::npos) << text;
}

TEST_F(View, WorldWithANumberThatIsNotFiniteIsRefusedAtItsOffset)
{
    std::ifstream in(kData + "/level.bsp", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 64u);
    ASSERT_EQ(bytes[0], 0x0B) << "the world chunk comes first";
    // The x of the world's origin: after the chunk and struct headers and the root flag.
    const uint32_t nan = 0x7FC00000u;
    std::memcpy(bytes.data() + 28, &nan, 4);
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    const std::string patched = std::string(OLAI_TEST_OUTPUT_DIR) + "/nan.bsp";
    std::ofstream(patched, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    SceneViewOptions options;
    options.world = patched;
    SceneView view;
    std::string error;
    EXPECT_FALSE(SceneViewCreate(&view, options, &error));
    EXPECT_NE(error.find("nan.bsp"), std::string::npos) << error;
    EXPECT_NE(error.find("not finite at offset 28"), std::string::npos) << error;
    EXPECT_EQ(view.world, nullptr);
}

// The program on the sample world written native by scenetool, with the
// sample models, in an arena of 16 KB: the models' instanced data fills it
// over and over, every frame; the native sectors, outside it, are drawn from
// their own data frame after frame. The last frame is the one the program
// shows of the plain world with the engine's arena.
TEST_F(View, ProgramShowsANativeWorldAfterTheArenaFills)
{
    const std::string out = std::string(OLAI_TEST_OUTPUT_DIR) + "/native";
    std::filesystem::create_directories(out);
    const std::string native = out + "/level.bsp";
    const std::string write = std::string(OLAI_SCENETOOL) + " native " + kData + "/level.bsp " + native;
    ASSERT_EQ(std::system(write.c_str()), 0) << write;
    auto show = [&](const std::string& world, const std::string& options, const std::string& shot) {
        std::string command = "SDL_VIDEODRIVER=offscreen OLAI_EXIT_AFTER_FRAMES=3 OLAI_SCREENSHOT=" + shot +
                              " " OLAI_SCENE_VIEW " " + world;
        for (const std::string& model : SampleModels()) {
            command += " " + model;
        }
        command += " --instances 20 --width " + std::to_string(kWidth) + " --height " +
                   std::to_string(kHeight) + options + " >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<uint32_t> pixels;
        uint32_t width = 0, height = 0;
        EXPECT_TRUE(d3d9test::ReadPng(shot, &pixels, &width, &height)) << shot;
        return pixels;
    };
    const std::vector<uint32_t> plain = show(kData + "/level.bsp", "", out + "/plain.png");
    const std::vector<uint32_t> full = show(native, " --arena 16384", out + "/native-full-arena.png");
    ASSERT_EQ(plain.size(), size_t(kWidth * kHeight));
    EXPECT_NE(plain[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF, 0x6080A0u) << "the world is drawn";
    EXPECT_EQ(full, plain);
}

TEST_F(View, TruncatedWorldIsRefusedWithTheEnginesError)
{
    std::ifstream in(kData + "/level.bsp", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 64u);
    std::filesystem::create_directories(OLAI_TEST_OUTPUT_DIR);
    const std::string truncated = std::string(OLAI_TEST_OUTPUT_DIR) + "/truncated.bsp";
    std::ofstream(truncated, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() / 2));

    SceneViewOptions options;
    options.world = truncated;
    SceneView view;
    std::string error;
    EXPECT_FALSE(SceneViewCreate(&view, options, &error));
    EXPECT_NE(error.find("truncated.bsp"), std::string::npos) << error;
    EXPECT_NE(error.find("error "), std::string::npos) << error;
    EXPECT_EQ(view.world, nullptr);

    // The program ends with status 1.
    const std::string command = "SDL_VIDEODRIVER=offscreen " OLAI_SCENE_VIEW " " + truncated + " 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

} // namespace
