#include "bench/physics/step_scene.h"

#include "physics/core/dyn/dyn.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

V3d StepBoxStart(int i, int columns)
{
    int perLayer = columns * columns;
    int layer = i / perLayer;
    int x = (i % perLayer) % columns;
    int z = (i % perLayer) / columns;
    return {kStepBoxPitch * static_cast<float>(x), kStepBoxBase + kStepBoxPitch * static_cast<float>(layer),
            kStepBoxPitch * static_cast<float>(z)};
}

std::unique_ptr<PipelineScene> MakeStepBoxes(int columns, int layers)
{
    const int count = columns * columns * layers;
    auto scene = std::make_unique<PipelineScene>(static_cast<uint32_t>(count));
    scene->AddPlane({0, 0, 0}, {0, 1, 0}, 0.5f, 0.0f);
    // A column of 30 needs more relaxation moves than the defaults give.
    OlpPipelineSetMaxPosIterations(scene->pipeline, kStepIterations);
    OlpPipelineSetMaxVelIterations(scene->pipeline, kStepIterations);
    for (int i = 0; i < count; ++i) {
        SceneBody* box = scene->AddBox({0.5f, 0.5f, 0.5f}, 1.0f, StepBoxStart(i, columns));
        scene->SetCoefficients(box, 0.5f, 0.0f);
    }
    return scene;
}

double StepRestShare(const PipelineScene& scene)
{
    int resting = 0;
    for (const auto& b : scene.bodies) {
        const OlpDyn* dyn = b->body->base.parts[0].dyn;
        resting += dyn == nullptr || Length(OlpDynGetVelocity(dyn)->linear) < 0.1f ? 1 : 0;
    }
    return scene.bodies.empty() ? 1.0
                                : static_cast<double>(resting) / static_cast<double>(scene.bodies.size());
}
