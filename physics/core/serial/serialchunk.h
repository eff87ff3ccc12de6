#pragma once
// Definition and object chunks. A definition chunk (body 0x907, ragdoll
// 0x909, generic 0x90B) holds a struct chunk whose body is the definition's
// items: its size is the item bytes + 12, the struct chunk's the item bytes.
// An object chunk (0x908, 0x90A, 0x90C) holds its definition chunk: size
// definition chunk size + 12. Written stamps are version 0x37002, build 10;
// readers accept versions 0x35000 to 0x37002 (else kErrorBadVersion).
//
// Readers never read past the chunk they are given: every item is held to
// the struct chunk's size, which is held to the enclosing chunk's.

#include <cstdint>

#include "physics/core/context/context.h"
#include "physics/core/serial/serialctx.h"

struct Stream;

/// Chunk types of the physics definitions and objects.
constexpr uint32_t kOlpChunkBodyDef = 0x907;
constexpr uint32_t kOlpChunkBody = 0x908;
constexpr uint32_t kOlpChunkRagdollDef = 0x909;
constexpr uint32_t kOlpChunkRagdoll = 0x90A;
constexpr uint32_t kOlpChunkGenericDef = 0x90B;
constexpr uint32_t kOlpChunkGeneric = 0x90C;
/// The build the physics writers stamp.
constexpr uint32_t kOlpChunkBuild = 10;
/// Size of an unknown enclosing chunk.
constexpr uint32_t kOlpChunkUnbounded = UINT32_MAX;

/// The definition chunk's size (item bytes + 12); 0 when the writer fails.
uint32_t OlpSerialDefChunkSize(OlpObjectDefWriter writer, const void* definition);
/// Writes the definition chunk of `type`; 1, or 0 when a write fails.
int32_t OlpSerialDefChunkWrite(Stream* stream, uint32_t type, OlpObjectDefWriter writer,
                               const void* definition);
/// Writes the object chunk of `type` around the definition chunk of `defType`.
int32_t OlpSerialObjectChunkWrite(Stream* stream, uint32_t type, uint32_t defType, OlpObjectDefWriter writer,
                                  const void* definition);
/// Reads a definition chunk's body (the stream stands after its header; its
/// size `bytes` when known): the struct chunk, then the items. The new
/// definition, or null with the first error recorded.
void* OlpSerialDefChunkRead(Stream* stream, uint32_t bytes, OlpObjectDefReader reader);
/// Reads an object chunk's body (its size `bytes` when known): the
/// definition chunk of `defType` and its body. The new definition or null.
void* OlpSerialObjectChunkRead(Stream* stream, uint32_t bytes, uint32_t defType, OlpObjectDefReader reader);
