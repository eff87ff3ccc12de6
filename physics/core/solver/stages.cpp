#include "physics/core/solver/stages.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "physics/core/contact/contact.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/integrator/integrator.h"
#include "physics/core/joint/joint.h"
#include "physics/core/object/object.h"
#include "physics/core/solver/cpu.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

using namespace olp;

namespace {

constexpr float kCorrectionCap = 200.0f;

/// Hands out 16-aligned arrays from a block; with a null base it only
/// measures.
struct Carver
{
    char* base;
    size_t used = 0;
    template <typename T> T* Take(size_t count)
    {
        T* out = base != nullptr ? reinterpret_cast<T*>(base + used) : nullptr;
        used += Round16(count * sizeof(T));
        return out;
    }
};

/// Lays every array of the workspaces out (or measures them).
void Layout(OlpSolverWork* work, Carver* carver, uint32_t rows, uint32_t parts, uint32_t constraints,
            uint32_t islands)
{
    uint32_t groups = rows / 4;
    OlpRowBuilder& b = work->builder;
    b.jacobian = carver->Take<float[16]>(rows);
    b.error = carver->Take<float>(rows);
    b.bias = carver->Take<float>(rows);
    b.softness[0] = carver->Take<float>(rows);
    b.softness[1] = carver->Take<float>(rows);
    for (float*& bound : b.bounds) {
        bound = carver->Take<float>(rows);
    }
    b.reduction = carver->Take<float>(rows);
    b.tag = carver->Take<int32_t>(rows);
    b.bodies = carver->Take<int32_t[2]>(constraints);
    b.constraintRows = carver->Take<uint32_t>(constraints);
    b.constraintSource = carver->Take<const void*>(constraints);
    work->constraintJoint = carver->Take<OlpJoint*>(constraints);
    work->groupParts = carver->Take<int32_t[2]>(groups);
    work->blocks = carver->Take<OlpSolveBlock[2]>(groups);
    work->groupScores = carver->Take<float>(groups);
    work->groupCouplingFirst = carver->Take<uint32_t>(groups);
    work->groupCouplingCount = carver->Take<uint32_t>(groups);
    work->groupCouplingShared = carver->Take<uint32_t>(groups);
    work->couplings = carver->Take<OlpSolveCoupling>(size_t{groups} * kOlpSolverCouplingsPerGroup);
    work->couplingGroups = carver->Take<uint32_t>(size_t{groups} * kOlpSolverCouplingsPerGroup);
    float** perRow[] = {&work->scale,        &work->diagonal,     &work->zero,         &work->start,
                        &work->accumulators, &work->mayDecrease,  &work->mayIncrease,  &work->values[0],
                        &work->values[1],    &work->residuals[0], &work->residuals[1], &work->lower[0],
                        &work->lower[1],     &work->upper[0],     &work->upper[1],     &work->a[0],
                        &work->a[1],         &work->b[0],         &work->b[1],         &work->c[0],
                        &work->c[1]};
    for (float** array : perRow) {
        *array = carver->Take<float>(rows);
    }
    work->partRows = carver->Take<uint32_t>(parts);
    work->predicted = carver->Take<OlpDynMotion>(parts);
    work->inverseMass = carver->Take<float[12]>(parts);
    work->sums = carver->Take<float[8]>(parts);
    work->partGroupCount = carver->Take<uint32_t>(parts);
    work->partGroupFirst = carver->Take<uint32_t>(parts);
    work->inContact = carver->Take<uint32_t>(parts);
    work->partCoupled = carver->Take<uint32_t>(parts);
    work->adjacency = carver->Take<uint32_t>(2 * size_t{groups});
    work->blockRows = carver->Take<uint32_t>(islands);
    work->blockWeights = carver->Take<uint32_t>(islands);
    work->blockIterations[0] = carver->Take<uint32_t>(islands);
    work->blockIterations[1] = carver->Take<uint32_t>(islands);
}

/// Row vector v times the symmetric 3 x 3 of an inverse-mass record.
V3d TimesInertia(const float m[12], V3d v)
{
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[4] * v.x + m[5] * v.y + m[6] * v.z,
            m[8] * v.x + m[9] * v.y + m[10] * v.z};
}

V3d Load3(const float* f)
{
    return {f[0], f[1], f[2]};
}

/// Group g's two parts, from its first row's end words, noted in the system.
const int32_t* TakeGroupParts(OlpSolverWork* work, uint32_t g)
{
    const float* first = work->builder.jacobian[g * 4];
    work->groupParts[g][0] = static_cast<int32_t>(first[3]);
    work->groupParts[g][1] = static_cast<int32_t>(first[11]);
    return work->groupParts[g];
}

/// The position pass's target of one row, scaled: -f e, within the cap.
float PositionTarget(const OlpRowBuilder& rb, uint32_t i, float scale, float cap)
{
    bool rigid = rb.softness[0][i] == 0.0f && rb.softness[1][i] == 0.0f;
    float target = rigid ? -rb.reduction[i] * rb.error[i] : 0.0f;
    target = target > cap ? cap : (target < -cap ? -cap : target);
    return target * scale;
}

