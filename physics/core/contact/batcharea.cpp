// The batch area's layout: one block cut into the narrow phase's lists.
#include <cstdint>

#include "physics/core/contact/batch.h"
#include "physics/core/utils/memory.h"

namespace {

struct Layout
{
    uint64_t partPairs, entries, frames, boxes, records, points, triangles, touches, scratch;
};

Layout CountsOf(const OlpContextParams* params)
{
    uint64_t first = params->words[kOlpParamNarrowFirst];
    uint64_t second = params->words[kOlpParamNarrowSecond];
    uint64_t third = params->words[kOlpParamNarrowThird];
    uint64_t contacts = params->words[kOlpParamContacts];
    return {2 * first, first + 1, 2 * first, first + 1, second, 2 * second + kOlpBatchFeatureRoom,
            third,     contacts,  second};
}

/// Walks the lists in layout order, calling `place(offset, count)` for each;
/// returns the total bytes.
template <typename Place> uint64_t Walk(const Layout& c, Place place)
{
    uint64_t offset = 0;
    auto next = [&](uint64_t count, uint64_t size) {
        place(offset, count);
        offset += olp::Round16(count * size);
    };
    next(c.partPairs, sizeof(OlpBatchPartPair));
    next(c.entries, sizeof(OlpBatchEntry));
    next(c.frames, sizeof(Matrix));
    next(c.boxes, sizeof(OlpBBox));
    next(c.records, sizeof(OlpFeaturePair));
    next(c.points, sizeof(OlpFeaturePoint));
    next(c.triangles, sizeof(OlpTriangleData));
    next(c.triangles, sizeof(OlpVolume));
    next(c.touches, sizeof(OlpTouch));
    next(c.scratch, sizeof(OlpContact));
    return offset;
}

} // namespace

size_t OlpBatchAreaSize(const OlpContextParams* params)
{
    Layout c = CountsOf(params);
    uint64_t bytes = Walk(c, [](uint64_t, uint64_t) {});
    bool fits = c.partPairs <= UINT32_MAX && c.points <= UINT32_MAX && bytes <= (uint64_t{1} << 40);
    return fits ? static_cast<size_t>(bytes) : 0;
}

OlpBatchArea* OlpBatchAreaInit(OlpBatchArea* area, void* memory, const OlpContextParams* params)
{
    if (OlpBatchAreaSize(params) == 0 || (reinterpret_cast<uintptr_t>(memory) & 15) != 0) {
        return nullptr;
    }
    Layout c = CountsOf(params);
    auto* base = static_cast<uint8_t*>(memory);
    void* places[10];
    int index = 0;
    Walk(c, [&](uint64_t offset, uint64_t) { places[index++] = base + offset; });
    *area = {};
    area->partPairs = static_cast<OlpBatchPartPair*>(places[0]);
    area->partPairCapacity = static_cast<uint32_t>(c.partPairs);
    area->entries = static_cast<OlpBatchEntry*>(places[1]);
    area->entryCapacity = static_cast<uint32_t>(c.entries);
    area->frames = static_cast<Matrix*>(places[2]);
    area->frameCapacity = static_cast<uint32_t>(c.frames);
    area->boxes = static_cast<OlpBBox*>(places[3]);
    area->records = static_cast<OlpFeaturePair*>(places[4]);
    area->recordCapacity = static_cast<uint32_t>(c.records);
    area->points = static_cast<OlpFeaturePoint*>(places[5]);
    area->pointCapacity = static_cast<uint32_t>(c.points);
    area->triangleRecords = static_cast<OlpTriangleData*>(places[6]);
    area->triangles = static_cast<OlpVolume*>(places[7]);
    area->triangleCapacity = static_cast<uint32_t>(c.triangles);
    area->touches = static_cast<OlpTouch*>(places[8]);
    area->touchCapacity = static_cast<uint32_t>(c.touches);
    area->scratch = static_cast<OlpContact*>(places[9]);
    area->scratchCapacity = static_cast<uint32_t>(c.scratch);
    area->scale = 1.0f;
    area->removeShadowed = 1;
    area->toiAdvance = 0.05f;
    area->toiTolerance = -0.16f;
    return area;
}
