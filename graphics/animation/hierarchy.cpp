#include "graphics/animation/hierarchy.h"

#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/animation/hierarchyinternal.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kHintArrays = kMemoryHintObject | kPluginIdHierarchy;

struct HierarchyModuleData
{
    FreeList* freeList;
};

int32_t gModuleOffset = -1;
int32_t gFrameOffset = -1;
int32_t gEntriesPerBlock = 128;
int32_t gBlocksToPreallocate = 1;

HierarchyModuleData* ModuleData()
{
    return static_cast<HierarchyModuleData*>(EngineGetModuleData(gModuleOffset));
}

void* HierarchyOpen(void* instance, int32_t, int32_t)
{
    ModuleData()->freeList = FreeListCreate(sizeof(Hierarchy), static_cast<uint32_t>(gEntriesPerBlock), 0,
                                            static_cast<uint32_t>(gBlocksToPreallocate), nullptr,
                                            kMemoryHintEngine | kPluginIdHierarchy);
    if (ModuleData()->freeList == nullptr) {
        ErrorRaise(0, kErrorOutOfMemory);
        return nullptr;
    }
    if (!AnimSchemeRegister(HierKeyScheme())) {
        FreeListDestroy(ModuleData()->freeList);
        ModuleData()->freeList = nullptr;
        return nullptr;
    }
    return instance;
}

void* HierarchyClose(void* instance, int32_t, int32_t)
{
    FreeListDestroy(ModuleData()->freeList);
    ModuleData()->freeList = nullptr;
    return instance;
}

void* FrameConstruct(void* object, int32_t, int32_t)
{
    HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(static_cast<Frame*>(object));
    extension->nodeId = -1;
    extension->hierarchy = nullptr;
    return object;
}

void* FrameDestruct(void* object, int32_t, int32_t)
{
    auto* frame = static_cast<Frame*>(object);
    HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(frame);
    if (Hierarchy* hierarchy = extension->hierarchy) {
        HierarchyDetachFrames(hierarchy);
        if (hierarchy->parentFrame == frame) {
            HierarchyDestroy(hierarchy);
        }
    }
    extension->nodeId = -1;
    extension->hierarchy = nullptr;
    return object;
}

/// The copy gets the node id and, for a full hierarchy, a hierarchy of its
/// own with the same nodes and frames unbound.
void* FrameCopy(void* destination, const void* source, int32_t, int32_t)
{
    auto* to = static_cast<Frame*>(destination);
    const HierarchyFrameExtension* from = HierarchyFrameExtensionOf(static_cast<const Frame*>(source));
    HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(to);
    extension->nodeId = from->nodeId;
    extension->hierarchy = nullptr;
    const Hierarchy* hierarchy = from->hierarchy;
    if (hierarchy != nullptr && !(hierarchy->flags & kHierarchySub)) {
        Hierarchy* copy = HierarchyCreateFromHierarchy(hierarchy, hierarchy->flags,
                                                       hierarchy->interpolator->maxInterpKeySize);
        if (copy == nullptr) {
            return nullptr;
        }
        extension->hierarchy = copy;
        copy->parentFrame = to;
    }
    return destination;
}

/// Allocates the record, the aligned matrix array (unless kHierarchyNoMatrices),
/// the node array and the player; nodes are left for the caller to fill.
Hierarchy* Allocate(int32_t nodeCount, uint32_t flags, int32_t maxInterpKeySize)
{
    if (nodeCount < 1) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    auto* hierarchy = static_cast<Hierarchy*>(
        MemoryFreeListAlloc(ModuleData()->freeList, kMemoryHintObject | kPluginIdHierarchy));
    if (hierarchy == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Hierarchy)));
        return nullptr;
    }
    *hierarchy = Hierarchy{};
    hierarchy->flags = flags;
    hierarchy->nodeCount = nodeCount;
    hierarchy->root = hierarchy;
    hierarchy->parentNode = -1;
    const size_t count = static_cast<size_t>(nodeCount);
    bool ok = true;
    if (!(flags & kHierarchyNoMatrices)) {
        hierarchy->matrixBlock = MemoryAllocate(count * sizeof(Matrix) + 15, kHintArrays);
        ok = hierarchy->matrixBlock != nullptr;
        const auto address = reinterpret_cast<uintptr_t>(hierarchy->matrixBlock);
        hierarchy->matrices = reinterpret_cast<Matrix*>((address + 15) & ~uintptr_t{15});
    }
    if (ok) {
        hierarchy->nodes =
            static_cast<HierarchyNode*>(MemoryAllocateZeroed(count, sizeof(HierarchyNode), kHintArrays));
        ok = hierarchy->nodes != nullptr;
    }
    if (!ok) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, count * sizeof(Matrix)));
        HierarchyDestroy(hierarchy);
        return nullptr;
    }
    hierarchy->interpolator = AnimInterpolatorCreate(nodeCount, maxInterpKeySize);
    if (hierarchy->interpolator == nullptr) {
        HierarchyDestroy(hierarchy);
        return nullptr;
    }
    // The player interpolates scheme type 1 until an animation says otherwise.
    const AnimScheme* scheme = HierKeyScheme();
    hierarchy->interpolator->keyToMatrix = scheme->keyToMatrix;
    hierarchy->interpolator->blend = scheme->blend;
    hierarchy->interpolator->interpolate = scheme->interpolate;
    hierarchy->interpolator->add = scheme->add;
    return hierarchy;
}

