#pragma once
// Ragdolls (type id 1, "olpOBJTYPERAGDOLL"): articulated objects of up to
// 11 capsule parts and 10 joints whose parts drive the bone matrices of an
// animation hierarchy (see articulated.h). With the graphics attachment
// installed, the write back also moves the attached frame to part 0.
//
// Usage: OlpRagdollParamsReserve before the context is made;
// OlpRagdollRegisterType after; a definition with its parts, joints,
// counts, bone keys and mapping; OlpRagdollCreate, OlpRagdollSetMatrixArray,
// then OlpMgrAddObject.

#include <cstdint>

#include "physics/core/articulated/articulated.h"
#include "physics/core/context/context.h"
#include "physics/core/serial/serialchunk.h"

struct Frame;
struct Stream;

using OlpRagdollDef = OlpArtDef;
using OlpRagdoll = OlpArtObj;

constexpr uint16_t kOlpRagdollParts = 11;
constexpr uint16_t kOlpRagdollJoints = 10;

/// The ragdoll type; its maximum active count is set by OlpRagdollParamsReserve.
extern OlpObjType gOlpRagdollType;

/// A definition of 11 capsules (radius 1, half height 1) and 10 default
/// joint definitions, counts 0; null when memory runs out.
OlpRagdollDef* OlpRagdollDefCreate();
/// A copy of the definition; null when memory runs out.
OlpRagdollDef* OlpRagdollDefClone(const OlpRagdollDef* def);
/// Drops one reference; the last frees everything. 1.
int32_t OlpRagdollDefRelease(OlpRagdollDef* def);
OlpRagdollDef* OlpRagdollDefSetPartPairs(OlpRagdollDef* def, OlpBitMatrix* matrix);
/// Null (nothing changed) above 11.
OlpRagdollDef* OlpRagdollDefSetPartCount(OlpRagdollDef* def, uint32_t n);
/// Null (nothing changed) above 10.
OlpRagdollDef* OlpRagdollDefSetJointCount(OlpRagdollDef* def, uint32_t n);
uint32_t OlpRagdollGetJointIndex(const OlpRagdollDef* def, uint32_t joint, int32_t first);
OlpRagdollDef* OlpRagdollSetJointIndex(OlpRagdollDef* def, uint32_t joint, int32_t first, uint32_t part);
OlpRagdollDef* OlpRagdollDefForAllParts(OlpRagdollDef* def, OlpArtPartVisitor visitor, void* data);
OlpRagdollDef* OlpRagdollDefForAllJoints(OlpRagdollDef* def, OlpArtJointVisitor visitor, void* data);
OlpRagdollDef* OlpRagdollDefSetMapping(OlpRagdollDef* def, const uint32_t* keys, const uint32_t* values,
                                       uint32_t n);

/// A new ragdoll on `def` (one reference taken); null when memory runs out.
OlpRagdoll* OlpRagdollCreate(OlpRagdollDef* def);
OlpRagdoll* OlpRagdollInit(OlpRagdoll* ragdoll, OlpRagdollDef* def);
/// Unregisters it and releases everything; 1. Destroy also frees the record.
int32_t OlpRagdollDeinit(OlpRagdoll* ragdoll);
int32_t OlpRagdollDestroy(OlpRagdoll* ragdoll);
OlpRagdoll* OlpRagdollSetMatrixArray(OlpRagdoll* ragdoll, Matrix* bones);
OlpRagdoll* OlpRagdollSetFrame(OlpRagdoll* ragdoll, Frame* frame);
Frame* OlpRagdollGetFrame(const OlpRagdoll* ragdoll);

/// Reserves `maxRegistered` ragdolls of which `maxActive` may be active:
/// words 1, 2, 4, 5 (11 each), 6 (10 each), 7 (10 each), 8 (25 each).
OlpContextParams* OlpRagdollParamsReserve(OlpContextParams* params, uint32_t maxRegistered,
                                          uint32_t maxActive);
/// Installs the definition stream handlers under type id 1; 1, or 0 when
/// the context has no room.
int32_t OlpRagdollRegisterType(OlpContext* context);
/// Makes the write back also move the attached frame to part 0's matrix; 1.
int32_t OlpRagdollPluginAttach();
bool OlpRagdollPluginAttached();

/// The definition items through a serialiser context; 1 or 0.
int32_t OlpRagdollDefSerialize(OlpSerialCtx* ctx, const void* def);
/// Reads a definition (11 parts, 10 joints); 1, or 0 with nothing left.
int32_t OlpRagdollDefDeserialize(OlpSerialCtx* ctx, void** out);
/// Chunk 0x909; def or null.
const OlpRagdollDef* OlpRagdollDefStreamWrite(const OlpRagdollDef* def, Stream* stream);
/// The body of a chunk 0x909 the caller found (its `size`, when given,
/// bounds every read): a new definition or null.
OlpRagdollDef* OlpRagdollDefStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
uint32_t OlpRagdollDefStreamSize(const OlpRagdollDef* def);
/// Chunk 0x90A around the definition's chunk; ragdoll or null.
const OlpRagdoll* OlpRagdollStreamWrite(const OlpRagdoll* ragdoll, Stream* stream);
/// The body of a chunk 0x90A the caller found (`size` as above): a new
/// ragdoll or null.
OlpRagdoll* OlpRagdollStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
uint32_t OlpRagdollStreamSize(const OlpRagdoll* ragdoll);
