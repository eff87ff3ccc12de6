#pragma once
// Worlds for the pipeline's tests and physics-sim: a context with bodies
// (boxes and spheres), static volumes of the context (planes, boxes),
// joints to static volumes, stepped at 60 Hz with gravity (0, -10, 0), and
// the named scenarios with what they measure.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/joint/joint.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/volume/convexhull.h"

struct SceneBody
{
    OlpBody* body = nullptr;
    Matrix pose{};
};

class PipelineScene
{
  public:
    /// Room for `bodies` bodies (and as many joints) with context parameter
    /// changes applied by `adjust(params, data)` (may be null) after the
    /// reservation.
    explicit PipelineScene(uint32_t bodies, void (*adjust)(OlpContextParams*, void*) = nullptr,
                           void* data = nullptr);
    ~PipelineScene();
    PipelineScene(const PipelineScene&) = delete;
    PipelineScene& operator=(const PipelineScene&) = delete;

    /// A box body of half extents `half`; added awake and active.
    SceneBody* AddBox(V3d half, float mass, V3d position, uint32_t flags = kOlpObjFlagsBody);
    SceneBody* AddSphere(float radius, float mass, V3d position, uint32_t flags = kOlpObjFlagsBody);
    /// A static plane through `point` with upward normal `normal` (unit).
    OlpVolume* AddPlane(V3d point, V3d normal, float slide = 0.5f, float bounce = 0.0f);
    /// A static box.
    OlpVolume* AddStaticBox(V3d half, V3d position);
    /// A convex body of `hull` (the scene keeps a reference while it lives).
    SceneBody* AddConvex(OlpConvexHull* hull, float mass, V3d position);
    /// Adds a created volume (a grid of triangles, say) to the context as a
    /// static volume; the scene destroys it.
    OlpVolume* AddStaticVolume(OlpVolume* volume);
    /// A joint whose frame sits at `anchor` (world) on the body and the
    /// static volume.
    OlpJoint* AddAnchor(SceneBody* body, OlpVolume* volume, V3d anchor);
    void SetVelocity(SceneBody* body, V3d linear, V3d angular = {});
    void SetCoefficients(SceneBody* body, float slide, float bounce);

    /// One step of 1/60 s through OlpPipelineStep.
    void Step();
    V3d Position(const SceneBody* body) const;
    bool Asleep(const SceneBody* body) const;
    /// The deepest overlap of the last step's contacts (0 when none), metres.
    float Penetration() const;
    /// FNV-1a over every body's pose.
    uint64_t Hash() const;

    OlpContext* context = nullptr;
    OlpPipeline* pipeline = nullptr;
    std::vector<std::unique_ptr<SceneBody>> bodies;
    float step = 1.0f / 60.0f;

  private:
    SceneBody* Add(OlpVolume* volume, float mass, float inertia, V3d position, uint32_t flags);
    std::vector<OlpVolume*> statics_;
    std::vector<OlpJoint*> joints_;
    std::vector<OlpConvexHull*> hulls_;
};

/// What a named scenario printed and measured.
struct ScenarioReport
{
    struct Body
    {
        V3d position;
        bool asleep;
        int sleptAt; ///< step it last fell asleep, -1 when awake
    };
    std::vector<Body> bodies;
    std::vector<std::vector<float>> heights; ///< per step, per body
    float penetration = 0.0f;
    uint32_t maxA = 0, maxB = 0;
    uint64_t hash = 0;
    bool known = true;
};

struct ScenarioOptions
{
    int32_t mode = 0;              ///< 0: the processor's, 1 scalar, 2 SSE
    uint32_t layout = 0xFFFFFFFFu; ///< context parameter 0
    int steps = 0;                 ///< 0: the scenario's own
    uint32_t blockRows = 0;        ///< row groups per island block; 0: the context's
    uint32_t positionMoves = 0;    ///< move limit of the position pass; 0: the scenario's
    uint32_t velocityMoves = 0;    ///< of the velocity pass; 0: the scenario's
};

/// Sets the kernels, island block size and move limits `options` asks for
/// on `pipeline` (the layout is the context's, set when it is made).
void ApplyScenarioOptions(OlpPipeline* pipeline, const ScenarioOptions& options);

/// Names of the scenarios, for the usage text.
const std::vector<std::string>& ScenarioNames();
/// Runs "box-drop", "stack3", "stack10", "stack20", "pyramid", "pendulum",
/// "fast-sphere", "slope" or "bounce";
/// an unknown name gives `known` false.
ScenarioReport RunScenario(const std::string& name, const ScenarioOptions& options);
