#pragma once
// The simulation pipeline: one per context, it advances the simulation by
// one time step in ten stages (far field, pairs and contacts, islands,
// contacts against the context's own volumes, row sizing, warm-start
// lookup, solve, warm-start store, motion with continuous collision, rest
// test). Every list is laid out once at creation from the context's
// capacities; a step allocates nothing. One pipeline steps at a time (the
// solver keeps process-wide state).

#include <cstddef>
#include <cstdint>

#include "graphics/core/vector.h"
#include "physics/core/contact/batch.h"
#include "physics/core/context/contextparams.h"
#include "physics/core/manager/pair.h"
#include "physics/core/pipeline/contactcache.h"
#include "physics/core/pipeline/grouping.h"
#include "physics/core/pipeline/partition.h"
#include "physics/core/solver/stages.h"

struct OlpContext;
struct OlpContact;
struct OlpJoint;
struct OlpObj;

/// The object flag that lets the rest test put an object to sleep.
constexpr uint32_t kOlpObjFlagMayRest = 0x1;

/// The pass driver of the third kernel slot.
using OlpPipelineCommonKernel = void (*)(OlpSolveSystem* system, OlpSolveBlocks* blocks, uint32_t limit,
                                         float tolerance, int32_t mode, OlpSolveKernel kernel);

/// The continuous-collision buffers: slot 0 is unused, objects take slots
/// from 1 on, advancing by their part count.
struct OlpPipelineContinuous
{
    OlpObj** objects; ///< the taken objects
    uint32_t objectCount;
    uint32_t slotCount; ///< next free slot
    Matrix* poses;      ///< saved part poses, by slot + part
    Quaternion* orientations;
    OlpBBox* swept;  ///< by object slot
    float* time;     ///< by object slot: the share of the step it may move
    uint16_t* slots; ///< by object id: its slot, 0 when not taken
};

struct OlpPipeline
{
    float timeStep; ///< seconds
    uint32_t maxPosIterations;
    uint32_t maxVelIterations;
    float restLinearVelocity;
    float restAngularVelocity;
    float restLinearAcceleration;
    float restAngularAcceleration;
    float fastFraction; ///< of a part's bounding radius
    uint32_t continuousCapacity;
    OlpPipelineContinuous continuous;
    uint32_t islandBlockRows; ///< row groups (of four rows) per island block
    uint32_t batchRows;       ///< row groups per solver batch
    V3d gravity;
    int32_t mode; ///< 2 SSE kernels, 1 scalar
    float posTolerance;
    float velTolerance;
    float diagonalTerm;
    uint32_t options;
    uint32_t layoutFlags;
    OlpContext* context;

    OlpObj** objects;
    uint32_t objectCount, objectCapacity;
    OlpPair* pairs; ///< records of sizeof(OlpPair) bytes
    uint32_t pairCount, pairCapacity;
    OlpBatchPair* batchPairs; ///< the pairs as the narrow phase reads them
    OlpContact* contacts;
    uint32_t contactCount, contactCapacity;
    OlpContactImpulse* impulses; ///< one 64-byte block per contact
    OlpContactWarm* warm;        ///< per contact: its points' impulses, between the cache and the solve
    OlpJoint** joints;
    uint32_t jointCount, jointCapacity;
    OlpContactCache cache;
    OlpIslandList islands;
    OlpPartition partition;
    OlpGroupScratch grouping; ///< row sizing: the splitting of islands over the block
    OlpSolverKernels kernels;
    OlpPipelineCommonKernel commonKernel;
    OlpSolverWork* solver;      ///< the record below, null without a context
    OlpSolverWork solverRecord; ///< its arrays live in a block
    uint32_t* partGroups;       ///< row sizing: all row groups per dynamics row
    uint32_t* partRows;         ///< the dynamics rows the solve handed to motion
    uint32_t partRowCount, partRowCapacity;
    OlpBatchArea batch;      ///< the narrow-phase workspace with the touch records
    uint32_t statistic[2];   ///< largest moves of one block this step: position, velocity pass
    uint32_t droppedIslands; ///< islands left unsolved this step (over the batch limit)
    void* block;             ///< the own block: lists kept from step to step
    size_t ownSize;          ///< bytes
    void* shared;            ///< the shared block: groups of the layout flags, by phase; may be null
    size_t sharedSize;       ///< bytes: the largest phase
};

/// A pipeline for `context` sized from `params` (a null context gives a
/// narrow-phase workspace whose steps do nothing); null when the capacities
/// overflow or memory runs out, with nothing left allocated.
OlpPipeline* OlpPipelineCreate(OlpContext* context, const OlpContextParams* params, float scale);
/// Initialises a caller's record as OlpPipelineCreate does.
OlpPipeline* OlpPipelineInit(OlpPipeline* pipeline, OlpContext* context, const OlpContextParams* params,
                             float scale);
/// Frees the pipeline's memory; 1.
int32_t OlpPipelineDeinit(OlpPipeline* pipeline);
/// Frees the memory and the record; null is ignored; 1.
int32_t OlpPipelineDestroy(OlpPipeline* pipeline);