/// Refuses node flags that would overrun the stack.
Hierarchy* CheckNodeFlags(Hierarchy* hierarchy)
{
    if (!HierarchyNodeFlagsAreValid(hierarchy->nodes, hierarchy->nodeCount)) {
        ErrorRaise(0, ErrorCode(kErrorBadArgument, "hierarchy node flags overrun the matrix stack"));
        HierarchyDestroy(hierarchy);
        return nullptr;
    }
    return hierarchy;
}

struct AttachWalk
{
    Hierarchy* hierarchy;
    const int32_t* onlyId; ///< null: every node
};

void AttachFrame(Frame* frame, const AttachWalk* walk)
{
    const int32_t id = HierarchyFrameExtensionOf(frame)->nodeId;
    if (walk->onlyId == nullptr || *walk->onlyId == id) {
        Hierarchy* hierarchy = walk->hierarchy;
        for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
            if (hierarchy->nodes[i].nodeId == id) {
                hierarchy->nodes[i].frame = frame;
            }
        }
    }
    FrameUpdateObjects(frame);
}

Frame* AttachSubtree(Frame* frame, void* data)
{
    const auto* walk = static_cast<const AttachWalk*>(data);
    AttachFrame(frame, walk);
    FrameForAllChildren(frame, AttachSubtree, data);
    return frame;
}

Hierarchy* Attach(Hierarchy* hierarchy, const int32_t* onlyId)
{
    if (hierarchy->parentFrame != nullptr) {
        AttachWalk walk = {hierarchy, onlyId};
        AttachSubtree(hierarchy->parentFrame, &walk);
    }
    return hierarchy;
}

} // namespace

HierarchyFrameExtension* HierarchyFrameExtensionOf(const Frame* frame)
{
    auto* bytes = reinterpret_cast<uint8_t*>(const_cast<Frame*>(frame));
    return reinterpret_cast<HierarchyFrameExtension*>(bytes + gFrameOffset);
}

bool HierarchyPluginAttach()
{
    if (!AnimToolkitAttach()) {
        return false;
    }
    gModuleOffset =
        EngineAttachPlugin(sizeof(HierarchyModuleData), kPluginIdHierarchy, HierarchyOpen, HierarchyClose);
    gFrameOffset = FrameRegisterPlugin(sizeof(HierarchyFrameExtension), kPluginIdHierarchy, FrameConstruct,
                                       FrameDestruct, FrameCopy);
    const int32_t streams = FrameRegisterPluginStream(kPluginIdHierarchy, HierarchyFrameStreamRead,
                                                      HierarchyFrameStreamWrite, HierarchyFrameStreamGetSize);
    return gModuleOffset >= 0 && gFrameOffset >= 0 && streams >= 0;
}

void HierarchySetFreeListParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gBlocksToPreallocate = blocksToPreallocate;
}

bool HierarchyNodeFlagsAreValid(const HierarchyNode* nodes, int32_t nodeCount)
{
    int32_t depth = 0;
    // The last node's pop has nothing after it and is never carried out.
    for (int32_t i = 0; i + 1 < nodeCount; ++i) {
        const uint32_t flags = nodes[i].flags & (kHierarchyPush | kHierarchyPop);
        if (flags == kHierarchyPush && ++depth > kHierarchyStackDepth) {
            return false;
        }
        if (flags == kHierarchyPop && --depth < 0) {
            return false;
        }
    }
    return true;
}

Hierarchy* HierarchyCreate(int32_t nodeCount, const uint32_t* nodeFlags, const int32_t* nodeIds,
                           uint32_t flags, int32_t maxInterpKeySize)
{
    Hierarchy* hierarchy = Allocate(nodeCount, flags, maxInterpKeySize);
    if (hierarchy == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < nodeCount; ++i) {
        HierarchyNode& node = hierarchy->nodes[i];
        node.nodeIndex = i;
        node.flags = nodeFlags != nullptr ? nodeFlags[i] : 0;
        node.nodeId = nodeIds != nullptr ? nodeIds[i] : 0;
    }
    return CheckNodeFlags(hierarchy);
}

Hierarchy* HierarchyCreateFromHierarchy(const Hierarchy* hierarchy, uint32_t flags, int32_t maxInterpKeySize)
{
    Hierarchy* copy = Allocate(hierarchy->nodeCount, flags, maxInterpKeySize);
    if (copy == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
        copy->nodes[i] = hierarchy->nodes[i];
        copy->nodes[i].frame = nullptr;
    }
    return CheckNodeFlags(copy);
}

