#include "physics/core/pipeline/pipeline.h"

#include <cmath>
#include <initializer_list>

#include "physics/core/contact/contact.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/integrator/integrator.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/activation.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"
#include "physics/core/solver/cpu.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"

using namespace olp;

namespace {

/// Lays out or measures the lists: with a null base only the cursor moves.
struct Layout
{
    uint8_t* base;
    size_t used;

    template <typename T> T* Take(size_t count)
    {
        size_t at = Round16(used);
        used = at + Round16(sizeof(T) * count);
        return base != nullptr ? reinterpret_cast<T*>(base + at) : nullptr;
    }
};

uint32_t Word(const OlpContextParams* params, OlpContextParam index)
{
    return params->words[index];
}

/// The working-memory groups that layout flag bits may move into the shared
/// block, by bit, and the phases of the step in which each lives: groups of
/// different phases are never alive together, so in the shared block each
/// phase's groups start again at its base. The narrow-phase workspace (bit
/// 3) stays in the own block whatever its bit: it holds the touch records,
/// which objects point at from one step to the next, and the triangle
/// volumes the contacts refer to until the solve. There are no separate
/// contact index lists (bit 5): the contacts are indexed in place.
constexpr uint32_t kGroupSizing = 0;     ///< stage 5
constexpr uint32_t kGroupPartition = 1;  ///< stage 3
constexpr uint32_t kGroupContinuous = 2; ///< stage 9
constexpr uint32_t kGroupSolver = 4;     ///< stage 7
constexpr uint32_t kGroupPoints = 6;     ///< stages 6 to 8: the contact-point blocks
constexpr uint32_t kPhases[3][2] = {
    {kGroupSizing, kGroupSizing}, {kGroupPartition, kGroupContinuous}, {kGroupSolver, kGroupPoints}};

/// Lays one group out at the layout's cursor (or measures it).
void TakeGroup(OlpPipeline* p, uint32_t group, Layout* l, const OlpContextParams* params, bool solver)
{
    const uint32_t objects = Word(params, kOlpParamObjects);
    const uint32_t freeJoints = Word(params, kOlpParamFreeJoints);
    const uint32_t active = Word(params, kOlpParamActiveObjects);
    const uint32_t parts = Word(params, kOlpParamActiveParts);
    const uint32_t contacts = Word(params, kOlpParamContacts);
    const uint32_t continuous = Word(params, kOlpParamContinuous) + 1;
    l->used = Round16(l->used);
    uint8_t* cursor = l->base != nullptr ? l->base + l->used : nullptr;
    switch (group) {
    case kGroupSizing:
        p->partGroups = l->Take<uint32_t>(parts);
        l->used = Round16(l->used);
        if (l->base == nullptr) {
            l->used += OlpGroupScratchSize(active, objects, freeJoints);
        } else {
            cursor = l->base + l->used;
            OlpGroupScratchLayout(&p->grouping, &cursor, active, objects, freeJoints);
            l->used = static_cast<size_t>(cursor - l->base);
        }
        break;
    case kGroupPartition:
        if (l->base == nullptr) {
            l->used += OlpPartitionSize(active, objects, freeJoints);
        } else {
            OlpPartitionLayout(&p->partition, &cursor, active, objects, freeJoints);
            l->used = static_cast<size_t>(cursor - l->base);
        }
        break;
    case kGroupContinuous:
        p->continuous.objects = l->Take<OlpObj*>(continuous);
        p->continuous.poses = l->Take<Matrix>(continuous);
        p->continuous.orientations = l->Take<Quaternion>(continuous);
        p->continuous.swept = l->Take<OlpBBox>(continuous);
        p->continuous.time = l->Take<float>(continuous);
        p->continuous.slots = l->Take<uint16_t>(objects);
        break;
    case kGroupSolver:
        if (solver) {
            const uint32_t rows = 4 * Word(params, kOlpParamBatchRows);
            const uint32_t constraints = contacts + Word(params, kOlpParamJoints);
            if (l->base != nullptr) {
                OlpSolverWorkLayout(&p->solverRecord, cursor, rows, parts, constraints, active + 1);
                p->solver = &p->solverRecord;
            }
            l->used += OlpSolverWorkArraysSize(rows, parts, constraints, active + 1);
        }
        break;
    case kGroupPoints:
        p->impulses = l->Take<OlpContactImpulse>(contacts);
        p->warm = l->Take<OlpContactWarm>(contacts);
        break;
    default:
        break;
    }
}

bool Shared(uint32_t flags, uint32_t group)
{
    return ((flags >> group) & 1u) != 0;
}

/// The own block: the lists that live from step to step and every group
/// whose layout bit is clear (the narrow-phase workspace comes after).
void LayOutOwn(OlpPipeline* p, Layout* l, const OlpContextParams* params, bool solver)
{
    const uint32_t freeJoints = Word(params, kOlpParamFreeJoints);
    const uint32_t active = Word(params, kOlpParamActiveObjects);
    const uint32_t parts = Word(params, kOlpParamActiveParts);
    const uint32_t pairs = Word(params, kOlpParamPairs);
    const uint32_t contacts = Word(params, kOlpParamContacts);
    const uint32_t flags = Word(params, kOlpParamLayoutFlags);
    p->objects = l->Take<OlpObj*>(active);
    p->pairs = l->Take<OlpPair>(pairs);
    p->batchPairs = l->Take<OlpBatchPair>(pairs);
    p->joints = l->Take<OlpJoint*>(freeJoints);
    p->islands.objects = l->Take<OlpObj*>(active);
    p->islands.joints = l->Take<OlpJoint*>(freeJoints);
    p->islands.islands = l->Take<OlpIsland>(active);
    p->contacts = l->Take<OlpContact>(contacts);
    p->partRows = l->Take<uint32_t>(parts);
    l->used = Round16(l->used);
    if (l->base == nullptr) {
        l->used += OlpContactCacheSize(contacts);
    } else {
        uint8_t* cursor = l->base + l->used;
        OlpContactCacheInit(&p->cache, &cursor, contacts);
        l->used = static_cast<size_t>(cursor - l->base);
    }
    for (const auto& phase : kPhases) {
        for (uint32_t k = 0; k < 2; ++k) {
            if (!Shared(flags, phase[k]) && (k == 0 || phase[1] != phase[0])) {
                TakeGroup(p, phase[k], l, params, solver);
            }
        }
    }
    l->used = Round16(l->used);
}

/// The shared block: each phase's groups from the base; its size is the
/// largest phase.
size_t LayOutShared(OlpPipeline* p, uint8_t* base, const OlpContextParams* params, bool solver)
{
    const uint32_t flags = Word(params, kOlpParamLayoutFlags);
    size_t largest = 0;
    for (const auto& phase : kPhases) {
        Layout l{base, 0};
        for (uint32_t k = 0; k < 2; ++k) {
            if (Shared(flags, phase[k]) && (k == 0 || phase[1] != phase[0])) {
                TakeGroup(p, phase[k], &l, params, solver);
            }
        }
        largest = l.used > largest ? l.used : largest;
    }
    return Round16(largest);
}

OlpMgr* Manager(const OlpPipeline* p)
{
    return p->context != nullptr ? p->context->manager : nullptr;
}

bool AtRest(const OlpIsland& island)
{
    return (island.flags & kOlpIslandAtRest) != 0;
}

/// The object at a present end that has a manager; null otherwise.
OlpObj* EndObject(void* object, uint32_t part)
{
    if (object == nullptr || part >= 0xFFFF) {
        return nullptr;
    }
    auto* obj = static_cast<OlpObj*>(object);
    return obj->manager != nullptr ? obj : nullptr;
}

bool Moving(void* object, uint32_t part)
{
    OlpObj* obj = EndObject(object, part);
    return obj != nullptr && OlpMgrIsObjectAwake(obj->manager, obj);
}

/// The far-field pairs as the narrow phase reads them.
void ToBatchPairs(OlpPipeline* p, const OlpPair* pairs, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const OlpPair& pair = pairs[i];
        const OlpBitMatrix* partPairs = pair.a == pair.b && pair.selectorA != kOlpPairVolume
                                            ? static_cast<OlpObj*>(pair.a)->partPairs
                                            : nullptr;
        p->batchPairs[i] = {pair.a, pair.selectorA, pair.b, pair.selectorB, partPairs};
    }
}

