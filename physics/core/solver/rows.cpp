#include "physics/core/solver/rows.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "physics/core/contact/contact.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/vec3.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

using namespace olp;

namespace {

#if defined(__SSE2__) || defined(_M_X64)
/// Lanes of v that are finite (|v| at most the largest float; NaN is not).
int FiniteLanes(__m128 v)
{
    return _mm_movemask_ps(_mm_cmple_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), v), _mm_set1_ps(FLT_MAX)));
}

/// The row's Jacobian (fourth floats excluded), error, bias, softness and
/// reduction are finite and its bounds are numbers: one compare per four
/// words, no branch per word.
bool Valid(const OlpConstraintRow* row)
{
    const float* words = reinterpret_cast<const float*>(row);
    int jacobian = FiniteLanes(_mm_loadu_ps(row->linearA)) & FiniteLanes(_mm_loadu_ps(row->angularA)) &
                   FiniteLanes(_mm_loadu_ps(row->linearB)) & FiniteLanes(_mm_loadu_ps(row->angularB));
    __m128 bounds = _mm_loadu_ps(row->bounds);
    return (jacobian & 7) == 7 && FiniteLanes(_mm_loadu_ps(words + 16)) == 15 &&
           std::isfinite(row->reduction) && _mm_movemask_ps(_mm_cmpord_ps(bounds, bounds)) == 15;
}
#else
bool Finite(const float* words, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(words[i])) {
            return false;
        }
    }
    return true;
}

/// The row's Jacobian (fourth floats excluded), error, bias, softness and
/// reduction are finite and its bounds are numbers.
bool Valid(const OlpConstraintRow* row)
{
    const float* words = reinterpret_cast<const float*>(row);
    bool finite = Finite(row->linearA, 3) && Finite(row->angularA, 3) && Finite(row->linearB, 3) &&
                  Finite(row->angularB, 3) && Finite(words + 16, 4) && std::isfinite(row->reduction);
    return finite && !std::isnan(row->bounds[0]) && !std::isnan(row->bounds[1]) &&
           !std::isnan(row->bounds[2]) && !std::isnan(row->bounds[3]);
}
#endif

void Store3(float out[4], V3d v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

V3d PointVelocity(const OlpDyn* dyn, V3d lever)
{
    if (dyn == nullptr) {
        return {0, 0, 0};
    }
    const OlpDynMotion& m = dyn->arrays->velocity[dyn->index];
    return m.linear + Cross(m.angular, lever);
}

V3d CentreOf(const OlpDyn* dyn)
{
    return dyn != nullptr ? dyn->arrays->pose[dyn->index].pos : V3d{0, 0, 0};
}

V3d Normalized(V3d v)
{
    float length = Length(v);
    return length > 0.0f ? v * (1.0f / length) : v;
}

} // namespace

const OlpConstraintRow* OlpConstraintPadRow()
{
    static const OlpConstraintRow pad = [] {
        OlpConstraintRow row{};
        row.linearA[3] = row.angularA[3] = row.linearB[3] = row.angularB[3] = -1.0f;
        row.reduction = kOlpRowReduction;
        row.unused = -1.0f;
        row.tag = -1;
        return row;
    }();
    return &pad;
}

int32_t OlpConstraintOpen(OlpRowBuilder* store, int32_t bodyA, int32_t bodyB, const void* source)
{
    if (store->constraintCount >= store->constraintCapacity) {
        store->full = 1;
        return 0;
    }
    store->constraint = store->constraintCount;
    store->rowBase = store->rowCount;
    store->bodies[store->constraint][0] = bodyA;
    store->bodies[store->constraint][1] = bodyB;
    store->constraintRows[store->constraint] = 0;
    store->constraintSource[store->constraint] = source;
    return 1;
}

int32_t OlpConstraintAddRow(OlpRowBuilder* store, const OlpConstraintRow* row)
{
    uint32_t k = store->constraint;
    uint32_t index = store->rowBase + store->constraintRows[k];
    if (!Valid(row) || index >= store->rowCapacity) {
        store->full |= index >= store->rowCapacity ? 1 : 0;
        return 0;
    }
    float* j = store->jacobian[index];
    std::memcpy(j, row->linearA, 16 * sizeof(float));
    j[3] = static_cast<float>(store->bodies[k][0]);
    j[7] = static_cast<float>(k);
    j[11] = static_cast<float>(store->bodies[k][1]);
    j[15] = static_cast<float>(k);
    store->error[index] = row->error;
    store->bias[index] = row->bias;
    store->softness[0][index] = row->softness[0];
    store->softness[1][index] = row->softness[1];
    for (int b = 0; b < 4; ++b) {
        store->bounds[b][index] = row->bounds[b];
    }
    store->reduction[index] = row->reduction;
    store->tag[index] = row->tag;
    store->constraintRows[k] += 1;
    return 1;
}

void OlpConstraintClose(OlpRowBuilder* store)
{
    uint32_t k = store->constraint;
    if (store->constraintRows[k] == 0) {
        return;
    }
    while (store->constraintRows[k] % 4 != 0) {
        if (OlpConstraintAddRow(store, OlpConstraintPadRow()) == 0) {
            // No room for the padding: drop the whole constraint.
            store->constraintRows[k] = 0;
            return;
        }
    }
    store->rowCount += store->constraintRows[k];
    store->groupCount += store->constraintRows[k] / 4;
    store->constraintCount += 1;
}

