// Frame-list chunks (0xE) with hierarchy extensions: FrameListStreamRead with
// the hierarchy plug-in attached; every hierarchy read is bound to its frames
// and its matrices updated.
#include "graphics/animation/tests/fuzzanimation.h"
#include "graphics/core/framelist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzAnimationEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (stream == nullptr) {
        return 0;
    }
    FrameList list{};
    if (StreamFindChunk(stream, kChunkFrameList, nullptr, nullptr) && FrameListStreamRead(stream, &list)) {
        for (int32_t i = 0; i < list.count; ++i) {
            if (Hierarchy* hierarchy = FrameGetHierarchy(list.frames[i])) {
                HierarchyAttachFrames(hierarchy);
                hierarchy->flags |= kHierarchyUpdateModelling;
                HierarchyUpdateMatrices(hierarchy);
                if (Hierarchy* sub = HierarchyCreateSub(hierarchy, hierarchy->nodeCount / 2, 0, -1)) {
                    HierarchyUpdateMatrices(sub);
                    HierarchyDestroy(sub);
                }
            }
        }
        for (int32_t i = list.count - 1; i >= 0; --i) {
            if (!FrameGetParent(list.frames[i])) {
                FrameDestroyHierarchy(list.frames[i]);
            }
        }
        FrameListDeinitialize(&list);
    }
    FuzzStreamClose(stream);
    return 0;
}
