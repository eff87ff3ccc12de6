#pragma once
// Helpers for engine tests: bring the engine up on the device double and
// take it down again whatever state a test left it in, and a memory table
// that counts allocations and can be told to fail.

#include <cstdlib>

#include "graphics/core/engine.h"
#include "graphics/core/tests/devicedouble.h"

/// Takes the engine back to state 0 from any state; the device double stops
/// refusing requests first.
inline void EngineTestShutdown()
{
    DeviceDoubleGet().refused.clear();
    if (EngineGetState() == kEngineStateStarted) {
        EngineStop();
    }
    if (EngineGetState() == kEngineStateOpened) {
        EngineClose();
    }
    if (EngineGetState() == kEngineStateInitialised) {
        EngineTerm();
    }
}

/// Resets the device double, selects it and initialises the engine.
inline bool EngineTestInit(const MemoryTable* table = nullptr, uint32_t flags = 0)
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    return EngineInit(table, flags, 0x400000);
}

inline EngineOpenParams* EngineTestOpenParams()
{
    static int window;
    static EngineOpenParams params = {&window};
    return &params;
}

inline bool EngineTestOpen()
{
    return EngineOpen(EngineTestOpenParams());
}

/// Init, open and start on the device double.
inline bool EngineTestStart(const MemoryTable* table = nullptr, uint32_t flags = 0)
{
    return EngineTestInit(table, flags) && EngineTestOpen() && EngineStart();
}

/// A memory table over the C library that counts live blocks, keeps the largest
/// request, and fails every request once `failAfter` more requests have
/// succeeded (-1: never fails).
struct CountingMemory
{
    static inline int64_t live = 0;
    static inline int64_t requests = 0;
    static inline int64_t failAfter = -1;
    static inline size_t largest = 0;

    static bool Fail(size_t size)
    {
        ++requests;
        largest = size > largest ? size : largest;
        if (failAfter == 0) {
            return true;
        }
        if (failAfter > 0) {
            --failAfter;
        }
        return false;
    }
    static void* Allocate(size_t size, uint32_t)
    {
        if (Fail(size)) {
            return nullptr;
        }
        void* block = std::malloc(size);
        live += block != nullptr;
        return block;
    }
    static void Free(void* block)
    {
        live -= block != nullptr;
        std::free(block);
    }
    static void* Reallocate(void* block, size_t size, uint32_t)
    {
        if (Fail(size)) {
            return nullptr;
        }
        void* grown = std::realloc(block, size);
        live += block == nullptr && grown != nullptr;
        return grown;
    }
    static void* AllocateZeroed(size_t count, size_t size, uint32_t)
    {
        if (Fail(count * size)) {
            return nullptr;
        }
        void* block = std::calloc(count, size);
        live += block != nullptr;
        return block;
    }
    static void Reset()
    {
        live = 0;
        requests = 0;
        failAfter = -1;
        largest = 0;
    }
    static const MemoryTable* Table()
    {
        static const MemoryTable table = {Allocate, Free, Reallocate, AllocateZeroed};
        return &table;
    }
};
