#include "graphics/core/engine.h"

#include <cstdlib>

#include "graphics/core/coremodules.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"

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
const DeviceDriver* gDriver = nullptr;

void CloseRegistriesAndMemory()
{
    PluginRegistryClose();
    FreeListModuleClose();
}

// Leaves the allocated block: its fixed slots go back into the static block,
// which becomes current, and the block is freed.
void ReturnToStaticBlock(EngineInstance* block)
{
    gStaticInstance = *block;
    gInstance = &gStaticInstance;
    gStaticInstance.memoryFunctions.free(block);
}

bool RequireState(EngineState state)
{
    if (gInstance->state != state) {
        ErrorRaise(0, kErrorWrongState);
        return false;
    }
    return true;
}

} // namespace

void EngineSetDeviceDriver(const DeviceDriver* driver)
{
    gDriver = driver;
}

bool EngineInit(const MemoryTable* table, uint32_t flags, uint32_t arenaSize)
{
    if (gInstance->state != kEngineStateNone) {
        return false;
    }
    gInstance = &gStaticInstance;
    bool unpooled = (flags & kEngineInitUnpooled) != 0;
    gInstance->memoryFunctions.freeListAlloc = unpooled ? FreeListAllocUnpooled : FreeListAlloc;
    gInstance->memoryFunctions.freeListFree = unpooled ? FreeListFreeUnpooled : FreeListFree;
    FreeListSetPreallocate(!unpooled);
    gInstance->arenaSize = arenaSize;
    if (!StringFunctionsInstall() || !FreeListModuleOpen(table)) {
        return false;
    }
    if (!PluginRegistryOpen()) {
        FreeListModuleClose();
        return false;
    }
    if (!CoreModulesAttach() || (gDriver && gDriver->attach && !gDriver->attach())) {
        CloseRegistriesAndMemory();
        return false;
    }
    gInstance->state = kEngineStateInitialised;
    return true;
}

bool EngineOpen(const EngineOpenParams* params)
{
    if (!RequireState(kEngineStateInitialised)) {
        return false;
    }
    if (!params) {
        ErrorRaise(0, kErrorNullArgument);
        return false;
    }
    const DeviceBlock* device = (gDriver && gDriver->getDevice) ? gDriver->getDevice() : nullptr;
    if (!device) {
        return false;
    }
    size_t size = size_t(gEngineRegistry.objectSize);
    auto* block = static_cast<EngineInstance*>(MemoryAllocateZeroed(1, size, kMemoryHintEngine));
    if (!block) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return false;
    }
    *block = gStaticInstance;
    gInstance = block;
    DeviceRequest(device, kDeviceRequestRegister, &block->device, &block->memoryFunctions, 0);
    if (!DeviceRequest(&block->device, kDeviceRequestOpen, nullptr, const_cast<EngineOpenParams*>(params),
                       0)) {
        ReturnToStaticBlock(block);
        return false;
    }
    DeviceRequest(&block->device, kDeviceRequestEntryPoints, block->deviceFunctions, nullptr,
                  kDeviceFunctionCount);
    ++gOpenCount;
    block->state = kEngineStateOpened;
    return true;
}

bool EngineStart()
{
    if (!RequireState(kEngineStateOpened)) {
        return false;
    }
    const DeviceBlock* device = &gInstance->device;
    if (!DeviceRequest(device, kDeviceRequestStart, nullptr, nullptr, 0)) {
        return false;
    }
    if (!PluginRegistryConstruct(&gEngineRegistry, gInstance)) {
        DeviceRequest(device, kDeviceRequestStop, nullptr, nullptr, 0);
        return false;
    }
    DeviceRequest(device, kDeviceRequestAfterStart, nullptr, nullptr, 0);
    gInstance->state = kEngineStateStarted;
    return true;
}

bool EngineStop()
{
    if (!RequireState(kEngineStateStarted)) {
        return false;
    }
    const DeviceBlock* device = &gInstance->device;
    DeviceRequest(device, kDeviceRequestBeforeStop, nullptr, nullptr, 0);
    PluginRegistryDestruct(&gEngineRegistry, gInstance);
    // The modules are closed whatever the device answers: the state follows
    // them, so that a second stop cannot close them again.
    gInstance->state = kEngineStateOpened;
    return DeviceRequest(device, kDeviceRequestStop, nullptr, nullptr, 0) != 0;
}

bool EngineClose()
{
    if (!RequireState(kEngineStateOpened)) {
        return false;
    }
    if (!DeviceRequest(&gInstance->device, kDeviceRequestClose, nullptr, nullptr, 0)) {
        return false;
    }
    ReturnToStaticBlock(gInstance);
    --gOpenCount;
    gInstance->state = kEngineStateInitialised;
    return true;
}

bool EngineTerm()
{
    if (gOpenCount != 0 || gInstance->state != kEngineStateInitialised) {
        return false;
    }
    CloseRegistriesAndMemory();
    gInstance->state = kEngineStateNone;
    return true;
}

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