/// Fills one row of the system from the builder, given its mass-scaled
/// diagonal (without the own term).
void AssembleRow(OlpSolverWork* work, uint32_t i, float massDiagonal, float inverseStep)
{
    const OlpRowBuilder& rb = work->builder;
    float h = 1.0f / inverseStep;
    float own = rb.softness[0][i] * inverseStep + work->diagonalTerm;
    float total = massDiagonal + own;
    uint32_t g = i / 4, lane = i % 4;
    if (!(total > 0.0f) || !std::isfinite(total)) {
        // A dead row: never moved.
        work->scale[i] = 0.0f;
        work->diagonal[i] = 0.0f;
        for (int pass = 0; pass < 2; ++pass) {
            work->lower[pass][i] = work->upper[pass][i] = 0.0f;
            work->a[pass][i] = work->b[pass][i] = work->c[pass][i] = 0.0f;
        }
        for (uint32_t c = 0; c < 6; ++c) {
            work->blocks[g][0].c[c * 4 + lane] = work->blocks[g][1].c[c * 4 + lane] = 0.0f;
        }
        return;
    }
    float s = 1.0f / std::sqrt(total);
    work->scale[i] = s;
    work->diagonal[i] = own * s * s;
    const float* j = rb.jacobian[i];
    for (uint32_t c = 0; c < 3; ++c) {
        work->blocks[g][0].c[c * 4 + lane] = j[c] * s;
        work->blocks[g][0].c[(c + 3) * 4 + lane] = j[4 + c] * s;
        work->blocks[g][1].c[c * 4 + lane] = j[8 + c] * s;
        work->blocks[g][1].c[(c + 3) * 4 + lane] = j[12 + c] * s;
    }
    for (int pass = 0; pass < 2; ++pass) {
        work->lower[pass][i] = rb.bounds[2 * pass][i] / s;
        work->upper[pass][i] = rb.bounds[2 * pass + 1][i] / s;
    }
    // Position pass (h = 1, J v = 0): residual -(a - b c).
    work->a[0][i] = 0.0f;
    work->b[0][i] = -PositionTarget(rb, i, s, work->correctionCap * h);
    work->c[0][i] = 1.0f;
    // Velocity pass: target bias - k' e / h.
    work->a[1][i] = h * rb.bias[i] * s;
    work->b[1][i] = rb.softness[1][i] * s;
    work->c[1][i] = h * rb.error[i];
}

/// Sum of squares of a row's mass-scaled Jacobian.
float MassDiagonal(const OlpSolverWork* work, uint32_t i, const int32_t parts[2])
{
    const float* j = work->builder.jacobian[i];
    float sum = 0.0f;
    for (int e = 0; e < 2; ++e) {
        if (parts[e] < 0) {
            continue;
        }
        const float* m = work->inverseMass[parts[e]];
        V3d linear = Load3(j + 8 * e) * m[3];
        V3d angular = TimesInertia(m, Load3(j + 8 * e + 4));
        sum += LengthSq(linear) + LengthSq(angular);
    }
    return sum;
}

#if defined(__SSE2__) || defined(_M_X64)
/// Lane k of `value` where lane k of `mask` is all ones, else 0.
__m128 Keep(__m128 mask, __m128 value)
{
    return _mm_and_ps(mask, value);
}

