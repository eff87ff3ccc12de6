#pragma once
// The grid's packed data block: the built hash of a grid volume (its sizes,
// origin, bounds, hash slots, grid entries, cell lists and large list) in one
// little-endian block, so a stream can keep a grid without building it again
// on reading. The cells themselves are not in the block: the stream keeps
// them as volume records of their own, and the reader initialises them into
// the rebuilt grid exactly as they were written.
//
// Layout, field by field (u32 unless noted):
//   magic 0x10000001, block bytes, cell count, hash mask, entry count,
//   list length, cell limit, large count,
//   inverse cell size (3 floats), origin (3 floats), bounding sphere
//   (4 floats), box minimum and maximum (6 floats),
//   per hash slot its entry count, per entry x, y, z (i16) and its cell
//   count, the cell lists (cell indices), the large list (cell indices).

#include <cstddef>
#include <cstdint>

#include "physics/core/volume/grid.h"

struct Stream;

constexpr uint32_t kOlpGridDataMagic = 0x10000001;
/// Most cells a stored grid may hold (a reader allocates their records).
constexpr uint32_t kOlpGridDataMaxCells = 1u << 20;
/// Largest hash table a stored grid may hold.
constexpr uint32_t kOlpGridDataMaxSlots = 1u << 26;

/// What a stream writer needs to know of a grid.
struct OlpGridData
{
    const OlpGridHeader* header;
    uint32_t cellCount;
};

/// The grid's header and cell count into `out`; null when `grid` has no header.
OlpGridData* OlpGridGetData(const OlpVolume* grid, OlpGridData* out);
/// Bytes of the grid's packed block; 0 when the grid is not built or holds
/// more than kOlpGridDataMaxCells cells.
size_t OlpGridDataSize(const OlpVolume* grid);
/// Packs the built grid into `out` (room for OlpGridDataSize bytes); the
/// bytes written, 0 when the grid cannot be stored or the room is short.
size_t OlpGridPackData(const OlpVolume* grid, uint8_t* out, size_t room);
/// Writes the packed block to `stream`, or only measures it when `stream` is
/// null; the block's bytes, 0 when the grid cannot be stored, memory refuses
/// or the stream fails.
size_t OlpGridStreamWriteData(const OlpVolume* grid, Stream* stream);
/// Initialises `volume` as a grid of null cells carrying the hash stored in
/// `block` (its first `size` bytes hold at least the whole block); the
/// caller then initialises each cell as it was when written. Null, with the
/// volume left a null volume, on a malformed block (bad magic or size,
/// counts beyond the bytes or the limits, non-finite sizes or bounds, a box
/// wider than 16 bits of grid cells,
/// entries in the wrong slot, cell indices out of range) or refused memory.
OlpVolume* OlpGridInitFromData(OlpVolume* volume, const uint8_t* block, size_t size);
