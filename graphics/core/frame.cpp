#include "graphics/core/frame.h"

#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/pluginids.h"

namespace {

// Memory hints name frames by the frame-list chunk type.
constexpr uint32_t kFrameMemoryKind = 0xE;

struct FrameModuleData
{
    FreeList* freeList;
};

int32_t gFrameOffset = -1;
int32_t gFrameEntriesPerBlock = 50;
int32_t gFrameBlocksToPreallocate = 1;
FreeList gFrameFreeListHeader;
PluginRegistry gFrameRegistry = PluginRegistryMake(sizeof(Frame));

FrameModuleData* FrameData()
{
    return static_cast<FrameModuleData*>(EngineGetModuleData(gFrameOffset));
}

LinkList* DirtyList()
{
    return &EngineGetInstance()->dirtyFrames;
}

Frame* FrameOfDirtyLink(LinkList* link)
{
    return LinkListEntry(link, Frame, dirtyLink);
}

ObjectHasFrame* ObjectOfLink(LinkList* link)
{
    return LinkListEntry(link, ObjectHasFrame, frameLink);
}

const Matrix kIdentityMatrix = {{1, 0, 0}, kMatrixFlagsAll, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0};

void MarkDirty(Frame* frame)
{
    Frame* root = frame->root;
    if (!(root->object.privateFlags & kFrameHierarchyDirty)) {
        LinkListAddFront(DirtyList(), &root->dirtyLink);
    }
    root->object.privateFlags |= kFrameHierarchyDirty;
    frame->object.privateFlags |= kFrameSubtreeDirty;
}

// Takes a root off the dirty list when it is on it.
void LeaveDirtyList(Frame* frame)
{
    if (frame->object.privateFlags & kFrameHierarchyDirty) {
        LinkListRemove(&frame->dirtyLink);
        frame->object.privateFlags &= uint8_t(~kFrameHierarchyDirty);
    }
}

void SetRootOfSubtree(Frame* frame, Frame* root)
{
    frame->root = root;
    for (Frame* child = frame->child; child; child = child->next) {
        SetRootOfSubtree(child, root);
    }
}

void UnlinkFromParent(Frame* frame)
{
    Frame* parent = FrameGetParent(frame);
    Frame** link = &parent->child;
    while (*link != frame) {
        link = &(*link)->next;
    }
    *link = frame->next;
    frame->object.parent = nullptr;
    frame->next = nullptr;
}

void SyncObjects(Frame* frame)
{
    // The callback may move its object to another frame: read the next link first.
    LinkList* head = &frame->objectList;
    for (LinkList* link = head->next; link != head;) {
        LinkList* next = link->next;
        ObjectHasFrame* object = ObjectOfLink(link);
        if (object->sync) {
            object->sync(object);
        }
        link = next;
    }
}

// World matrices (and, with `objects`, the objects) of the children of
// `parent`. A frame's own bits are cleared before its objects run, so that a
// mark made by a callback survives for the next synchronisation.
void SyncChildren(Frame* parent, uint8_t inherited, bool objects)
{
    for (Frame* child = parent->child; child; child = child->next) {
        uint8_t bits = uint8_t((child->object.privateFlags | inherited) & kFrameSubtreeSyncLTM);
        child->object.privateFlags &= uint8_t(objects ? ~kFrameSubtreeDirty : ~kFrameSubtreeSyncLTM);
        if (bits) {
            MatrixMultiply(&child->ltm, &child->modelling, &parent->ltm);
        }
        if (objects) {
            SyncObjects(child);
        }
        SyncChildren(child, bits, objects);
    }
}

// Objects only, for a hierarchy whose matrices FrameGetLTM already made current.
void SyncObjectsOfSubtree(Frame* frame)
{
    for (Frame* child = frame->child; child; child = child->next) {
        child->object.privateFlags &= uint8_t(~kFrameSubtreeSyncObjects);
        SyncObjects(child);
        SyncObjectsOfSubtree(child);
    }
}

void ReleaseObjects(Frame* frame)
{
    LinkList* head = &frame->objectList;
    while (!LinkListIsEmpty(head)) {
        ObjectHasFrame* object = ObjectOfLink(head->next);
        LinkListRemove(&object->frameLink);
        object->object.parent = nullptr;
    }
}

void FreeFrame(Frame* frame)
{
    if (!(frame->object.privateFlags & kFrameStatic)) {
        MemoryFreeListFree(FrameData()->freeList, frame);
    }
}

// Destroys the descendants of `frame`, children before parents.
void DestroyDescendants(Frame* frame)
{
    Frame* child = frame->child;
    while (child) {
        Frame* next = child->next;
        DestroyDescendants(child);
        PluginRegistryDestruct(&gFrameRegistry, child);
        LeaveDirtyList(child);
        ReleaseObjects(child);
        FreeFrame(child);
        child = next;
    }
    frame->child = nullptr;
}

void DestroyOne(Frame* frame, bool freeMemory)
{
    PluginRegistryDestruct(&gFrameRegistry, frame);
    if (FrameGetParent(frame)) {
        FrameRemoveChild(frame);
    }
    LeaveDirtyList(frame);
    // Each child becomes a root of its own, so that no root field is left
    // pointing at this record.
    Frame* child = frame->child;
    while (child) {
        Frame* next = child->next;
        child->object.parent = nullptr;
        child->next = nullptr;
        SetRootOfSubtree(child, child);
        MarkDirty(child);
        child = next;
    }
    frame->child = nullptr;
    ReleaseObjects(frame);
    if (freeMemory) {
        FreeFrame(frame);
    }
}

Frame* CloneFrame(Frame* source, Frame* cloneRoot)
{
    auto* clone =
        static_cast<Frame*>(MemoryFreeListAlloc(FrameData()->freeList, kMemoryHintObject | kFrameMemoryKind));
    if (!clone) {
        return nullptr;
    }
    clone->object = source->object;
    // A clone lives in the free list and is on no dirty list yet.
    clone->object.privateFlags &= uint8_t(~(kFrameStatic | kFrameHierarchyDirty));
    clone->object.parent = nullptr;
    LinkListInit(&clone->dirtyLink);
    clone->modelling = source->modelling;
    clone->ltm = source->ltm;
    LinkListInit(&clone->objectList);
    clone->child = nullptr;
    clone->next = nullptr;
    clone->root = cloneRoot ? cloneRoot : clone;
    // The source maps to its clone until FrameSetRootOfHierarchy.
    source->root = clone;
    bool ok = true;
    for (Frame* child = source->child; child && ok; child = child->next) {
        Frame* childClone = CloneFrame(child, clone->root);
        if (!childClone) {
            ok = false;
            break;
        }
        childClone->object.parent = clone;
        childClone->next = clone->child;
        clone->child = childClone;
    }
    if (ok && PluginRegistryConstruct(&gFrameRegistry, clone)) {
        PluginRegistryCopy(&gFrameRegistry, clone, source);
        return clone;
    }
    DestroyDescendants(clone);
    MemoryFreeListFree(FrameData()->freeList, clone);
    return nullptr;
}

void* FrameModuleOpen(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    FrameData()->freeList = FreeListCreate(
        uint32_t(gFrameRegistry.objectSize), uint32_t(gFrameEntriesPerBlock), 16,
        uint32_t(gFrameBlocksToPreallocate), &gFrameFreeListHeader, kMemoryHintEngine | kFrameMemoryKind);
    if (!FrameData()->freeList) {
        return nullptr;
    }
    LinkListInit(DirtyList());
    return instance;
}

void* FrameModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    FreeListDestroy(FrameData()->freeList);
    FrameData()->freeList = nullptr;
    return instance;
}

} // namespace

void FrameSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gFrameEntriesPerBlock = entriesPerBlock;
    gFrameBlocksToPreallocate = blocksToPreallocate;
}

Frame* FrameInit(Frame* frame)
{
    frame->object = {kObjectTypeFrame, 0, 0, 0, nullptr};
    LinkListInit(&frame->dirtyLink);
    frame->modelling = kIdentityMatrix;
    frame->ltm = kIdentityMatrix;
    LinkListInit(&frame->objectList);
    frame->child = nullptr;
    frame->next = nullptr;
    frame->root = frame;
    return PluginRegistryConstruct(&gFrameRegistry, frame) ? frame : nullptr;
}

int32_t FrameInitStatic(Frame* frame)
{
    if (!FrameInit(frame)) {
        return 0;
    }
    frame->object.privateFlags |= kFrameStatic;
    return 1;
}

Frame* FrameCreate()
{
    auto* frame =
        static_cast<Frame*>(MemoryFreeListAlloc(FrameData()->freeList, kMemoryHintObject | kFrameMemoryKind));
    if (!frame) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, gFrameRegistry.objectSize));
        return nullptr;
    }
    if (!FrameInit(frame)) {
        MemoryFreeListFree(FrameData()->freeList, frame);
        return nullptr;
    }
    return frame;
}

