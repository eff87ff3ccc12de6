#pragma once
// The narrow phase (module OlpBatch): far-field object pairs expanded into
// part entries, paired, measured and turned into contact records. Every
// list lives in one fixed batch area laid out once from the context's
// capacities; running out of room sets the overflow flag and never
// allocates.

#include <cstdint>

#include "physics/core/contact/featurepair.h"
#include "physics/core/context/contextparams.h"
#include "physics/core/utils/bitmatrix.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/triangle.h"

/// A far-field pair: two objects (or bare volumes, selector kOlpBarePart)
/// and a pointer-sized word, the part-pair matrix of an object paired with
/// itself.
struct OlpBatchPair
{
    void* objectA; ///< OlpObj, or the OlpVolume of a bare volume
    uint32_t selectorA;
    void* objectB;
    uint32_t selectorB;
    const OlpBitMatrix* partPairs; ///< may be null
};

/// Two part entries to measure.
struct OlpBatchPartPair
{
    OlpBatchEntry* a;
    OlpBatchEntry* b;
};

/// An entry whose container was expanded into its own entries: never paired.
inline const OlpVolume* OlpBatchRemovedVolume()
{
    return reinterpret_cast<const OlpVolume*>(uintptr_t{1});
}

struct OlpBatchArea
{
    OlpBatchPartPair* partPairs;
    uint32_t partPairCount, partPairCapacity;
    OlpBatchEntry* entries;
    uint32_t entryCount, entryCapacity;
    Matrix* frames;
    uint32_t frameCount, frameCapacity;
    OlpBBox* boxes; ///< one per entry
    OlpFeaturePair* records;
    uint32_t recordCount, recordCapacity;
    OlpFeaturePoint* points; ///< feature points beyond a feature's inline four
    uint32_t pointCount, pointCapacity;
    OlpTriangleData* triangleRecords; ///< a triangle list's answer to its query
    OlpVolume* triangles;             ///< triangle volumes made from those records
    uint32_t triangleCount, triangleCapacity;
    OlpTouch* touches;
    uint32_t touchCount, touchCapacity;
    OlpContact* scratch; ///< the contacts of one group before they are merged
    uint32_t scratchCapacity;
    uint32_t triangleQueryFlags;        ///< written by a triangle query; 0x02: compute
                                        ///< the normals
    float contactDistance;              ///< the far field's box growth
    const OlpBitMatrix* groupExclusion; ///< group exclusion; may be null
    float scale;                        ///< the world's length unit
    int32_t overflow;                   ///< a list ran out of room
    int32_t removeShadowed;             ///< 1: the merge empties shadowed records
    float toiAdvance;                   ///< smallest advance of an impact search, times the step (0.05)
    float toiTolerance;                 ///< reach of an impact search, times the thicknesses (-0.16)
};

/// Most feature points one measurement may need beyond the inline room.
constexpr uint32_t kOlpBatchFeatureRoom = 16;

/// Bytes of the batch area for the context's capacities (parameters 8, 12,
/// 13 and 14); 0 when they overflow.
size_t OlpBatchAreaSize(const OlpContextParams* params);
/// Lays the area out in `memory` (16-byte aligned, OlpBatchAreaSize bytes):
/// empty lists, contact distance 0, scale 1, shadow removal on.
OlpBatchArea* OlpBatchAreaInit(OlpBatchArea* area, void* memory, const OlpContextParams* params);

/// Fills both halves' support features of `record` for the pair, A in
/// -direction and B in +direction; the points of a feature of more than
/// four go to the area's point list (side B's after side A's).
void OlpBatchSupportFeatures(OlpBatchArea* area, const OlpBatchPartPair* pair, OlpFeaturePair* record);
/// Measures one part pair (GJK when either descriptor has flag 0x10, else
/// separating axes) and appends its feature pair when the distance is below
/// `maxDistance`; 1 when appended. A full record list, or fewer than
/// kOlpBatchFeatureRoom free points, sets the overflow flag and gives 0.
int32_t OlpBatchFeaturePair(OlpBatchArea* area, const OlpBatchPartPair* pair, float maxDistance);
/// Makes the contacts of one group of feature pairs (one part on each
/// side) into `output`, merged, with the touch records of objects that
/// keep a touch list; returns the number written (at most `room`).
uint32_t OlpContactGenerate(OlpBatchArea* area, OlpFeaturePair* records, uint32_t count, OlpContact* output,
                            uint32_t room);

