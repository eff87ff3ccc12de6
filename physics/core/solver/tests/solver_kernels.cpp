#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "physics/core/dyn/dyn.h"
#include "physics/core/solver/kernels.h"

namespace {

/// A random bounded system over `parts` parts: `groups` row groups, set up
/// with unit masses and random velocities. With `islandGroups`, each run of
/// that many groups is an island on parts of its own.
struct RandomSystem
{
    RandomSystem(uint32_t seed, uint32_t groups, uint32_t parts, uint32_t islandGroups = 0)
        : parts_(groups), blocks(groups), lanes(groups * 4), velocities(parts), inverseMass(parts),
          scores(groups)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int32_t> pick(-1, static_cast<int32_t>(parts) - 1);
        for (uint32_t g = 0; g < groups; ++g) {
            int32_t a = pick(rng), b = pick(rng);
            a = a < 0 ? 0 : a;
            if (islandGroups > 0) {
                const auto own = static_cast<int32_t>(parts / (groups / islandGroups));
                const auto base = static_cast<int32_t>(g / islandGroups) * own;
                a = base + a % own;
                b = b < 0 ? -1 : base + b % own;
            }
            parts_[g][0] = a;
            parts_[g][1] = b == a ? -1 : b;
            for (int e = 0; e < 2; ++e) {
                for (float& c : blocks[g][e].c) {
                    c = parts_[g][e] >= 0 ? u(rng) * 0.5f : 0.0f;
                }
            }
        }
        for (uint32_t i = 0; i < groups * 4; ++i) {
            lower.push_back(u(rng) < 0.0f ? 0.0f : -std::fabs(u(rng)) * 2.0f);
            upper.push_back(std::fabs(u(rng)) * 2.0f);
            diagonal.push_back(1.0f);
            a.push_back(u(rng));
            zero.push_back(0.0f);
        }
        for (uint32_t p = 0; p < parts; ++p) {
            velocities[p] = {{u(rng), u(rng), u(rng)}, 0, {u(rng), u(rng), u(rng)}, 0};
            for (float& m : inverseMass[p]) {
                m = 0.0f;
            }
            inverseMass[p][0] = inverseMass[p][5] = inverseMass[p][10] = inverseMass[p][3] = 1.0f;
        }
        // Adjacency.
        count.assign(parts, 0);
        first.assign(parts, 0);
        for (uint32_t g = 0; g < groups; ++g) {
            for (int e = 0; e < 2; ++e) {
                if (parts_[g][e] >= 0) {
                    ++count[parts_[g][e]];
                }
            }
        }
        for (uint32_t p = 1; p < parts; ++p) {
            first[p] = first[p - 1] + count[p - 1];
        }
        adjacency.assign(2 * groups, 0);
        std::vector<uint32_t> fill(parts, 0);
        for (uint32_t g = 0; g < groups; ++g) {
            for (uint32_t e = 0; e < 2; ++e) {
                int32_t p = parts_[g][e];
                if (p >= 0) {
                    adjacency[first[p] + fill[p]++] = g * 2 + e;
                }
            }
        }
        values = residuals = mayDecrease = mayIncrease = accumulators = zero;
    }

