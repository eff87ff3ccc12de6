// The hierarchy frame extension's stream form (sub-chunk 0x11E), little-endian
// i32 words: version 256, node id, node count; with nodes also the hierarchy
// flags, the player's interpolated-key room and (id, index, flags) per node.

#include "graphics/animation/hierarchyinternal.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"

namespace {

constexpr int32_t kFrameStreamVersion = 256;
constexpr int32_t kHeadBytes = 12;
constexpr int32_t kHierarchyHeadBytes = 20;
constexpr int32_t kNodeBytes = 12;

/// The interpolated-key room is saved as 32-bit builds count it: an
/// interpolated key of scheme type 1 is 36 bytes there (two 4-byte pointers,
/// no padding) and sizeof(HierInterpKey) here.
constexpr int32_t kInterpKeyGrowth = static_cast<int32_t>(sizeof(HierInterpKey)) - 36;
/// Room for any interpolated key a reader accepts (bytes, as saved).
constexpr int32_t kMaxSavedInterpKeySize = 1024;

const Hierarchy* SavedHierarchy(const Frame* frame)
{
    const Hierarchy* hierarchy = HierarchyFrameExtensionOf(frame)->hierarchy;
    return hierarchy != nullptr && !(hierarchy->flags & kHierarchySub) ? hierarchy : nullptr;
}

} // namespace

int32_t HierarchyFrameStreamGetSize(const void* object, int32_t, int32_t)
{
    const auto* frame = static_cast<const Frame*>(object);
    const HierarchyFrameExtension* extension = HierarchyFrameExtensionOf(frame);
    if (extension->nodeId == -1 && extension->hierarchy == nullptr) {
        return 0;
    }
    const Hierarchy* hierarchy = SavedHierarchy(frame);
    return hierarchy != nullptr ? kHierarchyHeadBytes + kNodeBytes * hierarchy->nodeCount : kHeadBytes;
}

Stream* HierarchyFrameStreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* frame = static_cast<const Frame*>(object);
    const Hierarchy* hierarchy = SavedHierarchy(frame);
    const int32_t head[3] = {kFrameStreamVersion, HierarchyFrameExtensionOf(frame)->nodeId,
                             hierarchy != nullptr ? hierarchy->nodeCount : 0};
    if (StreamWriteInt32(stream, head, sizeof(head)) == nullptr) {
        return nullptr;
    }
    if (hierarchy == nullptr) {
        return stream;
    }
    const int32_t room = hierarchy->interpolator->maxInterpKeySize - kInterpKeyGrowth;
    const int32_t more[2] = {static_cast<int32_t>(hierarchy->flags), room};
    if (StreamWriteInt32(stream, more, sizeof(more)) == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < hierarchy->nodeCount; ++i) {
        const HierarchyNode& node = hierarchy->nodes[i];
        const int32_t words[3] = {node.nodeId, node.nodeIndex, static_cast<int32_t>(node.flags)};
        if (StreamWriteInt32(stream, words, sizeof(words)) == nullptr) {
            return nullptr;
        }
    }
    return stream;
}

Stream* HierarchyFrameStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* frame = static_cast<Frame*>(object);
    int32_t head[3];
    if (length < kHeadBytes || StreamReadInt32(stream, head, sizeof(head)) == nullptr) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    if (head[0] != kFrameStreamVersion) {
        ErrorRaise(0, kErrorBadVersion);
        return nullptr;
    }
    FrameSetNodeId(frame, head[1]);
    const int32_t count = head[2];
    if (count <= 0) {
        return stream;
    }
    // The nodes must lie inside the sub-chunk.
    int32_t more[2];
    if (count > (length - kHierarchyHeadBytes) / kNodeBytes ||
        StreamReadInt32(stream, more, sizeof(more)) == nullptr || more[1] < 36 ||
        more[1] > kMaxSavedInterpKeySize) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    // A hierarchy read from a stream is never a sub-hierarchy: its arrays are its own.
    Hierarchy* hierarchy = HierarchyCreate(
        count, nullptr, nullptr, static_cast<uint32_t>(more[0]) & ~kHierarchySub, more[1] + kInterpKeyGrowth);
    if (hierarchy == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        int32_t words[3];
        if (StreamReadInt32(stream, words, sizeof(words)) == nullptr) {
            HierarchyDestroy(hierarchy);
            return nullptr;
        }
        hierarchy->nodes[i] = {words[0], words[1], static_cast<uint32_t>(words[2]), nullptr};
    }
    if (!HierarchyNodeFlagsAreValid(hierarchy->nodes, count)) {
        ErrorRaise(0, kErrorRead);
        HierarchyDestroy(hierarchy);
        return nullptr;
    }
    // A hierarchy already held by the frame (a second extension) is replaced.
    if (Hierarchy* old = FrameGetHierarchy(frame)) {
        HierarchyDestroy(old);
    }
    FrameSetHierarchy(frame, hierarchy);
    return stream;
}
