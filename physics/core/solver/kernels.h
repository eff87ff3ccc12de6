#pragma once
// The solver kernels. A batch's system is a set of row groups (four rows,
// one per lane) over the batch's parts; each group names its two parts
// (-1 for a static side) and holds, per present end, a Jacobian block of six
// columns (linear x, y, z, angular x, y, z) of four lanes.
//
// The assembly scales every row to a unit diagonal, so the pivot of a row
// is new = clamp(old - residual, lower, upper): the matrix is
// A = J J^T + D with the blocks mass-scaled by the set-up kernel, D the
// rows' own diagonal term (softness), and A_ii = 1 for every live row. A
// dead row (zero Jacobian and no softness) gets the bounds [0, 0] and is
// never moved. The residual of a row is (A x - rhs); a row is violated
// while it could decrease with a residual above the tolerance, or increase
// with one below minus the tolerance. The scalar and SSE kernels visit the
// rows in the same order with the same arithmetic.

#include <cstdint>

struct OlpDynMotion;

/// One Jacobian block: column c of lane l at [c * 4 + l].
struct alignas(16) OlpSolveBlock
{
    float c[24];
};

/// The coupling of one row group to another through one part they share:
/// column l (a lane of the moved group) holds what a unit move of that lane
/// adds to the other group's four residuals, the dot products of their
/// mass-scaled Jacobian rows on that part. A move then costs one
/// multiply-add per group and shared part instead of a six-column dot
/// product.
struct alignas(16) OlpSolveCoupling
{
    float c[16];
};
/// A group without a coupling list: its moves take the dot products.
constexpr uint32_t kOlpSolveUncoupled = 0xFFFFFFFFu;

/// The rows of one pass of a batch (all arrays four lanes per group).
struct OlpSolveSystem
{
    uint32_t groupCount;
    const int32_t (*groupParts)[2];
    OlpSolveBlock (*blocks)[2]; ///< per group, per end
    float* values;
    float* residuals;
    const float* lower;
    const float* upper;
    float* mayDecrease;
    float* mayIncrease;
    const float* diagonal; ///< the rows' own diagonal term D
    const float* input;    ///< starting values
    const uint32_t* partGroupCount;
    const uint32_t* partGroupFirst;
    const uint32_t* adjacency; ///< group x 2 + end, listed per part
    float* groupScores; ///< scratch per group: how far its rows reach past their bounds (violationscores.h)
    /// Coupling lists (null: none): a move of group g reaches each group
    /// on its coupled parts (partCoupled[p] set) once, through the list
    /// that g owns from groupCouplingFirst[g] on (kOlpSolveUncoupled: none),
    /// and the groups on its other parts through the dot products. The
    /// list is filled on the first move of g (groupCouplingCount[g], 0
    /// before, becomes its length n, groupCouplingShared[g] the number s of
    /// its first groups that are on both of g's parts), from the mass-scaled
    /// blocks, and serves both passes. couplingGroups holds the n groups;
    /// the room holds per lane of g n + s columns (a group on both parts
    /// takes two, the coupling through the part of end 0 and then of end 1,
    /// added in that order as the dot products would be), lane l's from
    /// float l x (n + s) x 4 on.
    OlpSolveCoupling* couplings;
    const uint32_t* partCoupled;
    const uint32_t* groupCouplingFirst;
    uint32_t* groupCouplingCount;
    uint32_t* groupCouplingShared;
    uint32_t* couplingGroups;
};

/// Process-wide state of the running solve.
struct OlpSolveState
{
    int32_t pass;       ///< 0 position pass, 1 velocity pass
    uint32_t iteration; ///< of the block being solved
    uint32_t blockLimit;
};
OlpSolveState* OlpSolveGetState();

/// Inputs of the set-up kernel.
struct OlpSolveSetup
{
    uint32_t groupCount;
    float* accumulators; ///< four lanes per group: J v on return
    OlpSolveBlock (*blocks)[2];
    const int32_t (*groupParts)[2];
    uint32_t partCount;
    const uint32_t* partGroupCount;
    const uint32_t* partGroupFirst;
    const uint32_t* adjacency;
    const OlpDynMotion* velocities; ///< per batch part
    const float (*inverseMass)[12]; ///< per batch part: inverse root inertia rows, inverse root mass in [3]
    const float* a;
    const float* b;
    const float* c;
    float step;
    float* residuals; ///< out: J v - (a - b c / h) / h
};

/// Set-up kernels: J v per row, blocks mass-scaled in place, residuals.
void OlpSolveScalarA(const OlpSolveSetup* setup);
void OlpSolveSseA(const OlpSolveSetup* setup);

/// Solve kernels: relax the most violated row of groups [first, first +
/// count) until none is violated beyond `tolerance` (>= 0) or `limit`
/// moves were made; returns the moves made.
using OlpSolveKernel = uint32_t (*)(OlpSolveSystem* system, uint32_t first, uint32_t count, uint32_t limit,
                                    float tolerance);
