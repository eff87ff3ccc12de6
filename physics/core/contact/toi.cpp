// The time-of-impact search: conservative advancement of moving parts.
#include <algorithm>
#include <cmath>

#include "physics/core/contact/batch.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/integrator/integrator.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"

using namespace olp;

namespace {

/// One side of a search: its state (null while it rests), velocities and
/// bounding sphere at the start.
struct Side
{
    OlpDyn* dyn = nullptr;
    V3d linear = {0, 0, 0};
    V3d angular = {0, 0, 0};
    float spin = 0.0f;
    OlpSphere sphere = {{0, 0, 0}, 0.0f};
    Matrix start{}; ///< the part frame the entry was expanded with
};

/// The part frame of a state's pose (the pose sits at the centre of mass).
Matrix PartFrame(const Matrix& pose, V3d centre)
{
    Matrix frame = pose;
    frame.pos = pose.pos - RotateVector(pose, centre);
    frame.flags = kMatrixFlagsOrthonormal;
    return frame;
}

Side Describe(const OlpBatchEntry* entry, bool moving)
{
    Side side;
    const OlpVolume* v = entry->volume;
    if (v->descriptor->getBoundingSphere(v, &side.sphere) != nullptr && entry->frame != nullptr) {
        side.sphere.centre = TransformPoint(*entry->frame, side.sphere.centre);
    }
    if (!moving || entry->part == kOlpBarePart) {
        return side;
    }
    auto* object = static_cast<OlpObj*>(entry->object);
    side.dyn = entry->part < object->partCount ? object->parts[entry->part].dyn : nullptr;
    if (side.dyn != nullptr) {
        const OlpDynMotion* motion = OlpDynGetVelocity(side.dyn);
        side.linear = motion->linear;
        side.angular = motion->angular;
        side.spin = Length(motion->angular);
        side.start = PartFrame(*OlpDynGetPose(side.dyn), side.dyn->centre);
    }
    return side;
}

/// The entry's frame after its part has moved for `t` seconds, and the
/// centre of mass then. A copy of the state is integrated; the state itself
/// is left as it was.
Matrix MovedFrame(const OlpBatchEntry* entry, const Side& side, float t, V3d* centreOfMass)
{
    OlpDynArrays* arrays = side.dyn->arrays;
    uint32_t row = side.dyn->index;
    Matrix pose = arrays->pose[row];
    Quaternion orientation = arrays->orientation[row];
    if (t > 0.0f) {
        OlpIntegrateBody(arrays, row, t);
    }
    Matrix moved = PartFrame(arrays->pose[row], side.dyn->centre);
    *centreOfMass = arrays->pose[row].pos;
    arrays->pose[row] = pose;
    arrays->orientation[row] = orientation;
    // The entry's frame relative to the part, carried by the part's motion.
    Matrix inverse, delta, frame;
    MatrixInvert(&inverse, &side.start);
    MatrixMultiply(&delta, &inverse, &moved);
    MatrixMultiply(&frame, entry->frame, &delta);
    return frame;
}

float AlongDirection(const OlpSupportFeature& plane, V3d p, V3d n)
{
    float slope = Dot(plane.normal, n);
    if (std::fabs(slope) < 1e-3f) {
        slope = slope < 0.0f ? -1e-3f : 1e-3f;
    }
    return (Dot(plane.normal, p) - plane.offset) / slope;
}

} // namespace