/// Fills the four rows of group g of the system from the builder: lane l is
/// row 4 g + l, and every lane does the scalar AssembleRow and MassDiagonal
/// arithmetic (the build without SSE) in its order.
void AssembleGroup(OlpSolverWork* work, uint32_t g, const int32_t parts[2], float inverseStep)
{
    const OlpRowBuilder& rb = work->builder;
    const uint32_t i = g * 4;
    // Jacobian entry k of the four rows in column[k].
    __m128 column[16];
    for (uint32_t q = 0; q < 16; q += 4) {
        __m128 r0 = _mm_loadu_ps(rb.jacobian[i] + q), r1 = _mm_loadu_ps(rb.jacobian[i + 1] + q);
        __m128 r2 = _mm_loadu_ps(rb.jacobian[i + 2] + q), r3 = _mm_loadu_ps(rb.jacobian[i + 3] + q);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        column[q] = r0;
        column[q + 1] = r1;
        column[q + 2] = r2;
        column[q + 3] = r3;
    }
    auto mul = [](__m128 a, __m128 b) { return _mm_mul_ps(a, b); };
    auto add = [](__m128 a, __m128 b) { return _mm_add_ps(a, b); };
    auto lengthSq = [&](__m128 x, __m128 y, __m128 z) { return add(add(mul(x, x), mul(y, y)), mul(z, z)); };
    __m128 massDiagonal = _mm_setzero_ps();
    for (int e = 0; e < 2; ++e) {
        if (parts[e] < 0) {
            continue;
        }
        const float* m = work->inverseMass[parts[e]];
        const __m128* j = column + 8 * e;
        __m128 mass = _mm_set1_ps(m[3]);
        __m128 turned[3];
        for (int r = 0; r < 3; ++r) {
            turned[r] = add(add(mul(_mm_set1_ps(m[4 * r]), j[4]), mul(_mm_set1_ps(m[4 * r + 1]), j[5])),
                            mul(_mm_set1_ps(m[4 * r + 2]), j[6]));
        }
        massDiagonal = add(massDiagonal, add(lengthSq(mul(j[0], mass), mul(j[1], mass), mul(j[2], mass)),
                                             lengthSq(turned[0], turned[1], turned[2])));
    }
    const float h = 1.0f / inverseStep;
    const __m128 own =
        add(mul(_mm_loadu_ps(rb.softness[0] + i), _mm_set1_ps(inverseStep)), _mm_set1_ps(work->diagonalTerm));
    const __m128 total = add(massDiagonal, own);
    // A dead row (total not positive or not finite) is never moved: all 0.
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 live = _mm_and_ps(_mm_cmpgt_ps(total, _mm_setzero_ps()),
                                   _mm_cmple_ps(_mm_andnot_ps(sign, total), _mm_set1_ps(FLT_MAX)));
    const __m128 s = _mm_div_ps(_mm_set1_ps(1.0f), _mm_sqrt_ps(total));
    _mm_storeu_ps(work->scale + i, Keep(live, s));
    _mm_storeu_ps(work->diagonal + i, Keep(live, mul(mul(own, s), s)));
    for (uint32_t c = 0; c < 3; ++c) {
        _mm_store_ps(work->blocks[g][0].c + c * 4, Keep(live, mul(column[c], s)));
        _mm_store_ps(work->blocks[g][0].c + (c + 3) * 4, Keep(live, mul(column[4 + c], s)));
        _mm_store_ps(work->blocks[g][1].c + c * 4, Keep(live, mul(column[8 + c], s)));
        _mm_store_ps(work->blocks[g][1].c + (c + 3) * 4, Keep(live, mul(column[12 + c], s)));
    }
    for (int pass = 0; pass < 2; ++pass) {
        _mm_storeu_ps(work->lower[pass] + i,
                      Keep(live, _mm_div_ps(_mm_loadu_ps(rb.bounds[2 * pass] + i), s)));
        _mm_storeu_ps(work->upper[pass] + i,
                      Keep(live, _mm_div_ps(_mm_loadu_ps(rb.bounds[2 * pass + 1] + i), s)));
    }
    // Position pass (h = 1, J v = 0): residual -(a - b c), the target -f e
    // within the cap.
    const __m128 soft0 = _mm_loadu_ps(rb.softness[0] + i);
    const __m128 soft1 = _mm_loadu_ps(rb.softness[1] + i);
    const __m128 rigid =
        _mm_and_ps(_mm_cmpeq_ps(soft0, _mm_setzero_ps()), _mm_cmpeq_ps(soft1, _mm_setzero_ps()));
    __m128 target =
        Keep(rigid, mul(_mm_xor_ps(_mm_loadu_ps(rb.reduction + i), sign), _mm_loadu_ps(rb.error + i)));
    const float cap = work->correctionCap * h;
    const __m128 above = _mm_cmpgt_ps(target, _mm_set1_ps(cap));
    const __m128 below = _mm_cmplt_ps(target, _mm_set1_ps(-cap));
    target = _mm_or_ps(_mm_andnot_ps(below, target), _mm_and_ps(below, _mm_set1_ps(-cap)));
    target = _mm_or_ps(_mm_andnot_ps(above, target), _mm_and_ps(above, _mm_set1_ps(cap)));
    _mm_storeu_ps(work->a[0] + i, _mm_setzero_ps());
    _mm_storeu_ps(work->b[0] + i, Keep(live, _mm_xor_ps(mul(target, s), sign)));
    _mm_storeu_ps(work->c[0] + i, Keep(live, _mm_set1_ps(1.0f)));
    // Velocity pass: target bias - k' e / h.
    _mm_storeu_ps(work->a[1] + i, Keep(live, mul(mul(_mm_set1_ps(h), _mm_loadu_ps(rb.bias + i)), s)));
    _mm_storeu_ps(work->b[1] + i, Keep(live, mul(soft1, s)));
    _mm_storeu_ps(work->c[1] + i, Keep(live, mul(_mm_set1_ps(h), _mm_loadu_ps(rb.error + i))));
}
#endif

/// The unit direction a row pushes end A along (end B's, turned round,
/// when A is static).
V3d RowDirection(const float* jacobian)
{
    return jacobian[3] >= 0.0f ? Load3(jacobian) : -Load3(jacobian + 8);
}

/// The impulse one contact row had in the last step, as a warm start.
float RememberedImpulse(const OlpContactWarm& warm, int32_t tag, const float* jacobian)
{
    uint32_t point = static_cast<uint32_t>(tag) / 4, kind = static_cast<uint32_t>(tag) % 4;
    return kind == 0 ? warm.normal[point] : Dot(warm.tangent[point], RowDirection(jacobian));
}

/// Calls `visit(row, contact index)` for every tagged row of every contact
/// of the builder.
template <typename Visit> void ForContactRows(const OlpSolverWork* work, const OlpContact* base, Visit visit)
{
    const OlpRowBuilder& rb = work->builder;
    uint32_t row = 0;
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        auto* contact = static_cast<const OlpContact*>(rb.constraintSource[k]);
        for (uint32_t r = row; contact != nullptr && r < row + rb.constraintRows[k]; ++r) {
            if (rb.tag[r] >= 0) {
                visit(r, static_cast<size_t>(contact - base));
            }
        }
        row += rb.constraintRows[k];
    }
}

/// The impulse slot `tag` of a joint (its four vectors, read as 12 floats).
float& JointSlot(OlpJoint* joint, int32_t tag)
{
    V3d& v = joint->vectors[tag / 3];
    return tag % 3 == 0 ? v.x : (tag % 3 == 1 ? v.y : v.z);
}

/// Calls `visit(row, joint)` for every kept row of every joint of the
/// builder.
template <typename Visit> void ForJointRows(const OlpSolverWork* work, Visit visit)
{
    const OlpRowBuilder& rb = work->builder;
    uint32_t row = 0;
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        OlpJoint* joint = work->constraintJoint[k];
        for (uint32_t r = row; joint != nullptr && r < row + rb.constraintRows[k]; ++r) {
            if (rb.tag[r] >= 0 && static_cast<uint32_t>(rb.tag[r]) < kOlpJointTagSlots) {
                visit(r, joint);
            }
        }
        row += rb.constraintRows[k];
    }
}

