// Engine start and stop.
#include "graphics/shared/skel/win/shellengine.h"

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/texture.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/shared/skel/win/devicechooser.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/png.h"

namespace {

bool InitWithDriver(const MemoryTable* table, uint32_t flags, uint32_t arenaSize)
{
    EngineSetDeviceDriver(D3D9DriverGet());
    return EngineInit(table, flags, arenaSize);
}

TexDictionary* DestroyDictionary(TexDictionary* dictionary, void*)
{
    TexDictionaryDestroy(dictionary);
    return dictionary; // go on with the next one
}

void DestroyAllDictionaries()
{
    // The dictionaries live in the texture module, which exists only while started.
    if (EngineGetState() == kEngineStateStarted)
        TexDictionaryForAllDictionaries(DestroyDictionary, nullptr);
}

bool OpenPrintBuffer()
{
    return CharsetBufferOpen() != 0;
}

bool OpenFileSystems(int32_t maximum)
{
    return FileSystemManagerOpen(maximum);
}

const ShellEngine kRealEngine = {
    InitWithDriver,
    EngineOpen,
    EngineStart,
    EngineStop,
    EngineClose,
    EngineTerm,
    OpenPrintBuffer,
    CharsetBufferClose,
    OpenFileSystems,
    FileSystemManagerClose,
    DestroyAllDictionaries,
    EngineGetNumSubSystems,
    EngineGetSubSystemInfo,
    EngineGetCurrentSubSystem,
    EngineSetSubSystem,
    EngineGetNumVideoModes,
    EngineGetVideoModeInfo,
    EngineGetCurrentVideoMode,
    EngineSetVideoMode,
};

const ShellEngine* gEngine = &kRealEngine;

// The start sequence asks the platform, then the application; 0 fails.
ShellEventResult Ask(ShellEvent event, void* param)
{
    const ShellEventResult result = PlatformEventHandler(event, param);
    return result != ShellEventNotHandled ? result : AppEventHandler(event, param);
}

MemoryTable gMemoryTable;

} // namespace

const ShellEngine* ShellGetEngine()
{
    return gEngine;
}

void ShellSetEngine(const ShellEngine* engine)
{
    gEngine = engine ? engine : &kRealEngine;
}

bool ShellStartEngine(HWND window)
{
    const ShellEngine& e = *gEngine;
    ShellClearStartExitCode();
    gMemoryTable = {};
    if (Ask(ShellEventMemoryFunctions, &gMemoryTable) == ShellEventFailed)
        return false;
    if (!e.init(&gMemoryTable, 0, kShellArenaSize))
        return false;
    Ask(ShellEventEngineInitialised, nullptr);
    if (Ask(ShellEventAttachPlugins, nullptr) == ShellEventFailed ||
        Ask(ShellEventPluginsAttached, nullptr) == ShellEventFailed) {
        e.term(); // an initialised engine left behind would refuse the next start
        return false;
    }
    static EngineOpenParams params;
    params.displayId = window;
    if (!e.open(&params)) {
        e.term();
        return false;
    }
    ShellEventResult chosen = Ask(ShellEventSelectDevice, window);
    if (chosen == ShellEventNotHandled)
        chosen = DeviceSelectDialog() ? ShellEventHandled : ShellEventFailed;
    if (chosen == ShellEventFailed || !e.start()) {
        e.close();
        e.term();
        return false;
    }
    if (Ask(ShellEventRegisterImageReaders, nullptr) == ShellEventNotHandled)
        ShellRegisterImageReaders();
    if (!e.printBufferOpen()) {
        e.stop();
        e.close();
        e.term();
        return false;
    }
    if (!e.fileSystemsOpen(-1))
        return false;
    return ShellRegisterFileSystems();
}

void ShellStopEngine()
{
    const ShellEngine& e = *gEngine;
    e.printBufferClose();
    e.destroyDictionaries();
    e.fileSystemsClose();
    e.stop();
    e.close();
    e.term();
}

bool ShellRegisterImageReaders()
{
    return ImageRegisterFileFormat("bmp", BmpRead, nullptr) &&
           ImageRegisterFileFormat("png", PngRead, nullptr);
}

bool ShellRegisterFileSystems()
{
    return Win32FileSystemRegisterDefault();
}
