#pragma once
// The solver stages: one batch of islands turned into rows, solved in two
// passes and applied to the parts.
//
// Design of the two passes (the kernels' residual is
// J v - (a - b c / h) / h, rows scaled to a unit diagonal, see kernels.h):
//  1. Units. The position pass solves for correction velocities that the
//     stage moves the parts by over time 1 (OlpIntegrateCorrections) and
//     never adds to the stored velocities; its J v starts at 0 and h is 1.
//     The velocity pass solves for impulses against the velocities the
//     forces would give (v + h M^-1 F); the result becomes the parts'
//     accelerations a = M^-1 F + dv / h, and v += h a.
//  2. Right-hand sides, with e the position error, the bias, softness
//     values g and k', the factor f and the row scale s:
//     position pass: a = 0, b = f s for a rigid row (0 for a soft one),
//     c = e, so the target J v is -f e (the row removes the fraction f of
//     its error over the step); bounds: the first pair.
//     velocity pass: a = h bias s, b = k' s, c = h e, target bias - k' e / h;
//     the own diagonal term is g / h plus the pipeline's diagonal term;
//     bounds: the second pair. A spring row is thus implicit in both its
//     stiffness and its damping; a rigid row's error is the first pass's.
//  3. Pivot: with A = J J^T + D every live row has A_ii = 1 after the
//     scaling, so the new value is old - residual, clamped. A row whose
//     unscaled diagonal is not above 0 is dead: bounds [0, 0], never moved.
//  4. The value 200: the largest correction speed (m/s); a row's position
//     target is held within +-200 h per step, so a deep overlap is undone
//     over several steps rather than flung apart.
//  5. Hand-over: the position pass starts from 0 (its errors are new every
//     step); the velocity pass starts from the impulses its rows had in the
//     last step (OlpContactWarm, one block per contact: per point the normal
//     impulse and the friction impulse as a world vector, projected on this
//     step's friction directions and clamped to this step's bounds), with
//     the residuals of the set-up kernel raised by A x0. A joint's rows
//     start likewise from the impulses kept in its four vectors, one slot
//     per kind of row (the row's tag), so that a chain holds its load
//     rather than rebuilding it within one step's move limit. Only the
//     mass-scaled blocks and the adjacency carry over between the passes,
//     since they solve in different units. Without the start a resting
//     stack must rebuild its whole load within one step's move limit, which
//     a tall column cannot: it sinks and tips.
//  6. Warm start: after the velocity pass every contact's impulse block
//     (OlpContactImpulse, 64 bytes) gets the solved impulse on end A in
//     floats 0-2 and on end B in floats 8-10, newton seconds: the load is
//     the normal impulse of the contact, the unit the friction bound
//     load x slide x 0.7071 expects. Its OlpContactWarm block gets the
//     per-point impulses for the start of point 5, and every joint its
//     rows' impulses (newton seconds, drive rows not kept).
//  7. Step arguments: contacts get 1 / h; joints get 0 and h.
//  8. Iteration sharing: a block's weight is its number of row groups.

#include <cstddef>
#include <cstdint>

#include "graphics/core/vector.h"
#include "physics/core/solver/kernels.h"
#include "physics/core/solver/rows.h"

struct OlpContact;
struct OlpDynArrays;
struct OlpDynMotion;
struct OlpJoint;
struct OlpObj;

/// One island (the pipeline's island record).
struct OlpIsland
{
    OlpObj** objects;
    OlpContact* firstContact; ///< chained through listLink
    OlpJoint** joints;
    uint32_t objectCount;
    uint32_t jointCount;
    uint32_t partCount;
    uint32_t flags; ///< kOlpIslandAtRest
    uint32_t rowGroups;
    uint32_t blockSums[2];
};
constexpr uint32_t kOlpIslandAtRest = 1;

/// The solved impulses of one contact (its contact-point block).
struct OlpContactImpulse
{
    V3d onA; ///< newton seconds
    float pad0[5];
    V3d onB;
    float pad1[5];
};
static_assert(sizeof(OlpContactImpulse) == 64, "a contact-point block is 64 bytes");