uint32_t OlpSolveScalarB(OlpSolveSystem* system, uint32_t first, uint32_t count, uint32_t limit,
                         float tolerance);
uint32_t OlpSolveSseB(OlpSolveSystem* system, uint32_t first, uint32_t count, uint32_t limit,
                      float tolerance);

/// One island block's run: its groups [first, first + count), its move
/// limit, the moves made and whether it ran out of violated rows.
struct OlpSolveRun
{
    uint32_t first, count, limit;
    uint32_t used;
    bool solved;
};
/// Blocks that share no part go together, up to kOlpSolveTogether of them:
/// `start` sets a block's values from the input, its flags and its scores;
/// `moves` makes the moves of `count` runs up to their limits (from where
/// they stand), one of each in turn. Each block makes the moves it would
/// alone, and the processor overlaps their chains of moves.
/// (Two: three or four measured no faster, with their moves made side by
/// side or one after the other.)
constexpr uint32_t kOlpSolveTogether = 2;
struct OlpSolvePairing
{
    void (*start)(OlpSolveSystem* system, OlpSolveRun* run);
    void (*moves)(OlpSolveSystem* system, OlpSolveRun* runs, uint32_t count, float tolerance);
};
/// The SSE kernels' pairing (null in a build without SSE).
const OlpSolvePairing* OlpSolveSsePairing();

/// The most violated lane (group x 4 + lane) of the groups, or -1.
int32_t OlpSolveFindViolation(const OlpSolveSystem* system, uint32_t first, uint32_t count, float tolerance);
int32_t OlpSolveFindViolationSse(const OlpSolveSystem* system, uint32_t first, uint32_t count,
                                 float tolerance);
/// Reads the score of group g (violationscores.h).
void OlpSolveScoreGroup(const OlpSolveSystem* system, uint32_t g);
void OlpSolveScoreGroupSse(const OlpSolveSystem* system, uint32_t g);
/// The first group of [first, first + count) with the highest score, or -1
/// when no score is above `tolerance`.
int32_t OlpSolveBestGroup(const float* scores, uint32_t first, uint32_t count, float tolerance);
int32_t OlpSolveBestGroupSse(const float* scores, uint32_t first, uint32_t count, float tolerance);
/// Moves one row to where its residual vanishes, clamped; returns the change.
float OlpSolvePivot(OlpSolveSystem* system, uint32_t row);
float OlpSolvePivotSse(OlpSolveSystem* system, uint32_t row);
/// Picks the coupled parts: those with at most `largest` groups, in part
/// order while the k x k couplings of their groups' lists through them fit
/// in `room` (partCoupled); then places the list of every group with a
/// coupled part, k couplings per such part of k groups
/// (groupCouplingFirst, the others kOlpSolveUncoupled). Returns the room
/// taken.
uint32_t OlpSolvePlaceCouplings(const int32_t (*groupParts)[2], uint32_t groupCount,
                                const uint32_t* partGroupCount, uint32_t partCount, uint32_t largest,
                                uint32_t room, uint32_t* partCoupled, uint32_t* groupCouplingFirst);
/// Fills the coupling list of group g (it has room for one).
void OlpSolveCoupleGroup(OlpSolveSystem* system, uint32_t g);
void OlpSolveCoupleGroupSse(OlpSolveSystem* system, uint32_t g);
/// Adds the effect of `delta` on row `row` to every group sharing a part,
/// and reads their scores again.
void OlpSolvePropagate(OlpSolveSystem* system, uint32_t row, float delta);
void OlpSolvePropagateSse(OlpSolveSystem* system, uint32_t row, float delta);

/// Iteration sharing modes of the pass driver.
constexpr int32_t kOlpSolveProportional = 0;
constexpr int32_t kOlpSolveFixed = 1;

/// The island blocks of a batch.
struct OlpSolveBlocks
{
    uint32_t count;
    const uint32_t* rows;    ///< per block, a multiple of four
    const uint32_t* weights; ///< per block, for proportional sharing
    uint32_t* iterations;    ///< out: moves used per block
};

/// Runs one pass over every block, sharing `limit` moves (at least 3 per
/// block, or limit / blocks when smaller; proportional: the rest by
/// weight, what a block leaves unused going to the next; fixed: `limit`
/// for each block).
void OlpSolveCommon(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit, float tolerance,
                    int32_t mode, OlpSolveKernel kernel);
/// The same pass; with a pairing, blocks that share no part go together:
/// each starts with the budget it gets when those before it spend all of
/// theirs, and goes on once their moves are known (a block's moves do not
/// depend on its budget, which only stops them).
void OlpSolvePass(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit, float tolerance,
                  int32_t mode, OlpSolveKernel kernel, const OlpSolvePairing* pairing);
