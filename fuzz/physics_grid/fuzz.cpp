// The grid's packed data block on arbitrary bytes: the reader answers null
// or a grid whose every cell index is in range. A grid read back is queried
// around its centre and packed again, which must give the same bytes.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/core/tests/fuzzengine.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/griddata.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    OlpVolume grid;
    if (OlpGridInitFromData(&grid, data, size) == nullptr) {
        return 0;
    }
    const OlpGridHeader* h = OlpGridGetHeader(&grid);
    V3d centre = (h->box.max + h->box.min) * 0.5f;
    V3d cell = {1.0f / h->inverseCellSize.x, 1.0f / h->inverseCellSize.y, 1.0f / h->inverseCellSize.z};
    Matrix frame{};
    frame.right = {1, 0, 0};
    frame.up = {0, 1, 0};
    frame.at = {0, 0, 1};
    frame.pos = centre;
    frame.flags = kMatrixFlagsOrthonormal;
    for (uint32_t i = 0; i < OlpGridGetCellCount(&grid); ++i) {
        OlpSphereInit(OlpGridGetCell(&grid, i), 0.5f * cell.x);
        OlpVolumeSetFrame(OlpGridGetCell(&grid, i), &frame);
    }
    // A box of a few grid cells around the centre keeps the walk short.
    OlpBBox box{};
    box.min = centre - cell * 2.0f;
    box.max = centre + cell * 2.0f;
    std::vector<OlpBatchEntry> entries(64);
    OlpBatchList list = {entries.data(), 0, 64};
    OlpGridGetQuery (&grid)(&grid, &box, 0, &list);
    for (uint32_t i = 0; i < list.count; ++i) {
        if (entries[i].featureId >= OlpGridGetCellCount(&grid)) {
            std::abort();
        }
    }
    size_t bytes = OlpGridDataSize(&grid);
    std::vector<uint8_t> again(bytes);
    if (bytes == 0 || bytes > size || OlpGridPackData(&grid, again.data(), bytes) != bytes ||
        std::memcmp(again.data(), data, bytes) != 0) {
        std::abort();
    }
    OlpVolumeDestroyContents(&grid);
    return 0;
}
