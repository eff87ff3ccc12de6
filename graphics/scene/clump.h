#pragma once
// Clumps: the atomics, lights and cameras of one model under one frame
// hierarchy; the unit in which models are loaded, cloned and destroyed.

#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/object.h"

struct Clump;

/// ObjectHeader::type of clumps.
constexpr uint8_t kObjectTypeClump = 2;

using ClumpCallBack = Clump* (*)(Clump* clump, void* data);

struct Clump
{
    ObjectHeader object; ///< type 2; parent = the root frame
    LinkList atomics;    ///< Atomic::clumpLink
    LinkList lights;     ///< ClumpLink::link of the lights
    LinkList cameras;    ///< ClumpLink::link of the cameras
    LinkList worldLink;  ///< in its world's clump list; zero while in none
    ClumpCallBack callBack;
    // Clump plug-in data follows (ClumpRegisterPlugin).
};

/// The extension of lights and cameras (id 0x10) that links them into a clump.
struct ClumpLink
{
    Clump* clump; ///< null while in none
    LinkList link;
};

struct Atomic;
struct Camera;
struct Light;
struct Stream;
struct V3d;

using ClumpAtomicCallBack = Atomic* (*)(Atomic* atomic, void* data);
using ClumpLightCallBack = Light* (*)(Light* light, void* data);
using ClumpCameraCallBack = Camera* (*)(Camera* camera, void* data);

/// The 12-byte struct of a saved clump, as the chunk-info reader gives it.
struct ClumpChunkInfo
{
    int32_t numAtomics;
    int32_t numLights;
    int32_t numCameras;
};

/// New empty clump with no frame; null on failure.
Clump* ClumpCreate();
/// Destroys every atomic, light and camera, the frame hierarchy and the
/// clump. 1.
int32_t ClumpDestroy(Clump* clump);
/// A copy of the hierarchy with a clone of every atomic on the clone of its
/// frame (lights and cameras are not cloned); null on failure. An atomic
/// without a frame stops the cloning there with library error 5, the clone
/// made so far being returned.
Clump* ClumpClone(Clump* clump);
/// Renders every atomic with the render flag; null when one failed.
Clump* ClumpRender(Clump* clump);
/// Each member until the callback answers null; the next member is taken
/// first, so the callback may remove or destroy the one it is given.
Clump* ClumpVisitAtomics(Clump* clump, ClumpAtomicCallBack callBack, void* data);
Clump* ClumpForAllLights(Clump* clump, ClumpLightCallBack callBack, void* data);
Clump* ClumpForAllCameras(Clump* clump, ClumpCameraCallBack callBack, void* data);
/// Membership (at the head of the list); each answers the clump.
Clump* ClumpAddAtomic(Clump* clump, Atomic* atomic);
Clump* ClumpRemoveAtomic(Clump* clump, Atomic* atomic);
Clump* ClumpAddLight(Clump* clump, Light* light);
Clump* ClumpRemoveLight(Clump* clump, Light* light);
Clump* ClumpAddCamera(Clump* clump, Camera* camera);
Clump* ClumpRemoveCamera(Clump* clump, Camera* camera);
int32_t ClumpCountAtomics(const Clump* clump);
int32_t ClumpCountLights(const Clump* clump);
int32_t ClumpCountCameras(const Clump* clump);
/// Null restores the identity callback; the clump.
Clump* ClumpSetCallBack(Clump* clump, ClumpCallBack callBack);
/// The callback, or null while the identity callback is set.
ClumpCallBack ClumpGetCallBack(const Clump* clump);
inline Frame* ClumpGetFrame(const Clump* clump)
{
    return static_cast<Frame*>(clump->object.parent);
}
inline void ClumpSetFrame(Clump* clump, Frame* frame)
{
    clump->object.parent = frame;
}
/// A clump of one unrendered atomic on a space geometry of `radius` on a
/// new frame at `position`: an invisible placeholder with a bounding sphere.
Clump* ClumpCreateSpace(const V3d* position, float radius);

/// Bytes of the chunk 0x10 body; 0 for a clump without a frame, which
/// cannot be written.
uint32_t ClumpStreamGetSize(const Clump* clump);
/// Writes chunk 0x10 (header included); the clump or null.
Clump* ClumpStreamWrite(Clump* clump, Stream* stream);
/// Reads a chunk 0x10 body (the caller found the chunk): the clump with its
/// hierarchy, geometries, atomics, lights and cameras, or null with the
/// first error recorded and everything read taken apart.
Clump* ClumpStreamRead(Stream* stream);
/// Reads the next struct chunk's 12 bytes; `size` gets the struct size + 12.
ClumpChunkInfo* ClumpStreamReadChunkInfo(Stream* stream, ClumpChunkInfo* info, int32_t* size);