void PrepareBatch(OlpPipeline* p)
{
    OlpMgr* mgr = Manager(p);
    p->batch.contactDistance = mgr->farfield->margin;
    p->batch.groupExclusion = mgr->farfield->exclusion;
}

uint32_t ContactPass(OlpPipeline* p, uint32_t pairCount, OlpContact* out, uint32_t room)
{
    ToBatchPairs(p, p->pairs, pairCount);
    return OlpBatchContactPass(&p->batch, p->batchPairs, pairCount, OlpBatchObjectBox, Manager(p)->farfield,
                               out, room);
}

/// True when the boxes are apart by no more than `margin` on every axis.
bool Near(const OlpBBox& a, const OlpBBox& b, float margin)
{
    return margin >= a.min.x - b.max.x && margin >= b.min.x - a.max.x && margin >= a.min.y - b.max.y &&
           margin >= b.min.y - a.max.y && margin >= a.min.z - b.max.z && margin >= b.min.z - a.max.z;
}

float PartTravel(const OlpDynArrays* arrays, const OlpDyn* dyn, float radius, float step)
{
    const OlpDynMotion& v = arrays->velocity[dyn->index];
    return ((Length(dyn->centre) + radius) * Length(v.angular) + Length(v.linear)) * step;
}

float BoundingRadius(const OlpVolume* volume)
{
    OlpSphere sphere{};
    if (volume == nullptr || OlpVolumeGetBoundingSphere(volume, nullptr, &sphere) == nullptr) {
        return 0.0f;
    }
    return sphere.radius + Length(sphere.centre);
}

bool IsFast(const OlpPipeline* p, const OlpDynArrays* arrays, const OlpObj* object)
{
    if ((object->flags & kOlpObjFlagContinuousAlways) != 0) {
        return true;
    }
    if ((object->flags & kOlpObjFlagContinuousFast) == 0) {
        return false;
    }
    for (uint32_t i = 0; i < object->partCount; ++i) {
        const OlpObjPart& part = object->parts[i];
        if (part.dyn == nullptr || part.volume == nullptr) {
            continue;
        }
        // A part that moves less than half its thinnest width in a step
        // cannot pass anything: the step's overlap still has its centre on
        // the near side, and the contact pass pushes it back out.
        float r = BoundingRadius(part.volume);
        float t = PartTravel(arrays, part.dyn, r, p->timeStep);
        float half =
            0.5f * (2.0f * part.volume->margin + part.volume->descriptor->getCoreThickness(part.volume));
        if (half < t && r * p->fastFraction < t) {
            return true;
        }
    }
    return false;
}

