// The device chooser and the device selection.
#include "graphics/shared/skel/win/devicechooser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/splitcommandline.h"
#include "platform/win32/commandline.h"
#include "platform/win32/debugout.h"

namespace {

ShellDeviceChooser gChooser = ShellDefaultDeviceChooser;
int gStartExitCode = 1;

// A whole number 0 to 999999, nothing else.
bool ParseIndex(const char* text, int32_t* value)
{
    const size_t n = std::strlen(text);
    if (n == 0 || n > 6)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    *value = int32_t(std::strtol(text, nullptr, 10));
    return true;
}

bool ParseValue(const char* option, const char* text, bool allowExit, ShellDeviceRequest* request,
                int32_t* out)
{
    if (!text) {
        request->error = std::string(option) + " needs a value";
        return false;
    }
    if (allowExit && std::strcmp(text, "exit") == 0) {
        request->exit = true;
        return true;
    }
    if (!ParseIndex(text, out)) {
        request->error = std::string(option) + " " + text + ": not a whole number from 0";
        return false;
    }
    return true;
}

void Refuse(const std::string& text)
{
    gStartExitCode = 2;
    MessageBoxA(ShellGetWindowInfo()->window, text.c_str(), "Device Selection", MB_ICONERROR);
}

void List(const ShellDeviceChoices* choices)
{
    const ShellEngine& e = *ShellGetEngine();
    for (int32_t s = 0; s < choices->count; ++s) {
        std::printf("device %d: %.*s%s\n", s, int(sizeof choices->subSystems[s].name),
                    choices->subSystems[s].name, s == choices->currentSubSystem ? " (current)" : "");
        if (!e.setSubSystem(s))
            continue;
        const int32_t modes = e.numVideoModes();
        const int32_t current = e.currentVideoMode();
        for (int32_t m = 0; m < modes; ++m) {
            VideoMode mode{};
            if (e.videoModeInfo(&mode, m))
                std::printf("  mode %d: %s%s\n", m, ShellVideoModeText(mode).c_str(),
                            m == current ? " (current)" : "");
        }
    }
    e.setSubSystem(choices->currentSubSystem);
    std::fflush(stdout);
}

} // namespace

std::string ShellVideoModeText(const VideoMode& mode)
{
    char text[96];
    std::snprintf(text, sizeof text, "%lu x %lu x %lu %s", static_cast<unsigned long>(uint32_t(mode.width)),
                  static_cast<unsigned long>(uint32_t(mode.height)),
                  static_cast<unsigned long>(uint32_t(mode.depth)),
                  (mode.flags & kVideoModeExclusive) ? "(Fullscreen)" : "");
    return text;
}

bool ShellParseDeviceRequest(const char* commandLine, const char* envDevice, const char* envMode,
                             ShellDeviceRequest* request)
{
    *request = ShellDeviceRequest{};
    int32_t argc = 0;
    char** argv = SplitCommandLine(commandLine, &argc);
    if (!argv) {
        request->error = "out of memory";
        return false;
    }
    bool ok = true, deviceGiven = false, modeGiven = false;
    for (int32_t i = 1; ok && i < argc; ++i) {
        if (std::strcmp(argv[i], "-list-devices") == 0) {
            request->list = true;
        } else if (std::strcmp(argv[i], "-device") == 0) {
            ok = ParseValue("-device", argv[i + 1], true, request, &request->subSystem);
            deviceGiven = true;
            ++i;
        } else if (std::strcmp(argv[i], "-mode") == 0) {
            ok = ParseValue("-mode", argv[i + 1], false, request, &request->mode);
            modeGiven = true;
            ++i;
        }
    }
    std::free(argv);
    if (ok && !deviceGiven && envDevice && *envDevice)
        ok = ParseValue("OLAI_DEVICE", envDevice, true, request, &request->subSystem);
    if (ok && !modeGiven && envMode && *envMode)
        ok = ParseValue("OLAI_VIDEO_MODE", envMode, false, request, &request->mode);
    return ok;
}

void ShellSetDeviceChooser(ShellDeviceChooser chooser)
{
    gChooser = chooser ? chooser : ShellDefaultDeviceChooser;
}

int32_t ShellDefaultDeviceChooser(const ShellDeviceChoices* choices, int32_t* subSystem, int32_t* mode)
{
    ShellDeviceRequest request;
    if (!ShellParseDeviceRequest(GetCommandLineA(), std::getenv("OLAI_DEVICE"),
                                 std::getenv("OLAI_VIDEO_MODE"), &request)) {
        Refuse(request.error);
        return 0;
    }
    if (request.list) {
        List(choices);
        gStartExitCode = 0;
        return 0;
    }
    if (request.exit) {
        gStartExitCode = 0;
        return 0;
    }
    const ShellEngine& e = *ShellGetEngine();
    *subSystem = request.subSystem >= 0 ? request.subSystem : choices->currentSubSystem;
    if (*subSystem >= choices->count) {
        Refuse("-device " + std::to_string(*subSystem) + ": there are devices 0 to " +
               std::to_string(choices->count - 1));
        return 0;
    }
    // The modes are those of the chosen subsystem: select it to read them.
    if (!e.setSubSystem(*subSystem))
        return 0;
    const int32_t modes = e.numVideoModes();
    *mode = request.mode >= 0 ? request.mode : e.currentVideoMode();
    if (*mode < 0 || *mode >= modes) {
        Refuse("-mode " + std::to_string(*mode) + ": device " + std::to_string(*subSystem) +
               " has modes 0 to " + std::to_string(modes - 1));
        return 0;
    }
    return 1;
}

int ShellStartExitCode()
{
    return gStartExitCode;
}

void ShellClearStartExitCode()
{
    gStartExitCode = 1;
}

bool DeviceSelectDialog()
{
    ShellClearStartExitCode();
    const ShellEngine& e = *ShellGetEngine();
    ShellDeviceChoices choices{};
    const int32_t available = e.numSubSystems();
    if (available <= 0)
        return false;
    choices.count = available > kShellMaxSubSystems ? kShellMaxSubSystems : available;
    for (int32_t i = 0; i < choices.count; ++i)
        if (!e.subSystemInfo(&choices.subSystems[i], i))
            choices.subSystems[i] = SubSystemInfo{};
    choices.currentSubSystem = e.currentSubSystem();
    if (choices.currentSubSystem < 0 || choices.currentSubSystem >= choices.count)
        choices.currentSubSystem = 0;
    int32_t subSystem = choices.currentSubSystem, mode = 0;
    if (!gChooser(&choices, &subSystem, &mode))
        return false;
    if (!e.setSubSystem(subSystem) || !e.setVideoMode(mode))
        return false;
    VideoMode info{};
    if (!e.videoModeInfo(&info, mode))
        return false;
    ShellSettings* settings = ShellGetSettings();
    HWND window = ShellGetWindowInfo()->window;
    if (info.flags & kVideoModeExclusive) {
        settings->width = info.width;
        settings->height = info.height;
        ShellGetWindowInfo()->fullScreen = 1;
        SetWindowLongA(window, GWL_STYLE, LONG(WS_POPUP));
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    } else {
        RECT client{};
        if (GetClientRect(window, &client)) {
            settings->width = client.right - client.left;
            settings->height = client.bottom - client.top;
        }
    }
    return true;
}
