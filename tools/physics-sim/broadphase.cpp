#include "tools/physics-sim/broadphase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "physics/core/farfield/farfield.h"
#include "physics/core/utils/memory.h"

int RunBroadphase(uint32_t count)
{
    uint32_t pairCapacity = std::min<uint32_t>(8 * count, (65532 - count) / 2);
    void* listsArea = OlpAlignedAlloc(OlpFarfieldSize(count, pairCapacity), 16, kOlpMemoryHint);
    void* gridArea = OlpAlignedAlloc(OlpFarfieldGridSize(count), 16, kOlpMemoryHint);
    float half = 0.5f * std::cbrt(4.0f * static_cast<float>(count)) + 1.0f;
    OlpBBox world{};
    world.min = {-half, -half, -half};
    world.max = {half, half, half};
    OlpPairLists* lists = OlpFarfieldInit(listsArea, count, pairCapacity);
    OlpFarfield* table = OlpFarfieldInitGrid(gridArea, lists, count, &world, 0.0f);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> position(-half + 1.0f, half - 1.0f);
    std::uniform_real_distribution<float> extent(0.25f, 0.75f);
    std::uniform_real_distribution<float> move(-0.3f, 0.3f);
    std::vector<OlpBBox> boxes(count);
    for (uint32_t i = 0; i < count; ++i) {
        float cx = position(random), cy = position(random), cz = position(random);
        float hx = extent(random), hy = extent(random), hz = extent(random);
        boxes[i].min = {cx - hx, cy - hy, cz - hz};
        boxes[i].max = {cx + hx, cy + hy, cz + hz};
        OlpFarfieldInsert(table, i, &boxes[i]);
    }
    std::vector<uint16_t> out(count);
    int mismatches = 0;
    for (int step = 0; step <= 50; ++step) {
        if (step > 0) {
            for (uint32_t k = 0; k < std::max<uint32_t>(1, count / 20); ++k) {
                uint32_t id = static_cast<uint32_t>(random() % count);
                float dx = move(random), dy = move(random), dz = move(random);
                boxes[id].min = {boxes[id].min.x + dx, boxes[id].min.y + dy, boxes[id].min.z + dz};
                boxes[id].max = {boxes[id].max.x + dx, boxes[id].max.y + dy, boxes[id].max.z + dz};
                OlpFarfieldInsert(table, id, &boxes[id]);
            }
        }
        uint32_t listed = 0;
        for (uint32_t i = 0; i < count; ++i) {
            listed += OlpFarfieldListPairs(lists, i, out.data(), nullptr, 0);
        }
        uint32_t brute = 0;
        for (uint32_t i = 0; i < count; ++i) {
            for (uint32_t j = i + 1; j < count; ++j) {
                brute += OlpBBoxOverlap(&boxes[i], &boxes[j]);
            }
        }
        mismatches += listed / 2 != brute;
        if (step % 10 == 0) {
            std::printf("step %2d: %u pairs, brute force %u%s\n", step, listed / 2, brute,
                        listed / 2 == brute ? "" : "  MISMATCH");
        }
    }
    std::printf("%u boxes, 51 steps: %s\n", count, mismatches == 0 ? "every step matches" : "MISMATCHES");
    OlpAlignedFree(listsArea);
    OlpAlignedFree(gridArea);
    return mismatches == 0 ? 0 : 1;
}