/// The solved impulses of one contact's points, the start of its rows in
/// the next step's velocity pass (newton seconds).
struct OlpContactWarm
{
    float normal[4]; ///< along the contact normal, per point
    V3d tangent[4];  ///< friction impulse on end A, world axes, per point
};
static_assert(sizeof(OlpContactWarm) == 64, "four points of one normal and one tangent impulse");

/// Fills `out` for `contact` from a remembered contact of the same ends:
/// each point takes the impulses of the nearest remembered point within
/// `tolerance` (world units), the others 0. `sign` is -1 when the ends were
/// remembered in swapped order (the tangent impulse then turns round).
void OlpContactWarmMatch(const OlpContactWarm* remembered, const V3d* points, uint32_t pointCount, float sign,
                         const OlpContact* contact, float tolerance, OlpContactWarm* out);

/// The values the sequencer takes from the pipeline.
struct OlpSolverSettings
{
    float step; ///< seconds
    V3d gravity;
    int32_t mode; ///< 2 SSE, else scalar
    float positionTolerance;
    float velocityTolerance;
    uint32_t positionIterations;
    uint32_t velocityIterations;
    float diagonalTerm;
    uint32_t options;
};
/// Defaults: 1/60 s, gravity (0, 0, -10), tolerances 1e-5, 100 and 300
/// iterations, diagonal term 0, mode from the processor test.
OlpSolverSettings* OlpSolverSettingsDefault(OlpSolverSettings* settings);

/// The kernels of the pipeline's slots.
struct OlpSolverKernels
{
    void (*setup)(const OlpSolveSetup*);
    OlpSolveKernel solve;
    const OlpSolvePairing* pairing; ///< null: one block at a time
};
/// SSE kernels for mode 2, scalar ones otherwise.
OlpSolverKernels OlpSolverKernelsForMode(int32_t mode);

/// Room for couplings per row group. A part with k groups takes k x k
/// (each of its groups' lists k through it): a box in a column (two
/// contacts of three groups) 36, twelve per group. Parts are coupled in
/// order while they fit.
constexpr uint32_t kOlpSolverCouplingsPerGroup = 16;
/// Parts with more groups than this are not coupled: a move reaches only k
/// of the k x k couplings, and a list fills in about k moves' cost.
constexpr uint32_t kOlpSolverCoupledGroupsMax = 24;

/// The solver workspaces and the system builder.
struct OlpSolverWork
{
    uint32_t rowCapacity, partCapacity, constraintCapacity, blockCapacity;
    OlpRowBuilder builder;
    OlpJoint** constraintJoint; ///< per constraint: its joint (null for a contact)
    // Per group.
    int32_t (*groupParts)[2];
    OlpSolveBlock (*blocks)[2];
    float* groupScores; ///< the solve kernels' search scratch
    uint32_t* groupCouplingFirst;
    uint32_t* groupCouplingCount;
    uint32_t* groupCouplingShared;
    OlpSolveCoupling* couplings; ///< kOlpSolverCouplingsPerGroup per group
    uint32_t* couplingGroups;
    // Per row.
    float* scale;
    float* diagonal;
    float* zero;
    float* start; ///< the velocity pass's warm start, scaled
    float* accumulators;
    float* mayDecrease;
    float* mayIncrease;
    float* values[2];
    float* residuals[2];
    float* lower[2];
    float* upper[2];
    float* a[2];
    float* b[2];
    float* c[2];
    // Per part.
    uint32_t* partRows; ///< the dynamics rows of the batch's parts
    OlpDynMotion* predicted;
    float (*inverseMass)[12];
    float (*sums)[8];
    uint32_t* partGroupCount;
    uint32_t* partGroupFirst;
    uint32_t* inContact; ///< the part is held by a contact row
    uint32_t* partCoupled;
    uint32_t* adjacency;
    // Per island block.
    uint32_t* blockRows;
    uint32_t* blockWeights;
    uint32_t* blockIterations[2];
    uint32_t blockCount;
    uint32_t partCount;
    uint32_t groupCount;
    float correctionCap; ///< 200
    float diagonalTerm;
    int32_t sharing;
    int32_t mode;
    uint32_t option;
    void* memory;
};