    OlpSolveSystem System()
    {
        return {static_cast<uint32_t>(parts_.size()),
                parts_.data(),
                blocks.data(),
                values.data(),
                residuals.data(),
                lower.data(),
                upper.data(),
                mayDecrease.data(),
                mayIncrease.data(),
                diagonal.data(),
                zero.data(),
                count.data(),
                first.data(),
                adjacency.data(),
                scores.data(),
                couplings.empty() ? nullptr : couplings.data(),
                partCoupled.data(),
                couplingFirst.data(),
                coupled.data(),
                shared.data(),
                couplingGroups.data()};
    }
    /// Coupling lists through the parts of at most `largest` groups, within
    /// `room` couplings.
    void Couple(uint32_t largest, uint32_t room)
    {
        couplings.resize(room);
        couplingGroups.resize(room);
        partCoupled.resize(count.size());
        couplingFirst.resize(parts_.size());
        coupled.assign(parts_.size(), 0);
        shared.assign(parts_.size(), 0);
        OlpSolvePlaceCouplings(parts_.data(), static_cast<uint32_t>(parts_.size()), count.data(),
                               static_cast<uint32_t>(count.size()), largest, room, partCoupled.data(),
                               couplingFirst.data());
    }
    void Setup(bool sse)
    {
        OlpSolveSetup s = {static_cast<uint32_t>(parts_.size()),
                           accumulators.data(),
                           blocks.data(),
                           parts_.data(),
                           static_cast<uint32_t>(velocities.size()),
                           count.data(),
                           first.data(),
                           adjacency.data(),
                           velocities.data(),
                           inverseMass.data(),
                           a.data(),
                           zero.data(),
                           zero.data(),
                           1.0f,
                           residuals.data()};
        sse ? OlpSolveSseA(&s) : OlpSolveScalarA(&s);
        // Pivots assume a unit diagonal: D = 1 - |J_i|^2 may be negative, so
        // scale the blocks to keep |J_i|^2 <= 1 and use D as the rest.
        for (uint32_t i = 0; i < lanes; ++i) {
            float sum = 0.0f;
            for (int e = 0; e < 2; ++e) {
                for (int c = 0; c < 6; ++c) {
                    float x = blocks[i / 4][e].c[c * 4 + i % 4];
                    sum += x * x;
                }
            }
            diagonal[i] = 1.0f - sum;
        }
    }

    /// Largest violation of A x - rhs against the bounds (complementarity).
    float Violation()
    {
        float worst = 0.0f;
        for (uint32_t i = 0; i < lanes; ++i) {
            float r = residuals[i], x = values[i];
            if (x > lower[i] + 1e-6f) {
                worst = std::fmax(worst, r);
            }
            if (x < upper[i] - 1e-6f) {
                worst = std::fmax(worst, -r);
            }
            worst = std::fmax(worst, std::fmax(lower[i] - x, x - upper[i]));
        }
        return worst;
    }

    std::vector<int32_t[2]> parts_;
    std::vector<OlpSolveBlock[2]> blocks;
    uint32_t lanes;
    std::vector<OlpDynMotion> velocities;
    std::vector<float[12]> inverseMass;
    std::vector<float> lower, upper, diagonal, a, zero, values, residuals, mayDecrease, mayIncrease,
        accumulators;
    std::vector<uint32_t> count, first, adjacency;
    std::vector<float> scores;
    std::vector<OlpSolveCoupling> couplings;
    std::vector<uint32_t> partCoupled, couplingFirst, coupled, shared, couplingGroups;
};

TEST(SolverKernels, RandomBoundedSystemsMeetBoundsAndAgree)
{
    for (uint32_t seed = 0; seed < 200; ++seed) {
        RandomSystem scalar(seed, 6, 4), sse(seed, 6, 4);
        scalar.Setup(false);
        sse.Setup(true);
        OlpSolveSystem s1 = scalar.System(), s2 = sse.System();
        uint32_t used1 = OlpSolveScalarB(&s1, 0, 6, 10000, 1e-6f);
        uint32_t used2 = OlpSolveSseB(&s2, 0, 6, 10000, 1e-6f);
        EXPECT_EQ(used1, used2) << seed;
        EXPECT_LT(scalar.Violation(), 1e-4f) << seed;
        for (uint32_t i = 0; i < scalar.lanes; ++i) {
            ASSERT_NEAR(scalar.values[i], sse.values[i], 1e-4f) << seed;
        }
    }
}

/// Residuals of `sys` rebuilt from scratch: the set-up residuals `start`
/// plus A (values - input), A from the mass-scaled blocks and the diagonal.
std::vector<float> Rebuilt(const RandomSystem& sys, const std::vector<float>& start)
{
    std::vector<float> out = start;
    for (uint32_t i = 0; i < sys.lanes; ++i) {
        double sum = start[i] + sys.diagonal[i] * (sys.values[i] - sys.zero[i]);
        for (uint32_t j = 0; j < sys.lanes; ++j) {
            for (uint32_t e = 0; e < 2; ++e) {
                for (uint32_t f = 0; f < 2; ++f) {
                    int32_t p = sys.parts_[i / 4][e];
                    if (p < 0 || p != sys.parts_[j / 4][f]) {
                        continue;
                    }
                    double dot = 0.0;
                    for (uint32_t c = 0; c < 6; ++c) {
                        dot += double{sys.blocks[i / 4][e].c[c * 4 + i % 4]} *
                               sys.blocks[j / 4][f].c[c * 4 + j % 4];
                    }
                    sum += dot * (sys.values[j] - sys.zero[j]);
                }
            }
        }
        out[i] = static_cast<float>(sum);
    }
    return out;
}