/// Appends the entries of one side of a far-field pair (an object's parts,
/// or a bare volume) against the other side's box: parts of a multi-part
/// object out of the contact distance are dropped, containers expanded.
/// `swept` (may be null) stands for every entry's box; `ownBox` is the
/// side's box. Returns the number of entries appended.
uint32_t OlpBatchExpandObject(OlpBatchArea* area, void* object, uint32_t selector, const OlpBBox* swept,
                              const OlpBBox* ownBox, const OlpBBox* otherBox);
/// Appends the entries of one volume under `parent` (may be null): itself,
/// or for a container its children (aggregate children, grid cells),
/// recursively. `box` (may be null) is the volume's box when known.
/// Returns the number of entries appended; a full list sets the overflow flag.
uint32_t OlpBatchExpandChildren(OlpBatchArea* area, void* object, uint32_t part, const OlpVolume* volume,
                                const Matrix* parent, uint32_t featureId, const OlpBBox* swept,
                                const OlpBBox* box, const OlpBBox* otherBox);
/// Pairs entries [firstA, firstA + countA) with [firstB, firstB + countB):
/// removed entries, one part with itself, two bare volumes, pairs the
/// part-pair or group matrix excludes and boxes farther apart than the
/// contact distance are left out; an object paired with itself gives each
/// unordered pair of parts once. Returns the number of pairs appended.
uint32_t OlpBatchBuildPartPairs(OlpBatchArea* area, uint32_t firstA, uint32_t countA, uint32_t firstB,
                                uint32_t countB, const OlpBitMatrix* partPairs, const OlpBitMatrix* groups);
/// The box of one side of a far-field pair: the far field's for an object
/// (the object type's bounds when the far field has none), the volume's
/// own for a bare volume. False when there is none.
using OlpBatchBoxFunc = bool (*)(void* object, uint32_t selector, void* data, OlpBBox* out);
/// The contact pass: expands, pairs and measures the far-field pairs in
/// chunks that fit the area, and writes the merged contacts of each part
/// pair into `contacts`. Returns the number of contacts written.
uint32_t OlpBatchContactPass(OlpBatchArea* area, const OlpBatchPair* pairs, uint32_t pairCount,
                             OlpBatchBoxFunc boxOf, void* boxData, OlpContact* contacts, uint32_t capacity);
/// The default box function: `data` is the OlpFarfield (may be null).
bool OlpBatchObjectBox(void* object, uint32_t selector, void* data, OlpBBox* out);

/// Conservative advancement for one part pair over `step` seconds: moves
/// copies of the moving sides' states (timeA or timeB null: that side
/// rests) until the parts come within a slight penetration, and lowers the
/// given impact times to that time. 1 when the search ran to an end, 0 when
/// the parts cannot meet before the smaller impact time.
int32_t OlpBatchTimeOfImpact(OlpBatchArea* area, const OlpBatchPartPair* pair, float* timeA, float* timeB,
                             float step);
/// The time-of-impact pass: for every far-field pair with a moving object
/// (its id's slot in `slotIndex` non-zero), expands both sides over their
/// swept boxes, pairs the parts and runs OlpBatchTimeOfImpact with the
/// objects' impact times. Returns the number of part pairs that ran to an
/// end; a full list ends the pass.
uint32_t OlpBatchTimeOfImpactPass(OlpBatchArea* area, const OlpBatchPair* pairs, uint32_t pairCount,
                                  const uint16_t* slotIndex, const OlpBBox* sweptBoxes, float* impactTimes,
                                  uint32_t slotCount, float step, OlpBatchBoxFunc boxOf, void* boxData);
