// The scalar kernels and the pass driver.
#include "physics/core/solver/kernels.h"

#include <cmath>

#include "physics/core/dyn/dyn.h"
#include "physics/core/solver/violationscores.h"

namespace {

OlpSolveState gState;

/// The six velocity components of a part: linear, then angular.
void Components(const OlpDynMotion& m, float out[6])
{
    out[0] = m.linear.x, out[1] = m.linear.y, out[2] = m.linear.z;
    out[3] = m.angular.x, out[4] = m.angular.y, out[5] = m.angular.z;
}

/// Lane `lane` of block b against the 6-vector w, summed in column order.
float LaneDot(const OlpSolveBlock& b, uint32_t lane, const float w[6])
{
    float s = b.c[lane] * w[0];
    for (uint32_t c = 1; c < 6; ++c) {
        s = s + b.c[c * 4 + lane] * w[c];
    }
    return s;
}

} // namespace

OlpSolveState* OlpSolveGetState()
{
    return &gState;
}

void OlpSolveScalarA(const OlpSolveSetup* s)
{
    for (uint32_t i = 0; i < s->groupCount * 4; ++i) {
        s->accumulators[i] = 0.0f;
    }
    for (uint32_t p = 0; p < s->partCount; ++p) {
        float v[6];
        Components(s->velocities[p], v);
        const float* m = s->inverseMass[p];
        for (uint32_t k = 0; k < s->partGroupCount[p]; ++k) {
            uint32_t entry = s->adjacency[s->partGroupFirst[p] + k];
            uint32_t g = entry >> 1;
            OlpSolveBlock& b = s->blocks[g][entry & 1];
            for (uint32_t l = 0; l < 4; ++l) {
                s->accumulators[g * 4 + l] = s->accumulators[g * 4 + l] + LaneDot(b, l, v);
                for (uint32_t c = 0; c < 3; ++c) {
                    b.c[c * 4 + l] = b.c[c * 4 + l] * m[3];
                }
                float a0 = b.c[12 + l], a1 = b.c[16 + l], a2 = b.c[20 + l];
                for (uint32_t r = 0; r < 3; ++r) {
                    b.c[(3 + r) * 4 + l] = m[r * 4] * a0 + m[r * 4 + 1] * a1 + m[r * 4 + 2] * a2;
                }
            }
        }
    }
    float h = s->step;
    for (uint32_t i = 0; i < s->groupCount * 4; ++i) {
        s->residuals[i] = s->accumulators[i] - (s->a[i] - s->b[i] * s->c[i] / h) / h;
    }
}

int32_t OlpSolveFindViolation(const OlpSolveSystem* s, uint32_t first, uint32_t count, float tolerance)
{
    float t = tolerance;
    int32_t best = -1;
    for (uint32_t i = first * 4; i < (first + count) * 4; ++i) {
        float r = s->residuals[i];
        if (s->mayDecrease[i] * r > t || s->mayIncrease[i] * r < -t) {
            t = std::fabs(r);
            best = static_cast<int32_t>(i);
        }
    }
    return best;
}

void OlpSolveScoreGroup(const OlpSolveSystem* s, uint32_t g, float tolerance)
{
    float score = 0.0f;
    for (uint32_t i = g * 4; i < g * 4 + 4; ++i) {
        float r = s->residuals[i];
        if (s->mayDecrease[i] * r > tolerance || s->mayIncrease[i] * r < -tolerance) {
            score = std::fmax(score, std::fabs(r));
        }
    }
    s->groupScores[g] = score;
}

int32_t OlpSolveBestGroup(const float* scores, uint32_t first, uint32_t count)
{
    float best = 0.0f;
    int32_t at = -1;
    for (uint32_t g = first; g < first + count; ++g) {
        if (scores[g] > best) {
            best = scores[g];
            at = static_cast<int32_t>(g);
        }
    }
    return at;
}

float OlpSolvePivot(OlpSolveSystem* s, uint32_t row)
{
    float old = s->values[row];
    float value = old - s->residuals[row];
    value = value < s->lower[row] ? s->lower[row] : value;
    value = value > s->upper[row] ? s->upper[row] : value;
    s->mayDecrease[row] = value == s->lower[row] ? 0.0f : 1.0f;
    s->mayIncrease[row] = value == s->upper[row] ? 0.0f : 1.0f;
    s->values[row] = value;
    return value - old;
}

uint32_t OlpSolvePlaceCouplings(const uint32_t* partGroupCount, uint32_t partCount, uint32_t largest,
                                uint32_t room, uint32_t* partCouplingFirst)
{
    uint32_t taken = 0;
    for (uint32_t p = 0; p < partCount; ++p) {
        const uint32_t k = partGroupCount[p];
        partCouplingFirst[p] = kOlpSolveUncoupled;
        if (k > 0 && k <= largest && k * k <= room - taken) {
            partCouplingFirst[p] = taken;
            taken += k * k;
        }
    }
    return taken;
}

