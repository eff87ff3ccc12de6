#include "physics/core/solver/harness/harness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "physics/core/context/contextparams.h"
#include "physics/core/integrator/integrator.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

namespace {

bool BodyBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    const OlpObjPart& part = static_cast<OlpObj*>(object)->parts[0];
    return OlpVolumeGetBBox(part.volume, part.sourceMatrix, 0, out) != nullptr;
}

Matrix Identity(V3d position)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

} // namespace

SolverHarness::SolverHarness(uint32_t bodies, uint32_t rows)
{
    OlpSolverSettingsDefault(&settings);
    kernels = OlpSolverKernelsForMode(settings.mode);
    dynMemory_ = OlpAlignedAlloc(OlpDynArraysSize(bodies), 16, kOlpMemoryHint);
    OlpDynArraysInit(&arrays, dynMemory_, bodies);
    OlpContextParamsDefault(&params_);
    params_.words[8] = 4 * bodies + 16 > params_.words[8] ? 4 * bodies + 16 : params_.words[8];
    batchMemory_ = OlpAlignedAlloc(OlpBatchAreaSize(&params_), 16, kOlpMemoryHint);
    OlpBatchAreaInit(&area_, batchMemory_, &params_);
    area_.contactDistance = 0.02f;
    contacts.resize(4 * bodies + 16);
    impulses.resize(contacts.size());
    warm.resize(contacts.size());
    work = OlpSolverWorkCreate(rows, bodies, 4 * bodies + 64, 4);
}

SolverHarness::~SolverHarness()
{
    for (auto& joint : joints_) {
        OlpJointDefRelease(joint->def);
    }
    for (auto& body : bodies) {
        OlpObjDeinit(&body->object);
        OlpVolumeDestroyContents(&body->volume);
    }
    if (ground_ != nullptr) {
        OlpVolumeDestroy(ground_);
    }
    OlpSolverWorkDestroy(work);
    OlpAlignedFree(batchMemory_);
    OlpAlignedFree(dynMemory_);
}

static HarnessBody* AddBody(SolverHarness* h, float mass, float inertia, V3d position)
{
    OlpDyn* handle = OlpDynArraysTake(&h->arrays);
    if (handle == nullptr) {
        return nullptr;
    }
    h->bodies.push_back(std::make_unique<HarnessBody>());
    HarnessBody& b = *h->bodies.back();
    OlpObjInit(&b.object, 1, 0);
    b.object.partCount = 1;
    b.object.parts[0].volume = &b.volume;
    b.pose = Identity(position);
    b.object.parts[0].sourceMatrix = &b.pose;
    OlpPart part;
    OlpPartInit(&part, nullptr);
    part.mass = mass;
    part.scalarInertia = inertia;
    part.damping[0] = part.damping[1] = 0.0f;
    b.dyn = OlpDynInit(handle, &part, &b.pose);
    b.object.parts[0].dyn = b.dyn;
    return &b;
}

HarnessBody* SolverHarness::AddBox(V3d half, float mass, V3d position)
{
    float inertia = mass * (4.0f * (half.x * half.x + half.y * half.y)) / 12.0f;
    HarnessBody* b = AddBody(this, mass, inertia, position);
    if (b == nullptr) {
        return nullptr;
    }
    OlpBoxInit(&b->volume, &half);
    objects_.push_back(&b->object);
    return b;
}

HarnessBody* SolverHarness::AddSphere(float radius, float mass, V3d position)
{
    HarnessBody* b = AddBody(this, mass, 0.4f * mass * radius * radius, position);
    if (b == nullptr) {
        return nullptr;
    }
    OlpSphereInit(&b->volume, radius);
    objects_.push_back(&b->object);
    return b;
}

void SolverHarness::SetCoefficients(HarnessBody* body, float slide, float bounce)
{
    OlpVolumeSetSlide(&body->volume, slide);
    OlpVolumeSetBounce(&body->volume, bounce);
}

void SolverHarness::AddGround(float slide, float bounce)
{
    ground_ = OlpPlaneCreate();
    OlpVolumeSetSlide(ground_, slide);
    OlpVolumeSetBounce(ground_, bounce);
}

