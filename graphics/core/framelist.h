#pragma once
// Frame lists: the frames of one hierarchy in a fixed order (every frame
// after its parent), and their stream form, the frame-list chunk (0xE): a
// struct chunk with the frame count and one 56-byte record per frame
// (modelling matrix, parent index, flags), then each frame's extension chunk.

#include <cstdint>

#include "graphics/core/frame.h"

struct Stream;

struct FrameList
{
    Frame** frames;
    int32_t count;
};

/// Fills the list with `root`'s hierarchy: the root, then fill(first child),
/// where fill(f) is f, fill(f's next sibling), fill(f's first child). Null
/// with kErrorOutOfMemory when the array cannot be allocated.
FrameList* FrameListInitialize(FrameList* list, Frame* root);
/// Frees the array (the frames stay).
FrameList* FrameListDeinitialize(FrameList* list);
/// 1 and the frame's index when it is in the list, else 0.
int32_t FrameListFindFrame(const FrameList* list, const Frame* frame, int32_t* index);

/// Body size of the chunk: 16 + 56 x count + the frames' extension chunks.
uint32_t FrameListStreamGetSize(const FrameList* list);
/// Writes chunk 0xE; the list, or null on a stream failure.
const FrameList* FrameListStreamWrite(const FrameList* list, Stream* stream);
/// Reads the body of a chunk 0xE that the caller has found into new frames
/// (list->frames[0] is the first root). Parent indices must name an earlier
/// frame or be -1. Null on malformed or short data, every frame made so far
/// destroyed.
FrameList* FrameListStreamRead(Stream* stream, FrameList* list);
/// Reading mode: non-zero (default 1) attaches with FrameAddChild and marks
/// every root dirty; 0 attaches with FrameAddChildNoUpdate.
void FrameListSetUpdateOnRead(int32_t mode);