void OlpConstraintJacobian(OlpConstraintRow* row, const V3d* direction, const V3d* leverA, const V3d* leverB,
                           const OlpDyn* bodyA, const OlpDyn* bodyB)
{
    V3d zero = {0, 0, 0};
    bool movesA = bodyA != nullptr, movesB = bodyB != nullptr;
    Store3(row->linearA, movesA ? *direction : zero);
    Store3(row->angularA, movesA ? Cross(*leverA, *direction) : zero);
    Store3(row->linearB, movesB ? -*direction : zero);
    Store3(row->angularB, movesB ? Cross(*direction, *leverB) : zero);
}

OlpDyn* OlpContactSideDyn(void* object, uint32_t part)
{
    if (object == nullptr || part == kOlpBarePart) {
        return nullptr;
    }
    auto* obj = static_cast<OlpObj*>(object);
    return part < obj->partCount ? obj->parts[part].dyn : nullptr;
}

int32_t OlpConstraintBodyIndex(const OlpDyn* dyn)
{
    return dyn != nullptr ? static_cast<int32_t>(dyn->arrays->solverIndex[dyn->index]) : -1;
}

void OlpConstraintContactRows(OlpRowBuilder* store, const OlpContact* contact, float stepArgument)
{
    OlpDyn* dynA = OlpContactSideDyn(contact->objectA, contact->partA);
    OlpDyn* dynB = OlpContactSideDyn(contact->objectB, contact->partB);
    if (OlpConstraintOpen(store, OlpConstraintBodyIndex(dynA), OlpConstraintBodyIndex(dynB), contact) == 0) {
        return;
    }
    static const float kShare[4] = {1.0f, 0.5f, 1.0f / 3.0f, 0.25f};
    uint32_t count = contact->count < kOlpContactMaxPoints ? contact->count : kOlpContactMaxPoints;
    float load = count > 0 ? contact->load * kShare[count - 1] : 0.0f;
    V3d n = contact->normal;
    V3d centreA = CentreOf(dynA), centreB = CentreOf(dynB);
    for (uint32_t i = 0; i < count; ++i) {
        const OlpContactPoint& point = contact->points[i];
        const OlpContactProperties* props = point.properties;
        uint32_t propFlags = props != nullptr ? props->flags : 0;
        if ((propFlags & kOlpPropNoRows) != 0) {
            continue;
        }
        V3d rA = point.position - centreA, rB = point.position - centreB;
        V3d vrel = point.targetVelocity + PointVelocity(dynA, rA) - PointVelocity(dynB, rB);

        OlpConstraintRow row{};
        OlpConstraintJacobian(&row, &n, &rA, &rB, dynA, dynB);
        row.error = point.separation <= 0.0f ? point.separation : 0.0f;
        bool given = (propFlags & kOlpPropNormalValues) != 0;
        row.softness[0] = given ? props->normalSoftness[0] : 0.0f;
        row.softness[1] = given ? props->normalSoftness[1] : 0.0f;
        float bounce = given ? props->bounce : contact->bounce;
        row.reduction = given ? props->reduction : kOlpRowReduction;
        float approach = Dot(n, vrel);
        float restitution = approach < -0.001f * stepArgument ? -approach * bounce : 0.0f;
        // A point still apart may close its gap this step, no more: without
        // this the body would hover at the contact distance. When the gap
        // closes within the step the restitution target holds.
        bool reaches = -approach >= point.separation * stepArgument;
        row.bias = point.separation > 0.0f && !reaches ? -point.separation * stepArgument : restitution;
        row.bounds[0] = row.bounds[2] = 0.0f;
        row.bounds[1] = row.bounds[3] = kOlpRowUnbounded;
        row.tag = OlpContactRowTag(i, 0);
        OlpConstraintAddRow(store, &row);

        if ((contact->flags & 1) != 0) {
            continue;
        }
        V3d directions[2];
        if ((propFlags & kOlpPropFrictionDirection) != 0) {
            directions[0] = props->frictionDirection;
            directions[1] = Cross(n, directions[0]);
        } else {
            V3d u = Cross(n, vrel);
            if (LengthSq(u) < 0.0001f) {
                u = std::fabs(n.x) >= 0.99f ? Cross(n, V3d{0, 1, 0}) : Cross(n, V3d{1, 0, 0});
            }
            u = Normalized(u);
            V3d nu = Cross(n, u);
            directions[0] = (u - nu) * 0.70710677f;
            directions[1] = (u + nu) * 0.70710677f;
        }
        for (int f = 0; f < 2; ++f) {
            OlpConstraintRow friction{};
            OlpConstraintJacobian(&friction, &directions[f], &rA, &rB, dynA, dynB);
            float bound = load * contact->slide * 0.70710677f;
            if ((propFlags & kOlpPropFrictionBounds) != 0) {
                bound = props->frictionBound[f];
                friction.softness[0] = props->frictionSoftness[f];
            }
            friction.reduction = 0.0f;
            friction.bounds[0] = 0.0f;
            friction.bounds[1] = kOlpRowUnbounded;
            friction.bounds[2] = -bound;
            friction.bounds[3] = bound;
            friction.tag = OlpContactRowTag(i, 1 + f);
            OlpConstraintAddRow(store, &friction);
        }
    }
    OlpConstraintClose(store);
}

bool OlpConstraintSpring(float k, float c, float h, float s, float softness[2])
{
    float denominator = h * k + c;
    if (!(denominator > 0.0f)) {
        return false;
    }
    float gamma = 1.0f / denominator;
    softness[0] = gamma >= 0.1f * s ? gamma - s : -0.9f * s;
    softness[1] = gamma * h * k;
    return true;
}