void WriteBack(OlpObj* object)
{
    if (object->type != nullptr && object->type->writeBack != nullptr) {
        object->type->writeBack(object);
    }
    OlpObjUpdateBounds(object);
}

/// Steps 1-2 of the motion stage: fast objects take slots and save poses.
void TakeFastObjects(OlpPipeline* p, OlpDynArrays* arrays)
{
    OlpPipelineContinuous& cc = p->continuous;
    for (uint32_t i = 0; i < p->partition.nodeCapacity; ++i) {
        cc.slots[i] = 0;
    }
    cc.objectCount = 0;
    cc.slotCount = 1;
    for (uint32_t n = 0; n < p->islands.count; ++n) {
        const OlpIsland& island = p->islands.islands[n];
        if (AtRest(island)) {
            continue;
        }
        for (uint32_t o = 0; o < island.objectCount; ++o) {
            OlpObj* object = island.objects[o];
            if (object->partCount == 0 || object->id >= p->partition.nodeCapacity ||
                !IsFast(p, arrays, object)) {
                continue;
            }
            uint32_t slot = OlpPipelineContinuousSlot(&cc, object->partCount, p->continuousCapacity);
            if (slot == 0) {
                continue;
            }
            cc.slots[object->id] = static_cast<uint16_t>(slot);
            cc.objects[cc.objectCount++] = object;
            cc.time[slot] = p->timeStep;
            for (uint32_t k = 0; k < object->partCount; ++k) {
                const OlpDyn* dyn = object->parts[k].dyn;
                if (dyn != nullptr) {
                    cc.poses[slot + k] = arrays->pose[dyn->index];
                    cc.orientations[slot + k] = arrays->orientation[dyn->index];
                }
            }
        }
    }
}

/// Step 5: swept boxes, poses put back to the start of the step.
void SweepAndRewind(OlpPipeline* p, OlpDynArrays* arrays)
{
    OlpPipelineContinuous& cc = p->continuous;
    for (uint32_t i = 0; i < cc.objectCount; ++i) {
        OlpObj* object = cc.objects[i];
        uint32_t slot = cc.slots[object->id];
        OlpBBox merged{};
        bool first = true;
        for (uint32_t k = 0; k < object->partCount; ++k) {
            const OlpDyn* dyn = object->parts[k].dyn;
            if (dyn == nullptr) {
                continue;
            }
            float r = BoundingRadius(object->parts[k].volume) + Length(dyn->centre);
            V3d from = cc.poses[slot + k].pos;
            V3d to = arrays->pose[dyn->index].pos;
            OlpBBox box;
            box.max = {std::fmax(from.x, to.x) + r, std::fmax(from.y, to.y) + r, std::fmax(from.z, to.z) + r};
            box.min = {std::fmin(from.x, to.x) - r, std::fmin(from.y, to.y) - r, std::fmin(from.z, to.z) - r};
            box.maxPad = box.minPad = 0.0f;
            if (first) {
                merged = box;
                first = false;
            } else {
                OlpBBoxMerge(&merged, &merged, &box);
            }
            arrays->pose[dyn->index] = cc.poses[slot + k];
            arrays->orientation[dyn->index] = cc.orientations[slot + k];
        }
        cc.swept[slot] = merged;
        if (object->type != nullptr && object->type->writeBack != nullptr) {
            object->type->writeBack(object);
        }
        if (!first) {
            OlpMgrUpdateObjectBounds(object->manager, object, &merged);
        }
    }
}

/// Steps 6-7: impact times, then each taken object moves up to its impact.
void ImpactAndMove(OlpPipeline* p, OlpDynArrays* arrays)
{
    OlpPipelineContinuous& cc = p->continuous;
    OlpMgr* mgr = Manager(p);
    uint32_t count =
        OlpMgrCollectPairs(mgr, cc.objects, cc.objectCount, p->pairs, p->pairCapacity, kOlpPairClassAll);
    p->pairCount = count;
    OlpPipelineCollectVolumePairs(p, cc.objects, cc.objectCount);
    ToBatchPairs(p, p->pairs, p->pairCount);
    PrepareBatch(p);
    OlpBatchTimeOfImpactPass(&p->batch, p->batchPairs, p->pairCount, cc.slots, cc.swept, cc.time,
                             cc.slotCount, p->timeStep, OlpBatchObjectBox, mgr->farfield);
    for (uint32_t i = 0; i < cc.objectCount; ++i) {
        OlpObj* object = cc.objects[i];
        float time = cc.time[cc.slots[object->id]];
        for (uint32_t k = 0; k < object->partCount; ++k) {
            if (object->parts[k].dyn != nullptr) {
                OlpIntegrateBody(arrays, object->parts[k].dyn->index, time);
            }
        }
        WriteBack(object);
    }
}

/// The dynamics row of a contact end's part; kNoRow when the end is not an
/// active part.
constexpr uint32_t kNoRow = 0xFFFFFFFFu;

