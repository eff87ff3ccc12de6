#pragma once
// Articulated objects: the common build of ragdolls and generic objects.
// A shared, reference-counted definition holds up to `partCapacity` parts
// (each on its own collision volume) and `jointCapacity` joint
// definitions, which parts each joint binds, which part pairs never
// collide, and how parts map onto an array of 64-byte bone matrices. An
// object on it takes one dynamics state per part and one joint per joint
// definition while active, reads each part's pose from its bone matrix and
// writes the simulated pose back there.
//
// Usage: create the definition (ragdoll.h, generic.h), set its parts,
// joints, counts and mapping; create objects; give each its bone matrix
// array (SetMatrixArray); register them with the manager.

#include <cstdint>

#include "physics/core/joint/jointdef.h"
#include "physics/core/object/object.h"
#include "physics/core/serial/serialctx.h"
#include "physics/core/utils/bitmatrix.h"
#include "physics/core/volume/part.h"

/// The bone index of a part that no mapping entry drives: it has no bone
/// matrix and keeps no pose.
constexpr uint32_t kOlpArtNoBone = 0xFFFFFFFFu;
/// A mapping entry claimed by a part.
constexpr uint32_t kOlpArtClaimed = 0xFFFFFFFFu;
/// Most mapping entries (bones) a definition may have.
constexpr uint32_t kOlpArtMaxMapping = 0x10000;

struct OlpArtDef
{
    uint32_t refCount;
    uint16_t partCapacity;
    uint16_t jointCapacity;
    uint16_t partCount;
    uint16_t jointCount;
    OlpBitMatrix* partPairs; ///< capacity x capacity; a set bit (i, j) = parts i and j never collide
    OlpVolume* volumes;      ///< partCapacity volumes, 16-byte aligned
    OlpPart* parts;          ///< part i on volume i
    OlpJointDef* joints;     ///< jointCapacity definitions
    uint16_t* jointEnds;     ///< jointCapacity pairs {first end's part, second end's part}
    uint32_t mappingCount;
    uint32_t* boneKeys;  ///< partCapacity keys
    uint32_t* boneIndex; ///< partCapacity mapping entries, kOlpArtNoBone when none
    uint32_t* claimed;   ///< mappingCount words, kOlpArtClaimed where a part drives the entry; may be null
};

/// An articulated object: the base and its bone matrices.
struct OlpArtObj
{
    OlpObj base;
    void* frame;         ///< the attached graphics frame (ragdolls); null when none
    Matrix* matrixBlock; ///< mappingCount matrices, 16-byte aligned; null for none
    Matrix* bones;       ///< the bone matrix array; null until set
};

/// Initialises each fresh part volume (the ragdoll's capsules, the generic's null volumes).
using OlpArtVolumeInit = OlpVolume* (*)(OlpVolume* volume);
using OlpArtPartVisitor = int32_t (*)(OlpPart* part, void* data);
using OlpArtJointVisitor = int32_t (*)(OlpJointDef* joint, void* data);

/// A new definition (count 1, counts 0, no mapping, bits clear); null when
/// memory runs out (nothing left allocated).
OlpArtDef* OlpArtDefCreate(uint16_t parts, uint16_t joints, OlpArtVolumeInit volumeInit);
/// A new definition copying `def`'s counts, parts, joint definitions, joint
/// ends, part-pair bits and mapping; null when memory runs out.
OlpArtDef* OlpArtDefClone(const OlpArtDef* def, OlpArtVolumeInit volumeInit);
OlpArtDef* OlpArtDefAddRef(OlpArtDef* def);
/// Drops one reference; the last frees everything. 1.
int32_t OlpArtDefRelease(OlpArtDef* def);
/// Replaces the part-pair matrix (the old one destroyed); def.
OlpArtDef* OlpArtDefSetPartPairs(OlpArtDef* def, OlpBitMatrix* matrix);
/// Null (nothing changed) when n exceeds the capacity.
OlpArtDef* OlpArtDefSetPartCount(OlpArtDef* def, uint32_t n);
OlpArtDef* OlpArtDefSetJointCount(OlpArtDef* def, uint32_t n);
/// The part index of a joint's first end (`first` set) or second end.
uint32_t OlpArtDefGetJointIndex(const OlpArtDef* def, uint32_t joint, int32_t first);
/// Null (nothing changed) for a joint or part beyond the capacities.
OlpArtDef* OlpArtDefSetJointIndex(OlpArtDef* def, uint32_t joint, int32_t first, uint32_t part);
OlpArtDef* OlpArtDefForAllParts(OlpArtDef* def, OlpArtPartVisitor visitor, void* data);
OlpArtDef* OlpArtDefForAllJoints(OlpArtDef* def, OlpArtJointVisitor visitor, void* data);
/// Maps each part on the first entry j whose key equals the part's bone
/// key (no entry: kOlpArtNoBone); `values` (n words) become the claimed
/// keys, claimed entries set to kOlpArtClaimed. Null when n exceeds
/// kOlpArtMaxMapping or memory runs out (nothing changed).
OlpArtDef* OlpArtDefSetMapping(OlpArtDef* def, const uint32_t* keys, const uint32_t* values, uint32_t n);

/// Initialises an object on `def` (a reference taken; null allowed) of
/// `type` with `flags` (0x10000 added when the mapping has more entries
/// than parts); null when memory runs out.
OlpArtObj* OlpArtObjInit(OlpArtObj* object, OlpArtDef* def, OlpObjType* type, uint32_t flags);
/// Unregisters the object, releases the base, the matrix block and the
/// definition; 1.
int32_t OlpArtObjDeinit(OlpArtObj* object);
/// Part i's source matrix becomes bones + its bone index (none for a part
/// without a bone); the base is kept.
OlpArtObj* OlpArtObjSetMatrixArray(OlpArtObj* object, Matrix* bones);

// Type operations shared by ragdolls and generic objects.
int32_t OlpArtObjActivate(OlpObj* object);
int32_t OlpArtObjDeactivate(OlpObj* object);
/// The union of the used parts' boxes under their source matrices.
int32_t OlpArtObjBounds(OlpObj* object, OlpBBox* out);
int32_t OlpArtObjWriteBack(OlpObj* object);

/// The definition items: capacities and counts (u16 items), the used parts
/// and joint definitions, each joint's two part indices (u16 items), the
/// part-pair bit matrix, the mapping count (u32), bone keys and bone indices
/// (arrays of part-count words).
int32_t OlpArtDefSerialize(OlpSerialCtx* ctx, const OlpArtDef* def);
/// Reads the items into a new definition; `fixedParts` and `fixedJoints`
/// (0: any) are the only capacities accepted. Null when malformed.
OlpArtDef* OlpArtDefDeserialize(OlpSerialCtx* ctx, uint16_t fixedParts, uint16_t fixedJoints,
                                OlpArtVolumeInit volumeInit);
