#pragma once
// For fuzz targets of engine readers: starts the engine once on the device
// double, and wraps an input in a memory read stream.

#include <cstddef>
#include <cstdint>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/devicedouble.h"

/// True once the engine is started (started on the first call).
inline bool FuzzEngineStart()
{
    static const bool started = [] {
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
        static int window;
        static EngineOpenParams params = {&window};
        return EngineInit(nullptr, 0, 0x400000) && EngineOpen(&params) && EngineStart();
    }();
    return started;
}

/// A read stream over the input; close it with FuzzStreamClose.
inline Stream* FuzzStreamOpen(const uint8_t* data, size_t size)
{
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    return StreamOpen(kStreamMemory, kStreamRead, &memory);
}

/// Closes the stream and drops the pending error.
inline void FuzzStreamClose(Stream* stream)
{
    StreamClose(stream, nullptr);
    ErrorRecord error;
    ErrorGet(&error);
}
