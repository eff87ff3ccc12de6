#pragma once
// Generic objects (type id 2, "olpOBJTYPEGENERIC"): articulated objects
// with any number of parts and joints, fixed when the definition is made
// (see articulated.h). Their parts start as null volumes, their flags are
// 27 (self pairs tested), and they have no graphics write back of their own.

#include <cstdint>

#include "physics/core/articulated/articulated.h"
#include "physics/core/context/context.h"
#include "physics/core/serial/serialchunk.h"

struct Stream;

using OlpGenericDef = OlpArtDef;
using OlpGenericObj = OlpArtObj;

/// The generic type; its maximum active count is set by OlpGenericParamsReserve.
extern OlpObjType gOlpGenericType;

/// A definition of `parts` null volumes (at least 1) and `joints` default
/// joint definitions, counts 0; null when memory runs out or parts is 0.
OlpGenericDef* OlpGenericDefCreate(uint16_t parts, uint16_t joints);
OlpGenericDef* OlpGenericDefClone(const OlpGenericDef* def);
int32_t OlpGenericDefRelease(OlpGenericDef* def);
OlpGenericDef* OlpGenericDefSetPartPairs(OlpGenericDef* def, OlpBitMatrix* matrix);
OlpGenericDef* OlpGenericDefSetPartCount(OlpGenericDef* def, uint32_t n);
OlpGenericDef* OlpGenericDefSetJointCount(OlpGenericDef* def, uint32_t n);
uint32_t OlpGenericDefGetJointIndex(const OlpGenericDef* def, uint32_t joint, int32_t first);
OlpGenericDef* OlpGenericDefSetJointIndex(OlpGenericDef* def, uint32_t joint, int32_t first, uint32_t part);
OlpGenericDef* OlpGenericDefForAllParts(OlpGenericDef* def, OlpArtPartVisitor visitor, void* data);
OlpGenericDef* OlpGenericDefForAllJoints(OlpGenericDef* def, OlpArtJointVisitor visitor, void* data);
OlpGenericDef* OlpGenericDefSetMapping(OlpGenericDef* def, const uint32_t* keys, const uint32_t* values,
                                       uint32_t n);

OlpGenericObj* OlpGenericObjCreate(OlpGenericDef* def);
OlpGenericObj* OlpGenericObjInit(OlpGenericObj* object, OlpGenericDef* def);
int32_t OlpGenericObjDeinit(OlpGenericObj* object);
int32_t OlpGenericObjDestroy(OlpGenericObj* object);
/// Replaces the definition of an unregistered object (null allowed); null
/// when memory runs out (the object is then empty).
OlpGenericObj* OlpGenericObjSetDef(OlpGenericObj* object, OlpGenericDef* def);
OlpGenericObj* OlpGenericObjSetMatrixArray(OlpGenericObj* object, Matrix* bones);

/// Reserves `maxRegistered` objects of which `maxActive` may be active with
/// `parts` and `joints` in all: words 1, 2, 4, 5 (parts), 6 (joints),
/// 7 (2 x parts), 8 (3 x parts).
OlpContextParams* OlpGenericParamsReserve(OlpContextParams* params, uint32_t maxRegistered,
                                          uint32_t maxActive, uint32_t parts, uint32_t joints);
/// Installs the definition stream handlers under type id 2; 1 or 0.
int32_t OlpGenericObjRegisterType(OlpContext* context);

int32_t OlpGenericDefSerialize(OlpSerialCtx* ctx, const void* def);
int32_t OlpGenericDefDeserialize(OlpSerialCtx* ctx, void** out);
/// Chunk 0x90B; def or null.
const OlpGenericDef* OlpGenericDefStreamWrite(const OlpGenericDef* def, Stream* stream);
/// The body of a chunk 0x90B the caller found (its `size`, when given,
/// bounds every read): a new definition or null.
OlpGenericDef* OlpGenericDefStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
uint32_t OlpGenericDefStreamSize(const OlpGenericDef* def);
/// Chunk 0x90C around the definition's chunk; object or null.
const OlpGenericObj* OlpGenericObjStreamWrite(const OlpGenericObj* object, Stream* stream);
/// The body of a chunk 0x90C the caller found (`size` as above): a new
/// object or null.
OlpGenericObj* OlpGenericObjStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
uint32_t OlpGenericObjStreamSize(const OlpGenericObj* object);
