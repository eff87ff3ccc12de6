#include "tools/physics-sim/activation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "physics/core/body/body.h"
#include "physics/core/manager/activation.h"
#include "physics/core/manager/manager.h"
#include "physics/core/volume/box.h"

namespace {

struct Scene
{
    std::vector<OlpBody*> bodies;
    std::vector<Matrix> poses;
    std::vector<OlpBBox> boxes;
    std::vector<bool> awake;
};

/// The bodies reached from the awake ones over overlapping boxes.
std::vector<bool> Reached(const Scene& scene)
{
    const size_t n = scene.bodies.size();
    std::vector<bool> reached = scene.awake;
    std::vector<size_t> queue;
    for (size_t i = 0; i < n; ++i) {
        if (reached[i]) {
            queue.push_back(i);
        }
    }
    for (size_t q = 0; q < queue.size(); ++q) {
        for (size_t j = 0; j < n; ++j) {
            if (!reached[j] && OlpBBoxOverlap(&scene.boxes[queue[q]], &scene.boxes[j])) {
                reached[j] = true;
                queue.push_back(j);
            }
        }
    }
    return reached;
}

} // namespace

int RunActivation(uint32_t count)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, count, count);
    params.words[kOlpParamPairs] = std::min<uint32_t>(8 * count, (65532 - count) / 2);
    const float half = 0.5f * std::cbrt(4.0f * static_cast<float>(count)) + 1.0f;
    const float world[6] = {half, half, half, -half, -half, -half};
    OlpContext* context = OlpContextCreate(&params, 1.0f, world);
    if (context == nullptr || OlpBodyRegisterType(context) == 0) {
        std::fprintf(stderr, "physics-sim: no context for %u bodies\n", count);
        return 1;
    }
    OlpMgr* mgr = OlpContextGetMgr(context);
    OlpMgrSetFarfieldMargin(mgr, 0.0f); // the brute force compares the bodies' own boxes

    std::mt19937 random(11);
    std::uniform_real_distribution<float> position(-half + 1.0f, half - 1.0f);
    std::uniform_real_distribution<float> extent(0.25f, 0.75f);
    std::uniform_real_distribution<float> move(-0.3f, 0.3f);
    Scene scene;
    scene.bodies.resize(count);
    scene.poses.resize(count);
    scene.boxes.resize(count);
    scene.awake.assign(count, false);
    for (uint32_t i = 0; i < count; ++i) {
        const V3d extents = {extent(random), extent(random), extent(random)};
        OlpBodyDef* def = OlpBodyDefCreate();
        OlpVolume box;
        OlpBoxInit(&box, &extents);
        OlpPartSetVolume(&def->part, &box);
        OlpVolumeDestroyContents(&box);
        scene.bodies[i] = OlpBodyCreate(def);
        OlpBodyDefRelease(def);
        const V3d at = {position(random), position(random), position(random)};
        scene.poses[i] = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, at, 0};
        scene.bodies[i]->base.parts[0].sourceMatrix = &scene.poses[i];
        scene.awake[i] = random() % 20 == 0;
        OlpMgrAddObject(mgr, &scene.bodies[i]->base, kOlpMgrAnyId,
                        kOlpMgrAddDynamic | (scene.awake[i] ? kOlpMgrAddAwake : 0));
        OlpMgrGetFarfieldBox(mgr, &scene.bodies[i]->base, &scene.boxes[i]);
    }

    std::vector<OlpObj*> objects(count);
    std::vector<OlpPair> pairs(params.words[kOlpParamPairs]);
    int mismatches = 0;
    for (int step = 0; step <= 50; ++step) {
        if (step > 0) {
            // Awake bodies move; a few fall asleep and a few wake up.
            for (uint32_t i = 0; i < count; ++i) {
                if (scene.awake[i]) {
                    scene.poses[i].pos = {scene.poses[i].pos.x + move(random),
                                          scene.poses[i].pos.y + move(random),
                                          scene.poses[i].pos.z + move(random)};
                    OlpBodyUpdateBounds(scene.bodies[i]);
                    OlpMgrGetFarfieldBox(mgr, &scene.bodies[i]->base, &scene.boxes[i]);
                }
                if (random() % 50 == 0) {
                    scene.awake[i] = !scene.awake[i];
                    OlpMgrSetObjectAwake(mgr, &scene.bodies[i]->base, scene.awake[i] ? 1 : 0);
                }
            }
        }
        OlpMgrStepLists lists = {
            objects.data(), count, 0, pairs.data(), static_cast<uint32_t>(pairs.size()), 0, nullptr, 0, 0};
        OlpMgrUpdateFarfield(mgr, &lists);

        const std::vector<bool> reached = Reached(scene);
        uint32_t awake = 0, reachedCount = 0, brute = 0;
        bool activeMatches = true;
        for (uint32_t i = 0; i < count; ++i) {
            awake += scene.awake[i] ? 1 : 0;
            reachedCount += reached[i] ? 1 : 0;
            activeMatches = activeMatches && OlpMgrIsObjectActive(mgr, &scene.bodies[i]->base) == reached[i];
            for (uint32_t j = i + 1; j < count; ++j) {
                brute +=
                    (reached[i] || reached[j]) && OlpBBoxOverlap(&scene.boxes[i], &scene.boxes[j]) ? 1 : 0;
            }
        }
        const bool matches = activeMatches && lists.objectCount == reachedCount &&
                             mgr->activeCount == reachedCount && lists.pairCount == brute;
        mismatches += matches ? 0 : 1;
        if (step % 10 == 0 || !matches) {
            std::printf("step %2d: awake %u, active %u (reached %u), pairs %u (brute force %u)%s\n", step,
                        awake, mgr->activeCount, reachedCount, lists.pairCount, brute,
                        matches ? "" : "  MISMATCH");
        }
    }
    std::printf("%u bodies, 51 steps of activation: %s\n", count,
                mismatches == 0 ? "every step matches" : "MISMATCHES");
    for (OlpBody* body : scene.bodies) {
        OlpBodyDestroy(body);
    }
    OlpContextDestroy(context);
    return mismatches == 0 ? 0 : 1;
}
