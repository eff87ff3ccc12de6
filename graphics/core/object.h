#pragma once
// The head of every engine object, and the link by which cameras, lights and
// atomics hang from a frame.

#include <cstdint>

#include "graphics/core/linklist.h"

struct Frame;

/// ObjectHeader::type values.
enum ObjectType : uint8_t
{
    kObjectTypeFrame = 0,
    kObjectTypeAtomic = 1,
    kObjectTypeCamera = 4,
    kObjectTypeTexDictionary = 6,
};

struct ObjectHeader
{
    uint8_t type; ///< ObjectType (the scene objects use further values)
    uint8_t subType;
    uint8_t flags;        ///< public, owned by each object kind
    uint8_t privateFlags; ///< owned by each object kind
    /// A frame's parent frame; for an object that hangs from a frame, that frame.
    void* parent;
};

/// Called for every object of a dirty hierarchy when frames are synchronised;
/// it must not mark frames dirty.
using ObjectHasFrameSyncCallback = void (*)(void* object);

/// The start of every frame-bearing object (camera, light, atomic).
struct ObjectHasFrame
{
    ObjectHeader object;
    LinkList frameLink; ///< in the frame's object list
    ObjectHasFrameSyncCallback sync;
};

/// The frame the object hangs from, or null.
inline Frame* ObjectHasFrameGetFrame(const ObjectHasFrame* object)
{
    return static_cast<Frame*>(object->object.parent);
}

/// Moves the object to `frame` (or to none): off its old frame's object list,
/// onto the head of the new one's, and the new frame is marked dirty.
ObjectHasFrame* ObjectHasFrameSetFrame(ObjectHasFrame* object, Frame* frame);
/// Takes the object off its frame's object list; its frame pointer is kept.
ObjectHasFrame* ObjectHasFrameReleaseFrame(ObjectHasFrame* object);