// Moves through coupling lists take one multiply-add per group and shared
// part instead of a dot product, a group on both parts of the moved one
// updated once: the residuals must stay A x - rhs whichever parts are
// coupled (all, the first few that fit, none, so that lists and dot
// products mix within one move), and both kernels must still make the same
// moves bit for bit.
TEST(SolverKernels, CouplingListsKeepTheResidualsAndBothKernelsAgree)
{
    struct Case
    {
        uint32_t groups, parts, largest, room;
    };
    const Case cases[] = {
        {6, 4, 64, 1024}, {40, 6, 64, 4096}, {40, 6, 64, 300}, {40, 12, 8, 4096}, {40, 6, 0, 0}};
    for (const Case& c : cases) {
        for (uint32_t seed = 0; seed < 20; ++seed) {
            RandomSystem scalar(seed, c.groups, c.parts), sse(seed, c.groups, c.parts);
            scalar.Setup(false);
            sse.Setup(true);
            scalar.Couple(c.largest, c.room);
            sse.Couple(c.largest, c.room);
            const std::vector<float> start = scalar.residuals;
            OlpSolveSystem s1 = scalar.System(), s2 = sse.System();
            uint32_t used = OlpSolveScalarB(&s1, 0, c.groups, 400, 1e-6f);
            ASSERT_EQ(OlpSolveSseB(&s2, 0, c.groups, 400, 1e-6f), used) << c.groups << " " << seed;
            for (uint32_t i = 0; i < scalar.lanes; ++i) {
                ASSERT_EQ(scalar.values[i], sse.values[i]) << c.groups << " " << seed << " row " << i;
                ASSERT_EQ(scalar.residuals[i], sse.residuals[i]) << c.groups << " " << seed << " row " << i;
            }
            std::vector<float> rebuilt = Rebuilt(scalar, start);
            for (uint32_t i = 0; i < scalar.lanes; ++i) {
                ASSERT_NEAR(scalar.residuals[i], rebuilt[i], 1e-3f)
                    << c.groups << " " << seed << " row " << i;
            }
            if (c.groups < 10) {
                EXPECT_LT(scalar.Violation(), 1e-4f) << seed;
            }
        }
    }
}

/// The kernel as written out in full: a scan of the whole block for the
/// most violated row before every move, with the helpers of one mode.
uint32_t ScanningKernel(bool sse, OlpSolveSystem* s, uint32_t first, uint32_t count, uint32_t limit,
                        float tolerance)
{
    for (uint32_t i = first * 4; i < (first + count) * 4; ++i) {
        s->values[i] = s->input[i];
        s->mayDecrease[i] = s->values[i] == s->lower[i] ? 0.0f : 1.0f;
        s->mayIncrease[i] = s->values[i] == s->upper[i] ? 0.0f : 1.0f;
    }
    uint32_t moves = 0;
    for (; moves < limit; ++moves) {
        int32_t row = sse ? OlpSolveFindViolationSse(s, first, count, tolerance)
                          : OlpSolveFindViolation(s, first, count, tolerance);
        if (row < 0) {
            break;
        }
        auto r = static_cast<uint32_t>(row);
        if (sse) {
            OlpSolvePropagateSse(s, r, OlpSolvePivotSse(s, r));
        } else {
            OlpSolvePropagate(s, r, OlpSolvePivot(s, r));
        }
    }
    return moves;
}

