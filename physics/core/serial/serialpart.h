#pragma once
// Parts, joint definitions and bit matrices as serialiser items.
//
// Part (kind 24): the volume record; mass; centre of mass and principal
// rotation (frame item); scalar inertia and the two dynamics coefficients;
// the three carried words (a vector item of their bits); flags; the
// inertia diagonal.
// Joint definition (kind 27): flags; frame A position and orientation;
// frame B; limit A mode and block (value, then limits 2, 3, 1); limit B mode
// and block; limit B's drives 1, 3, 2; block C's axis word and drives 1, 3, 2.
// Bit matrix (kind 28): rows, columns, then the words (array item).

#include <cstdint>

#include "physics/core/joint/jointdef.h"
#include "physics/core/serial/serialctx.h"
#include "physics/core/utils/bitmatrix.h"
#include "physics/core/volume/part.h"

int32_t OlpPartStreamWrite(OlpSerialCtx* ctx, const OlpPart* part);
/// Reads into `part`, whose volume holds nothing to release; on failure the
/// volume is a null volume and the other fields are unspecified.
int32_t OlpPartStreamRead(OlpSerialCtx* ctx, OlpPart* part);
int32_t OlpJointDefStreamWrite(OlpSerialCtx* ctx, const OlpJointDef* def);
/// Reads every field but the reference count.
int32_t OlpJointDefStreamRead(OlpSerialCtx* ctx, OlpJointDef* def);
int32_t OlpBitMatrixStreamWrite(OlpSerialCtx* ctx, const OlpBitMatrix* matrix);
/// A new matrix; null when malformed (a size 0, or more words than the
/// chunk holds).
OlpBitMatrix* OlpBitMatrixStreamRead(OlpSerialCtx* ctx);
