// The four-wide kernels: a row group is one vector. They make the same
// moves as the scalar kernels, in the same order and with the same
// arithmetic, so the results agree; without SSE they are the scalar ones.
#include "physics/core/solver/kernels.h"

#include <bit>

#include "physics/core/dyn/dyn.h"
#include "physics/core/solver/couplinglist.h"
#include "physics/core/solver/violationscores.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#include <xmmintrin.h>

namespace {

/// Block b's four lanes against the 6-vector w, summed in column order.
__m128 GroupDot(const OlpSolveBlock& b, const float w[6])
{
    __m128 s = _mm_mul_ps(_mm_load_ps(b.c), _mm_set1_ps(w[0]));
    for (uint32_t c = 1; c < 6; ++c) {
        s = _mm_add_ps(s, _mm_mul_ps(_mm_load_ps(b.c + c * 4), _mm_set1_ps(w[c])));
    }
    return s;
}

/// The lanes of v in the order `order` (_MM_SHUFFLE).
template <int order> __m128 Turn(__m128 v)
{
    return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(v), order));
}

/// All ones in lane `lane`, zeros in the others.
__m128 LaneMask(uint32_t lane)
{
    alignas(16) static const uint32_t kMasks[4][4] = {
        {~0u, 0, 0, 0}, {0, ~0u, 0, 0}, {0, 0, ~0u, 0}, {0, 0, 0, ~0u}};
    return _mm_load_ps(reinterpret_cast<const float*>(kMasks[lane]));
}

/// Per lane of a group, how far the row reaches past its bounds: r where
/// it may decrease, -r where it may increase (violationscores.h).
__m128 Reach(__m128 r, const float* mayDecrease, const float* mayIncrease)
{
    const __m128 signBits = _mm_set1_ps(-0.0f);
    return _mm_max_ps(_mm_mul_ps(_mm_load_ps(mayDecrease), r),
                      _mm_mul_ps(_mm_load_ps(mayIncrease), _mm_xor_ps(r, signBits)));
}

/// A group's score (violationscores.h) in every lane: the largest reach of
/// its lanes.
__m128 GroupScore(__m128 r, const float* mayDecrease, const float* mayIncrease)
{
    __m128 reach = Reach(r, mayDecrease, mayIncrease);
    // The lanes turned round with an integer shuffle: it writes a new
    // register, so no copy goes before it.
    reach = _mm_max_ps(reach, Turn<_MM_SHUFFLE(1, 0, 3, 2)>(reach));
    return _mm_max_ps(reach, Turn<_MM_SHUFFLE(2, 3, 0, 1)>(reach));
}

/// The most violated row of a group whose score is above the tolerance,
/// as its row index and as a one-lane mask.
struct Violation
{
    uint32_t row;
    __m128 lane;
};

/// The first lane whose reach is the group's score: the row a scan of the
/// group picks (a lane reaching that far is violated, its |residual| the
/// score, and the scan keeps the first of the largest). The mask is made
/// from the compare by shifts, not from the row: the pivot needs it first.
Violation GroupViolation(const OlpSolveSystem* s, uint32_t g)
{
    const uint32_t i = g * 4;
    const __m128i hits = _mm_castps_si128(
        _mm_cmpeq_ps(Reach(_mm_load_ps(s->residuals + i), s->mayDecrease + i, s->mayIncrease + i),
                     _mm_set1_ps(s->groupScores[g])));
    const __m128i before = _mm_or_si128(_mm_or_si128(_mm_slli_si128(hits, 4), _mm_slli_si128(hits, 8)),
                                        _mm_slli_si128(hits, 12));
    const auto lanes = static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(hits)));
    return {i + static_cast<uint32_t>(std::countr_zero(lanes)),
            _mm_castsi128_ps(_mm_andnot_si128(before, hits))};
}

