// Frame-list chunks (0xE): FrameListStreamRead on arbitrary bytes.
#include "graphics/core/chunk.h"
#include "graphics/core/framelist.h"
#include "graphics/core/tests/fuzzengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    FrameList list{};
    if (stream && StreamFindChunk(stream, kChunkFrameList, nullptr, nullptr) &&
        FrameListStreamRead(stream, &list)) {
        // Every frame is a root or hangs below an earlier frame of the list.
        for (int32_t i = list.count - 1; i >= 0; --i) {
            if (!FrameGetParent(list.frames[i])) {
                FrameDestroyHierarchy(list.frames[i]);
            }
        }
        FrameListDeinitialize(&list);
    }
    if (stream) {
        FuzzStreamClose(stream);
    }
    return 0;
}