/// Allocates the workspaces for `rows` rows (rounded up to 4), `parts`
/// parts, `constraints` constraints and `islands` blocks; null when memory
/// runs out.
OlpSolverWork* OlpSolverWorkCreate(uint32_t rows, uint32_t parts, uint32_t constraints, uint32_t islands);
/// Bytes of the workspaces' arrays alone (the record not included).
size_t OlpSolverWorkArraysSize(uint32_t rows, uint32_t parts, uint32_t constraints, uint32_t islands);
/// Lays the arrays out in `memory` (16-byte aligned, OlpSolverWorkArraysSize
/// bytes) for the caller's record, which must not be destroyed. The arrays
/// need not keep their contents between solves: another user may share the
/// memory between them.
OlpSolverWork* OlpSolverWorkLayout(OlpSolverWork* work, void* memory, uint32_t rows, uint32_t parts,
                                   uint32_t constraints, uint32_t islands);
void OlpSolverWorkDestroy(OlpSolverWork* work);

/// Solves one batch of islands (islands at rest are skipped): forces and
/// damping, rows, both passes, corrections, velocities, the energy check,
/// forces cleared. `impulses[i]` and `warm[i]` are the blocks of
/// `contactBase[i]`: `warm` (may be null: no warm start, for the joints
/// too) is read as the start of the velocity pass and then overwritten
/// with its result; so are the joints' vectors.
/// `partScratch` (room for every part of the batch) receives the dynamics
/// rows; returns the number used.
uint32_t OlpSolverStageSequence(OlpSolverWork* work, OlpDynArrays* arrays, const OlpIsland* islands,
                                uint32_t islandCount, const OlpSolverSettings* settings,
                                const OlpSolverKernels* kernels, const OlpContact* contactBase,
                                OlpContactImpulse* impulses, OlpContactWarm* warm, uint32_t* partScratch);

// Builder helpers.
void OlpSolverReset(OlpSolverWork* work);
void OlpSolverBeginIsland(OlpSolverWork* work, uint32_t partCount);
void OlpSolverEndIsland(OlpSolverWork* work, uint32_t firstGroup);
void OlpSolverBatchCounters(OlpSolverWork* work);
/// Inverse root mass records in world axes.
void OlpSolverSetupMass(OlpSolverWork* work, const OlpDynArrays* arrays);
/// Row groups from the builder: scaled Jacobian blocks, bounds, diagonal
/// and right-hand sides of both passes (`inverseStep` = 1 / h).
void OlpSolverAssemble(OlpSolverWork* work, float inverseStep);
void OlpSolverAssembleSse(OlpSolverWork* work, float inverseStep);
void OlpSolverBuildAdjacency(OlpSolverWork* work);
/// Sums the pass's values through the blocks into the parts' 6-vectors.
void OlpSolverApplyResults(OlpSolverWork* work, const float* values);
void OlpSolverAddRowGroupToPart(const OlpSolveBlock* block, const float values[4], float sum[8]);
void OlpSolverAddVector6(float sum[8], const float add[6]);
/// A part's mass-scaled 6-vector to a velocity: M^-1/2 sum.
void OlpSolverUnscale(const float inverseMass[12], const float sum[8], V3d* linear, V3d* angular);

/// Moves the listed rows over `time` by the velocities of `velocities`
/// (indexed by row), the stored velocities unchanged.
void OlpIntegrateCorrections(OlpDynArrays* arrays, const uint32_t* parts, uint32_t count,
                             const OlpDynMotion* velocities, float time);
/// v += time x a for the listed rows.
void OlpAccumulateAcceleration(OlpDynMotion* velocities, const uint32_t* parts, uint32_t count,
                               const OlpDynMotion* accelerations, float time);
