// The dispatcher and the shell's default answers.
#include "graphics/shared/skel/win/shellevent.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/core/memory.h"
#include "graphics/shared/skel/win/devicechooser.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellstate.h"

namespace {

const char* const kNames[kShellEventCount] = {
#define OLAI_SHELL_EVENT_NAME(code, name) #name,
    OLAI_SHELL_EVENTS(OLAI_SHELL_EVENT_NAME)
#undef OLAI_SHELL_EVENT_NAME
};

// The process heap's functions; the engine's hint is advice we do not need.
void* HeapAllocate(size_t size, uint32_t)
{
    return std::malloc(size);
}
void HeapFree(void* block)
{
    std::free(block);
}
void* HeapReallocate(void* block, size_t size, uint32_t)
{
    return std::realloc(block, size);
}
void* HeapAllocateZeroed(size_t count, size_t size, uint32_t)
{
    return std::calloc(count, size);
}

ShellEventResult Answer(bool ok)
{
    return ok ? ShellEventHandled : ShellEventFailed;
}

ShellEventResult DefaultArgument(ShellEvent, void* param)
{
    ShellEventHandler(ShellEventLoadFile, param);
    return ShellEventHandled;
}

ShellEventResult DefaultHandled(ShellEvent, void*)
{
    return ShellEventHandled;
}

ShellEventResult DefaultInitialise(ShellEvent, void*)
{
    return Answer(ShellInitialize());
}

ShellEventResult DefaultTerminate(ShellEvent, void*)
{
    ShellTerminate();
    return ShellEventHandled;
}

ShellEventResult DefaultRegisterImageReaders(ShellEvent, void*)
{
    return Answer(ShellRegisterImageReaders());
}

ShellEventResult DefaultStartEngine(ShellEvent, void* param)
{
    return Answer(ShellStartEngine(static_cast<HWND>(param)));
}

ShellEventResult DefaultStopEngine(ShellEvent, void*)
{
    ShellStopEngine();
    return ShellEventHandled;
}

ShellEventResult DefaultSelectDevice(ShellEvent, void*)
{
    return Answer(DeviceSelectDialog());
}

ShellEventResult DefaultEarlyArgument(ShellEvent, void* param)
{
    // "-vms" is recognised and changes nothing else.
    const char* arg = static_cast<const char*>(param);
    return Answer(arg && std::strcmp(arg, "-vms") == 0);
}

// The shell's defaults by event code; an event without one answers 2.
struct DefaultEntry
{
    ShellEvent event;
    ShellEventFunc handler;
};

constexpr DefaultEntry kDefaults[] = {
    {ShellEventArgument, DefaultArgument},
    {ShellEventEngineInitialised, DefaultHandled},
    {ShellEventRegisterImageReaders, DefaultRegisterImageReaders},
    {ShellEventStartEngine, DefaultStartEngine},
    {ShellEventStopEngine, DefaultStopEngine},
    {ShellEventSelectDevice, DefaultSelectDevice},
    {ShellEventInitialise, DefaultInitialise},
    {ShellEventTerminate, DefaultTerminate},
    {ShellEventEarlyArgument, DefaultEarlyArgument},
};

ShellEventFunc DefaultFor(ShellEvent event)
{
    for (const DefaultEntry& entry : kDefaults)
        if (entry.event == event)
            return entry.handler;
    return nullptr;
}

} // namespace

// Every program that runs the shell defines AppEventHandler. Programs that only
// link it (tests and tools over the framework) need not: whether the linker
// pulls in the members that call the handler depends on the optimiser, so this
// weak stand-in keeps their link the same in every build configuration. A
// program that runs the shell without its own handler fails at the first event.
__attribute__((weak)) ShellEventResult AppEventHandler(ShellEvent event, void*)
{
    std::fprintf(stderr, "shell: the program defines no AppEventHandler (event %s)\n", ShellEventName(event));
    return ShellEventFailed;
}

ShellEventResult ShellEventHandler(ShellEvent event, void* param)
{
    ShellEventResult result = PlatformEventHandler(event, param);
    if (result != ShellEventNotHandled)
        return result;
    result = AppEventHandler(event, param);
    if (event == ShellEventQuit)
        ShellGetSettings()->quit = 1;
    if (result != ShellEventNotHandled)
        return result;
    if (event < ShellEventArgument || event > ShellEventEarlyArgument)
        return ShellEventNotHandled;
    ShellEventFunc handler = DefaultFor(event);
    return handler ? handler(event, param) : ShellEventNotHandled;
}

ShellEventResult PlatformEventHandler(ShellEvent event, void* param)
{
    if (event == ShellEventMemoryFunctions && param) {
        auto* table = static_cast<MemoryTable*>(param);
        table->allocate = HeapAllocate;
        table->free = HeapFree;
        table->reallocate = HeapReallocate;
        table->allocateZeroed = HeapAllocateZeroed;
    }
    return ShellEventNotHandled;
}

const char* ShellEventName(uint32_t event)
{
    return event < kShellEventCount ? kNames[event] : "?";
}
