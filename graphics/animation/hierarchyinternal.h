#pragma once
// Private to the hierarchy module: the frame extension and the creation
// helpers that its streams share.

#include <cstdint>

#include "graphics/animation/hierarchy.h"

struct HierarchyFrameExtension
{
    int32_t nodeId;       ///< -1: none
    Hierarchy* hierarchy; ///< rooted at this frame; null: none
};

/// The frame's extension (the plug-in is attached).
HierarchyFrameExtension* HierarchyFrameExtensionOf(const Frame* frame);
/// Frame extension stream callbacks (sub-chunk 0x11E).
Stream* HierarchyFrameStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* HierarchyFrameStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                                  int32_t size);
int32_t HierarchyFrameStreamGetSize(const void* object, int32_t offset, int32_t size);
