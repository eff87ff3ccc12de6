#pragma once
// Frames: the nodes of the transformation hierarchy. Each holds a modelling
// matrix relative to its parent and a world matrix (LTM) derived from it.
// Edits only mark the hierarchy dirty; FrameSyncDirty brings every dirty
// hierarchy's world matrices and attached objects up to date, and
// FrameGetLTM recomputes one hierarchy's matrices on demand.

#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/matrix.h"
#include "graphics/core/object.h"
#include "graphics/core/plugin.h"

/// Frame private flag bits (ObjectHeader::privateFlags).
enum : uint8_t
{
    kFrameHierarchySyncLTM = 0x01,     ///< on roots: the hierarchy's world matrices are pending
    kFrameHierarchySyncObjects = 0x02, ///< on roots: the hierarchy's objects are pending
    kFrameSubtreeSyncLTM = 0x04,       ///< this frame's world matrix must be recomputed
    kFrameSubtreeSyncObjects = 0x08,   ///< this frame's objects must be synchronised
    kFrameStatic = 0x10,               ///< caller-owned memory (FrameInitStatic)
    kFrameHierarchyDirty = kFrameHierarchySyncLTM | kFrameHierarchySyncObjects,
    kFrameSubtreeDirty = kFrameSubtreeSyncLTM | kFrameSubtreeSyncObjects,
};

struct Frame
{
    ObjectHeader object; ///< type 0; parent = parent frame or null
    LinkList dirtyLink;  ///< on the engine's dirty list while this root is dirty
    Matrix modelling;    ///< relative to the parent
    Matrix ltm;          ///< world matrix: modelling x parent's ltm
    LinkList objectList; ///< attached objects (ObjectHasFrame::frameLink)
    Frame* child;        ///< first child (newest first)
    Frame* next;         ///< next sibling
    Frame* root;         ///< top frame of the hierarchy
    // Frame plug-in data follows (FrameRegisterPlugin).
};

using FrameCallback = Frame* (*)(Frame* frame, void* data);
using ObjectCallback = void* (*)(void* object, void* data);

/// New root frame (identity matrices, not dirty); null when out of memory.
Frame* FrameCreate();
/// Initialises a frame record and runs the plug-in constructors; null when
/// one fails.
Frame* FrameInit(Frame* frame);
/// FrameInit on caller-owned memory (registry size, FrameGetRegistry); such a
/// frame is never returned to the free list. 1, 0 when a constructor fails.
int32_t FrameInitStatic(Frame* frame);
/// Destroys one frame: detached from its parent; each child becomes a dirty
/// root of its own; attached objects are released. 1.
int32_t FrameDestroy(Frame* frame);
/// FrameDestroy without freeing the memory. 1.
int32_t FrameDeinit(Frame* frame);
/// Detaches the frame from its parent, then destroys it and all its
/// descendants (children first). Null is accepted. 1.
int32_t FrameDestroyHierarchy(Frame* frame);

/// Attaches `child` (detaching it from any parent) and marks it dirty; the
/// parent. Null (kErrorBadArgument) when `parent` is `child` or lies below it.
Frame* FrameAddChild(Frame* parent, Frame* child);
/// Attaches without taking the child off the dirty list; the parent, or null
/// as FrameAddChild.
Frame* FrameAddChildNoUpdate(Frame* parent, Frame* child);
/// Detaches a frame from its parent; it becomes a dirty root. The frame.
Frame* FrameRemoveChild(Frame* child);
inline Frame* FrameGetParent(const Frame* frame)
{
    return static_cast<Frame*>(frame->object.parent);
}
Frame* FrameGetRoot(const Frame* frame);
/// The pending bits (kFrameHierarchyDirty) of the frame's root.
uint32_t FrameDirty(const Frame* frame);
/// Marks the frame's matrices and objects for the next synchronisation.
Frame* FrameUpdateObjects(Frame* frame);
/// Up-to-date world matrix (recomputes the hierarchy's matrices when pending).
Matrix* FrameGetLTM(Frame* frame);
inline Matrix* FrameGetMatrix(Frame* frame)
{
    return &frame->modelling;
}

/// Edits of the modelling matrix (combine ops of matrix.h), then marked
/// dirty; null for an invalid op (kErrorBadArgument).
Frame* FrameTranslate(Frame* frame, const V3d* translation, int32_t op);
Frame* FrameScale(Frame* frame, const V3d* scale, int32_t op);
Frame* FrameTransform(Frame* frame, const Matrix* matrix, int32_t op);
/// Rotation by `angle` degrees about `axis`.
Frame* FrameRotate(Frame* frame, const V3d* axis, float angle, int32_t op);
Frame* FrameSetIdentity(Frame* frame);
Frame* FrameOrthoNormalize(Frame* frame);

/// Calls `callback` on each child in list order until it answers null.
Frame* FrameForAllChildren(Frame* frame, FrameCallback callback, void* data);
/// Calls `callback` on each attached object until it answers null.
Frame* FrameForAllObjects(Frame* frame, ObjectCallback callback, void* data);
/// Frames in the subtree, the frame included.
int32_t FrameCount(const Frame* frame);

/// Clone of the hierarchy below `root` (a dirty root; children in reverse
/// list order). The source frames' root fields point at their clones until
/// FrameSetRootOfHierarchy(root). Null on failure, the source untouched.
Frame* FrameCloneHierarchy(Frame* root);
/// Resets the root field of the frame and every descendant.
Frame* FrameSetRootOfHierarchy(Frame* frame);
/// FrameCloneHierarchy, then FrameSetRootOfHierarchy on the source.
Frame* FrameCloneHierarchyAndFixRoots(Frame* root);

/// Brings every dirty hierarchy up to date: world matrices where pending,
/// then every attached object's sync callback. 1.
int32_t FrameSyncDirty();

/// Frame plug-ins (see plugin.h); offsets or -1.
int32_t FrameRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                            PluginDestructor destructor, PluginCopy copy);
int32_t FrameGetPluginOffset(uint32_t pluginId);
/// Reserve for plug-ins of static frames, rounded up to 4 bytes; 1 or 0.
int32_t FrameSetStaticPluginsSize(int32_t size);
int32_t FrameRegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                  PluginStreamGetSize getSize);
int32_t FrameSetStreamAlwaysCallback(uint32_t pluginId, PluginAlwaysCallback always);
/// The frame registry (its objectSize is a frame's full size).
PluginRegistry* FrameGetRegistry();

/// Frames per free-list block and blocks to preallocate (defaults 50, 1);
/// before EngineInit.
void FrameSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Registers the frame module (core module 0x403) with the engine at EngineInit.
int32_t FrameModuleAttach();