// The kernels keep a score per row group rather than scanning every row of
// the block before each move; they must make the very same moves, bit for bit,
// in whole batches and in blocks inside them, solved out or cut short.
TEST(SolverKernels, KernelsMoveTheRowsAWholeScanWouldPick)
{
    struct Case
    {
        uint32_t groups, parts, first, count, limit;
    };
    const Case cases[] = {{1, 1, 0, 1, 50},         {7, 3, 0, 7, 10000},     {64, 20, 0, 64, 40},
                          {300, 40, 0, 300, 20000}, {300, 40, 37, 150, 500}, {129, 5, 1, 128, 3000}};
    for (const Case& c : cases) {
        for (uint32_t seed = 0; seed < 8; ++seed) {
            for (bool sse : {false, true}) {
                RandomSystem reference(seed, c.groups, c.parts), scored(seed, c.groups, c.parts);
                reference.Setup(sse);
                scored.Setup(sse);
                OlpSolveSystem s0 = reference.System(), s1 = scored.System();
                uint32_t used = ScanningKernel(sse, &s0, c.first, c.count, c.limit, 1e-5f);
                OlpSolveKernel kernel = sse ? OlpSolveSseB : OlpSolveScalarB;
                ASSERT_EQ(kernel(&s1, c.first, c.count, c.limit, 1e-5f), used) << c.groups << " " << seed;
                EXPECT_GT(used, 0u);
                for (uint32_t i = 0; i < reference.lanes; ++i) {
                    ASSERT_EQ(scored.values[i], reference.values[i])
                        << c.groups << " " << seed << " row " << i;
                    ASSERT_EQ(scored.residuals[i], reference.residuals[i])
                        << c.groups << " " << seed << " row " << i;
                }
            }
        }
    }
}

// The SSE search reads the scores in chunks of sixteen (the last one over
// part of the one before) and keeps the maxima of 64 chunks at a time: it
// must still give the first group of the highest score, wherever the ties
// and the block's ends fall, and nothing when no score is above the
// tolerance (scores go below zero where rows cannot move).
TEST(SolverKernels, TheSseSearchFindsTheFirstOfTheHighestScore)
{
    struct Case
    {
        uint32_t first, count;
        std::vector<uint32_t> highest; ///< groups (from the block's first) given the highest score
    };
    const Case cases[] = {
        {0, 1, {0}},       {3, 15, {14}},           {0, 16, {15, 3}},        {1, 17, {16}},
        {2, 17, {1, 16}},  {5, 31, {30, 17}},       {0, 33, {32, 20}},       {7, 100, {99, 50, 97}},
        {0, 1024, {1023}}, {0, 1030, {1029, 1025}}, {9, 1030, {1000, 1029}}, {0, 2100, {2099, 1030, 2050}},
        {4, 40, {}}};
    for (const Case& c : cases) {
        std::mt19937 rng(c.count);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        const float tolerance = 0.25f;
        // Scores outside the block are higher still: the search must not see them.
        std::vector<float> scores(c.first + c.count + 20, 5.0f);
        for (uint32_t g = 0; g < c.count; ++g) {
            scores[c.first + g] = c.highest.empty() ? (g % 2 == 0 ? tolerance : -std::fabs(u(rng)))
                                                    : (u(rng) < -0.6f ? tolerance : u(rng));
        }
        for (uint32_t g : c.highest) {
            scores[c.first + g] = 2.0f;
        }
        const int32_t scalar = OlpSolveBestGroup(scores.data(), c.first, c.count, tolerance);
        EXPECT_EQ(OlpSolveBestGroupSse(scores.data(), c.first, c.count, tolerance), scalar)
            << c.first << " " << c.count;
        if (!c.highest.empty()) {
            uint32_t lowest = *std::min_element(c.highest.begin(), c.highest.end());
            EXPECT_EQ(scalar, static_cast<int32_t>(c.first + lowest)) << c.first << " " << c.count;
        } else {
            EXPECT_EQ(scalar, -1);
        }
    }
}