/// Moves the row of group g in the lane `lane` marks as OlpSolvePivot does
/// (the other lanes keep their values and flags, stored back whole); its
/// change in every lane. The group's loads wait only for g, not for the
/// lane.
__m128 PivotLane(OlpSolveSystem* s, uint32_t g, __m128 lane)
{
    const uint32_t i = g * 4;
    const __m128 old = _mm_load_ps(s->values + i);
    const __m128 lower = _mm_load_ps(s->lower + i), upper = _mm_load_ps(s->upper + i);
    __m128 value = _mm_sub_ps(old, _mm_load_ps(s->residuals + i));
    value = _mm_min_ps(_mm_max_ps(value, lower), upper);
    auto merge = [lane](__m128 moved, __m128 kept) {
        return _mm_or_ps(_mm_and_ps(lane, moved), _mm_andnot_ps(lane, kept));
    };
    const __m128 one = _mm_set1_ps(1.0f);
    _mm_store_ps(s->mayDecrease + i,
                 merge(_mm_and_ps(_mm_cmpneq_ps(value, lower), one), _mm_load_ps(s->mayDecrease + i)));
    _mm_store_ps(s->mayIncrease + i,
                 merge(_mm_and_ps(_mm_cmpneq_ps(value, upper), one), _mm_load_ps(s->mayIncrease + i)));
    _mm_store_ps(s->values + i, merge(value, old));
    // The change in its lane, zero bits in the others: or-ed across, the
    // lanes take its bits exactly.
    __m128 change = _mm_and_ps(lane, _mm_sub_ps(value, old));
    change = _mm_or_ps(change, Turn<_MM_SHUFFLE(1, 0, 3, 2)>(change));
    return _mm_or_ps(change, Turn<_MM_SHUFFLE(2, 3, 0, 1)>(change));
}

} // namespace

void OlpSolveSseA(const OlpSolveSetup* s)
{
    for (uint32_t g = 0; g < s->groupCount; ++g) {
        _mm_store_ps(s->accumulators + g * 4, _mm_setzero_ps());
    }
    for (uint32_t p = 0; p < s->partCount; ++p) {
        const OlpDynMotion& m = s->velocities[p];
        float v[6] = {m.linear.x, m.linear.y, m.linear.z, m.angular.x, m.angular.y, m.angular.z};
        const float* im = s->inverseMass[p];
        __m128 rootMass = _mm_set1_ps(im[3]);
        for (uint32_t k = 0; k < s->partGroupCount[p]; ++k) {
            uint32_t entry = s->adjacency[s->partGroupFirst[p] + k];
            uint32_t g = entry >> 1;
            OlpSolveBlock& b = s->blocks[g][entry & 1];
            float* acc = s->accumulators + g * 4;
            _mm_store_ps(acc, _mm_add_ps(_mm_load_ps(acc), GroupDot(b, v)));
            for (uint32_t c = 0; c < 3; ++c) {
                _mm_store_ps(b.c + c * 4, _mm_mul_ps(_mm_load_ps(b.c + c * 4), rootMass));
            }
            __m128 a0 = _mm_load_ps(b.c + 12), a1 = _mm_load_ps(b.c + 16), a2 = _mm_load_ps(b.c + 20);
            for (uint32_t r = 0; r < 3; ++r) {
                __m128 x = _mm_mul_ps(_mm_set1_ps(im[r * 4]), a0);
                x = _mm_add_ps(x, _mm_mul_ps(_mm_set1_ps(im[r * 4 + 1]), a1));
                x = _mm_add_ps(x, _mm_mul_ps(_mm_set1_ps(im[r * 4 + 2]), a2));
                _mm_store_ps(b.c + (3 + r) * 4, x);
            }
        }
    }
    __m128 h = _mm_set1_ps(s->step);
    for (uint32_t g = 0; g < s->groupCount; ++g) {
        uint32_t i = g * 4;
        __m128 rhs = _mm_sub_ps(_mm_load_ps(s->a + i),
                                _mm_div_ps(_mm_mul_ps(_mm_load_ps(s->b + i), _mm_load_ps(s->c + i)), h));
        _mm_store_ps(s->residuals + i, _mm_sub_ps(_mm_load_ps(s->accumulators + i), _mm_div_ps(rhs, h)));
    }
}

