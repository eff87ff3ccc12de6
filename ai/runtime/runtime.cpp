#include "ai/runtime/runtime.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/data_source.h"
#include "ai/runtime/runtime_state.h"

#include <cstring>

namespace Zelk {

AiRuntimeGlobals& RuntimeState()
{
    static AiRuntimeGlobals state;
    return state;
}

// ---- Raw-data handles ----------------------------------------------------------

namespace {

struct RawDataPool
{
    CRawDataHandle handles[kAiMaxRawDataHandles];
    uint32_t used;
};

RawDataPool& RawPool()
{
    static RawDataPool pool;
    return pool;
}

} // namespace

CRawDataHandle* AiTakeRawDataHandle()
{
    RawDataPool& pool = RawPool();
    if (pool.used == kAiMaxRawDataHandles) {
        return nullptr;
    }
    CRawDataHandle* handle = &pool.handles[pool.used++];
    *handle = CRawDataHandle{};
    return handle;
}

void AiResetRawDataHandles()
{
    RawPool().used = 0;
}

uint32_t AiGetRawDataHandleCount()
{
    return RawPool().used;
}

// ---- Start and stop -------------------------------------------------------------

int AiEngineInitialize(const AiHostInterface* host)
{
    AiRuntimeGlobals& g = RuntimeState();
    if (!host || g.initialised || !host->allocate || !host->free || !host->clock ||
        host->maxEntities > kAiMaxEntityLimit) {
        return 0;
    }
    g.hostCopy = *host;
    g.hostPointer = &g.hostCopy;
    AiSetAllocationNotices(host->allocateNotice, host->releaseNotice);

    AiRuntimeSettings settings;
    settings.entityLimit = host->maxEntities;
    settings.worldLimit = 1;
    settings.clock = host->clock;
    settings.clockUser = host->clockUser;
    settings.allocate = host->allocate;
    settings.reallocate = host->reallocate;
    settings.free = host->free;
    settings.rayCast = HostRayCast;
    settings.isVisible = HostIsVisible;
    settings.canGo = HostCanGo;
    settings.drawLine = HostDrawLine;
    settings.drawPoint = HostDrawPoint;
    settings.fileOpen = host->fileOpen;
    settings.fileClose = host->fileClose;
    settings.fileEof = host->fileEof;
    settings.fileReadLine = host->fileReadLine;
    settings.fileWrite = host->fileWrite;
    settings.fileRead = host->fileRead;
    settings.fileSeek = host->fileSeek;

    CCallbackAllocator* defaultAllocator = AiGetDefaultAllocator();
    AiSetCurrentAllocator(defaultAllocator);
    defaultAllocator->Setup(host->allocatorTableCapacity, host->allocate, host->free);
    if (!AiRuntimeInitialize(settings)) {
        AiEngineTerminate();
        return 0;
    }
    return 1;
}

int AiEngineTerminate()
{
    AiRuntimeGlobals& g = RuntimeState();
    AiRuntimeTerminate();
    AiRemoveHeapAllocator();
    AiSetCurrentAllocator(AiGetDefaultAllocator());
    AiGetDefaultAllocator()->Setup(0, nullptr, nullptr);
    AiSetRootAllocator(nullptr);
    AiSetAllocationNotices(nullptr, nullptr);
    g.settings = AiRuntimeSettings{};
    g.hostPointer = nullptr;
    g.hostCopy = AiHostInterface{};
    return 1;
}

bool AiIsInitialized()
{
    return RuntimeState().initialised;
}

// ---- Graph generator hooks --------------------------------------------------------

void AiSetPositionHook(AiPositionHook hook)
{
    RuntimeState().positionHook = hook;
}

void AiSetSegmentHook(AiSegmentHook hook)
{
    RuntimeState().segmentHook = hook;
}

void AiSetPointFilterHook(AiPointFilterHook hook)
{
    RuntimeState().pointFilterHook = hook;
}

AiPositionHook AiGetPositionHook()
{
    return RuntimeState().positionHook;
}

AiSegmentHook AiGetSegmentHook()
{
    return RuntimeState().segmentHook;
}

AiPointFilterHook AiGetPointFilterHook()
{
    return RuntimeState().pointFilterHook;
}

void AiCallPositionHook(const CVec3* point, void* generator)
{
    if (AiPositionHook hook = RuntimeState().positionHook) {
        hook(point, generator);
    }
}

void AiCallSegmentHook(const CVec3* p, const CVec3* q, void* generator)
{
    if (AiSegmentHook hook = RuntimeState().segmentHook) {
        hook(p, q, generator);
    }
}

int AiCallPointFilterHook(const CVec3* point)
{
    AiPointFilterHook hook = RuntimeState().pointFilterHook;
    return hook ? hook(point) : 1;
}

// ---- Allocators ------------------------------------------------------------------

CBlockAllocator* AiInstallHeapAllocator(uint32_t size, uint32_t maxChildren)
{
    AiRuntimeGlobals& g = RuntimeState();
    if (size == 0 || g.heapAllocator) {
        return nullptr;
    }
    CChainedAllocator* parent = AiGetCurrentAllocator();
    auto* heap = new CBlockAllocator(size, parent, maxChildren);
    if (!heap) {
        return nullptr;
    }
    if (heap->GetSize() == 0) {
        delete heap;
        return nullptr;
    }
    g.heapAllocator = heap;
    AiSetCurrentAllocator(heap);
    return heap;
}

void AiRemoveHeapAllocator()
{
    AiRuntimeGlobals& g = RuntimeState();
    CBlockAllocator* heap = g.heapAllocator;
    if (!heap) {
        return;
    }
    g.heapAllocator = nullptr;
    if (AiGetCurrentAllocator() == heap) {
        AiSetCurrentAllocator(AiGetDefaultAllocator());
    }
    delete heap;
}

CBlockAllocator* AiGetHeapAllocator()
{
    return RuntimeState().heapAllocator;
}

uint32_t AiGetHeapSize()
{
    CBlockAllocator* heap = RuntimeState().heapAllocator;
    return heap ? heap->GetSize() : 0;
}

uint32_t AiGetHeapUsed()
{
    CBlockAllocator* heap = RuntimeState().heapAllocator;
    return heap ? heap->GetUsed() : 0;
}

CPoolAllocator* AiCreatePoolAllocator(uint32_t blockSize, uint32_t count)
{
    return new CPoolAllocator(blockSize, count, AiGetCurrentAllocator());
}

void AiDeleteAllocator(CAllocator* allocator)
{
    delete allocator;
}

CPoolBlock* AiPoolAllocatorTakeBlock(CPoolAllocator* pool)
{
    return pool ? pool->TakeBlock() : nullptr;
}

// ---- Configuration nodes ---------------------------------------------------------

CConfigNode* AiNewConfigNode()
{
    return new CConfigNode;
}

void AiDeleteConfigNode(CConfigNode* node)
{
    DeleteConfigNode(node);
}

namespace {

CConfigNode* NewClassConfig(const char* className)
{
    CConfigNode* node = new CConfigNode;
    if (node && !AddConfigChild(node, nullptr, "Class", className)) {
        delete node;
        return nullptr;
    }
    return node;
}

CConfigNode* AddClassChild(CConfigNode* node, const char* key, const char* className, const char* name)
{
    CConfigNode* child = AddConfigChild(node, name, key, nullptr);
    if (child && !AddConfigChild(child, nullptr, "Class", className)) {
        node->RemoveChild(child);
        return nullptr;
    }
    return child;
}

} // namespace

CConfigNode* AiNewEntityConfig(const char* className)
{
    return NewClassConfig(className);
}

CConfigNode* AiNewTeamConfig(const char* className)
{
    return NewClassConfig(className);
}

CConfigNode* AiAddConfigChild(CConfigNode* node, const char* key, const char* name)
{
    return AddConfigChild(node, name, key, nullptr);
}

CConfigNode* AiAddConfigLeaf(CConfigNode* node, const char* key, const char* value)
{
    return AddConfigChild(node, nullptr, key, value);
}

CConfigNode* AiAddBrainConfig(CConfigNode* node, const char* className, const char* name)
{
    return AddClassChild(node, "Brain", className, name);
}

CConfigNode* AiAddAgentConfig(CConfigNode* node, const char* className, const char* name)
{
    return AddClassChild(node, "Agent", className, name);
}

CConfigNode* AiAddServiceConfig(CConfigNode* node, const char* className, const char* name)
{
    return AddClassChild(node, "Service", className, name);
}

CConfigNode* AiAddRawDataConfig(CConfigNode* node, const char* value, const void* data, uint32_t size)
{
    if (!node) {
        return nullptr;
    }
    CRawDataHandle* handle = AiTakeRawDataHandle();
    if (!handle) {
        return nullptr;
    }
    CConfigNode* child = AddConfigChild(node, nullptr, "RawData", value);
    if (child) {
        handle->inMemory = 1;
        handle->data = data;
        child->SetRawData(handle, size);
    }
    return child;
}

void AiRemoveConfigChild(CConfigNode* node, CConfigNode* child)
{
    if (node) {
        node->RemoveChild(child);
    }
}

void AiSetConfigKey(CConfigNode* node, const char* key)
{
    if (node) {
        node->SetKey(key);
    }
}

void AiSetConfigValue(CConfigNode* node, const char* value)
{
    if (node) {
        node->SetValue(value);
    }
}

const char* AiGetConfigName(const CConfigNode* node)
{
    return node ? node->GetName() : nullptr;
}

const char* AiGetConfigKey(const CConfigNode* node)
{
    return node ? node->GetKey() : nullptr;
}

const char* AiGetConfigValue(const CConfigNode* node)
{
    return node ? node->GetValue() : nullptr;
}

CConfigNode* AiCopyConfig(const CConfigNode* node)
{
    return node ? new CConfigNode(*node) : nullptr;
}

CConfigNode* AiFindConfigChild(const CConfigNode* node, const char* key)
{
    return node ? node->FindChild(key) : nullptr;
}

CConfigNode* AiFindConfigChildByName(const CConfigNode* node, const char* name)
{
    return node ? node->FindChildByName(name) : nullptr;
}

} // namespace Zelk
