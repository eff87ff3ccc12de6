#pragma once
// What the chunk fuzz target and its corpus generator share: an engine
// started on the device double, and an object registry with plug-ins whose
// data goes through the typed readers, so that extension chunks in the
// corpus exercise the plug-in stream callbacks.

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/plugin.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/devicedouble.h"

struct FuzzObject
{
    int32_t own[2];
};

inline PluginRegistry gFuzzRegistry = PluginRegistryMake(sizeof(FuzzObject));
constexpr uint32_t kFuzzPluginInts = 0xF001;
constexpr uint32_t kFuzzPluginReals = 0xF002;
constexpr int32_t kFuzzPluginBytes = 16;

inline Stream* FuzzIntsRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    if (length > kFuzzPluginBytes || length % 4 != 0) {
        return nullptr;
    }
    return StreamReadInt32(stream, reinterpret_cast<int32_t*>(static_cast<char*>(object) + offset),
                           size_t(length));
}

inline Stream* FuzzIntsWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t)
{
    return StreamWriteInt32(
        stream, reinterpret_cast<const int32_t*>(static_cast<const char*>(object) + offset), size_t(length));
}

inline int32_t FuzzIntsSize(const void*, int32_t, int32_t)
{
    return kFuzzPluginBytes;
}

// Reads fewer bytes than it is given: the registry skips the rest.
inline Stream* FuzzRealsRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    size_t bytes = length >= 8 ? 8 : 0;
    return StreamReadReal(stream, reinterpret_cast<float*>(static_cast<char*>(object) + offset), bytes);
}

inline Stream* FuzzRealsWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t)
{
    return StreamWriteReal(stream, reinterpret_cast<const float*>(static_cast<const char*>(object) + offset),
                           size_t(length));
}

inline int32_t FuzzRealsSize(const void*, int32_t, int32_t)
{
    return 12;
}

/// Starts the engine once, with the fuzz registry's plug-ins attached.
inline bool FuzzSetUp()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    if (!EngineInit(nullptr, 0, 0x400000)) {
        return false;
    }
    PluginRegistryRegister(&gFuzzRegistry, kFuzzPluginBytes, kFuzzPluginInts, nullptr, nullptr, nullptr);
    PluginRegistryRegister(&gFuzzRegistry, 12, kFuzzPluginReals, nullptr, nullptr, nullptr);
    PluginRegistryAddStream(&gFuzzRegistry, kFuzzPluginInts, FuzzIntsRead, FuzzIntsWrite, FuzzIntsSize);
    PluginRegistryAddStream(&gFuzzRegistry, kFuzzPluginReals, FuzzRealsRead, FuzzRealsWrite, FuzzRealsSize);
    static int window;
    EngineOpenParams params = {&window};
    return EngineOpen(&params) && EngineStart();
}
