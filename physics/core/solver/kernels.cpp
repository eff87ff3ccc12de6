// The scalar kernels and the pass driver.
#include "physics/core/solver/kernels.h"

#include <climits>
#include <cmath>
#include <limits>

#include "physics/core/dyn/dyn.h"
#include "physics/core/solver/couplinglist.h"
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

void OlpSolveScoreGroup(const OlpSolveSystem* s, uint32_t g)
{
    float score = -std::numeric_limits<float>::infinity();
    for (uint32_t i = g * 4; i < g * 4 + 4; ++i) {
        float r = s->residuals[i];
        score = std::fmax(score, std::fmax(s->mayDecrease[i] * r, -(s->mayIncrease[i] * r)));
    }
    s->groupScores[g] = score;
}

int32_t OlpSolveBestGroup(const float* scores, uint32_t first, uint32_t count, float tolerance)
{
    float best = tolerance;
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

uint32_t OlpSolvePlaceCouplings(const int32_t (*groupParts)[2], uint32_t groupCount,
                                const uint32_t* partGroupCount, uint32_t partCount, uint32_t largest,
                                uint32_t room, uint32_t* partCoupled, uint32_t* groupCouplingFirst)
{
    uint32_t taken = 0;
    for (uint32_t p = 0; p < partCount; ++p) {
        const uint32_t k = partGroupCount[p];
        partCoupled[p] = k > 0 && k <= largest && k * k <= room - taken ? 1 : 0;
        taken += partCoupled[p] != 0 ? k * k : 0;
    }
    uint32_t placed = 0;
    for (uint32_t g = 0; g < groupCount; ++g) {
        uint32_t need = 0;
        for (uint32_t e = 0; e < 2; ++e) {
            const int32_t p = groupParts[g][e];
            need += p >= 0 && partCoupled[p] != 0 ? partGroupCount[p] : 0;
        }
        groupCouplingFirst[g] = need > 0 ? placed : kOlpSolveUncoupled;
        placed += need;
    }
    return placed;
}

void OlpSolveCoupleGroup(OlpSolveSystem* s, uint32_t g)
{
    float* columns = s->couplings[s->groupCouplingFirst[g]].c;
    OlpSolveListCouplings(s, g, [&](uint32_t width, uint32_t index, uint32_t e, uint32_t h, int32_t end) {
        const OlpSolveBlock& moved = s->blocks[g][e];
        const OlpSolveBlock& other = s->blocks[h][end];
        for (uint32_t l = 0; l < 4; ++l) {
            for (uint32_t m = 0; m < 4; ++m) {
                float sum = other.c[m] * moved.c[l];
                for (uint32_t c = 1; c < 6; ++c) {
                    sum = sum + other.c[c * 4 + m] * moved.c[c * 4 + l];
                }
                columns[(l * width + index) * 4 + m] = sum;
            }
        }
    });
}

namespace {

/// The effect of moving lane `lane` of group g by `delta` on the groups of
/// the part of its end e, through the dot products.
void PropagateByDots(OlpSolveSystem* s, uint32_t g, uint32_t e, uint32_t lane, float delta)
{
    auto p = static_cast<uint32_t>(s->groupParts[g][e]);
    const uint32_t* entries = s->adjacency + s->partGroupFirst[p];
    const OlpSolveBlock& moved = s->blocks[g][e];
    float w[6];
    for (uint32_t c = 0; c < 6; ++c) {
        w[c] = moved.c[c * 4 + lane] * delta;
    }
    for (uint32_t j = 0; j < s->partGroupCount[p]; ++j) {
        uint32_t entry = entries[j];
        uint32_t other = entry >> 1;
        const OlpSolveBlock& b = s->blocks[other][entry & 1];
        for (uint32_t l = 0; l < 4; ++l) {
            s->residuals[other * 4 + l] = s->residuals[other * 4 + l] + LaneDot(b, l, w);
        }
        OlpSolveScoreGroup(s, other);
    }
}

} // namespace

void OlpSolvePropagate(OlpSolveSystem* s, uint32_t row, float delta)
{
    const uint32_t g = row / 4, lane = row % 4;
    const OlpSolveRoutes routes = OlpSolveRoutesOf(s, g);
    if (routes.byDots[0]) {
        PropagateByDots(s, g, 0, lane, delta);
    }
    if (routes.listed) {
        if (s->groupCouplingCount[g] == 0) {
            OlpSolveCoupleGroup(s, g);
        }
        const uint32_t first = s->groupCouplingFirst[g];
        const uint32_t n = s->groupCouplingCount[g], shared = s->groupCouplingShared[g];
        const float* column = s->couplings[first].c + lane * (n + shared) * 4;
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t other = s->couplingGroups[first + k];
            const uint32_t twice = k < shared ? 1 : 0;
            const float* by = column + (k + (twice != 0 ? k : shared)) * 4;
            for (uint32_t m = 0; m < 4; ++m) {
                float r = s->residuals[other * 4 + m] + by[m] * delta;
                s->residuals[other * 4 + m] = twice != 0 ? r + by[4 + m] * delta : r;
            }
            OlpSolveScoreGroup(s, other);
        }
    }
    if (routes.byDots[1]) {
        PropagateByDots(s, g, 1, lane, delta);
    }
    s->residuals[row] = s->residuals[row] + s->diagonal[row] * delta;
    OlpSolveScoreGroup(s, g);
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
    OlpGroupScoresRead<OlpSolveScoreGroup>(s, first, count);
    while (gState.iteration < limit) {
        int32_t row =
            OlpGroupScoresPick<OlpSolveFindViolation, OlpSolveBestGroup>(s, first, count, tolerance);
        if (row < 0) {
            break;
        }
        float delta = OlpSolvePivot(s, static_cast<uint32_t>(row));
        OlpSolvePropagate(s, static_cast<uint32_t>(row), delta);
        ++gState.iteration;
    }
    return gState.iteration;
}