int32_t OlpSolveFindViolationSse(const OlpSolveSystem* s, uint32_t first, uint32_t count, float tolerance)
{
    const __m128 signBits = _mm_set1_ps(-0.0f);
    float t = tolerance;
    int32_t best = -1;
    for (uint32_t g = first; g < first + count; ++g) {
        __m128 r = _mm_load_ps(s->residuals + g * 4);
        __m128 up = _mm_set1_ps(t);
        __m128 candidate = _mm_or_ps(_mm_cmpgt_ps(_mm_mul_ps(_mm_load_ps(s->mayDecrease + g * 4), r), up),
                                     _mm_cmplt_ps(_mm_mul_ps(_mm_load_ps(s->mayIncrease + g * 4), r),
                                                  _mm_sub_ps(_mm_setzero_ps(), up)));
        if (_mm_movemask_ps(candidate) == 0) {
            continue;
        }
        // A candidate's |r| exceeds t: take the largest, the first on ties.
        alignas(16) float size[4];
        _mm_store_ps(size, _mm_and_ps(candidate, _mm_andnot_ps(signBits, r)));
        for (uint32_t l = 0; l < 4; ++l) {
            if (size[l] > t) {
                t = size[l];
                best = static_cast<int32_t>(g * 4 + l);
            }
        }
    }
    return best;
}

void OlpSolveScoreGroupSse(const OlpSolveSystem* s, uint32_t g)
{
    _mm_store_ss(s->groupScores + g, GroupScore(_mm_load_ps(s->residuals + g * 4), s->mayDecrease + g * 4,
                                                s->mayIncrease + g * 4));
}

int32_t OlpSolveBestGroupSse(const float* scores, uint32_t first, uint32_t count, float tolerance)
{
    constexpr uint32_t kChunk = 16, kRun = 64;
    if (count < kChunk) {
        return OlpSolveBestGroup(scores, first, count, tolerance);
    }
    // One pass over the scores in chunks of sixteen groups (the last one
    // ending at the block's end, over part of the one before: that changes
    // no maximum, and a group in both is found in the earlier), each
    // chunk's four-lane maximum kept: the first chunk holding the highest
    // then holds the first group of it, and only that chunk is read again.
    // The maxima are kept for 64 chunks at a time; a later run of chunks
    // takes the place only with a higher score.
    const float* at = scores + first;
    __m128 highs[kRun];
    float best = tolerance;
    uint32_t bestFrom = 0;
    for (uint32_t from = 0; from < count; from += kChunk * kRun) {
        const uint32_t to = count - from < kChunk * kRun ? count : from + kChunk * kRun;
        __m128 top = _mm_set1_ps(tolerance);
        uint32_t chunks = 0;
        for (uint32_t g = from; g < to; g += kChunk) {
            const float* chunk = at + (g + kChunk <= count ? g : count - kChunk);
            __m128 high = _mm_max_ps(_mm_max_ps(_mm_loadu_ps(chunk), _mm_loadu_ps(chunk + 4)),
                                     _mm_max_ps(_mm_loadu_ps(chunk + 8), _mm_loadu_ps(chunk + 12)));
            highs[chunks++] = high;
            top = _mm_max_ps(top, high);
        }
        top = _mm_max_ps(top, Turn<_MM_SHUFFLE(1, 0, 3, 2)>(top));
        top = _mm_max_ps(top, Turn<_MM_SHUFFLE(2, 3, 0, 1)>(top));
        const float runBest = _mm_cvtss_f32(top);
        if (runBest > best) {
            best = runBest;
            const __m128 wanted = _mm_set1_ps(best);
            uint32_t c = 0;
            while (_mm_movemask_ps(_mm_cmpeq_ps(highs[c], wanted)) == 0) {
                ++c;
            }
            bestFrom = from + c * kChunk + kChunk <= count ? from + c * kChunk : count - kChunk;
        }
    }
    if (!(best > tolerance)) {
        return -1;
    }
    const __m128 wanted = _mm_set1_ps(best);
    uint32_t hits = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        hits |=
            static_cast<uint32_t>(_mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(at + bestFrom + 4 * k), wanted)))
            << (4 * k);
    }
    return static_cast<int32_t>(first + bestFrom + static_cast<uint32_t>(std::countr_zero(hits)));
}