int32_t FrameDestroy(Frame* frame)
{
    DestroyOne(frame, true);
    return 1;
}

int32_t FrameDeinit(Frame* frame)
{
    DestroyOne(frame, false);
    return 1;
}

int32_t FrameDestroyHierarchy(Frame* frame)
{
    if (!frame) {
        return 1;
    }
    if (FrameGetParent(frame)) {
        UnlinkFromParent(frame);
    }
    DestroyDescendants(frame);
    PluginRegistryDestruct(&gFrameRegistry, frame);
    LeaveDirtyList(frame);
    ReleaseObjects(frame);
    FreeFrame(frame);
    return 1;
}

Frame* FrameAddChildNoUpdate(Frame* parent, Frame* child)
{
    // A frame under itself or under one of its descendants would make a cycle.
    for (const Frame* f = parent; f; f = FrameGetParent(f)) {
        if (f == child) {
            ErrorRaise(0, kErrorBadArgument);
            return nullptr;
        }
    }
    if (FrameGetParent(child)) {
        FrameRemoveChild(child);
    }
    child->next = parent->child;
    parent->child = child;
    child->object.parent = parent;
    SetRootOfSubtree(child, parent->root);
    return parent;
}

Frame* FrameAddChild(Frame* parent, Frame* child)
{
    if (!FrameAddChildNoUpdate(parent, child)) {
        return nullptr;
    }
    LeaveDirtyList(child);
    MarkDirty(child);
    return parent;
}

Frame* FrameRemoveChild(Frame* child)
{
    if (!FrameGetParent(child)) {
        return child;
    }
    UnlinkFromParent(child);
    SetRootOfSubtree(child, child);
    MarkDirty(child);
    return child;
}

Frame* FrameGetRoot(const Frame* frame)
{
    return frame->root;
}

uint32_t FrameDirty(const Frame* frame)
{
    return frame->root->object.privateFlags & kFrameHierarchyDirty;
}

Frame* FrameUpdateObjects(Frame* frame)
{
    MarkDirty(frame);
    return frame;
}

Matrix* FrameGetLTM(Frame* frame)
{
    Frame* root = frame->root;
    if (root->object.privateFlags & kFrameHierarchySyncLTM) {
        uint8_t bits = root->object.privateFlags & kFrameSubtreeSyncLTM;
        root->object.privateFlags &= uint8_t(~(kFrameHierarchySyncLTM | kFrameSubtreeSyncLTM));
        if (bits) {
            root->ltm = root->modelling;
        }
        SyncChildren(root, bits, false);
    }
    return &frame->ltm;
}

Frame* FrameTranslate(Frame* frame, const V3d* translation, int32_t op)
{
    if (!MatrixTranslate(&frame->modelling, translation, op)) {
        return nullptr;
    }
    MarkDirty(frame);
    return frame;
}

Frame* FrameScale(Frame* frame, const V3d* scale, int32_t op)
{
    if (!MatrixScale(&frame->modelling, scale, op)) {
        return nullptr;
    }
    MarkDirty(frame);
    return frame;
}

Frame* FrameTransform(Frame* frame, const Matrix* matrix, int32_t op)
{
    if (!MatrixTransform(&frame->modelling, matrix, op)) {
        return nullptr;
    }
    MarkDirty(frame);
    return frame;
}

Frame* FrameRotate(Frame* frame, const V3d* axis, float angle, int32_t op)
{
    if (!MatrixRotate(&frame->modelling, axis, angle, op)) {
        return nullptr;
    }
    MarkDirty(frame);
    return frame;
}

Frame* FrameSetIdentity(Frame* frame)
{
    uint32_t flags = frame->modelling.flags | kMatrixFlagsAll;
    frame->modelling = kIdentityMatrix;
    frame->modelling.flags = flags;
    MarkDirty(frame);
    return frame;
}

Frame* FrameOrthoNormalize(Frame* frame)
{
    MatrixOrthoNormalize(&frame->modelling, &frame->modelling);
    MarkDirty(frame);
    return frame;
}

