// Writes the preset_views seed corpus with PresetViewsSave: the engine is
// started on the software device (headless), a camera is put at a few
// places and saved, and the resulting "views.txt" files are copied.
// Usage: preset_views_seed <corpus directory>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/shared/skel/win/presetviews.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_engine.h"

// Programs on the shell supply the application's handler; this one answers nothing.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: preset_views_seed <corpus directory>\n");
        return 2;
    }
    const fs::path corpus = fs::absolute(argv[1]);
    char folder[] = "/tmp/preset_views_seed_XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0)
        return 1;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    HWND window = Win32WindowCreate("seed", 64, 48);
    EngineOpenParams params{window};
    EngineSetDeviceDriver(D3D9DriverGet());
    if (!window || !EngineInit(nullptr, 0, 0x400000) || !EngineOpen(&params) || !EngineStart() ||
        !FileSystemManagerOpen(-1) || !ShellRegisterFileSystems())
        return 1;
    Camera* camera = ShellCameraCreate(64, 48, false);
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    if (!frame)
        return 1;
    const V3d up{0, 1, 0}, right{1, 0, 0};
    const struct
    {
        float yaw, pitch;
        V3d position;
    } places[] = {{0, 0, {0, 1.5f, -10}}, {90, -20, {12.25f, 3, 4}}, {-135, 45, {-1e4f, 0.001f, 250.5f}}};
    int files = 0;
    for (const auto& p : places) {
        FrameRotate(frame, &right, p.pitch, kCombineReplace);
        FrameRotate(frame, &up, p.yaw, kCombinePostConcat);
        FrameTranslate(frame, &p.position, kCombinePostConcat);
        CameraSetFarClipPlane(camera, 100.0f + float(files) * 50.0f);
        PresetViewsSave(camera);
        fs::copy_file("views.txt", corpus / ("views" + std::to_string(files++) + ".txt"),
                      fs::copy_options::overwrite_existing);
    }
    PresetViewsFree();
    ShellCameraDestroy(camera);
    ToolEngineStop();
    Win32WindowDestroy(window);
    fs::remove_all(folder);
    return 0;
}