uint32_t EndRow(const void* object, uint32_t part, uint32_t rows)
{
    if (!OlpPartitionActiveEnd(object, part)) {
        return kNoRow;
    }
    const auto* obj = static_cast<const OlpObj*>(object);
    const OlpDyn* dyn = part < obj->partCount ? obj->parts[part].dyn : nullptr;
    return dyn != nullptr && dyn->index < rows ? dyn->index : kNoRow;
}

void CountContact(uint32_t* groups, const OlpContact* c, uint32_t rows, int32_t sign)
{
    const uint32_t g = OlpContactRowGroups(c);
    for (uint32_t row : {EndRow(c->objectA, c->partA, rows), EndRow(c->objectB, c->partB, rows)}) {
        if (row != kNoRow) {
            groups[row] = sign > 0 ? groups[row] + g : groups[row] - g;
        }
    }
}

/// A part whose row groups exceed the island block keeps, of the contacts
/// that touch it, the first (block) cut to their deepest point; the later
/// ones are emptied.
void LimitPartContacts(OlpPipeline* p, const OlpIsland& island, uint32_t rows)
{
    uint32_t* groups = p->partGroups;
    for (uint32_t o = 0; o < island.objectCount; ++o) {
        const OlpObj* object = island.objects[o];
        for (uint32_t k = 0; k < object->partCount; ++k) {
            const OlpDyn* dyn = object->parts[k].dyn;
            if (dyn != nullptr && dyn->index < rows) {
                groups[dyn->index] = 0;
            }
        }
    }
    auto jointGroups = [&](const OlpJoint* joint) {
        uint32_t g = (OlpConstraintJointRowCount(joint) + 3) / 4;
        for (const OlpJointEnd& end : joint->ends) {
            uint32_t row = EndRow(end.pointer, end.part, rows);
            if (row != kNoRow) {
                groups[row] += g;
            }
        }
    };
    for (uint32_t j = 0; j < island.jointCount; ++j) {
        jointGroups(island.joints[j]);
    }
    for (uint32_t o = 0; o < island.objectCount; ++o) {
        for (uint32_t j = 0; j < island.objects[o]->jointCount; ++j) {
            jointGroups(island.objects[o]->joints[j]);
        }
    }
    for (const OlpContact* c = island.firstContact; c != nullptr; c = c->listLink) {
        CountContact(groups, c, rows, 1);
    }
    const uint32_t limit = p->islandBlockRows;
    for (const OlpContact* c = island.firstContact; c != nullptr; c = c->listLink) {
        for (uint32_t row : {EndRow(c->objectA, c->partA, rows), EndRow(c->objectB, c->partB, rows)}) {
            if (row == kNoRow || groups[row] <= limit) {
                continue;
            }
            uint32_t kept = 0;
            for (OlpContact* t = island.firstContact; t != nullptr; t = t->listLink) {
                if (t->count == 0 || (EndRow(t->objectA, t->partA, rows) != row &&
                                      EndRow(t->objectB, t->partB, rows) != row)) {
                    continue;
                }
                CountContact(groups, t, rows, -1);
                if (kept++ < limit) {
                    OlpContactReduceToDeepest(t);
                    CountContact(groups, t, rows, 1);
                } else {
                    t->count = 0;
                }
            }
        }
    }
}

} // namespace

uint32_t OlpPipelineContinuousSlot(OlpPipelineContinuous* continuous, uint32_t parts, uint32_t capacity)
{
    if (parts == 0 || (parts - 1u) + continuous->slotCount > capacity) {
        return 0;
    }
    uint32_t slot = continuous->slotCount;
    continuous->slotCount += parts;
    return slot;
}

int32_t OlpCpuGetSolverMode()
{
    OlpCpuDetect();
    return OlpCpuGetMode() != 0 ? 2 : 1;
}

