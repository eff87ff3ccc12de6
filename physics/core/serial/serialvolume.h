#pragma once
// Collision volumes as serialiser items. A volume record (kind 23, version
// 1) is the volume body (kind 11: the type's tag, 12 to 31, then the type's
// own item), the frame (matrix item), margin, slide and bounce, and the
// volume's id and tag. Built-in types have tags of their own; any other
// type is written as a custom volume (tag 31: its type id, the byte count
// of its own data, then the type's stream writer's bytes) and read back
// through the custom type registry.
//
// A custom type's stream writer answers the bytes it writes (with a null
// stream only their count), 0 on failure; its reader is given a stream of
// exactly those bytes and must read them all.
//
// Triangle lists keep only their source kind: their source is outside data
// and they read back as null volumes.

#include <cstdint>

#include "physics/core/serial/serialctx.h"
#include "physics/core/volume/volume.h"

/// The body item of a volume; 0 for a type without a stream writer.
int32_t OlpVolumeStreamWriteBody(OlpSerialCtx* ctx, const OlpVolume* volume);
/// Initialises `volume` (holding nothing to release) from a body item: a
/// sphere of radius 1 and a capsule of radius 1 wait for the record's
/// margin. 0 on failure, the volume then a null volume.
int32_t OlpVolumeStreamReadBody(OlpSerialCtx* ctx, OlpVolume* volume);
/// The custom body: type id, byte count, then the type's writer; 0 without one.
int32_t OlpVolumeStreamWriteCustom(OlpSerialCtx* ctx, const OlpVolume* volume);
/// Finds the type id's descriptor and lets its reader fill the volume; 0
/// for an unregistered id or a type without a reader.
int32_t OlpVolumeStreamReadCustom(OlpSerialCtx* ctx, OlpVolume* volume);
/// The whole volume record.
int32_t OlpVolumeStreamWrite(OlpSerialCtx* ctx, const OlpVolume* volume);
/// Reads a volume record into `volume` (holding nothing to release); 0 on
/// failure, the volume then a null volume.
int32_t OlpVolumeStreamRead(OlpSerialCtx* ctx, OlpVolume* volume);
