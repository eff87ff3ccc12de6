#pragma once
// Body definitions and bodies in streams: chunk 0x907 (the definition: a
// struct chunk holding its part item) and chunk 0x908 (a body: its
// definition's chunk). See serialchunk.h for the framing.

#include <cstdint>

#include "physics/core/body/body.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/serial/serialctx.h"

struct Stream;

/// Writes the part through the context (measures without a stream); 1 or 0.
int32_t OlpBodyDefSerialize(OlpSerialCtx* ctx, const void* def);
/// Reads a part into a new definition stored in `out`; 1, or 0 with
/// nothing left allocated.
int32_t OlpBodyDefDeserialize(OlpSerialCtx* ctx, void** out);

/// Writes chunk 0x907; def, or null when a write fails.
const OlpBodyDef* OlpBodyDefStreamWrite(const OlpBodyDef* def, Stream* stream);
/// Reads the body of a chunk 0x907 the caller has found (its `size`, when
/// given, bounds every read): a new definition (one reference), or null
/// with the first error recorded.
OlpBodyDef* OlpBodyDefStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
/// Bytes of chunk 0x907's body (12 + the part item); 0 on failure.
uint32_t OlpBodyDefStreamSize(const OlpBodyDef* def);
/// Writes chunk 0x908 around the definition's chunk; body, or null.
const OlpBody* OlpBodyStreamWrite(const OlpBody* body, Stream* stream);
/// Reads the body of a chunk 0x908 the caller has found (its `size`, when
/// given, bounds every read): a new body on the definition read, or null
/// with the first error recorded.
OlpBody* OlpBodyStreamRead(Stream* stream, uint32_t size = kOlpChunkUnbounded);
/// Bytes of chunk 0x908's body (the definition's chunk); 0 on failure.
uint32_t OlpBodyStreamSize(const OlpBody* body);
