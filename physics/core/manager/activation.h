#pragma once
// The manager's part of a step: which objects take part (activation spread
// from the awake objects over far-field overlaps and joints) and the
// candidate pairs between them.

#include <cstdint>

#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pair.h"
#include "physics/core/object/object.h"

/// Partner classes of OlpMgrCollectPairs.
constexpr uint32_t kOlpPairClassDynamicAwake = 0x1;
constexpr uint32_t kOlpPairClassAwake = 0x2;
constexpr uint32_t kOlpPairClassDynamic = 0x4;
constexpr uint32_t kOlpPairClassOther = 0x8;
constexpr uint32_t kOlpPairClassAll = 0xF;

/// Output lists of the far-field stage: arrays with their capacities; the
/// counts are written.
struct OlpMgrStepLists
{
    OlpObj** objects;
    uint32_t maxObjects;
    uint32_t objectCount;
    OlpPair* pairs;
    uint32_t maxPairs;
    uint32_t pairCount;
    OlpJoint** joints;
    uint32_t maxJoints;
    uint32_t jointCount;
};

/// The step's far-field stage: spreads from the awake objects over overlaps
/// and joints between dynamic objects, deactivates what may sleep and was
/// not reached, activates what was reached (within the active limit), and
/// lists the active objects reached, each overlapping pair and each joint
/// once, dropping pairs and joints with no active side. Lists are cut at
/// their capacities.
OlpMgr* OlpMgrUpdateFarfield(OlpMgr* mgr, OlpMgrStepLists* lists);
/// Pairs of each listed object with its far-field partners of the classes
/// in `classMask` (kOlpPairClass*), each unordered pair once; the count
/// written (at most maxPairs).
uint32_t OlpMgrCollectPairs(OlpMgr* mgr, OlpObj* const* objects, uint32_t count, OlpPair* out,
                            uint32_t maxPairs, uint32_t classMask);
