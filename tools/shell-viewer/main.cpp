// shell-viewer: the engine started through the shell on the software device,
// a small immediate-mode scene, the overlay menu on the viewer's own
// settings, ./readme.txt as help and the preset views of ./views.txt.
//
// The logo plug-in is attached at event 9 and drawn at the bottom right of
// the camera, so the engine's plug-ins are seen coming in through the shell.
//
// Keys: Space cycles hidden / menu / help; in the menu Up/Down/Left/Right;
// S spins, H changes the shape, F5 steps the speed; Page Up / Page Down step
// the preset views; F2 saves the camera as a view; Escape quits.
// Options of the device choice: -device n, -mode m, -list-devices.
#include <cmath>
#include <cstdio>

#include "graphics/animation/logo.h"
#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/presetviews.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "tools/cli/tool_shell.h"
#include "tools/viewershell/viewershell.h"

namespace {

struct Viewer
{
    int32_t spin = 1;  ///< toggle
    int32_t shape = 1; ///< 0 triangle, 1 quad, 2 star
    float speed = 0.5f;
    float angle = 0.0f;
};

Viewer gViewer;

const char* const kShapeNames[] = {"Triangle", "Quad", "Star"};

void* StateValue(uintptr_t value)
{
    return reinterpret_cast<void*>(value);
}

void AddCorner(Im3DVertex* v, int* n, float x, float y, uint32_t colour)
{
    v[(*n)++] = {x, y, 0.0f, 0, 0, -1, colour, 0, 0};
}

// The shape as a triangle list in the plane z = 0, facing the camera.
int BuildShape(Im3DVertex* v)
{
    int n = 0;
    switch (gViewer.shape) {
    case 0:
        AddCorner(v, &n, 0.0f, 1.0f, 0xFFFF4040);
        AddCorner(v, &n, 0.9f, -0.6f, 0xFF40FF40);
        AddCorner(v, &n, -0.9f, -0.6f, 0xFF4040FF);
        break;
    case 1: {
        const float quad[2][6] = {{-0.8f, 0.8f, 0.8f, 0.8f, -0.8f, -0.8f},
                                  {0.8f, 0.8f, 0.8f, -0.8f, -0.8f, -0.8f}};
        for (const auto& q : quad) {
            AddCorner(v, &n, q[0], q[1], 0xFFE08020);
            AddCorner(v, &n, q[2], q[3], 0xFF2080E0);
            AddCorner(v, &n, q[4], q[5], 0xFF20E080);
        }
        break;
    }
    default:
        for (int i = 0; i < 5; ++i) {
            const float a = float(i) * 2.0f * 3.14159265f / 5.0f;
            const float b = a + 3.14159265f / 5.0f, c = a - 3.14159265f / 5.0f;
            AddCorner(v, &n, std::sin(a), std::cos(a), 0xFFFFE040);
            AddCorner(v, &n, 0.4f * std::sin(b), 0.4f * std::cos(b), 0xFFFF8000);
            AddCorner(v, &n, 0.4f * std::sin(c), 0.4f * std::cos(c), 0xFFFF8000);
            AddCorner(v, &n, 0.0f, 0.0f, 0xFFFF8000);
            AddCorner(v, &n, 0.4f * std::sin(c), 0.4f * std::cos(c), 0xFFFF8000);
            AddCorner(v, &n, 0.4f * std::sin(b), 0.4f * std::cos(b), 0xFFFF8000);
        }
        break;
    }
    return n;
}

void Spin()
{
    if (gViewer.spin)
        gViewer.angle += gViewer.speed * 4.0f; // degrees per frame
}

void Draw(Camera*)
{
    Matrix* model = MatrixCreate();
    const V3d axis{0, 0, 1};
    MatrixRotate(model, &axis, gViewer.angle, kCombineReplace);
    Im3DVertex vertices[30];
    const int count = BuildShape(vertices);
    EngineInstance* engine = EngineGetInstance();
    engine->device.renderStateSet(kRenderStateCullMode, StateValue(1));
    if (Im3DTransform(vertices, count, model, kIm3DNoVertexAlpha)) {
        Im3DRenderPrimitive(kIm3DTriList);
        Im3DEnd();
    }
    MatrixDestroy(model);
}

ShellEventResult Keyboard(ShellEvent event, void* param)
{
    const auto* key = static_cast<const ShellKeyRecord*>(param);
    if (event != ShellEventKeyDown || !key)
        return ShellEventNotHandled;
    switch (key->key) {
    case kShellKeyPageDown:
        PresetViewNext(ViewerCamera());
        break;
    case kShellKeyPageUp:
        PresetViewPrevious(ViewerCamera());
        break;
    case kShellKeyF1 + 1:
        PresetViewsSave(ViewerCamera());
        break;
    default:
        return ShellEventNotHandled;
    }
    if (const char* name = PresetViewCurrentName())
        ShellDebugMessage(0, name);
    return ShellEventHandled;
}

bool Start(Camera* camera)
{
    Frame* frame = CameraGetFrame(camera);
    const V3d back{0, 0, -3};
    FrameTranslate(frame, &back, kCombineReplace);
    LogoCameraSetEnabled(camera, 1);
    LogoSetPosition(9);
    MenuAddToggle("SPIN_S", &gViewer.spin, nullptr);
    MenuAddInt("SHAPE_H", &gViewer.shape, nullptr, 0, 2, 1, kShapeNames);
    MenuAddFloat("SPEEDF5", &gViewer.speed, nullptr, 0.0f, 2.0f, 0.25f);
    MenuAddSeparator();
    MenuAddText("PAGE UP/DOWN: VIEWS", nullptr);
    PresetViewsLoad();
    return true;
}

void Stop()
{
    PresetViewsFree();
}

const ViewerProgram kProgram = {
    "shell-viewer", 100.0f, {16, 32, 64, 255}, LogoPluginAttach, Start, Stop, Spin, Draw, Keyboard, nullptr,
};

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return ViewerHandleEvent(kProgram, event, param);
}

int main(int argc, char** argv)
{
    ToolCli::App app("The engine started through the shell, with the overlay menu, the help and the preset "
                     "views; run in tools/shell-viewer.",
                     "shell-viewer");
    return ToolCli::ShellMain(app, argc, argv);
}