/// Seconds of the next step.
void OlpPipelineSetTimeStep(OlpPipeline* pipeline, float step);
/// Acceleration of every solved part (3 floats, world units per s^2).
void OlpPipelineSetGravity(OlpPipeline* pipeline, const float gravity[3]);
/// Move limit of the velocity pass.
void OlpPipelineSetMaxVelIterations(OlpPipeline* pipeline, uint32_t limit);
/// Move limit of the position pass.
void OlpPipelineSetMaxPosIterations(OlpPipeline* pipeline, uint32_t limit);
OlpPipeline* OlpPipelineSetPosTolerance(OlpPipeline* pipeline, float tolerance);
OlpPipeline* OlpPipelineSetVelTolerance(OlpPipeline* pipeline, float tolerance);
/// Sets (non-zero) or clears option bit 0.
OlpPipeline* OlpPipelineSetOption(OlpPipeline* pipeline, int32_t on);
OlpPipeline* OlpPipelineSetRestLinearVelocity(OlpPipeline* pipeline, float value);
OlpPipeline* OlpPipelineSetRestLinearAcceleration(OlpPipeline* pipeline, float value);
OlpPipeline* OlpPipelineSetRestAngularVelocity(OlpPipeline* pipeline, float value);
OlpPipeline* OlpPipelineSetRestAngularAcceleration(OlpPipeline* pipeline, float value);
/// Row groups per island block, held to the rows per solver batch.
OlpPipeline* OlpPipelineSetIslandBlockRows(OlpPipeline* pipeline, uint32_t rows);
OlpPipeline* OlpPipelineSetCommonKernel(OlpPipeline* pipeline, OlpPipelineCommonKernel kernel);

/// 1: the far field fills the object, pair and joint lists.
OlpPipeline* OlpPipelineFarfieldStage(OlpPipeline* pipeline);
/// 2: self-pairs, touch lists cleared, contacts of every pair.
OlpPipeline* OlpPipelinePairStage(OlpPipeline* pipeline);
/// 3: islands, and which are at rest.
OlpPipeline* OlpPipelinePartitionStage(OlpPipeline* pipeline);
/// 4: contacts against the context's own volumes, per island not at rest.
OlpPipeline* OlpPipelineExtraStage(OlpPipeline* pipeline);
/// 5: contacts of a part over the rows per island block cut to their
/// deepest point (and those past the block emptied); an island over the
/// block split into islands that fit (OlpIslandSplit); then each island's
/// row-group total, never above the rows per island block.
OlpPipeline* OlpPipelineRowSizingStage(OlpPipeline* pipeline);
/// 7: the islands solved in batches; null when an island was over the
/// batch limit (it alone is left unsolved).
OlpPipeline* OlpPipelineSolveStage(OlpPipeline* pipeline);
/// 9: motion of the solved parts, continuous collision for fast objects.
OlpPipeline* OlpPipelineCollideStage(OlpPipeline* pipeline);
/// 10: the rest test sets the motion bits.
OlpPipeline* OlpPipelineSleepStage(OlpPipeline* pipeline);

/// Stages 1 to 10 over `step` seconds.
OlpPipeline* OlpPipelineStep(OlpPipeline* pipeline, float step);
/// Stages 1 to 4.
OlpPipeline* OlpPipelineCollisionStages(OlpPipeline* pipeline, float step);
/// Stages 5 to 10.
OlpPipeline* OlpPipelineSolveStages(OlpPipeline* pipeline, float step);

/// Empties the object and pair lists.
void OlpPipelineClearLists(OlpPipeline* pipeline);
/// Appends the pairs of the objects with the context's own volumes (boxes
/// within the far-field margin, not excluded); the number appended.
uint32_t OlpPipelineCollectVolumePairs(OlpPipeline* pipeline, OlpObj* const* objects, uint32_t count);
/// Appends as many pairs as fit; the number appended.
uint32_t OlpPipelineAddPairs(OlpPipeline* pipeline, const OlpPair* pairs, uint32_t count);
/// Largest moves of one block in the last step's position pass.
uint32_t OlpPipelineGetStatisticMaxA(const OlpPipeline* pipeline);
/// Largest moves of one block in the last step's velocity pass.
uint32_t OlpPipelineGetStatisticMaxB(const OlpPipeline* pipeline);

/// Takes the continuous-collision slots of an object of `parts` parts: its
/// first slot, or 0 (nothing taken) when its last would pass `capacity`.
uint32_t OlpPipelineContinuousSlot(OlpPipelineContinuous* continuous, uint32_t parts, uint32_t capacity);

/// The island's row groups from its contacts and joints (active ends only).
uint32_t OlpIslandRowGroups(const OlpIsland* island);
/// Keeps only the contact's deepest point (in the first slot).
void OlpContactReduceToDeepest(OlpContact* contact);
/// 2 when the SSE kernels may run, 1 otherwise.
int32_t OlpCpuGetSolverMode();