int32_t OlpBatchTimeOfImpact(OlpBatchArea* area, const OlpBatchPartPair* pair, float* timeA, float* timeB,
                             float step)
{
    const OlpVolume* va = pair->a->volume;
    const OlpVolume* vb = pair->b->volume;
    float tolerance = (va->descriptor->getCoreThickness(va) + 2.0f * va->margin +
                       vb->descriptor->getCoreThickness(vb) + 2.0f * vb->margin) *
                      area->toiTolerance;
    Side a = Describe(pair->a, timeA != nullptr);
    Side b = Describe(pair->b, timeB != nullptr);
    if (a.dyn == nullptr && b.dyn == nullptr) {
        return 0;
    }
    V3d v = a.linear - b.linear;
    float limit =
        std::min(timeA != nullptr ? *timeA : kOlpFloatMax, timeB != nullptr ? *timeB : kOlpFloatMax);
    // The bounding spheres must close within the step.
    V3d d = a.sphere.centre - b.sphere.centre;
    float reach = 2.0f * tolerance + a.sphere.radius + b.sphere.radius;
    float distance = Length(d);
    float t = 0.0f;
    if (distance > reach) {
        float dv = Dot(d, v);
        float vv = LengthSq(v);
        float c = (distance + reach) * (distance - reach) * vv;
        if (dv > -1e-6f || dv * dv < c) {
            return 0;
        }
        t = (-dv - std::sqrt(dv * dv - c)) / vv;
    }
    t = std::max(t, area->toiAdvance * step);
    if (limit <= t) {
        return 0;
    }
    float spin = a.spin + b.spin;
    float largestStep = spin > kOlpFloatMin ? 0.7853982f / spin : kOlpFloatMax;
    float speed = Length(v) + a.sphere.radius * a.spin + b.sphere.radius * b.spin;
    float combinedMargin = va->margin + vb->margin;
    for (int iteration = 0; iteration < 5; ++iteration) {
        OlpBatchEntry movedA = *pair->a;
        OlpBatchEntry movedB = *pair->b;
        Matrix frameA, frameB;
        V3d comA = a.sphere.centre, comB = b.sphere.centre;
        if (a.dyn != nullptr) {
            frameA = MovedFrame(pair->a, a, t, &comA);
            movedA.frame = &frameA;
        }
        if (b.dyn != nullptr) {
            frameB = MovedFrame(pair->b, b, t, &comB);
            movedB.frame = &frameB;
        }
        OlpBatchPartPair moved = {&movedA, &movedB};
        uint32_t records = area->recordCount;
        uint32_t points = area->pointCount;
        if (OlpBatchFeaturePair(area, &moved, (limit - t) * speed) == 0) {
            return 0;
        }
        // The record is only looked at here: the list is left as it was.
        OlpFeaturePair record = area->records[records];
        area->recordCount = records;
        float working = record.distance + combinedMargin;
        uint8_t kindA = kOlpFeatureFace, kindB = kOlpFeatureFace;
        OlpFeaturePoint clipped[kOlpClipMaxPoints];
        uint32_t count = OlpGeneralPrimitiveCollide(
            record.a.feature.points, record.a.feature.count, record.b.feature.points, record.b.feature.count,
            vb->margin - va->margin, &record.midPlane, &record.direction, &working, &kindA, &kindB, &record,
            clipped);
        area->pointCount = points;
        V3d n = record.direction;
        float advance = kOlpFloatMax;
        bool reached = false;
        for (uint32_t i = 0; i < count && !reached; ++i) {
            V3d p = clipped[i].p;
            V3d velocity = a.linear + Cross(a.angular, p - comA) - b.linear - Cross(b.angular, p - comB);
            float vn = Dot(velocity, n);
            if (!(vn < 0.0f)) {
                continue;
            }
            float gap = AlongDirection(record.b.feature, p, n) - AlongDirection(record.a.feature, p, n) -
                        combinedMargin;
            gap = std::max(gap, record.distance);
            if (gap <= tolerance) {
                reached = true;
            } else {
                advance = std::min(advance, -(gap - 2.0f * tolerance) / vn);
            }
        }
        if (reached) {
            break;
        }
        if (advance == kOlpFloatMax) {
            // Nothing closes now: only a turn can bring the parts together.
            if (largestStep == kOlpFloatMax) {
                return 0;
            }
            advance = largestStep;
        }
        if (!(advance > 0.0f)) {
            break;
        }
        t += std::min(advance, largestStep);
        if (t > limit) {
            return 0;
        }
    }
    for (float* time : {timeA, timeB}) {
        if (time != nullptr && *time > t) {
            *time = t;
        }
    }
    return 1;
}

uint32_t OlpBatchTimeOfImpactPass(OlpBatchArea* area, const OlpBatchPair* pairs, uint32_t pairCount,
                                  const uint16_t* slotIndex, const OlpBBox* sweptBoxes, float* impactTimes,
                                  uint32_t slotCount, float step, OlpBatchBoxFunc boxOf, void* boxData)
{
    if (pairCount == 0 || slotCount == 0) {
        return 0;
    }
    auto slotOf = [&](void* object, uint32_t selector) -> uint32_t {
        if (selector == kOlpBarePart) {
            return 0;
        }
        uint32_t id = static_cast<OlpObj*>(object)->id;
        uint32_t slot = id < 0xFFFF ? slotIndex[id] : 0;
        return slot < slotCount ? slot : 0;
    };
    area->overflow = 0;
    area->recordCount = 0;
    area->pointCount = 0;
    uint32_t ended = 0;
    for (uint32_t k = 0; k < pairCount && area->overflow == 0; ++k) {
        const OlpBatchPair& pair = pairs[k];
        uint32_t slotA = slotOf(pair.objectA, pair.selectorA);
        uint32_t slotB = slotOf(pair.objectB, pair.selectorB);
        if (slotA == 0 && slotB == 0) {
            continue;
        }
        OlpBBox boxA, boxB;
        if ((slotA == 0 && !boxOf(pair.objectA, pair.selectorA, boxData, &boxA)) ||
            (slotB == 0 && !boxOf(pair.objectB, pair.selectorB, boxData, &boxB))) {
            continue;
        }
        const OlpBBox* sweptA = slotA != 0 ? &sweptBoxes[slotA] : nullptr;
        const OlpBBox* sweptB = slotB != 0 ? &sweptBoxes[slotB] : nullptr;
        const OlpBBox* ownA = sweptA != nullptr ? sweptA : &boxA;
        const OlpBBox* ownB = sweptB != nullptr ? sweptB : &boxB;
        area->entryCount = area->frameCount = area->partPairCount = area->triangleCount = 0;
        OlpBatchExpandObject(area, pair.objectA, pair.selectorA, sweptA, ownA, ownB);
        uint32_t firstB = area->entryCount;
        OlpBatchExpandObject(area, pair.objectB, pair.selectorB, sweptB, ownB, ownA);
        OlpBatchBuildPartPairs(area, 0, firstB, firstB, area->entryCount - firstB, pair.partPairs,
                               area->groupExclusion);
        for (uint32_t i = 0; i < area->partPairCount; ++i) {
            ended += static_cast<uint32_t>(
                OlpBatchTimeOfImpact(area, &area->partPairs[i], slotA != 0 ? &impactTimes[slotA] : nullptr,
                                     slotB != 0 ? &impactTimes[slotB] : nullptr, step));
        }
    }
    return ended;
}
