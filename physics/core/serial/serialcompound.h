#pragma once
// The shared data of compound and hull volumes as serialiser items, private
// to the volume items: hulls (kind 20), aggregate child lists (kind 21) and
// grids (kind 29). Readers bound every count by the bytes left in the chunk
// before allocating, and validate indices before anything uses them.

#include <cstdint>

#include "physics/core/serial/serialctx.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/convexhull.h"

/// Counts (u16 vertices, faces, half-edges), vertices and face normals as
/// floats, then the index arrays (vertex and face edge starts, each edge's
/// from, to, neighbour and own face, the edges by vertex).
int32_t OlpHullStreamWrite(OlpSerialCtx* ctx, const OlpConvexHull* hull);
/// A new, finalised hull (one reference); null when malformed.
OlpConvexHull* OlpHullStreamRead(OlpSerialCtx* ctx);
/// Child count (kind 3), each child's volume record, then the bounds: box
/// maximum and minimum (vectors) and sphere (four floats).
int32_t OlpChildListStreamWrite(OlpSerialCtx* ctx, const OlpAggChildren* list);
/// A new child list (one reference), its bounds recomputed from the
/// children read; null when malformed.
OlpAggChildren* OlpChildListStreamRead(OlpSerialCtx* ctx);
/// Cell count and the packed hash's bytes (kind 3 each), the packed hash as
/// words (kind 4), then the cells as volume records.
int32_t OlpGridStreamWrite(OlpSerialCtx* ctx, const OlpVolume* grid);
/// Initialises `volume` as the grid read; 0 (a null volume) when malformed.
int32_t OlpGridStreamRead(OlpSerialCtx* ctx, OlpVolume* volume);