OlpPipeline* OlpPipelineInit(OlpPipeline* pipeline, OlpContext* context, const OlpContextParams* params,
                             float scale)
{
    *pipeline = {};
    const size_t narrow = OlpBatchAreaSize(params);
    if (narrow == 0) {
        return nullptr;
    }
    // Measure both blocks, then take them; a block that cannot be had
    // leaves nothing taken.
    const bool solver = context != nullptr;
    Layout measure{nullptr, 0};
    LayOutOwn(pipeline, &measure, params, solver);
    const size_t own = measure.used + narrow;
    const size_t shared = LayOutShared(pipeline, nullptr, params, solver);
    auto* block = static_cast<uint8_t*>(OlpAlignedAlloc(own, 16, kOlpMemoryHint));
    uint8_t* sharedBlock = block != nullptr && shared > 0
                               ? static_cast<uint8_t*>(OlpAlignedAlloc(shared, 16, kOlpMemoryHint))
                               : nullptr;
    if (block == nullptr || (shared > 0 && sharedBlock == nullptr)) {
        OlpAlignedFree(block);
        *pipeline = {};
        return nullptr;
    }
    OlpMemFill(block, 0, own);
    if (sharedBlock != nullptr) {
        OlpMemFill(sharedBlock, 0, shared);
    }
    Layout place{block, 0};
    LayOutOwn(pipeline, &place, params, solver);
    LayOutShared(pipeline, sharedBlock, params, solver);
    OlpBatchAreaInit(&pipeline->batch, block + measure.used, params);
    pipeline->block = block;
    pipeline->ownSize = own;
    pipeline->shared = sharedBlock;
    pipeline->sharedSize = shared;

    pipeline->context = context;
    pipeline->maxPosIterations = 100;
    pipeline->maxVelIterations = 300;
    pipeline->restLinearVelocity = 0.1f * scale;
    pipeline->restAngularVelocity = 0.6f;
    pipeline->restLinearAcceleration = 2.0f * scale;
    pipeline->restAngularAcceleration = 10000.0f;
    pipeline->fastFraction = 0.05f;
    pipeline->continuousCapacity = Word(params, kOlpParamContinuous);
    pipeline->batchRows = Word(params, kOlpParamBatchRows);
    pipeline->islandBlockRows = Word(params, kOlpParamIslandRows);
    if (pipeline->islandBlockRows > pipeline->batchRows) {
        pipeline->islandBlockRows = pipeline->batchRows; // an island must fit one batch
    }
    pipeline->mode = OlpCpuGetSolverMode();
    pipeline->posTolerance = 1e-5f;
    pipeline->velTolerance = 1e-5f;
    pipeline->options = 1;
    pipeline->layoutFlags = Word(params, kOlpParamLayoutFlags);
    pipeline->objectCapacity = Word(params, kOlpParamActiveObjects);
    pipeline->pairCapacity = Word(params, kOlpParamPairs);
    pipeline->contactCapacity = Word(params, kOlpParamContacts);
    pipeline->jointCapacity = Word(params, kOlpParamFreeJoints);
    pipeline->partRowCapacity = Word(params, kOlpParamActiveParts);
    pipeline->islands.capacity = Word(params, kOlpParamActiveObjects);
    pipeline->islands.jointCapacity = pipeline->jointCapacity;
    pipeline->batch.scale = scale;
    pipeline->cache.pointTolerance = 0.05f * scale;
    pipeline->kernels = OlpSolverKernelsForMode(pipeline->mode);
    pipeline->commonKernel = OlpSolveCommon;
    return pipeline;
}

OlpPipeline* OlpPipelineCreate(OlpContext* context, const OlpContextParams* params, float scale)
{
    auto* pipeline = static_cast<OlpPipeline*>(OlpAlignedAlloc(sizeof(OlpPipeline), 16, kOlpMemoryHint));
    if (pipeline == nullptr) {
        return nullptr;
    }
    if (OlpPipelineInit(pipeline, context, params, scale) == nullptr) {
        OlpAlignedFree(pipeline);
        return nullptr;
    }
    return pipeline;
}

int32_t OlpPipelineDeinit(OlpPipeline* pipeline)
{
    OlpAlignedFree(pipeline->block);
    OlpAlignedFree(pipeline->shared);
    pipeline->solver = nullptr;
    pipeline->block = nullptr;
    pipeline->shared = nullptr;
    return 1;
}

int32_t OlpPipelineDestroy(OlpPipeline* pipeline)
{
    if (pipeline != nullptr) {
        OlpPipelineDeinit(pipeline);
        OlpAlignedFree(pipeline);
    }
    return 1;
}

void OlpPipelineSetTimeStep(OlpPipeline* pipeline, float step)
{
    pipeline->timeStep = step;
}

void OlpPipelineSetGravity(OlpPipeline* pipeline, const float gravity[3])
{
    pipeline->gravity = {gravity[0], gravity[1], gravity[2]};
}

void OlpPipelineSetMaxVelIterations(OlpPipeline* pipeline, uint32_t limit)
{
    pipeline->maxVelIterations = limit;
}

void OlpPipelineSetMaxPosIterations(OlpPipeline* pipeline, uint32_t limit)
{
    pipeline->maxPosIterations = limit;
}

OlpPipeline* OlpPipelineSetPosTolerance(OlpPipeline* pipeline, float tolerance)
{
    pipeline->posTolerance = tolerance;
    return pipeline;
}

OlpPipeline* OlpPipelineSetVelTolerance(OlpPipeline* pipeline, float tolerance)
{
    pipeline->velTolerance = tolerance;
    return pipeline;
}

OlpPipeline* OlpPipelineSetOption(OlpPipeline* pipeline, int32_t on)
{
    pipeline->options = on != 0 ? pipeline->options | 1u : pipeline->options & ~1u;
    return pipeline;
}

OlpPipeline* OlpPipelineSetRestLinearVelocity(OlpPipeline* pipeline, float value)
{
    pipeline->restLinearVelocity = value;
    return pipeline;
}

OlpPipeline* OlpPipelineSetRestLinearAcceleration(OlpPipeline* pipeline, float value)
{
    pipeline->restLinearAcceleration = value;
    return pipeline;
}

OlpPipeline* OlpPipelineSetRestAngularVelocity(OlpPipeline* pipeline, float value)
{
    pipeline->restAngularVelocity = value;
    return pipeline;
}

OlpPipeline* OlpPipelineSetRestAngularAcceleration(OlpPipeline* pipeline, float value)
{
    pipeline->restAngularAcceleration = value;
    return pipeline;
}

OlpPipeline* OlpPipelineSetIslandBlockRows(OlpPipeline* pipeline, uint32_t rows)
{
    pipeline->islandBlockRows = rows < pipeline->batchRows ? rows : pipeline->batchRows;
    return pipeline;
}

OlpPipeline* OlpPipelineSetCommonKernel(OlpPipeline* pipeline, OlpPipelineCommonKernel kernel)
{
    pipeline->commonKernel = kernel;
    return pipeline;
}