/// The velocity pass's start from the last step's impulses, clamped to this
/// step's bounds; the residuals then include A x0 (through the parts, as
/// the solve kernel propagates a move).
void LoadWarmStart(OlpSolverWork* work, const OlpContact* base, const OlpContactWarm* warm)
{
    uint32_t rows = work->groupCount * 4;
    std::memset(work->start, 0, rows * sizeof(float));
    if (warm == nullptr) {
        return;
    }
    bool any = false;
    auto start = [&](uint32_t r, float impulse) {
        if (work->scale[r] == 0.0f) {
            return;
        }
        float x = impulse / work->scale[r];
        x = x < work->lower[1][r] ? work->lower[1][r] : (x > work->upper[1][r] ? work->upper[1][r] : x);
        work->start[r] = std::isfinite(x) ? x : 0.0f;
        any = any || work->start[r] != 0.0f;
    };
    if (base != nullptr) {
        ForContactRows(work, base, [&](uint32_t r, size_t contact) {
            start(r, RememberedImpulse(warm[contact], work->builder.tag[r], work->builder.jacobian[r]));
        });
    }
    ForJointRows(work,
                 [&](uint32_t r, OlpJoint* joint) { start(r, JointSlot(joint, work->builder.tag[r])); });
    if (!any) {
        return;
    }
    OlpSolverApplyResults(work, work->start);
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        for (int e = 0; e < 2; ++e) {
            int32_t p = work->groupParts[g][e];
            if (p < 0) {
                continue;
            }
            const float* sum = work->sums[p];
            const float w[6] = {sum[0], sum[1], sum[2], sum[4], sum[5], sum[6]};
            const OlpSolveBlock& b = work->blocks[g][e];
            float* residuals = work->residuals[1] + g * 4;
#if defined(__SSE2__) || defined(_M_X64)
            // The four rows at once, each summed in the scalar order.
            __m128 dot = _mm_mul_ps(_mm_load_ps(b.c), _mm_set1_ps(w[0]));
            for (uint32_t c = 1; c < 6; ++c) {
                dot = _mm_add_ps(dot, _mm_mul_ps(_mm_load_ps(b.c + c * 4), _mm_set1_ps(w[c])));
            }
            _mm_storeu_ps(residuals, _mm_add_ps(_mm_loadu_ps(residuals), dot));
#else
            for (uint32_t l = 0; l < 4; ++l) {
                float dot = b.c[l] * w[0];
                for (uint32_t c = 1; c < 6; ++c) {
                    dot = dot + b.c[c * 4 + l] * w[c];
                }
                residuals[l] += dot;
            }
#endif
        }
    }
    for (uint32_t r = 0; r < rows; ++r) {
        work->residuals[1][r] += work->diagonal[r] * work->start[r];
    }
}

/// The largest speed error (|residual| over the row scale) among the rows of
/// [first, first + rows) the velocity pass left violated.
float LargestSpeedError(const OlpSolverWork* work, const OlpSolveSystem* velocity, uint32_t first,
                        uint32_t rows, float tolerance)
{
    float largest = 0.0f;
    for (uint32_t i = first; i < first + rows; ++i) {
        float r = velocity->residuals[i];
        bool violated = velocity->mayDecrease[i] * r > tolerance || velocity->mayIncrease[i] * r < -tolerance;
        if (violated && work->scale[i] != 0.0f) {
            float error = std::fabs(r) / work->scale[i];
            largest = error > largest ? error : largest;
        }
    }
    return largest;
}

/// Each joint's solved row impulses, for the next step's start; a slot
/// without a row this step is cleared. An island block whose velocity pass
/// ran out of moves with a row still off by more than gravity adds in one
/// step keeps only half of them: the next pass would inherit the error of
/// the rows it could not reach, and step after step a starved heap of
/// jointed bodies diverged; halved, what a pass leaves unsettled fades
/// instead of building up. A pass short of the tolerance but within that
/// speed (a long chain at the default limits) keeps all: its joints need
/// the carried load.
void SaveJointWarmStart(const OlpSolverWork* work, const OlpSolveSystem* velocity,
                        const OlpSolverSettings* settings)
{
    const OlpRowBuilder& rb = work->builder;
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        if (work->constraintJoint[k] != nullptr) {
            for (V3d& v : work->constraintJoint[k]->vectors) {
                v = {0, 0, 0};
            }
        }
    }
    if (work->blockCount == 0) {
        return;
    }
    const float settled = Length(settings->gravity) * settings->step;
    auto share = [&](uint32_t first, uint32_t block) {
        float error =
            LargestSpeedError(work, velocity, first, work->blockRows[block], settings->velocityTolerance);
        return error <= settled ? 1.0f : 0.5f;
    };
    uint32_t block = 0, first = 0;
    float keep = share(first, block);
    ForJointRows(work, [&](uint32_t r, OlpJoint* joint) {
        while (block + 1 < work->blockCount && r >= first + work->blockRows[block]) {
            first += work->blockRows[block];
            ++block;
            keep = share(first, block);
        }
        JointSlot(joint, rb.tag[r]) = work->values[1][r] * work->scale[r] * keep;
    });
}

/// Each contact's solved per-point impulses, for the next step's start.
void SaveWarmStart(const OlpSolverWork* work, const OlpContact* base, OlpContactWarm* warm)
{
    const OlpRowBuilder& rb = work->builder;
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        if (rb.constraintSource[k] != nullptr) {
            warm[static_cast<const OlpContact*>(rb.constraintSource[k]) - base] = {};
        }
    }
    ForContactRows(work, base, [&](uint32_t r, size_t contact) {
        float lambda = work->values[1][r] * work->scale[r];
        uint32_t point = static_cast<uint32_t>(rb.tag[r]) / 4, kind = static_cast<uint32_t>(rb.tag[r]) % 4;
        OlpContactWarm& out = warm[contact];
        if (kind == 0) {
            out.normal[point] = lambda;
        } else {
            out.tangent[point] = out.tangent[point] + RowDirection(rb.jacobian[r]) * lambda;
        }
    });
}

} // namespace

