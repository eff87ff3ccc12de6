#include "graphics/core/engine.h"

#include "graphics/core/coremodules.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"

namespace {

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
    EngineInstance* staticBlock = EngineGetStaticInstance();
    *staticBlock = *block;
    EngineSetInstance(staticBlock);
    staticBlock->memoryFunctions.free(block);
}

bool RequireState(EngineState state)
{
    if (EngineGetState() != state) {
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
    if (EngineGetState() != kEngineStateNone) {
        return false;
    }
    EngineInstance* instance = EngineGetStaticInstance();
    EngineSetInstance(instance);
    bool unpooled = (flags & kEngineInitUnpooled) != 0;
    instance->memoryFunctions.freeListAlloc = unpooled ? FreeListAllocUnpooled : FreeListAlloc;
    instance->memoryFunctions.freeListFree = unpooled ? FreeListFreeUnpooled : FreeListFree;
    FreeListSetPreallocate(!unpooled);
    instance->arenaSize = arenaSize;
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
    instance->state = kEngineStateInitialised;
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
    size_t size = size_t(EngineGetRegistry()->objectSize);
    auto* block = static_cast<EngineInstance*>(MemoryAllocateZeroed(1, size, kMemoryHintEngine));
    if (!block) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return false;
    }
    *block = *EngineGetStaticInstance();
    EngineSetInstance(block);
    DeviceRequest(device, kDeviceRequestRegister, &block->device, &block->memoryFunctions, 0);
    if (!DeviceRequest(&block->device, kDeviceRequestOpen, nullptr, const_cast<EngineOpenParams*>(params),
                       0)) {
        ReturnToStaticBlock(block);
        return false;
    }
    DeviceRequest(&block->device, kDeviceRequestEntryPoints, block->deviceFunctions, nullptr,
                  kDeviceFunctionCount);
    EngineCountOpen(1);
    block->state = kEngineStateOpened;
    return true;
}

bool EngineStart()
{
    if (!RequireState(kEngineStateOpened)) {
        return false;
    }
    EngineInstance* instance = EngineGetInstance();
    const DeviceBlock* device = &instance->device;
    if (!DeviceRequest(device, kDeviceRequestStart, nullptr, nullptr, 0)) {
        return false;
    }
    if (!PluginRegistryConstruct(EngineGetRegistry(), instance)) {
        DeviceRequest(device, kDeviceRequestStop, nullptr, nullptr, 0);
        return false;
    }
    DeviceRequest(device, kDeviceRequestAfterStart, nullptr, nullptr, 0);
    instance->state = kEngineStateStarted;
    return true;
}

bool EngineStop()
{
    if (!RequireState(kEngineStateStarted)) {
        return false;
    }
    EngineInstance* instance = EngineGetInstance();
    const DeviceBlock* device = &instance->device;
    DeviceRequest(device, kDeviceRequestBeforeStop, nullptr, nullptr, 0);
    PluginRegistryDestruct(EngineGetRegistry(), instance);
    // The modules are closed whatever the device answers: the state follows
    // them, so that a second stop cannot close them again.
    instance->state = kEngineStateOpened;
    return DeviceRequest(device, kDeviceRequestStop, nullptr, nullptr, 0) != 0;
}

bool EngineClose()
{
    if (!RequireState(kEngineStateOpened)) {
        return false;
    }
    if (!DeviceRequest(&EngineGetInstance()->device, kDeviceRequestClose, nullptr, nullptr, 0)) {
        return false;
    }
    ReturnToStaticBlock(EngineGetInstance());
    EngineCountOpen(-1);
    EngineGetInstance()->state = kEngineStateInitialised;
    return true;
}

bool EngineTerm()
{
    if (EngineGetOpenCount() != 0 || EngineGetState() != kEngineStateInitialised) {
        return false;
    }
    CloseRegistriesAndMemory();
    EngineGetInstance()->state = kEngineStateNone;
    return true;
}
