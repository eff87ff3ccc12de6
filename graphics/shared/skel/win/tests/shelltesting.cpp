#include "graphics/shared/skel/win/tests/shelltesting.h"

#include <cstring>

#include "graphics/core/filesystem.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/shellwin.h"
#include "platform/win32/commandline.h"
#include "platform/win32/inputscript.h"
#include "platform/win32/timing.h"

namespace {

RecordedEvent Record(ShellEvent event, void* param)
{
    RecordedEvent r{event, {}};
    r.time = timeGetTime();
    if (!param && event != ShellEventActivate)
        return r;
    switch (event) {
    case ShellEventArgument:
    case ShellEventEarlyArgument:
        r.text = static_cast<const char*>(param);
        break;
    case ShellEventLoadFile: {
        r.text = static_cast<const char*>(param);
        FileSystem* fs = FileSystemManagerGetDefault();
        r.value = fs && std::strcmp(fs->name, "uncd") == 0; // 1: "uncd" is the default
        break;
    }
    case ShellEventActivate:
        r.value = reinterpret_cast<intptr_t>(param);
        break;
    case ShellEventMouseWheel:
        r.value = *static_cast<int32_t*>(param);
        break;
    case ShellEventResize:
        r.rect = *static_cast<ShellRect*>(param);
        break;
    case ShellEventKeyDown:
    case ShellEventKeyUp:
        r.key = *static_cast<ShellKeyRecord*>(param);
        break;
    case ShellEventLeftButtonDown:
    case ShellEventRightButtonDown:
    case ShellEventMouseMove:
        r.mouse = *static_cast<ShellMouseRecord*>(param);
        break;
    default:
        break;
    }
    return r;
}

ShellEventResult InputHandler(ShellEvent event, void* param)
{
    Recorder().events.push_back(Record(event, param));
    return ShellEventHandled;
}

} // namespace

ShellRecorder& Recorder()
{
    static ShellRecorder recorder;
    return recorder;
}

void ShellRecorder::Clear()
{
    *this = ShellRecorder{};
}

std::vector<ShellEvent> ShellRecorder::Codes() const
{
    std::vector<ShellEvent> codes;
    for (const RecordedEvent& e : events)
        codes.push_back(e.event);
    return codes;
}

std::vector<ShellEvent> ShellRecorder::CodesWithoutFrames() const
{
    std::vector<ShellEvent> codes;
    for (const RecordedEvent& e : events)
        if (e.event != ShellEventIdle && e.event != ShellEventActivate)
            codes.push_back(e.event);
    return codes;
}

int ShellRecorder::Count(ShellEvent event) const
{
    int n = 0;
    for (const RecordedEvent& e : events)
        n += e.event == event;
    return n;
}

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    ShellRecorder& r = Recorder();
    r.events.push_back(Record(event, param));
    if (event == ShellEventStartEngine && r.attachHandlers) {
        ShellAttachInputDevice(ShellDeviceKeyboard, InputHandler);
        ShellAttachInputDevice(ShellDeviceMouse, InputHandler);
    }
    if (event == ShellEventIdle) {
        const int idle = r.idles++;
        if (idle >= r.idleLimit)
            PostQuitMessage(99);
        if (r.onIdle)
            r.onIdle(idle);
    }
    const ShellEventResult answer = r.answer ? r.answer(event, param) : ShellEventNotHandled;
    if (answer == ShellEventNotHandled && !r.startEngine &&
        (event == ShellEventStartEngine || event == ShellEventStopEngine))
        return ShellEventHandled; // the loop alone, without the engine
    if (answer == ShellEventNotHandled && event == ShellEventInitialise) {
        // As the framework does: initialise the shell, then choose the size.
        ShellInitialize();
        ShellGetSettings()->width = 320;
        ShellGetSettings()->height = 240;
        return ShellEventHandled;
    }
    return answer;
}

void ShellTestReset(const std::vector<std::string>& args)
{
    Recorder().Clear();
    Win32ResetMessageQueue();
    Win32ClockReset(1, 1000);
    InputScriptPlay({});
    ShellResetInputDevices();
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    Win32SetCommandLine(int(argv.size()), argv.data());
}

void PushWindowEvent(SDL_WindowEventID event, int data1, int data2)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = uint8_t(event);
    e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(ShellGetWindow())));
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}
