#include "graphics/core/device.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr char kOnlySubSystemName[] = "Only rendering sub system";

// What the engine answers itself for the requests a device may leave unanswered.
int32_t Fallback(int32_t request, void* out, int32_t number)
{
    switch (request) {
    case kDeviceRequestNumSubSystems:
        *static_cast<int32_t*>(out) = 1;
        return 1;
    case kDeviceRequestSubSystemInfo:
        if (number != 0) {
            return 0;
        }
        EngineGetInstance()->stringFunctions.copy(static_cast<SubSystemInfo*>(out)->name, kOnlySubSystemName);
        return 1;
    case kDeviceRequestCurrentSubSystem:
        *static_cast<int32_t*>(out) = 0;
        return 1;
    case kDeviceRequestSetSubSystem:
        return number == 0;
    case kDeviceRequestAfterStart:
    case kDeviceRequestBeforeStop:
        return 1;
    default:
        ErrorRaise(kPluginIdCore, ErrorCode(kErrorCoreDeviceRequest, request));
        return 0;
    }
}

int32_t RequestInteger(int32_t request, int32_t failure)
{
    int32_t value = 0;
    if (!DeviceRequest(&EngineGetInstance()->device, request, &value, nullptr, 0)) {
        return failure;
    }
    return value;
}

bool RequestNumber(int32_t request, int32_t number)
{
    return DeviceRequest(&EngineGetInstance()->device, request, nullptr, nullptr, number) != 0;
}

} // namespace

static_assert(sizeof(kOnlySubSystemName) <= kSubSystemNameSize);

int32_t DeviceRequest(const DeviceBlock* device, int32_t request, void* out, void* inOut, int32_t number)
{
    if (device->systemHandler) {
        if (int32_t result = device->systemHandler(request, out, inOut, number)) {
            return result;
        }
    }
    return Fallback(request, out, number);
}

int32_t EngineGetNumSubSystems()
{
    return RequestInteger(kDeviceRequestNumSubSystems, 1);
}

SubSystemInfo* EngineGetSubSystemInfo(SubSystemInfo* info, int32_t index)
{
    if (!DeviceRequest(&EngineGetInstance()->device, kDeviceRequestSubSystemInfo, info, nullptr, index)) {
        return nullptr;
    }
    info->name[kSubSystemNameSize - 1] = '\0';
    return info;
}

int32_t EngineGetCurrentSubSystem()
{
    return RequestInteger(kDeviceRequestCurrentSubSystem, -1);
}

bool EngineSetSubSystem(int32_t index)
{
    return RequestNumber(kDeviceRequestSetSubSystem, index);
}

int32_t EngineGetNumVideoModes()
{
    return RequestInteger(kDeviceRequestNumVideoModes, -1);
}

VideoMode* EngineGetVideoModeInfo(VideoMode* mode, int32_t index)
{
    if (!DeviceRequest(&EngineGetInstance()->device, kDeviceRequestVideoModeInfo, mode, nullptr, index)) {
        return nullptr;
    }
    return mode;
}

int32_t EngineGetCurrentVideoMode()
{
    return RequestInteger(kDeviceRequestCurrentVideoMode, -1);
}

bool EngineSetVideoMode(int32_t index)
{
    return RequestNumber(kDeviceRequestUseVideoMode, index);
}

int32_t EngineGetTextureMemorySize()
{
    return RequestInteger(kDeviceRequestTextureMemorySize, -1);
}

int32_t EngineGetMaxTextureSize()
{
    return RequestInteger(kDeviceRequestMaxTextureSize, -1);
}

bool EngineFocus(bool restored)
{
    return RequestNumber(kDeviceRequestFocus, restored ? 1 : 0);
}
