#include "tools/physics-sim/ragdolldrop.h"

#include <cmath>
#include <cstdio>

#include "physics/core/contact/contact.h"
#include "physics/core/manager/manager.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"
#include "tools/physics-sim/scenario.h"

ScenarioReport RunRagdollDrop(const ScenarioOptions& options, float* gap)
{
    ScenarioReport report;
    RagdollScene scene(2);
    scene.AddRagdoll({0.0f, 1.0f, 0.0f}, 0.0f, 0.0f);
    scene.AddRagdoll({1.5f, 0.6f, 0.5f}, 0.7f, 1.2f);
    const int steps = options.steps > 0 ? options.steps : 2400;
    OlpPipeline* pipeline = OlpContextGetPipeline(scene.context);
    ApplyScenarioOptions(pipeline, options);
    for (int n = 0; n < steps; ++n) {
        scene.Step();
        std::vector<float> heights;
        for (const auto& entry : scene.ragdolls) {
            heights.push_back(entry->bones[0].pos.y);
        }
        report.heights.push_back(heights);
        for (uint32_t i = 0; i < pipeline->contactCount; ++i) {
            const OlpContact& c = pipeline->contacts[i];
            for (uint32_t k = 0; k < c.count; ++k) {
                report.penetration = std::fmax(report.penetration, -c.points[k].separation);
            }
        }
        for (size_t r = 0; r < scene.ragdolls.size(); ++r) {
            if (report.bodies.size() <= r) {
                report.bodies.push_back({{}, false, -1});
            }
            const bool asleep =
                !OlpMgrIsObjectAwake(OlpContextGetMgr(scene.context), &scene.ragdolls[r]->ragdoll->base);
            ScenarioReport::Body& body = report.bodies[r];
            body.sleptAt = asleep ? (body.asleep ? body.sleptAt : n + 1) : -1;
            body.asleep = asleep;
            body.position = scene.ragdolls[r]->bones[0].pos;
        }
        report.maxA = std::max(report.maxA, OlpPipelineGetStatisticMaxA(pipeline));
        report.maxB = std::max(report.maxB, OlpPipelineGetStatisticMaxB(pipeline));
    }
    report.hash = scene.Hash();
    *gap = scene.LargestJointGap();
    return report;
}

int RunRagdollDropCommand(const ScenarioOptions& options, const std::string& svgPath,
                          const std::string& csvPath)
{
    float gap = 0.0f;
    const ScenarioReport report = RunRagdollDrop(options, &gap);
    std::printf(
        "ragdolls: 2 of 11 capsules and 10 ball joints, 9 with twist limits; largest joint gap %.4f m\n",
        double(gap));
    return ReportScenario(kRagdollDropName, report, svgPath, csvPath);
}

int RunRagdollHeapCommand(const ScenarioOptions& options)
{
    // The benchmark's heap: plain ball joints.
    constexpr uint32_t kCount = 100;
    RagdollScene scene(kCount, RagdollSceneJoints::kBall);
    if (scene.context == nullptr) {
        return 1;
    }
    OlpPipeline* pipeline = OlpContextGetPipeline(scene.context);
    ApplyScenarioOptions(pipeline, options);
    for (uint32_t i = 0; i < kCount; ++i) {
        V3d base;
        float yaw = 0.0f, tilt = 0.0f;
        RagdollSceneHeapPlace(i, &base, &yaw, &tilt);
        if (scene.AddRagdoll(base, yaw, tilt) == nullptr) {
            return 1;
        }
    }
    const int steps = options.steps > 0 ? options.steps : 600;
    std::printf("ragdoll-heap: %u ragdolls of plain ball joints, moves %u / %u\n", kCount,
                pipeline->maxPosIterations, pipeline->maxVelIterations);
    for (int n = 1; n <= steps; ++n) {
        scene.Step();
        if (n % 60 == 0 || n == steps) {
            std::printf("%6.2f s: %3u asleep, lowest part centre %7.3f m, widest joint gap %.4f m\n",
                        double(n) / 60.0, scene.AsleepCount(), double(scene.LowestPart()),
                        double(scene.LargestJointGap()));
        }
    }
    const float lowest = scene.LowestPart();
    return std::isfinite(lowest) && lowest > -0.1f ? 0 : 1;
}