void OlpContactWarmMatch(const OlpContactWarm* remembered, const V3d* points, uint32_t pointCount, float sign,
                         const OlpContact* contact, float tolerance, OlpContactWarm* out)
{
    *out = {};
    uint32_t count = contact->count < kOlpContactMaxPoints ? contact->count : kOlpContactMaxPoints;
    for (uint32_t i = 0; i < count; ++i) {
        float best = tolerance * tolerance;
        for (uint32_t j = 0; j < pointCount && j < kOlpContactMaxPoints; ++j) {
            float d = LengthSq(points[j] - contact->points[i].position);
            if (d <= best) {
                best = d;
                out->normal[i] = remembered->normal[j];
                out->tangent[i] = remembered->tangent[j] * sign;
            }
        }
    }
}

OlpSolverSettings* OlpSolverSettingsDefault(OlpSolverSettings* s)
{
    s->step = 1.0f / 60.0f;
    s->gravity = {0, 0, -10.0f};
    OlpCpuDetect();
    s->mode = OlpCpuGetMode() != 0 ? 2 : 1;
    s->positionTolerance = 1e-5f;
    s->velocityTolerance = 1e-5f;
    s->positionIterations = 100;
    s->velocityIterations = 300;
    s->diagonalTerm = 0.0f;
    s->options = 0;
    return s;
}

OlpSolverKernels OlpSolverKernelsForMode(int32_t mode)
{
    if (mode == 2) {
        return {OlpSolveSseA, OlpSolveSseB, OlpSolveSsePairing()};
    }
    return {OlpSolveScalarA, OlpSolveScalarB, nullptr};
}

size_t OlpSolverWorkArraysSize(uint32_t rows, uint32_t parts, uint32_t constraints, uint32_t islands)
{
    OlpSolverWork probe{};
    Carver measure{nullptr};
    Layout(&probe, &measure, (rows + 3) & ~3u, parts, constraints, islands);
    return measure.used;
}

OlpSolverWork* OlpSolverWorkCreate(uint32_t rows, uint32_t parts, uint32_t constraints, uint32_t islands)
{
    const size_t record = Round16(sizeof(OlpSolverWork));
    const size_t bytes = record + OlpSolverWorkArraysSize(rows, parts, constraints, islands);
    void* memory = OlpAlignedAlloc(bytes, 16, kOlpMemoryHint);
    if (memory == nullptr) {
        return nullptr;
    }
    std::memset(memory, 0, bytes);
    auto* work = static_cast<OlpSolverWork*>(memory);
    OlpSolverWorkLayout(work, static_cast<char*>(memory) + record, rows, parts, constraints, islands);
    work->memory = memory;
    return work;
}

OlpSolverWork* OlpSolverWorkLayout(OlpSolverWork* work, void* memory, uint32_t rows, uint32_t parts,
                                   uint32_t constraints, uint32_t islands)
{
    rows = (rows + 3) & ~3u;
    *work = {};
    Carver carver{static_cast<char*>(memory)};
    Layout(work, &carver, rows, parts, constraints, islands);
    work->rowCapacity = rows;
    work->partCapacity = parts;
    work->constraintCapacity = constraints;
    work->blockCapacity = islands;
    work->builder.rowCapacity = rows;
    work->builder.constraintCapacity = constraints;
    return work;
}

void OlpSolverWorkDestroy(OlpSolverWork* work)
{
    if (work != nullptr) {
        OlpAlignedFree(work->memory);
    }
}

void OlpSolverReset(OlpSolverWork* work)
{
    OlpRowBuilder& b = work->builder;
    b.constraint = b.rowBase = b.rowCount = b.groupCount = b.constraintCount = 0;
    b.full = 0;
    work->blockCount = work->partCount = work->groupCount = 0;
}

void OlpSolverBeginIsland(OlpSolverWork* work, uint32_t partCount)
{
    work->partCount += partCount;
}

void OlpSolverEndIsland(OlpSolverWork* work, uint32_t firstGroup)
{
    uint32_t groups = work->builder.groupCount - firstGroup;
    if (groups == 0 || work->blockCount >= work->blockCapacity) {
        return;
    }
    work->blockRows[work->blockCount] = groups * 4;
    work->blockWeights[work->blockCount] = groups;
    ++work->blockCount;
}

void OlpSolverBatchCounters(OlpSolverWork* work)
{
    work->groupCount = work->builder.rowCount / 4;
}

void OlpSolverSetupMass(OlpSolverWork* work, const OlpDynArrays* arrays)
{
    for (uint32_t p = 0; p < work->partCount; ++p) {
        uint32_t row = work->partRows[p];
        const float* inv = arrays->inverseMass[row].m;
        float* out = work->inverseMass[p];
        std::memset(out, 0, 12 * sizeof(float));
        out[3] = inv[kOlpDynMassSlot];
        if ((arrays->flags[row] & kOlpDynFullInertia) != 0) {
            // R M R^T: the body-axis tensor turned into world axes.
            const Matrix& r = arrays->pose[row];
            V3d axes[3] = {r.right, r.up, r.at};
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    float sum = 0.0f;
                    for (int k = 0; k < 3; ++k) {
                        for (int l = 0; l < 3; ++l) {
                            sum += Component(axes[k], i) * inv[k * 4 + l] * Component(axes[l], j);
                        }
                    }
                    out[i * 4 + j] = sum;
                }
            }
        } else {
            out[0] = out[5] = out[10] = inv[kOlpDynInertiaSlot];
        }
    }
}