Frame* FrameForAllChildren(Frame* frame, FrameCallback callback, void* data)
{
    for (Frame* child = frame->child; child;) {
        Frame* next = child->next;
        if (!callback(child, data)) {
            break;
        }
        child = next;
    }
    return frame;
}

Frame* FrameForAllObjects(Frame* frame, ObjectCallback callback, void* data)
{
    LinkList* head = &frame->objectList;
    for (LinkList* link = head->next; link != head;) {
        LinkList* next = link->next;
        if (!callback(ObjectOfLink(link), data)) {
            break;
        }
        link = next;
    }
    return frame;
}

int32_t FrameCount(const Frame* frame)
{
    int32_t count = 1;
    for (const Frame* child = frame->child; child; child = child->next) {
        count += FrameCount(child);
    }
    return count;
}

Frame* FrameCloneHierarchy(Frame* root)
{
    Frame* clone = CloneFrame(root, nullptr);
    if (!clone) {
        // The source frames that were mapped to (now freed) clones get their
        // own roots back.
        FrameSetRootOfHierarchy(root);
        return nullptr;
    }
    MarkDirty(clone);
    return clone;
}

Frame* FrameSetRootOfHierarchy(Frame* frame)
{
    Frame* parent = FrameGetParent(frame);
    SetRootOfSubtree(frame, parent ? parent->root : frame);
    return frame;
}

Frame* FrameCloneHierarchyAndFixRoots(Frame* root)
{
    Frame* clone = FrameCloneHierarchy(root);
    if (clone) {
        FrameSetRootOfHierarchy(root);
    }
    return clone;
}

int32_t FrameSyncDirty()
{
    // Detach the whole list first: a root that a callback marks while the
    // walk runs goes onto the fresh list and is synchronised next time.
    LinkList pending;
    LinkList* dirty = DirtyList();
    if (LinkListIsEmpty(dirty)) {
        return 1;
    }
    pending.next = dirty->next;
    pending.prev = dirty->prev;
    pending.next->prev = &pending;
    pending.prev->next = &pending;
    LinkListInit(dirty);
    while (!LinkListIsEmpty(&pending)) {
        Frame* root = FrameOfDirtyLink(pending.next);
        LinkListRemove(&root->dirtyLink);
        uint8_t flags = root->object.privateFlags;
        root->object.privateFlags &= uint8_t(~(kFrameHierarchyDirty | kFrameSubtreeDirty));
        if (flags & kFrameHierarchySyncLTM) {
            uint8_t bits = flags & kFrameSubtreeSyncLTM;
            if (bits) {
                root->ltm = root->modelling;
            }
            SyncObjects(root);
            SyncChildren(root, bits, true);
        } else {
            SyncObjects(root);
            SyncObjectsOfSubtree(root);
        }
    }
    return 1;
}

ObjectHasFrame* ObjectHasFrameSetFrame(ObjectHasFrame* object, Frame* frame)
{
    if (object->object.parent) {
        LinkListRemove(&object->frameLink);
    }
    object->object.parent = frame;
    if (frame) {
        LinkListAddFront(&frame->objectList, &object->frameLink);
        MarkDirty(frame);
    }
    return object;
}

ObjectHasFrame* ObjectHasFrameReleaseFrame(ObjectHasFrame* object)
{
    if (object->object.parent) {
        LinkListRemove(&object->frameLink);
    }
    return object;
}

int32_t FrameRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                            PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&gFrameRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t FrameGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&gFrameRegistry, pluginId);
}

int32_t FrameSetStaticPluginsSize(int32_t size)
{
    return PluginRegistrySetStaticPluginsSize(&gFrameRegistry, (size + 3) & ~3) ? 1 : 0;
}

int32_t FrameRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                  PluginStreamGetSize getSize)
{
    return PluginRegistryAddStream(&gFrameRegistry, pluginId, read, write, getSize);
}

int32_t FrameSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always)
{
    return PluginRegistryAddAlwaysCallback(&gFrameRegistry, pluginId, always);
}

PluginRegistry* FrameGetRegistry()
{
    return &gFrameRegistry;
}

int32_t FrameModuleAttach()
{
    gFrameOffset =
        EngineAttachPlugin(sizeof(FrameModuleData), kPluginIdFrame, FrameModuleOpen, FrameModuleClose);
    return gFrameOffset;
}
