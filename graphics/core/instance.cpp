#include "graphics/core/instance.h"

#include <cstdlib>

namespace {

// Until EngineInit installs the application's table, the memory functions
// are the C library's, so that nothing allocated early finds a null function.
constexpr EngineInstance MakeStaticInstance()
{
    EngineInstance instance{};
    instance.memoryFunctions.allocate = [](size_t size, uint32_t) { return std::malloc(size); };
    instance.memoryFunctions.free = [](void* block) { std::free(block); };
    instance.memoryFunctions.reallocate = [](void* block, size_t size, uint32_t) {
        return std::realloc(block, size);
    };
    instance.memoryFunctions.allocateZeroed = [](size_t count, size_t size, uint32_t) {
        return std::calloc(count, size);
    };
    return instance;
}

// The static block carries the fixed slots (memory and string functions,
// device block, state) across close and re-open; it is the current instance
// whenever no block is allocated.
constinit EngineInstance gStaticInstance = MakeStaticInstance();
EngineInstance* gInstance = &gStaticInstance;
int32_t gOpenCount = 0;
PluginRegistry gEngineRegistry = PluginRegistryMake(int32_t(sizeof(EngineInstance)));

} // namespace

int32_t EngineAttachPlugin(int32_t size, uint32_t pluginId, EngineModuleFunc open, EngineModuleFunc close)
{
    return PluginRegistryRegister(&gEngineRegistry, size, pluginId, open, close, nullptr);
}

int32_t EngineGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&gEngineRegistry, pluginId);
}

int32_t EngineGetOpenCount()
{
    return gOpenCount;
}

uint32_t EngineGetVersion()
{
    return kEngineVersion;
}

PluginRegistry* EngineGetRegistry()
{
    return &gEngineRegistry;
}

EngineInstance* EngineGetInstance()
{
    return gInstance;
}

void* EngineGetModuleData(int32_t offset)
{
    return reinterpret_cast<char*>(gInstance) + offset;
}

EngineState EngineGetState()
{
    return EngineState(gInstance->state);
}

void* EngineGetReserved()
{
    return gInstance->reserved;
}

EngineInstance* EngineGetStaticInstance()
{
    return &gStaticInstance;
}

void EngineSetInstance(EngineInstance* instance)
{
    gInstance = instance;
}

void EngineCountOpen(int32_t delta)
{
    gOpenCount += delta;
}
