// scene-view: a world and models through the Direct3D 9 scene renderer on
// the software device in an SDL window, until Escape or the window is
// closed. Unattended: OLAI_EXIT_AFTER_FRAMES=N, OLAI_SCREENSHOT=path.png.
//
//   scene-view [WORLD] [MODEL...] [--data DIR] [--instances N]
//              [--camera EX EY EZ TX TY TZ] [--width W] [--height H]
//              [--anim FILE.anm --time T] [--caps PROFILE] [--shaders]
//              [--model-scale S] [--arena BYTES]
//
// Without files: DIR/level.bsp and every DIR/*.dff (the sample data set);
// with models (.dff) only: DIR/level.bsp and those models. --anim poses the
// skinned models at T seconds; --caps gives the device the caps of a named
// profile (full, vs96, nohwtl, ff3, minimal); --shaders draws the atomics
// and the world through generated vertex shaders; --model-scale scales every
// model (the demo's characters are built at 500 units a metre: 0.002);
// --arena sizes the resources arena that holds the instanced data.
#include "tools/cli/tool_cli.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/d3d9/testing/capsprofiles.h"
#include "tools/scene-view/sceneview.h"

namespace {

std::vector<std::string> ModelsIn(const std::string& folder)
{
    std::vector<std::string> models;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().extension() == ".dff") {
            models.push_back(entry.path().string());
        }
    }
    std::sort(models.begin(), models.end());
    return models;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app("scene-view: a world and models lit and drawn by the scene renderer. Unattended: "
                     "OLAI_EXIT_AFTER_FRAMES=N, OLAI_SCREENSHOT=path.png.",
                     "scene-view");
    std::vector<std::string> files;
    std::string data = "data/world";
    SceneViewOptions options;
    std::vector<float> camera;
    app.add_option("files", files, "a world file, then model files");
    app.add_option("--data", data, "folder of the sample data set used without files")->capture_default_str();
    app.add_option("--instances", options.instances, "copies of the models spread over the floor")
        ->check(ToolCli::Range(0, 100000))
        ->capture_default_str();
    app.add_option("--camera", camera, "camera position and the point it looks at (world units)")
        ->expected(6)
        ->check(ToolCli::FiniteRange(-1e6, 1e6));
    app.add_option("--model-scale", options.modelScale,
                   "scale of the models (0.002 for models at 500 units a metre in a world in metres)")
        ->check(ToolCli::FiniteRange(1e-6, 1e6))
        ->capture_default_str();
    app.add_option("--width", options.width, "window width, pixels")
        ->check(ToolCli::Range(16, 4096))
        ->capture_default_str();
    app.add_option("--height", options.height, "window height, pixels")
        ->check(ToolCli::Range(16, 4096))
        ->capture_default_str();
    std::string caps;
    app.add_option("--anim", options.anim, "keyframe animation (.anm) that poses the skinned models");
    app.add_option("--time", options.time, "seconds into the animation")
        ->check(ToolCli::FiniteRange(0.0, 1.0e6))
        ->capture_default_str();
    app.add_option("--caps", caps, "caps profile of the device")
        ->check(ToolCli::IsMember({"full", "vs96", "nohwtl", "ff3", "minimal"}));
    app.add_flag("--shaders", options.shaders, "draw atomics and the world through generated vertex shaders");
    app.add_option("--arena", options.arenaBytes, "resources arena size in bytes (0: the engine's)")
        ->check(ToolCli::Range(0u, 1u << 30))
        ->capture_default_str();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status)) {
        return status;
    }
    if (!caps.empty()) {
        D3D9UseCapsProfile(caps.c_str());
    }
    if (files.empty()) {
        options.world = data + "/level.bsp";
        options.models = ModelsIn(data);
    } else if (std::filesystem::path(files[0]).extension() == ".dff") {
        options.world = data + "/level.bsp";
        options.models = files;
    } else {
        options.world = files[0];
        options.models.assign(files.begin() + 1, files.end());
    }
    if (camera.size() == 6) {
        options.cameraGiven = true;
        options.eye = {camera[0], camera[1], camera[2]};
        options.target = {camera[3], camera[4], camera[5]};
    }

    HWND window = Win32WindowCreate("scene-view", options.width, options.height);
    if (!window) {
        std::fprintf(stderr, "scene-view: no window: %s\n", SDL_GetError());
        return 1;
    }
    if (!SceneViewEngineStart(window)) {
        std::fprintf(stderr, "scene-view: the engine did not start\n");
        Win32WindowDestroy(window);
        return 1;
    }
    SceneView view;
    std::string error;
    if (!SceneViewCreate(&view, options, &error)) {
        std::fprintf(stderr, "scene-view: %s\n", error.c_str());
        status = 1;
    } else {
        while (!Win32PeekQuit()) {
            Win32PumpEvents();
            const Uint8* keys = SDL_GetKeyboardState(nullptr);
            if (keys && keys[SDL_SCANCODE_ESCAPE]) {
                break;
            }
            SceneViewRender(&view);
        }
        std::printf("scene-view: %u frames\n", view.frames);
        SceneViewDestroy(&view);
    }
    SceneViewEngineStop();
    Win32WindowDestroy(window);
    return status;
}