void OlpSolverAssemble(OlpSolverWork* work, float inverseStep)
{
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        const int32_t* parts = TakeGroupParts(work, g);
        for (uint32_t l = 0; l < 4; ++l) {
            AssembleRow(work, g * 4 + l, MassDiagonal(work, g * 4 + l, parts), inverseStep);
        }
    }
}

void OlpSolverAssembleSse(OlpSolverWork* work, float inverseStep)
{
#if defined(__SSE2__) || defined(_M_X64)
    // Each lane does the scalar rows' arithmetic in their order: the two
    // modes see the same system.
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        AssembleGroup(work, g, TakeGroupParts(work, g), inverseStep);
    }
#else
    OlpSolverAssemble(work, inverseStep);
#endif
}

void OlpSolverBuildAdjacency(OlpSolverWork* work)
{
    std::memset(work->partGroupCount, 0, work->partCount * sizeof(uint32_t));
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        for (int e = 0; e < 2; ++e) {
            if (work->groupParts[g][e] >= 0) {
                ++work->partGroupCount[work->groupParts[g][e]];
            }
        }
    }
    OlpSolvePlaceCouplings(work->groupParts, work->groupCount, work->partGroupCount, work->partCount,
                           kOlpSolverCoupledGroupsMax, work->groupCount * kOlpSolverCouplingsPerGroup,
                           work->partCoupled, work->groupCouplingFirst);
    uint32_t offset = 0;
    for (uint32_t p = 0; p < work->partCount; ++p) {
        work->partGroupFirst[p] = offset;
        offset += work->partGroupCount[p];
        work->partGroupCount[p] = 0;
    }
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        for (uint32_t e = 0; e < 2; ++e) {
            int32_t p = work->groupParts[g][e];
            if (p >= 0) {
                work->adjacency[work->partGroupFirst[p] + work->partGroupCount[p]++] = g * 2 + e;
            }
        }
    }
}

void OlpSolverAddRowGroupToPart(const OlpSolveBlock* block, const float values[4], float sum[8])
{
#if defined(__SSE2__) || defined(_M_X64)
    // Transposed, lane c of column l is row c's term l: each of the six sums
    // adds its four terms in the scalar order below.
    __m128 r0 = _mm_load_ps(block->c), r1 = _mm_load_ps(block->c + 4);
    __m128 r2 = _mm_load_ps(block->c + 8), r3 = _mm_load_ps(block->c + 12);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    const __m128 r4 = _mm_load_ps(block->c + 16), r5 = _mm_load_ps(block->c + 20);
    const __m128 low = _mm_unpacklo_ps(r4, r5), high = _mm_unpackhi_ps(r4, r5);
    const __m128 v0 = _mm_set1_ps(values[0]), v1 = _mm_set1_ps(values[1]);
    const __m128 v2 = _mm_set1_ps(values[2]), v3 = _mm_set1_ps(values[3]);
    alignas(16) float add[8];
    _mm_store_ps(
        add, _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(r0, v0), _mm_mul_ps(r1, v1)), _mm_mul_ps(r2, v2)),
                        _mm_mul_ps(r3, v3)));
    _mm_store_ps(add + 4, _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(low, v0),
                                                           _mm_mul_ps(_mm_movehl_ps(low, low), v1)),
                                                _mm_mul_ps(high, v2)),
                                     _mm_mul_ps(_mm_movehl_ps(high, high), v3)));
#else
    float add[6];
    for (uint32_t c = 0; c < 6; ++c) {
        add[c] = block->c[c * 4] * values[0] + block->c[c * 4 + 1] * values[1] +
                 block->c[c * 4 + 2] * values[2] + block->c[c * 4 + 3] * values[3];
    }
#endif
    OlpSolverAddVector6(sum, add);
}

void OlpSolverAddVector6(float sum[8], const float add[6])
{
    for (int c = 0; c < 3; ++c) {
        sum[c] += add[c];
        sum[4 + c] += add[3 + c];
    }
}

void OlpSolverApplyResults(OlpSolverWork* work, const float* values)
{
    std::memset(work->sums, 0, work->partCount * sizeof(float[8]));
    for (uint32_t g = 0; g < work->groupCount; ++g) {
        for (int e = 0; e < 2; ++e) {
            int32_t p = work->groupParts[g][e];
            if (p >= 0) {
                OlpSolverAddRowGroupToPart(&work->blocks[g][e], values + g * 4, work->sums[p]);
            }
        }
    }
}

void OlpSolverUnscale(const float inverseMass[12], const float sum[8], V3d* linear, V3d* angular)
{
    *linear = Load3(sum) * inverseMass[3];
    *angular = TimesInertia(inverseMass, Load3(sum + 4));
}

void OlpIntegrateCorrections(OlpDynArrays* arrays, const uint32_t* parts, uint32_t count,
                             const OlpDynMotion* velocities, float time)
{
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t row = parts[k];
        OlpDynMotion kept = arrays->velocity[row];
        arrays->velocity[row] = velocities[row];
        OlpIntegrateBody(arrays, row, time);
        arrays->velocity[row] = kept;
    }
}

