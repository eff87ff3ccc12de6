#include "bench/physics/broadphase_scene.h"

#include <cmath>
#include <random>

BroadphaseScene MakeBroadphaseScene(uint32_t count, uint32_t stepCount)
{
    BroadphaseScene scene;
    // About 1 m^3 of box per 4 m^3 of space.
    scene.half = 0.5f * std::cbrt(4.0f * static_cast<float>(count));
    std::mt19937 random(count);
    std::uniform_real_distribution<float> position(-scene.half + 1.0f, scene.half - 1.0f);
    std::uniform_real_distribution<float> extent(0.25f, 0.75f);
    std::uniform_real_distribution<float> move(-0.3f, 0.3f);
    for (uint32_t i = 0; i < count; ++i) {
        OlpBBox box{};
        float cx = position(random), cy = position(random), cz = position(random);
        float hx = extent(random), hy = extent(random), hz = extent(random);
        box.min = {cx - hx, cy - hy, cz - hz};
        box.max = {cx + hx, cy + hy, cz + hz};
        scene.boxes.push_back(box);
    }
    std::vector<OlpBBox> current = scene.boxes;
    uint32_t moving = count / 20 > 0 ? count / 20 : 1;
    for (uint32_t s = 0; s < stepCount; ++s) {
        std::vector<std::pair<uint32_t, OlpBBox>> step;
        for (uint32_t k = 0; k < moving; ++k) {
            uint32_t id = static_cast<uint32_t>(random() % count);
            OlpBBox& box = current[id];
            float dx = move(random), dy = move(random), dz = move(random);
            float limit = scene.half - 0.01f;
            if (box.min.x + dx > -limit && box.max.x + dx < limit && box.min.y + dy > -limit &&
                box.max.y + dy < limit && box.min.z + dz > -limit && box.max.z + dz < limit) {
                box.min = {box.min.x + dx, box.min.y + dy, box.min.z + dz};
                box.max = {box.max.x + dx, box.max.y + dy, box.max.z + dz};
            }
            step.push_back({id, box});
        }
        scene.steps.push_back(step);
    }
    return scene;
}

uint32_t BruteForcePairs(const std::vector<OlpBBox>& boxes)
{
    uint32_t pairs = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            pairs += OlpBBoxOverlap(&boxes[i], &boxes[j]);
        }
    }
    return pairs;
}

#include <algorithm>

#include "physics/core/farfield/farfield.h"
#include "physics/core/utils/memory.h"

FarfieldRun::FarfieldRun(const BroadphaseScene& scene)
{
    count_ = static_cast<uint32_t>(scene.boxes.size());
    uint32_t pairCapacity = std::min<uint32_t>(8 * count_, (65532 - count_) / 2);
    lists_ = OlpAlignedAlloc(OlpFarfieldSize(count_, pairCapacity), 16, kOlpMemoryHint);
    grid_ = OlpAlignedAlloc(OlpFarfieldGridSize(count_), 16, kOlpMemoryHint);
    OlpBBox world{};
    world.min = {-scene.half, -scene.half, -scene.half};
    world.max = {scene.half, scene.half, scene.half};
    pairs_ = OlpFarfieldInit(lists_, count_, pairCapacity);
    table_ = OlpFarfieldInitGrid(grid_, pairs_, count_, &world, 0.0f);
    for (uint32_t i = 0; i < count_; ++i) {
        OlpFarfieldInsert(table_, i, &scene.boxes[i]);
    }
}

FarfieldRun::~FarfieldRun()
{
    OlpAlignedFree(lists_);
    OlpAlignedFree(grid_);
}

void FarfieldRun::Step(const BroadphaseScene& scene, size_t s)
{
    for (const auto& [id, box] : scene.steps[s]) {
        OlpFarfieldInsert(table_, id, &box);
    }
}

uint32_t FarfieldRun::PairCount() const
{
    std::vector<uint16_t> out(count_);
    uint32_t total = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        total += OlpFarfieldListPairs(pairs_, i, out.data(), nullptr, 0);
    }
    return total / 2;
}