namespace {

/// The lowest and highest part of groups [first, first + count). Blocks of
/// different islands have ranges apart (an island's parts are numbered
/// together); pieces of one split island may not.
void PartRange(const OlpSolveSystem* s, uint32_t first, uint32_t count, int32_t* low, int32_t* high)
{
    *low = INT32_MAX;
    *high = -1;
    for (uint32_t g = first; g < first + count; ++g) {
        for (int32_t p : s->groupParts[g]) {
            if (p >= 0) {
                *low = p < *low ? p : *low;
                *high = p > *high ? p : *high;
            }
        }
    }
}

} // namespace

void OlpSolveCommon(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit, float tolerance,
                    int32_t mode, OlpSolveKernel kernel)
{
    OlpSolvePass(system, blocks, limit, tolerance, mode, kernel, nullptr);
}

void OlpSolvePass(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit, float tolerance,
                  int32_t mode, OlpSolveKernel kernel, const OlpSolvePairing* pairing)
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
    // Block b's budget from the pool and the weight left before it.
    auto budgetOf = [&](uint32_t b, int64_t poolBefore, uint64_t weightLeft) {
        if (mode != kOlpSolveProportional) {
            return limit;
        }
        const int64_t p = poolBefore + minimum;
        if (rows == 0) {
            return 0u;
        }
        if (weightLeft == 0) {
            return static_cast<uint32_t>(p);
        }
        return minimum + static_cast<uint32_t>(static_cast<uint64_t>(blocks->weights[b]) *
                                               static_cast<uint64_t>(p - minimum) / weightLeft);
    };
    // Block b spent `used` of its budget.
    auto settle = [&](uint32_t b, uint32_t used) {
        blocks->iterations[b] = used;
        if (mode == kOlpSolveProportional) {
            pool += minimum;
        }
        pool = pool - used > 0 ? pool - used : 0;
        remaining -= blocks->weights[b];
    };
    // Blocks go together while they share no part (a move of one then
    // reaches no group of another), up to kOlpSolveTogether of them: each
    // starts with the budget it gets when those before it spend all of
    // theirs, and goes on, once their moves are known, to its own.
    const uint32_t together = pairing != nullptr ? kOlpSolveTogether : 1;
    uint32_t group = 0;
    for (uint32_t b = 0; b < n;) {
        OlpSolveRun runs[kOlpSolveTogether];
        int32_t low[kOlpSolveTogether], high[kOlpSolveTogether];
        int64_t poolIfSpent = pool;
        uint64_t weightLeft = remaining;
        uint32_t k = 0;
        for (; k < together && b + k < n; ++k) {
            const uint32_t count = blocks->rows[b + k] / 4;
            if (together > 1) {
                PartRange(system, group, count, &low[k], &high[k]);
                bool apart = true;
                for (uint32_t j = 0; j < k; ++j) {
                    apart = apart && (high[j] < low[k] || high[k] < low[j]);
                }
                if (!apart) {
                    break;
                }
            }
            const uint32_t budget = budgetOf(b + k, poolIfSpent, weightLeft);
            runs[k] = {group, count, budget, 0, false};
            const int64_t poolNow = mode == kOlpSolveProportional ? poolIfSpent + minimum : poolIfSpent;
            poolIfSpent = poolNow - budget > 0 ? poolNow - budget : 0;
            weightLeft -= blocks->weights[b + k];
            group += count;
        }
        if (k == 1) {
            gState.blockLimit = runs[0].limit;
            settle(b, kernel(system, runs[0].first, runs[0].count, runs[0].limit, tolerance));
            ++b;
            continue;
        }
        for (uint32_t j = 0; j < k; ++j) {
            pairing->start(system, &runs[j]);
        }
        pairing->moves(system, runs, k, tolerance);
        for (uint32_t j = 0; j < k; ++j, ++b) {
            runs[j].limit = budgetOf(b, pool, remaining);
            gState.blockLimit = runs[j].limit;
            pairing->moves(system, &runs[j], 1, tolerance);
            gState.iteration = runs[j].used;
            settle(b, runs[j].used);
        }
    }
}
