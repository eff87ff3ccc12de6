#pragma once
// A device double for engine tests and tools: a device driver that answers
// the engine's device requests like a device with two video modes, records
// every request and every entry-point call, and can be told to refuse chosen
// requests. Header-only so that tests of any library and small programs can
// use it: DeviceDoubleReset(), then EngineSetDeviceDriver(DeviceDoubleDriver()).

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "graphics/core/device.h"

struct DeviceDouble
{
    std::vector<int32_t> requests;      ///< every request received, in order
    std::vector<int32_t> functionCalls; ///< entry-point indices called, in order
    std::set<int32_t> refused;          ///< requests answered with 0
    bool answerSubSystems = false;      ///< false: requests 13-16 left to the engine
    std::string subSystemName = "Double adapter";
    int32_t currentVideoMode = 0;
    void* window = nullptr; ///< the open parameters' display id
    bool attached = false;  ///< the driver's attach ran
    bool refuseAttach = false;
    bool noDevice = false; ///< getDevice answers null
};

inline DeviceDouble& DeviceDoubleGet()
{
    static DeviceDouble state;
    return state;
}

inline void DeviceDoubleReset()
{
    DeviceDoubleGet() = DeviceDouble{};
}

/// How many times `request` was received.
inline int32_t DeviceDoubleCount(int32_t request)
{
    int32_t count = 0;
    for (int32_t r : DeviceDoubleGet().requests) {
        count += r == request;
    }
    return count;
}

namespace devicedouble_detail {

constexpr VideoMode kModes[] = {
    {640, 480, 32, 0, 60, 0x0500},
    {1024, 768, 32, 1, 60, 0x0600},
};

template <int32_t Index> int32_t RecordingFunction(void*, void*, int32_t)
{
    DeviceDoubleGet().functionCalls.push_back(Index);
    return 1;
}

template <int32_t... Index> constexpr DeviceFunction kFunctions[] = {RecordingFunction<Index>...};

template <int32_t... Index> const DeviceFunction* Functions(std::integer_sequence<int32_t, Index...>)
{
    return kFunctions<Index...>;
}

inline int32_t Handler(int32_t request, void* out, void* inOut, int32_t number);

inline const DeviceBlock kRecord = {1.0f,    Handler, 0.0f,    1.0f,    nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, {}};

inline int32_t Handler(int32_t request, void* out, void* inOut, int32_t number)
{
    DeviceDouble& d = DeviceDoubleGet();
    d.requests.push_back(request);
    if (d.refused.count(request)) {
        return 0;
    }
    constexpr int32_t modeCount = int32_t(sizeof(kModes) / sizeof(kModes[0]));
    switch (request) {
    case kDeviceRequestOpen:
        d.window = static_cast<void**>(inOut)[0];
        return 1;
    case kDeviceRequestClose:
    case kDeviceRequestStart:
    case kDeviceRequestStop:
    case kDeviceRequestFocus:
    case kDeviceRequestAfterStart:
        return 1;
    case kDeviceRequestRegister:
        *static_cast<DeviceBlock*>(out) = kRecord;
        return 1;
    case kDeviceRequestNumVideoModes:
        *static_cast<int32_t*>(out) = modeCount;
        return 1;
    case kDeviceRequestVideoModeInfo:
        if (number < 0 || number >= modeCount) {
            return 0;
        }
        *static_cast<VideoMode*>(out) = kModes[number];
        return 1;
    case kDeviceRequestUseVideoMode:
        if (number < 0 || number >= modeCount) {
            return 0;
        }
        d.currentVideoMode = number;
        return 1;
    case kDeviceRequestCurrentVideoMode:
        *static_cast<int32_t*>(out) = d.currentVideoMode;
        return 1;
    case kDeviceRequestEntryPoints: {
        const DeviceFunction* functions =
            Functions(std::make_integer_sequence<int32_t, kDeviceFunctionCount>());
        auto* slots = static_cast<DeviceFunction*>(out);
        for (int32_t i = 0; i < number && i < kDeviceFunctionCount; ++i) {
            slots[i] = (i == 0 || i == 22) ? nullptr : functions[i];
        }
        return 1;
    }
    case kDeviceRequestTextureMemorySize:
        *static_cast<int32_t*>(out) = 64 << 20;
        return 1;
    case kDeviceRequestMaxTextureSize:
        *static_cast<int32_t*>(out) = 2048;
        return 1;
    case kDeviceRequestDeviceId:
        *static_cast<uint16_t*>(out) = 2;
        return 1;
    case kDeviceRequestNumSubSystems:
        if (!d.answerSubSystems) {
            return 0;
        }
        *static_cast<int32_t*>(out) = 1;
        return 1;
    case kDeviceRequestSubSystemInfo: {
        if (!d.answerSubSystems || number != 0) {
            return 0;
        }
        // A device copies at most 79 characters and the terminator.
        char* name = static_cast<SubSystemInfo*>(out)->name;
        std::strncpy(name, d.subSystemName.c_str(), kSubSystemNameSize - 1);
        name[kSubSystemNameSize - 1] = '\0';
        return 1;
    }
    case kDeviceRequestCurrentSubSystem:
        if (!d.answerSubSystems) {
            return 0;
        }
        *static_cast<int32_t*>(out) = 0;
        return 1;
    default:
        return 0;
    }
}

inline const DeviceBlock* GetDevice()
{
    return DeviceDoubleGet().noDevice ? nullptr : &kRecord;
}

inline bool Attach()
{
    DeviceDoubleGet().attached = true;
    return !DeviceDoubleGet().refuseAttach;
}

inline const DeviceDriver kDriver = {GetDevice, Attach};

} // namespace devicedouble_detail

/// The double as a device driver for EngineSetDeviceDriver.
inline const DeviceDriver* DeviceDoubleDriver()
{
    return &devicedouble_detail::kDriver;
}