OlpPipeline* OlpPipelineFarfieldStage(OlpPipeline* pipeline)
{
    OlpMgr* mgr = Manager(pipeline);
    if (mgr == nullptr) {
        return pipeline;
    }
    OlpMgrStepLists lists{pipeline->objects, pipeline->objectCapacity, 0,
                          pipeline->pairs,   pipeline->pairCapacity,   0,
                          pipeline->joints,  pipeline->jointCapacity,  0};
    OlpMgrUpdateFarfield(mgr, &lists);
    pipeline->objectCount = lists.objectCount;
    pipeline->pairCount = lists.pairCount;
    pipeline->jointCount = lists.jointCount;
    return pipeline;
}

OlpPipeline* OlpPipelinePairStage(OlpPipeline* pipeline)
{
    if (Manager(pipeline) == nullptr) {
        return pipeline;
    }
    for (uint32_t i = 0; i < pipeline->objectCount && pipeline->pairCount < pipeline->pairCapacity; ++i) {
        OlpObj* object = pipeline->objects[i];
        if (object->partCount > 1 && (object->flags & kOlpObjFlagSelfPairs) != 0) {
            pipeline->pairs[pipeline->pairCount++] = {object, kOlpPairWholeObject, object,
                                                      kOlpPairWholeObject, 0};
        }
    }
    for (uint32_t i = 0; i < pipeline->batch.touchCount; ++i) {
        if (pipeline->batch.touches[i].object != nullptr) {
            pipeline->batch.touches[i].object->touches = nullptr;
        }
    }
    pipeline->batch.touchCount = 0;
    PrepareBatch(pipeline);
    pipeline->contactCount =
        ContactPass(pipeline, pipeline->pairCount, pipeline->contacts, pipeline->contactCapacity);
    return pipeline;
}

OlpPipeline* OlpPipelinePartitionStage(OlpPipeline* pipeline)
{
    pipeline->islands.count = 0;
    if (Manager(pipeline) == nullptr) {
        return pipeline;
    }
    OlpPartitionIslands(&pipeline->islands, &pipeline->partition, pipeline->objects, pipeline->objectCount,
                        pipeline->joints, pipeline->jointCount, pipeline->contacts, pipeline->contactCount);
    for (uint32_t n = 0; n < pipeline->islands.count; ++n) {
        OlpIsland& island = pipeline->islands.islands[n];
        bool moving = false;
        for (uint32_t o = 0; o < island.objectCount && !moving; ++o) {
            moving = OlpMgrIsObjectAwake(island.objects[o]->manager, island.objects[o]);
        }
        for (const OlpContact* c = island.firstContact; c != nullptr && !moving; c = c->listLink) {
            moving = Moving(c->objectA, c->partA) || Moving(c->objectB, c->partB);
        }
        for (uint32_t j = 0; j < island.jointCount && !moving; ++j) {
            const OlpJoint* joint = island.joints[j];
            moving = Moving(joint->ends[0].pointer, joint->ends[0].part) ||
                     Moving(joint->ends[1].pointer, joint->ends[1].part);
        }
        island.flags = moving ? 0u : kOlpIslandAtRest;
    }
    return pipeline;
}

uint32_t OlpPipelineCollectVolumePairs(OlpPipeline* pipeline, OlpObj* const* objects, uint32_t count)
{
    OlpContext* context = pipeline->context;
    OlpMgr* mgr = Manager(pipeline);
    if (mgr == nullptr) {
        return 0;
    }
    const OlpFarfield* farfield = mgr->farfield;
    uint32_t added = 0;
    for (uint32_t v = 0; v < context->used; ++v) {
        OlpVolume* volume = context->volumes[v];
        OlpBBox volumeBox;
        if (volume == nullptr || OlpVolumeGetBBox(volume, nullptr, 0, &volumeBox) == nullptr) {
            continue;
        }
        for (uint32_t o = 0; o < count; ++o) {
            if (pipeline->pairCount >= pipeline->pairCapacity) {
                return added;
            }
            OlpObj* object = objects[o];
            const OlpBitMatrix* exclusion = farfield->exclusion;
            if (exclusion != nullptr && object->id < mgr->objectCapacity &&
                OlpBitMatrixGetBit(exclusion,
                                   volume->tag + farfield->groups[object->id] * exclusion->columns)) {
                continue;
            }
            OlpBBox objectBox;
            if (OlpMgrGetFarfieldBox(mgr, object, &objectBox) == nullptr ||
                !Near(objectBox, volumeBox, farfield->margin)) {
                continue;
            }
            pipeline->pairs[pipeline->pairCount++] = {volume, kOlpPairVolume, object, kOlpPairWholeObject, 0};
            ++added;
        }
    }
    return added;
}

OlpPipeline* OlpPipelineExtraStage(OlpPipeline* pipeline)
{
    if (Manager(pipeline) == nullptr || pipeline->context->used == 0) {
        return pipeline;
    }
    PrepareBatch(pipeline);
    for (uint32_t n = 0; n < pipeline->islands.count && pipeline->contactCount < pipeline->contactCapacity;
         ++n) {
        OlpIsland& island = pipeline->islands.islands[n];
        if (AtRest(island)) {
            continue;
        }
        pipeline->pairCount = 0;
        if (OlpPipelineCollectVolumePairs(pipeline, island.objects, island.objectCount) == 0) {
            continue;
        }
        OlpContact* first = pipeline->contacts + pipeline->contactCount;
        uint32_t made = ContactPass(pipeline, pipeline->pairCount, first,
                                    pipeline->contactCapacity - pipeline->contactCount);
        for (uint32_t i = 0; i < made; ++i) {
            first[i].listLink = island.firstContact;
            island.firstContact = &first[i];
        }
        pipeline->contactCount += made;
    }
    return pipeline;
}

