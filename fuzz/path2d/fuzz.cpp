// Fuzz target for the path reader: the input is read as a memory stream; a
// path that reads is flattened, measured, tested and cut into triangles.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/core/vector.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool open = FuzzEngineStart() && PathModuleOpen() && TessModuleOpen();
    if (!open) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (!stream) {
        return 0;
    }
    if (Path* path = PathStreamRead(stream)) {
        float bounds[4];
        PathGetBounds(path, bounds);
        PathFlatten(path);
        for (const Path* sub = path; sub; sub = sub->next) {
            const V2d point = {bounds[0] + bounds[2] * 0.5f, bounds[1] + bounds[3] * 0.5f};
            PathSubContainsPoint(&point, sub);
            const int32_t nodes = PathGetNodeCount(sub);
            if (sub->closed && nodes > 3 && nodes < 4096) {
                std::vector<uint32_t> indices(size_t(3 * (nodes - 3)));
                int32_t triangles = 0;
                TessTriangulateSubPath(sub, &triangles, indices.data());
            }
        }
        PathDestroy(path);
    }
    FuzzStreamClose(stream);
    return 0;
}
