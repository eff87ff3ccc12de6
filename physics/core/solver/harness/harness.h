#pragma once
// A one-island world for the solver's tests, benchmarks and physics-sim:
// one-part bodies (boxes and spheres), an optional ground plane (z up),
// joints, and every step's contacts from the narrow phase, stepped through
// the stage sequence and the integrator with a warm start that carries
// each contact's normal impulse to the next step.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "physics/core/contact/batch.h"
#include "physics/core/contact/contact.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"
#include "physics/core/solver/stages.h"
#include "physics/core/volume/volume.h"

struct HarnessBody
{
    OlpObj object;
    OlpVolume volume;
    Matrix pose;
    OlpDyn* dyn;
};

class SolverHarness
{
  public:
    /// Room for `bodies` bodies; gravity (0, 0, -10), 60 Hz.
    explicit SolverHarness(uint32_t bodies, uint32_t rows = 4096);
    ~SolverHarness();
    SolverHarness(const SolverHarness&) = delete;
    SolverHarness& operator=(const SolverHarness&) = delete;

    /// A body at `position` (unturned); null when the room is used up.
    HarnessBody* AddBox(V3d half, float mass, V3d position);
    HarnessBody* AddSphere(float radius, float mass, V3d position);
    /// A ground plane through the origin, normal +z, with the coefficients.
    void AddGround(float slide, float bounce);
    /// A joint from `def` (one reference taken) between body `a` (frame A)
    /// and body `b` (frame B; null: the world).
    OlpJoint* AddJoint(OlpJointDef* def, HarnessBody* a, HarnessBody* b);
    void SetCoefficients(HarnessBody* body, float slide, float bounce);

    /// One step: contacts, warm start, solve, motion.
    void Step();
    /// The solve stage alone over the current contacts (for benchmarks).
    void Solve();
    void Collide();
    /// Forgets every contact's and joint's impulses: the next solve starts cold.
    void ClearWarmStart();

    OlpSolverSettings settings;
    OlpSolverKernels kernels;
    OlpDynArrays arrays;
    std::vector<std::unique_ptr<HarnessBody>> bodies;
    std::vector<OlpContact> contacts;
    std::vector<OlpContactImpulse> impulses;
    std::vector<OlpContactWarm> warm;
    uint32_t contactCount = 0;
    OlpIsland island{};
    uint32_t restFlag = 0; ///< the island's flags (kOlpIslandAtRest skips it)
    OlpSolverWork* work = nullptr;

  private:
    void WarmStart();
    void Remember();

    struct Cached
    {
        void* a;
        uint32_t pa;
        void* b;
        uint32_t pb;
        V3d normal;
        float load;
        V3d points[4];
        uint32_t pointCount;
        OlpContactWarm warm;
    };
    std::vector<Cached> cache_;
    std::vector<OlpObj*> objects_;
    std::vector<OlpJoint*> jointList_;
    std::vector<std::unique_ptr<OlpJoint>> joints_;
    std::vector<uint32_t> rows_;
    OlpVolume* ground_ = nullptr;
    void* dynMemory_ = nullptr;
    void* batchMemory_ = nullptr;
    OlpBatchArea area_{};
    OlpContextParams params_{};
};

/// Builds a named island in an empty harness: "pyramid" (55 unit boxes in
/// ten rows on the ground) or "chain" (20 spheres hanging by ball joints
/// from the world, the last one pushed sideways), then `settle` steps.
/// False for another name.
bool BuildSolverIsland(SolverHarness* harness, const std::string& name, int settle);

/// A measured case: its lines beside closed form, and whether each check held.
struct HarnessReport
{
    std::string text;
    bool passed = true;
};
/// Runs "free-fall", "box-rest", "pendulum", "slope", "bounce" or "hinge"
/// with the given solver mode (0: the processor's); an unknown name fails.
HarnessReport RunSolverCase(const std::string& name, int32_t mode = 0);
