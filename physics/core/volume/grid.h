#pragma once
// Grid volumes (type 10): a compound of many cells, each a full volume of
// any type, indexed by a spatial hash over a uniform 3-D grid so that the
// narrow phase can ask for the cells near a box without walking them all.
//
// Usage: OlpGridCreate(n), initialise every OlpGridGetCell as any type,
// OlpGridBuild once; the grid is immutable afterwards. Grid coordinates are
// measured from the centre of the cells' union box in cells of the chosen
// size, truncated toward zero and saturated to 16 bits, so a grid far from
// the origin or with very small cells still indexes correctly.

#include <cstdint>

#include "physics/core/volume/volume.h"

/// One volume the narrow phase is to test: written by compound queries.
/// The object and part fields belong to the caller.
struct OlpBatchEntry
{
    void* object;
    uint32_t part;
    uint32_t featureId;      ///< the cell's index for grid cells
    const OlpVolume* volume; ///< the cell
    const Matrix* frame;     ///< the cell's own frame
};

/// A caller's array of batch entries.
struct OlpBatchList
{
    OlpBatchEntry* entries;
    uint32_t count;
    uint32_t capacity;
};

/// The cells overlapping one grid cell (or the cells too large for the hash).
struct OlpGridEntry
{
    int16_t x, y, z;
    uint32_t count;
    uint32_t* cells; ///< indices into the grid's cells
};

struct OlpGridHeader
{
    V3d inverseCellSize;
    OlpVolume* cells;
    uint32_t cellCount;
    uint32_t* bucketStart; ///< per hash slot, its first entry
    uint32_t* bucketCount; ///< per hash slot, its number of entries
    uint32_t hashMask;     ///< table size - 1
    OlpGridEntry* entries;
    uint32_t* lists;    ///< storage of the entries' cell lists
    uint32_t* visited;  ///< one bit per cell, for queries
    uint32_t cellLimit; ///< most grid cells a cell may cover and be hashed; 0 before the build
    OlpGridEntry large; ///< the cells over the limit, tested by every query
    OlpSphere sphere;
    OlpBBox box;
    V3d origin; ///< grid coordinates are measured from here (the union box's centre)
    uint32_t refCount;
    uint32_t entryCount;
    float thickness; ///< cache, -1 until computed
    float volume;    ///< mass cache, -1 until computed
    V3d centre;
    OlpMassProperties mass;
};

/// Lists the cells whose boxes touch `box` (in the grid's frame) into
/// `list`; returns the number appended. A full list stops the listing.
using OlpGridQueryFunc = uint32_t (*)(const OlpVolume* grid, const OlpBBox* box, uint32_t word,
                                      OlpBatchList* list);

extern const OlpVolumeDescriptor kOlpGridDescriptor;

/// A new grid of `cellCount` null cells; null when the memory refuses.
OlpVolume* OlpGridCreate(uint32_t cellCount);
/// Initialises `volume` in place as a grid of `cellCount` null cells; null
/// (the volume left a null volume) when the memory refuses.
OlpVolume* OlpGridInit(OlpVolume* volume, uint32_t cellCount);
/// Cell i (i < count) for the caller to initialise; null out of range.
OlpVolume* OlpGridGetCell(OlpVolume* grid, uint32_t i);
uint32_t OlpGridGetCellCount(const OlpVolume* grid);
OlpGridHeader* OlpGridGetHeader(const OlpVolume* grid);
OlpGridHeader* OlpGridAddRef(OlpGridHeader* header);
/// Drops one reference; at zero releases every cell and frees the grid. 1.
int32_t OlpGridRelease(OlpGridHeader* header);
/// The 96-bit mix of three integers (subtract-and-xor rounds with shifts
/// 13, 8, 13, 12, 16, 5, 3, 10, 15); the final c.
uint32_t OlpGridHash(int32_t x, int32_t y, int32_t z);
/// Builds the hash once every cell is set, with cells at least
/// `minimumCellSize` wide; returns the number of grid entries (0 when the
/// memory refuses: the grid then lists nothing).
uint32_t OlpGridBuild(OlpVolume* grid, float minimumCellSize);
/// The grid's default query (the volume's query word holds it).
uint32_t OlpGridQuery(const OlpVolume* grid, const OlpBBox* box, uint32_t word, OlpBatchList* list);
/// The query the volume carries (type word 2).
OlpGridQueryFunc OlpGridGetQuery(const OlpVolume* grid);