OlpJoint* SolverHarness::AddJoint(OlpJointDef* def, HarnessBody* a, HarnessBody* b)
{
    joints_.push_back(std::make_unique<OlpJoint>());
    OlpJoint* joint = joints_.back().get();
    *joint = {};
    joint->id = kOlpJointNoId;
    joint->def = OlpJointDefAddRef(def);
    OlpJointEndSet(&joint->ends[0], &a->object, 0);
    if (b != nullptr) {
        OlpJointEndSet(&joint->ends[1], &b->object, 0);
    } else {
        joint->ends[1] = {nullptr, kOlpJointEndVolume};
    }
    jointList_.push_back(joint);
    return joint;
}

void SolverHarness::Collide()
{
    for (auto& body : bodies) {
        body->pose = arrays.pose[body->dyn->index];
    }
    std::vector<OlpBatchPair> pairs;
    for (size_t i = 0; i < bodies.size(); ++i) {
        if (ground_ != nullptr) {
            pairs.push_back({&bodies[i]->object, 0, ground_, kOlpBarePart, nullptr});
        }
        for (size_t j = i + 1; j < bodies.size(); ++j) {
            pairs.push_back({&bodies[i]->object, 0, &bodies[j]->object, 0, nullptr});
        }
    }
    contactCount = OlpBatchContactPass(&area_, pairs.data(), static_cast<uint32_t>(pairs.size()), BodyBox,
                                       nullptr, contacts.data(), static_cast<uint32_t>(contacts.size()));
    for (uint32_t i = 0; i < contactCount; ++i) {
        contacts[i].listLink = i + 1 < contactCount ? &contacts[i + 1] : nullptr;
    }
    WarmStart();
}

void SolverHarness::WarmStart()
{
    for (uint32_t i = 0; i < contactCount; ++i) {
        OlpContact& c = contacts[i];
        c.load = 0.0f;
        float best = -3.4028235e38f;
        warm[i] = {};
        for (const Cached& e : cache_) {
            bool kept = e.a == c.objectA && e.pa == c.partA && e.b == c.objectB && e.pb == c.partB;
            bool swapped = e.a == c.objectB && e.pa == c.partB && e.b == c.objectA && e.pb == c.partA;
            float sign = kept ? 1.0f : -1.0f;
            float along = sign * Dot(e.normal, c.normal);
            if ((kept || swapped) && along > best) {
                best = along;
                c.load = e.load;
                OlpContactWarmMatch(&e.warm, e.points, e.pointCount, sign, &c, 0.05f, &warm[i]);
            }
        }
    }
}

void SolverHarness::Remember()
{
    cache_.clear();
    for (uint32_t i = 0; i < contactCount; ++i) {
        const OlpContact& c = contacts[i];
        bool activeA = OlpContactSideDyn(c.objectA, c.partA) != nullptr;
        float load = activeA ? Dot(c.normal, impulses[i].onA) : -Dot(c.normal, impulses[i].onB);
        Cached entry = {c.objectA, c.partA, c.objectB, c.partB, c.normal, load > 0.0f ? load : 0.0f,
                        {},        0,       warm[i]};
        entry.pointCount = c.count < kOlpContactMaxPoints ? c.count : kOlpContactMaxPoints;
        for (uint32_t k = 0; k < entry.pointCount; ++k) {
            entry.points[k] = c.points[k].position;
        }
        cache_.push_back(entry);
    }
}

void SolverHarness::Solve()
{
    island = {};
    island.objects = objects_.data();
    island.objectCount = static_cast<uint32_t>(objects_.size());
    island.joints = jointList_.data();
    island.jointCount = static_cast<uint32_t>(jointList_.size());
    island.firstContact = contactCount > 0 ? &contacts[0] : nullptr;
    island.flags = restFlag;
    rows_.resize(bodies.size());
    OlpSolverStageSequence(work, &arrays, &island, 1, &settings, &kernels, contacts.data(), impulses.data(),
                           warm.data(), rows_.data());
}

void SolverHarness::ClearWarmStart()
{
    std::fill(warm.begin(), warm.end(), OlpContactWarm{});
    for (auto& joint : joints_) {
        for (V3d& v : joint->vectors) {
            v = {0, 0, 0};
        }
    }
}

void SolverHarness::Step()
{
    Collide();
    Solve();
    OlpIntegrateParts(&arrays, rows_.data(), static_cast<uint32_t>(rows_.size()), settings.step);
    Remember();
}