TEST(SolverKernels, ToleranceEqualBoundsAndIdleBlocks)
{
    RandomSystem sys(7, 1, 1);
    sys.Setup(false);
    for (uint32_t i = 0; i < 4; ++i) {
        sys.residuals[i] = 1e-6f;
    }
    OlpSolveSystem s = sys.System();
    EXPECT_EQ(OlpSolveScalarB(&s, 0, 1, 100, 1e-5f), 0u);
    // Equal bounds: one move fixes the row.
    sys.lower[0] = sys.upper[0] = 0.5f;
    sys.residuals[0] = 3.0f;
    EXPECT_GE(OlpSolveScalarB(&s, 0, 1, 100, 1e-5f), 1u);
    EXPECT_EQ(sys.values[0], 0.5f);
    EXPECT_EQ(sys.mayDecrease[0] + sys.mayIncrease[0], 0.0f);
}

uint32_t Greedy(OlpSolveSystem*, uint32_t, uint32_t, uint32_t limit, float)
{
    return limit;
}

TEST(SolverKernels, SharingGivesSmallLimitsEvenly)
{
    RandomSystem sys(3, 4, 2);
    OlpSolveSystem s = sys.System();
    uint32_t rows[4] = {4, 4, 4, 4}, weights[4] = {1, 1, 1, 1}, used[4] = {};
    OlpSolveBlocks blocks = {4, rows, weights, used};
    OlpSolveCommon(&s, &blocks, 8, 1e-5f, kOlpSolveProportional, Greedy);
    for (uint32_t b = 0; b < 4; ++b) {
        EXPECT_EQ(used[b], 2u);
    }
    OlpSolveCommon(&s, &blocks, 100, 1e-5f, kOlpSolveProportional, Greedy);
    EXPECT_EQ(used[0] + used[1] + used[2] + used[3], 100u);
}

// Blocks that share no part go two at a time. The moves, and so the
// values, residuals and moves per block, must be those of one block at a
// time: when the budget stops a block and when it runs out of violated
// rows first (the second of a pair then goes on with the budget the first
// left), and when neighbouring blocks are pieces of one island (they share
// parts, so one must go after the other).
TEST(SolverKernels, PairedBlocksMakeTheMovesOfOneBlockAtATime)
{
    constexpr uint32_t kGroups = 24, kParts = 18, kIslandGroups = 4;
    struct Case
    {
        uint32_t blockGroups, limit;
        int32_t mode;
    };
    const Case cases[] = {
        {4, 60, kOlpSolveProportional},     {4, 150, kOlpSolveProportional}, {4, 300, kOlpSolveProportional},
        {4, 100000, kOlpSolveProportional}, {2, 60, kOlpSolveProportional},  {3, 150, kOlpSolveProportional},
        {3, 100000, kOlpSolveProportional}, {4, 25, kOlpSolveFixed},
    };
    for (const Case& c : cases) {
        for (uint32_t seed = 0; seed < 20; ++seed) {
            SCOPED_TRACE(testing::Message()
                         << "blocks of " << c.blockGroups << ", limit " << c.limit << ", seed " << seed);
            RandomSystem alone(seed, kGroups, kParts, kIslandGroups),
                paired(seed, kGroups, kParts, kIslandGroups);
            alone.Setup(true);
            paired.Setup(true);
            const uint32_t n = kGroups / c.blockGroups;
            std::vector<uint32_t> rows(n, c.blockGroups * 4), weights(n), used[2];
            for (uint32_t b = 0; b < n; ++b) {
                weights[b] = 1 + b % 3;
            }
            used[0].assign(n, 0);
            used[1].assign(n, 0);
            OlpSolveBlocks one = {n, rows.data(), weights.data(), used[0].data()};
            OlpSolveBlocks two = {n, rows.data(), weights.data(), used[1].data()};
            OlpSolveSystem s1 = alone.System(), s2 = paired.System();
            OlpSolveCommon(&s1, &one, c.limit, 1e-6f, c.mode, OlpSolveSseB);
            OlpSolvePass(&s2, &two, c.limit, 1e-6f, c.mode, OlpSolveSseB, OlpSolveSsePairing());
            EXPECT_EQ(used[0], used[1]);
            EXPECT_EQ(alone.values, paired.values);
            EXPECT_EQ(alone.residuals, paired.residuals);
        }
    }
}

} // namespace