float OlpSolvePivotSse(OlpSolveSystem* s, uint32_t row)
{
    return _mm_cvtss_f32(PivotLane(s, row / 4, LaneMask(row % 4)));
}

namespace {

/// The coupling column of lane `lane` of the moved block m (its six
/// columns) against the block `other`, summed in column order; the lane
/// spread from the loaded column rather than loaded on its own.
template <int lane> void CouplingColumn(const __m128 m[6], const float* other, float* column)
{
    constexpr int spread = _MM_SHUFFLE(lane, lane, lane, lane);
    __m128 sum = _mm_mul_ps(_mm_load_ps(other), Turn<spread>(m[0]));
    for (uint32_t c = 1; c < 6; ++c) {
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_load_ps(other + c * 4), Turn<spread>(m[c])));
    }
    _mm_store_ps(column, sum);
}

} // namespace

void OlpSolveCoupleGroupSse(OlpSolveSystem* s, uint32_t g)
{
    float* columns = s->couplings[s->groupCouplingFirst[g]].c;
    OlpSolveListCouplings(s, g, [&](uint32_t width, uint32_t index, uint32_t e, uint32_t h, int32_t end) {
        const float* moved = s->blocks[g][e].c;
        const float* other = s->blocks[h][end].c;
        __m128 m[6];
        for (uint32_t c = 0; c < 6; ++c) {
            m[c] = _mm_load_ps(moved + c * 4);
        }
        CouplingColumn<0>(m, other, columns + index * 4);
        CouplingColumn<1>(m, other, columns + (width + index) * 4);
        CouplingColumn<2>(m, other, columns + (2 * width + index) * 4);
        CouplingColumn<3>(m, other, columns + (3 * width + index) * 4);
    });
}