void OlpSolveCouplePart(OlpSolveSystem* s, uint32_t part)
{
    const uint32_t k = s->partGroupCount[part];
    const uint32_t* entries = s->adjacency + s->partGroupFirst[part];
    OlpSolveCoupling* table = s->couplings + s->partCouplingFirst[part];
    const OlpSolveBlock* allBlocks = s->blocks[0];
    for (uint32_t i = 0; i < k; ++i) {
        const OlpSolveBlock& moved = allBlocks[entries[i]];
        for (uint32_t j = 0; j < k; ++j) {
            const OlpSolveBlock& other = allBlocks[entries[j]];
            for (uint32_t l = 0; l < 4; ++l) {
                for (uint32_t m = 0; m < 4; ++m) {
                    float sum = other.c[m] * moved.c[l];
                    for (uint32_t c = 1; c < 6; ++c) {
                        sum = sum + other.c[c * 4 + m] * moved.c[c * 4 + l];
                    }
                    table[i * k + j].c[l * 4 + m] = sum;
                }
            }
        }
    }
    s->partCoupled[part] = 1;
}

void OlpSolvePropagate(OlpSolveSystem* s, uint32_t row, float delta, float tolerance)
{
    uint32_t g = row / 4, lane = row % 4;
    for (uint32_t e = 0; e < 2; ++e) {
        int32_t part = s->groupParts[g][e];
        if (part < 0) {
            continue;
        }
        auto p = static_cast<uint32_t>(part);
        const uint32_t* entries = s->adjacency + s->partGroupFirst[p];
        const uint32_t k = s->partGroupCount[p];
        if (s->couplings != nullptr && s->partCouplingFirst[p] != kOlpSolveUncoupled) {
            if (s->partCoupled[p] == 0) {
                OlpSolveCouplePart(s, p);
            }
            const OlpSolveCoupling* table = s->couplings + s->partCouplingFirst[p] + s->groupSlots[g][e] * k;
            for (uint32_t j = 0; j < k; ++j) {
                uint32_t other = entries[j] >> 1;
                for (uint32_t m = 0; m < 4; ++m) {
                    s->residuals[other * 4 + m] =
                        s->residuals[other * 4 + m] + table[j].c[lane * 4 + m] * delta;
                }
                OlpSolveScoreGroup(s, other, tolerance);
            }
            continue;
        }
        const OlpSolveBlock& moved = s->blocks[g][e];
        float w[6];
        for (uint32_t c = 0; c < 6; ++c) {
            w[c] = moved.c[c * 4 + lane] * delta;
        }
        for (uint32_t j = 0; j < k; ++j) {
            uint32_t entry = entries[j];
            uint32_t other = entry >> 1;
            const OlpSolveBlock& b = s->blocks[other][entry & 1];
            for (uint32_t l = 0; l < 4; ++l) {
                s->residuals[other * 4 + l] = s->residuals[other * 4 + l] + LaneDot(b, l, w);
            }
            OlpSolveScoreGroup(s, other, tolerance);
        }
    }
    s->residuals[row] = s->residuals[row] + s->diagonal[row] * delta;
    OlpSolveScoreGroup(s, g, tolerance);
}

uint32_t OlpSolveScalarB(OlpSolveSystem* s, uint32_t first, uint32_t count, uint32_t limit, float tolerance)
{
    for (uint32_t i = first * 4; i < (first + count) * 4; ++i) {
        s->values[i] = s->input[i];
        s->mayDecrease[i] = s->values[i] == s->lower[i] ? 0.0f : 1.0f;
        s->mayIncrease[i] = s->values[i] == s->upper[i] ? 0.0f : 1.0f;
    }
    gState.iteration = 0;
    if (limit == 0) {
        return 0;
    }
    OlpGroupScoresRead<OlpSolveScoreGroup>(s, first, count, tolerance);
    while (gState.iteration < limit) {
        int32_t row =
            OlpGroupScoresPick<OlpSolveFindViolation, OlpSolveBestGroup>(s, first, count, tolerance);
        if (row < 0) {
            break;
        }
        float delta = OlpSolvePivot(s, static_cast<uint32_t>(row));
        OlpSolvePropagate(s, static_cast<uint32_t>(row), delta, tolerance);
        ++gState.iteration;
    }
    return gState.iteration;
}

void OlpSolveCommon(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit, float tolerance,
                    int32_t mode, OlpSolveKernel kernel)
{
    uint32_t n = blocks->count;
    if (n == 0) {
        return;
    }
    uint32_t minimum = limit / n < 3 ? limit / n : 3;
    int64_t pool = static_cast<int64_t>(limit) - static_cast<int64_t>(n) * minimum;
    uint64_t remaining = 0, rows = 0;
    for (uint32_t b = 0; b < n; ++b) {
        remaining += blocks->weights[b];
        rows += blocks->rows[b];
    }
    uint32_t group = 0;
    for (uint32_t b = 0; b < n; ++b) {
        uint32_t budget = limit;
        if (mode == kOlpSolveProportional) {
            pool += minimum;
            if (rows == 0) {
                budget = 0;
            } else if (remaining == 0) {
                budget = static_cast<uint32_t>(pool);
            } else {
                budget = minimum + static_cast<uint32_t>(static_cast<uint64_t>(blocks->weights[b]) *
                                                         static_cast<uint64_t>(pool - minimum) / remaining);
            }
        }
        gState.blockLimit = budget;
        uint32_t groups = blocks->rows[b] / 4;
        uint32_t used = kernel(system, group, groups, budget, tolerance);
        blocks->iterations[b] = used;
        pool = pool - used > 0 ? pool - used : 0;
        remaining -= blocks->weights[b];
        group += groups;
    }
}