uint32_t OlpIslandRowGroups(const OlpIsland* island)
{
    uint32_t groups = 0;
    for (const OlpContact* c = island->firstContact; c != nullptr; c = c->listLink) {
        uint32_t g = OlpContactRowGroups(c);
        groups += OlpPartitionActiveEnd(c->objectA, c->partA) ? g : 0;
        groups += OlpPartitionActiveEnd(c->objectB, c->partB) ? g : 0;
    }
    auto jointGroups = [](const OlpJoint* joint, uint32_t factor) {
        uint32_t g = (OlpConstraintJointRowCount(joint) + 3) / 4;
        uint32_t sum = 0;
        for (const OlpJointEnd& end : joint->ends) {
            sum += OlpPartitionActiveEnd(end.pointer, end.part) ? g : 0;
        }
        return sum * factor;
    };
    for (uint32_t j = 0; j < island->jointCount; ++j) {
        groups += jointGroups(island->joints[j], 1);
    }
    for (uint32_t o = 0; o < island->objectCount; ++o) {
        const OlpObj* object = island->objects[o];
        for (uint32_t j = 0; j < object->jointCount; ++j) {
            groups += 2 * ((OlpConstraintJointRowCount(object->joints[j]) + 3) / 4);
        }
    }
    return groups;
}

void OlpContactReduceToDeepest(OlpContact* contact)
{
    if (contact->count < 2) {
        return;
    }
    uint32_t deepest = 0;
    for (uint32_t i = 1; i < contact->count; ++i) {
        if (contact->points[i].separation < contact->points[deepest].separation) {
            deepest = i;
        }
    }
    contact->points[0] = contact->points[deepest];
    contact->count = 1;
}

OlpPipeline* OlpPipelineRowSizingStage(OlpPipeline* pipeline)
{
    OlpMgr* mgr = Manager(pipeline);
    for (uint32_t n = 0; n < pipeline->islands.count && mgr != nullptr; ++n) {
        OlpIsland& island = pipeline->islands.islands[n];
        if (AtRest(island)) {
            continue;
        }
        LimitPartContacts(pipeline, island, mgr->dyn.capacity);
        uint32_t groups = OlpIslandRowGroups(&island);
        if (groups > pipeline->islandBlockRows && OlpIslandSplit(pipeline, n) > 1) {
            // The islands it became after this one are sized in their turn.
            groups = OlpIslandRowGroups(&island);
        }
        island.rowGroups = groups < pipeline->islandBlockRows ? groups : pipeline->islandBlockRows;
        island.blockSums[0] = island.rowGroups;
        island.blockSums[1] = 0;
    }
    return pipeline;
}

OlpPipeline* OlpPipelineSolveStage(OlpPipeline* pipeline)
{
    OlpMgr* mgr = Manager(pipeline);
    pipeline->partRowCount = 0;
    pipeline->statistic[0] = pipeline->statistic[1] = 0;
    pipeline->droppedIslands = 0;
    if (mgr == nullptr || pipeline->islands.count == 0) {
        return pipeline;
    }
    OlpSolverSettings settings{};
    settings.step = pipeline->timeStep;
    settings.gravity = pipeline->gravity;
    settings.mode = pipeline->mode;
    settings.positionTolerance = pipeline->posTolerance;
    settings.velocityTolerance = pipeline->velTolerance;
    settings.positionIterations = pipeline->maxPosIterations;
    settings.velocityIterations = pipeline->maxVelIterations;
    settings.diagonalTerm = pipeline->diagonalTerm;
    settings.options = pipeline->options;
    OlpSolverWork* work = pipeline->solver;
    bool whole = true;
    uint32_t first = 0;
    const uint32_t count = pipeline->islands.count;
    OlpIsland* islands = pipeline->islands.islands;
    while (first < count) {
        uint32_t rows = 0;
        uint32_t end = first;
        while (end < count) {
            uint32_t own = AtRest(islands[end]) ? 0 : islands[end].rowGroups;
            if (rows + own > pipeline->batchRows) {
                break;
            }
            rows += own;
            ++end;
        }
        if (end == first) {
            // Only an island over the batch limit stops here: it alone stays
            // unsolved, and its parts do not move this step.
            islands[first].flags |= kOlpIslandAtRest;
            ++pipeline->droppedIslands;
            whole = false;
            ++first;
            continue;
        }
        uint32_t used = OlpSolverStageSequence(work, &mgr->dyn, islands + first, end - first, &settings,
                                               &pipeline->kernels, pipeline->contacts, pipeline->impulses,
                                               pipeline->warm, pipeline->partRows + pipeline->partRowCount);
        pipeline->partRowCount += used;
        for (uint32_t pass = 0; pass < 2; ++pass) {
            for (uint32_t b = 0; b < work->blockCount; ++b) {
                uint32_t moves = work->blockIterations[pass][b];
                pipeline->statistic[pass] =
                    moves > pipeline->statistic[pass] ? moves : pipeline->statistic[pass];
            }
        }
        first = end;
    }
    return whole ? pipeline : nullptr;
}