Hierarchy* HierarchyCreateSub(Hierarchy* hierarchy, int32_t firstNode, uint32_t flags,
                              int32_t maxInterpKeySize)
{
    if (hierarchy == nullptr || firstNode < 0 || firstNode >= hierarchy->nodeCount) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    const HierarchyNode* nodes = hierarchy->nodes;
    // The subtree: up to the node whose pop closes the first node's level,
    // and never past the last node.
    int32_t count = 1;
    if (!(nodes[firstNode].flags & kHierarchyPop)) {
        int32_t depth = 1;
        for (int32_t i = firstNode + 1; i < hierarchy->nodeCount && depth > 0; ++i) {
            depth += (nodes[i].flags & kHierarchyPush) ? 1 : 0;
            depth -= (nodes[i].flags & kHierarchyPop) ? 1 : 0;
            ++count;
        }
    }
    // The first node's parent: replay the pushes and pops before it. Nodes
    // are named by their position, which (unlike a node index read from a
    // file) always lies inside the root's matrix array.
    int32_t stack[kHierarchyStackDepth + 1];
    int32_t depth = 0;
    int32_t current = -1;
    for (int32_t i = 0; i < firstNode; ++i) {
        if ((nodes[i].flags & kHierarchyPush) && depth <= kHierarchyStackDepth) {
            stack[depth++] = current;
        }
        if (nodes[i].flags & kHierarchyPop) {
            current = depth > 0 ? stack[--depth] : -1;
        } else {
            current = i;
        }
    }
    auto* sub = static_cast<Hierarchy*>(
        MemoryFreeListAlloc(ModuleData()->freeList, kMemoryHintObject | kPluginIdHierarchy));
    if (sub == nullptr) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Hierarchy)));
        return nullptr;
    }
    *sub = Hierarchy{};
    sub->flags = flags | kHierarchySub;
    sub->nodeCount = count;
    sub->interpolator =
        AnimInterpolatorCreateSub(hierarchy->interpolator, firstNode, count, maxInterpKeySize);
    if (sub->interpolator == nullptr) {
        MemoryFreeListFree(ModuleData()->freeList, sub);
        return nullptr;
    }
    sub->matrices = hierarchy->matrices != nullptr ? hierarchy->matrices + firstNode : nullptr;
    sub->nodes = hierarchy->nodes + firstNode;
    sub->parentFrame = nodes[firstNode].frame;
    sub->root = hierarchy;
    sub->parentNode = current;
    return sub;
}

Hierarchy* HierarchyDestroy(Hierarchy* hierarchy)
{
    if (hierarchy == nullptr) {
        return nullptr;
    }
    if (!(hierarchy->flags & kHierarchySub)) {
        MemoryFree(hierarchy->matrixBlock);
        MemoryFree(hierarchy->nodes);
    }
    AnimInterpolatorDestroy(hierarchy->interpolator);
    if (hierarchy->parentFrame != nullptr) {
        HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(hierarchy->parentFrame);
        if (extension->hierarchy == hierarchy) {
            extension->hierarchy = nullptr;
        }
    }
    MemoryFreeListFree(ModuleData()->freeList, hierarchy);
    return nullptr;
}

Hierarchy* HierarchyAttachFrames(Hierarchy* hierarchy)
{
    return Attach(hierarchy, nullptr);
}

Hierarchy* HierarchyAttachNodeFrames(Hierarchy* hierarchy, int32_t nodeIndex)
{
    if (nodeIndex < 0 || nodeIndex >= hierarchy->nodeCount) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    const int32_t id = hierarchy->nodes[nodeIndex].nodeId;
    return Attach(hierarchy, &id);
}

Hierarchy* HierarchyDetachFrames(Hierarchy* hierarchy)
{
    for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
        hierarchy->nodes[i].frame = nullptr;
    }
    return hierarchy;
}

Hierarchy* HierarchyDetachNode(Hierarchy* hierarchy, int32_t nodeIndex)
{
    if (nodeIndex < 0 || nodeIndex >= hierarchy->nodeCount) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    hierarchy->nodes[nodeIndex].frame = nullptr;
    return hierarchy;
}

int32_t HierarchyFindNode(const Hierarchy* hierarchy, int32_t nodeId)
{
    for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
        if (hierarchy->nodes[i].nodeId == nodeId) {
            return i;
        }
    }
    return -1;
}

Matrix* HierarchyGetMatrixArray(const Hierarchy* hierarchy)
{
    return hierarchy->matrices;
}

int32_t FrameSetHierarchy(Frame* frame, Hierarchy* hierarchy)
{
    HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(frame);
    if (extension->hierarchy != nullptr) {
        extension->hierarchy->parentFrame = nullptr;
    }
    extension->hierarchy = hierarchy;
    if (hierarchy != nullptr) {
        hierarchy->parentFrame = frame;
    }
    return 1;
}

Hierarchy* FrameGetHierarchy(const Frame* frame)
{
    return HierarchyFrameExtensionOf(frame)->hierarchy;
}

int32_t FrameSetNodeId(Frame* frame, int32_t nodeId)
{
    HierarchyFrameExtensionOf(frame)->nodeId = nodeId;
    return 1;
}

int32_t FrameGetNodeId(const Frame* frame)
{
    return HierarchyFrameExtensionOf(frame)->nodeId;
}