namespace {

/// The effect of moving lane `lane` of group g by `delta` on the groups of
/// the part of its end e, through the dot products.
void PropagateByDots(OlpSolveSystem* s, uint32_t g, uint32_t e, uint32_t lane, float delta)
{
    float* residuals = s->residuals;
    const OlpSolveBlock* allBlocks = s->blocks[0];
    auto p = static_cast<uint32_t>(s->groupParts[g][e]);
    const uint32_t* entries = s->adjacency + s->partGroupFirst[p];
    const uint32_t count = s->partGroupCount[p];
    const OlpSolveBlock& moved = s->blocks[g][e];
    __m128 w[6];
    for (uint32_t c = 0; c < 6; ++c) {
        w[c] = _mm_set1_ps(moved.c[c * 4 + lane] * delta);
    }
    for (uint32_t k = 0; k < count; ++k) {
        // An entry (group x 2 + end) is also the block's place among all
        // blocks.
        const uint32_t other = entries[k] >> 1;
        const float* b = allBlocks[entries[k]].c;
        __m128 dot = _mm_mul_ps(_mm_load_ps(b), w[0]);
        for (uint32_t c = 1; c < 6; ++c) {
            dot = _mm_add_ps(dot, _mm_mul_ps(_mm_load_ps(b + c * 4), w[c]));
        }
        __m128 r = _mm_add_ps(_mm_load_ps(residuals + other * 4), dot);
        _mm_store_ps(residuals + other * 4, r);
        _mm_store_ss(s->groupScores + other,
                     GroupScore(r, s->mayDecrease + other * 4, s->mayIncrease + other * 4));
    }
}

/// OlpSolvePropagateSse, inlined into the solve kernel's loop.
[[gnu::always_inline]] inline void Propagate(OlpSolveSystem* s, uint32_t row, float delta)
{
    // The arrays in locals: the stores to the residuals cannot then be
    // taken to change them.
    float* residuals = s->residuals;
    float* scores = s->groupScores;
    const float* mayDecrease = s->mayDecrease;
    const float* mayIncrease = s->mayIncrease;
    const uint32_t g = row / 4, lane = row % 4;
    const OlpSolveRoutes routes = OlpSolveRoutesOf(s, g);
    if (routes.byDots[0]) {
        PropagateByDots(s, g, 0, lane, delta);
    }
    if (routes.listed) {
        if (s->groupCouplingCount[g] == 0) {
            OlpSolveCoupleGroupSse(s, g);
        }
        const uint32_t first = s->groupCouplingFirst[g];
        const uint32_t n = s->groupCouplingCount[g], shared = s->groupCouplingShared[g];
        const float* column = s->couplings[first].c + lane * (n + shared) * 4;
        const uint32_t* groups = s->couplingGroups + first;
        const __m128 change = _mm_set1_ps(delta);
        // The groups on both parts: through the part of end 0, then of end 1.
        uint32_t k = 0;
        for (; k < shared; ++k, column += 8) {
            const uint32_t other = groups[k];
            __m128 r =
                _mm_add_ps(_mm_load_ps(residuals + other * 4), _mm_mul_ps(_mm_load_ps(column), change));
            r = _mm_add_ps(r, _mm_mul_ps(_mm_load_ps(column + 4), change));
            _mm_store_ps(residuals + other * 4, r);
            _mm_store_ss(scores + other, GroupScore(r, mayDecrease + other * 4, mayIncrease + other * 4));
        }
        for (; k < n; ++k, column += 4) {
            const uint32_t other = groups[k];
            __m128 r =
                _mm_add_ps(_mm_load_ps(residuals + other * 4), _mm_mul_ps(_mm_load_ps(column), change));
            _mm_store_ps(residuals + other * 4, r);
            _mm_store_ss(scores + other, GroupScore(r, mayDecrease + other * 4, mayIncrease + other * 4));
        }
    }
    if (routes.byDots[1]) {
        PropagateByDots(s, g, 1, lane, delta);
    }
    // The own term on the moved lane, added to the whole group with -0 in
    // the other lanes (x + -0 is x): a one-lane store before the group's
    // load would stall the load.
    const __m128 own = _mm_set1_ps(s->diagonal[row] * delta);
    const __m128 moved = LaneMask(lane);
    const __m128 add = _mm_or_ps(_mm_and_ps(moved, own), _mm_andnot_ps(moved, _mm_set1_ps(-0.0f)));
    const __m128 r = _mm_add_ps(_mm_load_ps(residuals + g * 4), add);
    _mm_store_ps(residuals + g * 4, r);
    _mm_store_ss(scores + g, GroupScore(r, mayDecrease + g * 4, mayIncrease + g * 4));
}

} // namespace

void OlpSolvePropagateSse(OlpSolveSystem* s, uint32_t row, float delta)
{
    Propagate(s, row, delta);
}