OlpPipeline* OlpPipelineCollideStage(OlpPipeline* pipeline)
{
    OlpMgr* mgr = Manager(pipeline);
    if (mgr == nullptr || pipeline->islands.count == 0) {
        return pipeline;
    }
    OlpDynArrays* arrays = &mgr->dyn;
    TakeFastObjects(pipeline, arrays);
    // Only the parts the solve handled move: islands at rest keep their state.
    OlpIntegrateParts(arrays, pipeline->partRows, pipeline->partRowCount, pipeline->timeStep);
    for (uint32_t n = 0; n < pipeline->islands.count; ++n) {
        const OlpIsland& island = pipeline->islands.islands[n];
        if (AtRest(island)) {
            continue;
        }
        for (uint32_t o = 0; o < island.objectCount; ++o) {
            WriteBack(island.objects[o]);
        }
    }
    if (pipeline->continuous.objectCount > 0) {
        SweepAndRewind(pipeline, arrays);
        ImpactAndMove(pipeline, arrays);
    }
    return pipeline;
}

OlpPipeline* OlpPipelineSleepStage(OlpPipeline* pipeline)
{
    OlpMgr* mgr = Manager(pipeline);
    if (mgr == nullptr) {
        return pipeline;
    }
    const float v2 = pipeline->restLinearVelocity * pipeline->restLinearVelocity;
    const float w2 = pipeline->restAngularVelocity * pipeline->restAngularVelocity;
    const float a2 = pipeline->restLinearAcceleration * pipeline->restLinearAcceleration;
    const float alpha2 = pipeline->restAngularAcceleration * pipeline->restAngularAcceleration;
    // A part the position pass still pushed out of an overlap this step is
    // not at rest, however slowly it moves: its correction is a move over
    // the step, held against the rest speed times the step. Without this a
    // hull that lands and stops in one step falls asleep sunk in the ground.
    const float h2 = pipeline->timeStep * pipeline->timeStep;
    const OlpDynArrays* arrays = &mgr->dyn;
    for (uint32_t n = 0; n < pipeline->islands.count; ++n) {
        const OlpIsland& island = pipeline->islands.islands[n];
        if (AtRest(island)) {
            continue;
        }
        for (uint32_t o = 0; o < island.objectCount; ++o) {
            OlpObj* object = island.objects[o];
            bool moving = (object->flags & kOlpObjFlagMayRest) == 0;
            for (uint32_t k = 0; k < object->partCount && !moving; ++k) {
                const OlpDyn* dyn = object->parts[k].dyn;
                if (dyn == nullptr) {
                    continue;
                }
                const OlpDynMotion& v = arrays->velocity[dyn->index];
                const OlpDynMotion& a = arrays->acceleration[dyn->index];
                const OlpDynMotion& c = arrays->correction[dyn->index];
                moving =
                    !(LengthSq(v.linear) <= v2 && LengthSq(v.angular) <= w2 && LengthSq(a.linear) <= a2 &&
                      LengthSq(a.angular) <= alpha2 && LengthSq(c.linear) <= v2 * h2);
            }
            OlpMgrSetObjectAwake(mgr, object, moving ? 1 : 0);
        }
    }
    return pipeline;
}

OlpPipeline* OlpPipelineCollisionStages(OlpPipeline* pipeline, float step)
{
    pipeline->timeStep = step;
    OlpPipelineFarfieldStage(pipeline);
    OlpPipelinePairStage(pipeline);
    OlpPipelinePartitionStage(pipeline);
    OlpPipelineExtraStage(pipeline);
    return pipeline;
}

OlpPipeline* OlpPipelineSolveStages(OlpPipeline* pipeline, float step)
{
    pipeline->timeStep = step;
    OlpPipelineRowSizingStage(pipeline);
    OlpContactCacheLookup(&pipeline->cache, &pipeline->islands, pipeline->contacts, pipeline->warm);
    OlpPipelineSolveStage(pipeline);
    OlpContactCacheStore(&pipeline->cache, &pipeline->islands, pipeline->contacts, pipeline->impulses,
                         pipeline->warm);
    OlpPipelineCollideStage(pipeline);
    OlpPipelineSleepStage(pipeline);
    return pipeline;
}

OlpPipeline* OlpPipelineStep(OlpPipeline* pipeline, float step)
{
    OlpPipelineCollisionStages(pipeline, step);
    return OlpPipelineSolveStages(pipeline, step);
}

void OlpPipelineClearLists(OlpPipeline* pipeline)
{
    pipeline->objectCount = 0;
    pipeline->pairCount = 0;
}

uint32_t OlpPipelineAddPairs(OlpPipeline* pipeline, const OlpPair* pairs, uint32_t count)
{
    uint32_t added = 0;
    while (added < count && pipeline->pairCount < pipeline->pairCapacity) {
        pipeline->pairs[pipeline->pairCount++] = pairs[added++];
    }
    return added;
}

uint32_t OlpPipelineGetStatisticMaxA(const OlpPipeline* pipeline)
{
    return pipeline->statistic[0];
}

uint32_t OlpPipelineGetStatisticMaxB(const OlpPipeline* pipeline)
{
    return pipeline->statistic[1];
}