void OlpAccumulateAcceleration(OlpDynMotion* velocities, const uint32_t* parts, uint32_t count,
                               const OlpDynMotion* accelerations, float time)
{
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t row = parts[k];
        velocities[row].linear = velocities[row].linear + accelerations[row].linear * time;
        velocities[row].angular = velocities[row].angular + accelerations[row].angular * time;
    }
}

uint32_t OlpSolverStageSequence(OlpSolverWork* work, OlpDynArrays* arrays, const OlpIsland* islands,
                                uint32_t islandCount, const OlpSolverSettings* settings,
                                const OlpSolverKernels* kernels, const OlpContact* contactBase,
                                OlpContactImpulse* impulses, OlpContactWarm* warm, uint32_t* partScratch)
{
    const float h = settings->step;
    // 1-2. Number the parts; gravity and damping into the forces.
    OlpSolverReset(work);
    for (uint32_t n = 0; n < islandCount; ++n) {
        const OlpIsland& island = islands[n];
        if ((island.flags & kOlpIslandAtRest) != 0) {
            continue;
        }
        for (uint32_t o = 0; o < island.objectCount; ++o) {
            OlpObj* object = island.objects[o];
            for (uint32_t p = 0; p < object->partCount; ++p) {
                OlpDyn* dyn = object->parts[p].dyn;
                if (dyn == nullptr || work->partCount >= work->partCapacity) {
                    continue;
                }
                uint32_t row = dyn->index;
                arrays->solverIndex[row] = work->partCount;
                work->partRows[work->partCount] = row;
                partScratch[work->partCount] = row;
                ++work->partCount;
                float mass = arrays->mass[row].m[kOlpDynMassSlot];
                OlpDynMotion& v = arrays->velocity[row];
                OlpDynMotion& f = arrays->force[row];
                f.linear = f.linear + settings->gravity * mass - v.linear * (mass * dyn->damping[0]);
                if ((arrays->flags[row] & kOlpDynFullInertia) != 0) {
                    const Matrix& r = arrays->pose[row];
                    const float* i = arrays->mass[row].m;
                    V3d local = InverseRotateVector(r, v.angular);
                    V3d turned = {i[0] * local.x + i[1] * local.y + i[2] * local.z,
                                  i[4] * local.x + i[5] * local.y + i[6] * local.z,
                                  i[8] * local.x + i[9] * local.y + i[10] * local.z};
                    f.angular = f.angular - RotateVector(r, turned) * dyn->damping[1];
                } else {
                    f.angular =
                        f.angular - v.angular * (dyn->damping[1] * arrays->mass[row].m[kOlpDynInertiaSlot]);
                }
            }
        }
    }
    uint32_t partCount = work->partCount;
    // 3. Rows, one block per island.
    for (uint32_t n = 0; n < islandCount; ++n) {
        const OlpIsland& island = islands[n];
        if ((island.flags & kOlpIslandAtRest) != 0) {
            continue;
        }
        uint32_t firstGroup = work->builder.groupCount;
        auto jointRows = [work, h](OlpJoint* joint) {
            uint32_t k = work->builder.constraintCount;
            OlpConstraintJointRows(&work->builder, joint, 0.0f, h);
            if (work->builder.constraintCount > k) {
                work->constraintJoint[k] = joint;
            }
        };
        for (uint32_t j = 0; j < island.jointCount; ++j) {
            jointRows(island.joints[j]);
        }
        for (uint32_t o = 0; o < island.objectCount; ++o) {
            OlpObj* object = island.objects[o];
            for (uint32_t j = 0; j < object->jointCount; ++j) {
                jointRows(object->joints[j]);
            }
        }
        for (const OlpContact* c = island.firstContact; c != nullptr; c = c->listLink) {
            uint32_t k = work->builder.constraintCount;
            if (c->count > 0) {
                OlpConstraintContactRows(&work->builder, c, 1.0f / h);
            }
            if (work->builder.constraintCount > k) {
                work->constraintJoint[k] = nullptr;
            }
        }
        OlpSolverEndIsland(work, firstGroup);
    }
    // 4. Fixed values and mass records.
    work->sharing = kOlpSolveProportional;
    work->correctionCap = kCorrectionCap;
    work->mode = settings->mode;
    work->option = (settings->options >> 2) & 1;
    work->diagonalTerm = settings->diagonalTerm;
    OlpSolverSetupMass(work, arrays);
    if (partCount == 0) {
        return 0;
    }
    // 5. Assembly, adjacency and set-up against the velocities the forces
    // would give.
    OlpSolverBatchCounters(work);
    settings->mode == 2 ? OlpSolverAssembleSse(work, 1.0f / h) : OlpSolverAssemble(work, 1.0f / h);
    OlpSolverBuildAdjacency(work);
    for (uint32_t p = 0; p < partCount; ++p) {
        uint32_t row = work->partRows[p];
        const float* m = work->inverseMass[p];
        const OlpDynMotion& f = arrays->force[row];
        OlpDynMotion& v = work->predicted[p];
        v = arrays->velocity[row];
        v.linear = v.linear + f.linear * (m[3] * m[3] * h);
        v.angular = v.angular + TimesInertia(m, TimesInertia(m, f.angular)) * h;
    }
    uint32_t rows = work->groupCount * 4;
    OlpSolveSetup setup = {work->groupCount,
                           work->accumulators,
                           work->blocks,
                           work->groupParts,
                           partCount,
                           work->partGroupCount,
                           work->partGroupFirst,
                           work->adjacency,
                           work->predicted,
                           work->inverseMass,
                           work->a[1],
                           work->b[1],
                           work->c[1],
                           h,
                           work->residuals[1]};
    kernels->setup(&setup);
    for (uint32_t i = 0; i < rows; ++i) {
        work->residuals[0][i] = -(work->a[0][i] - work->b[0][i] * work->c[0][i]);
    }
    std::memset(work->zero, 0, rows * sizeof(float));
    LoadWarmStart(work, contactBase, warm);
    // 6-7. The position pass from 0, then the velocity pass from the warm
    // start.
    OlpSolveSystem systems[2];
    for (int pass = 0; pass < 2; ++pass) {
        systems[pass] = {work->groupCount,
                         work->groupParts,
                         work->blocks,
                         work->values[pass],
                         work->residuals[pass],
                         work->lower[pass],
                         work->upper[pass],
                         work->mayDecrease,
                         work->mayIncrease,
                         work->diagonal,
                         pass == 0 ? work->zero : work->start,
                         work->partGroupCount,
                         work->partGroupFirst,
                         work->adjacency,
                         work->groupScores,
                         work->couplings,
                         work->partCoupled,
                         work->groupCouplingFirst,
                         work->groupCouplingCount,
                         work->groupCouplingShared,
                         work->couplingGroups};
    }
    std::memset(work->groupCouplingCount, 0, work->groupCount * sizeof(uint32_t));
    OlpSolveState* state = OlpSolveGetState();
    OlpSolveBlocks blocks = {work->blockCount, work->blockRows, work->blockWeights, work->blockIterations[0]};
    state->pass = 0;
    OlpSolvePass(&systems[0], &blocks, settings->positionIterations, settings->positionTolerance,
                 work->sharing, kernels->solve, kernels->pairing);
    blocks.iterations = work->blockIterations[1];
    state->pass = 1;
    OlpSolvePass(&systems[1], &blocks, settings->velocityIterations, settings->velocityTolerance,
                 work->sharing, kernels->solve, kernels->pairing);
    // 8. Corrections and accelerations.
    OlpSolverApplyResults(work, work->values[0]);
    for (uint32_t p = 0; p < partCount; ++p) {
        OlpDynMotion& correction = arrays->correction[work->partRows[p]];
        OlpSolverUnscale(work->inverseMass[p], work->sums[p], &correction.linear, &correction.angular);
    }
    OlpSolverApplyResults(work, work->values[1]);
    for (uint32_t p = 0; p < partCount; ++p) {
        uint32_t row = work->partRows[p];
        const float* m = work->inverseMass[p];
        V3d dv, dw;
        OlpSolverUnscale(m, work->sums[p], &dv, &dw);
        const OlpDynMotion& f = arrays->force[row];
        OlpDynMotion& acc = arrays->acceleration[row];
        acc.linear = f.linear * (m[3] * m[3]) + dv * (1.0f / h);
        acc.angular = TimesInertia(m, TimesInertia(m, f.angular)) + dw * (1.0f / h);
    }
    // Solved impulses of every contact, for the warm start.
    const OlpRowBuilder& rb = work->builder;
    uint32_t row = 0;
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        auto* contact = static_cast<const OlpContact*>(rb.constraintSource[k]);
        if (contact != nullptr && impulses != nullptr && contactBase != nullptr) {
            OlpContactImpulse& out = impulses[contact - contactBase];
            out = {};
            for (uint32_t r = row; r < row + rb.constraintRows[k]; ++r) {
                float lambda = work->values[1][r] * work->scale[r];
                out.onA = out.onA + Load3(rb.jacobian[r]) * lambda;
                out.onB = out.onB + Load3(rb.jacobian[r] + 8) * lambda;
            }
        }
        row += rb.constraintRows[k];
    }
    if (warm != nullptr && contactBase != nullptr) {
        SaveWarmStart(work, contactBase, warm);
    }
    if (warm != nullptr) {
        SaveJointWarmStart(work, &systems[1], settings);
    }
    // 9. Corrections over time 1, then the velocities.
    OlpIntegrateCorrections(arrays, work->partRows, partCount, arrays->correction, 1.0f);
    OlpAccumulateAcceleration(arrays->velocity, work->partRows, partCount, arrays->acceleration, h);
    // 10. A correction against the force must not add energy. Only parts
    // held by contacts: a joint's correction undoes the drift of the
    // integration along its arc, which took no energy, and removing speed
    // there would slow a pendulum.
    std::memset(work->inContact, 0, partCount * sizeof(uint32_t));
    for (uint32_t k = 0; k < rb.constraintCount; ++k) {
        for (int e = 0; e < 2; ++e) {
            if (rb.constraintSource[k] != nullptr && rb.bodies[k][e] >= 0) {
                work->inContact[rb.bodies[k][e]] = 1;
            }
        }
    }
    for (uint32_t p = 0; p < partCount; ++p) {
        uint32_t r = work->partRows[p];
        V3d force = arrays->force[r].linear;
        V3d d = arrays->correction[r].linear;
        float work_ = Dot(force, d);
        if (work_ < -1.1754944e-38f && work->inContact[p] != 0) {
            V3d n = force * (1.0f / Length(force));
            float mass = arrays->mass[r].m[kOlpDynMassSlot];
            V3d& v = arrays->velocity[r].linear;
            float vn = Dot(v, n);
            float e = vn * vn + 2.0f * work_ / mass;
            float speed = e > 1.1754944e-38f ? std::copysign(std::sqrt(e), vn) : 0.0f;
            v = v + n * (speed - vn);
        }
    }
    // 11. Forces cleared.
    for (uint32_t p = 0; p < partCount; ++p) {
        arrays->force[work->partRows[p]] = {};
    }
    return partCount;
}