namespace {

void Start(OlpSolveSystem* s, OlpSolveRun* run)
{
    const __m128 one = _mm_set1_ps(1.0f);
    for (uint32_t g = run->first; g < run->first + run->count; ++g) {
        uint32_t i = g * 4;
        __m128 v = _mm_load_ps(s->input + i);
        _mm_store_ps(s->values + i, v);
        _mm_store_ps(s->mayDecrease + i, _mm_and_ps(_mm_cmpneq_ps(v, _mm_load_ps(s->lower + i)), one));
        _mm_store_ps(s->mayIncrease + i, _mm_and_ps(_mm_cmpneq_ps(v, _mm_load_ps(s->upper + i)), one));
    }
    OlpGroupScoresRead<OlpSolveScoreGroupSse>(s, run->first, run->count);
    run->used = 0;
    run->solved = false;
}

/// The group of the run's most violated row (violationscores.h), or -1.
int32_t BestGroup(const OlpSolveSystem* s, const OlpSolveRun* run, float tolerance)
{
    return OlpSolveBestGroupSse(s->groupScores, run->first, run->count, tolerance);
}

/// One move of the run's block, while it has moves left.
[[gnu::always_inline]] inline void Move(OlpSolveSystem* s, OlpSolveRun* run, float tolerance)
{
    const int32_t g = BestGroup(s, run, tolerance);
    if (g < 0) {
        run->solved = true;
        return;
    }
    const Violation v = GroupViolation(s, static_cast<uint32_t>(g));
    Propagate(s, v.row, _mm_cvtss_f32(PivotLane(s, static_cast<uint32_t>(g), v.lane)));
    ++run->used;
}

bool HasMoves(const OlpSolveRun* run)
{
    return !run->solved && run->used < run->limit;
}

/// The moves of two runs while both have moves left, step by step side by
/// side: both picks, both pivots, both propagations. The processor sees
/// less than one move ahead, so moves one after the other would overlap
/// only where they meet. Returns with one run (or both) out of moves or
/// solved; the runs share no part, so the order makes the same moves.
void MovesSideBySide(OlpSolveSystem* s, OlpSolveRun* runs, float tolerance)
{
    while (HasMoves(&runs[0]) && HasMoves(&runs[1])) {
        const int32_t gs[2] = {BestGroup(s, &runs[0], tolerance), BestGroup(s, &runs[1], tolerance)};
        if (gs[0] < 0 || gs[1] < 0) {
            // The other run, if not solved, picks the same row again.
            runs[0].solved = gs[0] < 0;
            runs[1].solved = gs[1] < 0;
            return;
        }
        const auto g0 = static_cast<uint32_t>(gs[0]), g1 = static_cast<uint32_t>(gs[1]);
        const Violation v0 = GroupViolation(s, g0), v1 = GroupViolation(s, g1);
        const float delta0 = _mm_cvtss_f32(PivotLane(s, g0, v0.lane));
        const float delta1 = _mm_cvtss_f32(PivotLane(s, g1, v1.lane));
        Propagate(s, v0.row, delta0);
        Propagate(s, v1.row, delta1);
        ++runs[0].used;
        ++runs[1].used;
    }
}

void Moves(OlpSolveSystem* s, OlpSolveRun* runs, uint32_t count, float tolerance)
{
    if (count == 2) {
        MovesSideBySide(s, runs, tolerance);
    }
    for (bool any = true; any;) {
        any = false;
        for (uint32_t i = 0; i < count; ++i) {
            if (HasMoves(&runs[i])) {
                Move(s, &runs[i], tolerance);
                any = true;
            }
        }
    }
}

} // namespace

const OlpSolvePairing* OlpSolveSsePairing()
{
    static const OlpSolvePairing pairing = {Start, Moves};
    return &pairing;
}

uint32_t OlpSolveSseB(OlpSolveSystem* s, uint32_t first, uint32_t count, uint32_t limit, float tolerance)
{
    OlpSolveRun run = {first, count, limit, 0, false};
    Start(s, &run);
    Moves(s, &run, 1, tolerance);
    OlpSolveGetState()->iteration = run.used;
    return run.used;
}

#else

void OlpSolveSseA(const OlpSolveSetup* setup)
{
    OlpSolveScalarA(setup);
}
int32_t OlpSolveFindViolationSse(const OlpSolveSystem* s, uint32_t first, uint32_t count, float tolerance)
{
    return OlpSolveFindViolation(s, first, count, tolerance);
}
void OlpSolveScoreGroupSse(const OlpSolveSystem* s, uint32_t g)
{
    OlpSolveScoreGroup(s, g);
}
int32_t OlpSolveBestGroupSse(const float* scores, uint32_t first, uint32_t count, float tolerance)
{
    return OlpSolveBestGroup(scores, first, count, tolerance);
}
float OlpSolvePivotSse(OlpSolveSystem* s, uint32_t row)
{
    return OlpSolvePivot(s, row);
}
void OlpSolveCoupleGroupSse(OlpSolveSystem* s, uint32_t g)
{
    OlpSolveCoupleGroup(s, g);
}
void OlpSolvePropagateSse(OlpSolveSystem* s, uint32_t row, float delta)
{
    OlpSolvePropagate(s, row, delta);
}
uint32_t OlpSolveSseB(OlpSolveSystem* s, uint32_t first, uint32_t count, uint32_t limit, float tolerance)
{
    return OlpSolveScalarB(s, first, count, limit, tolerance);
}
const OlpSolvePairing* OlpSolveSsePairing()
{
    return nullptr;
}

#endif
