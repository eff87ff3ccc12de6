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
