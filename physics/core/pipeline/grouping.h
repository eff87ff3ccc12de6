#pragma once
// Island splitting of the row-sizing stage. An island whose row groups do
// not fit one solver block is regrouped: every object starts as a group of
// its own, joints always join their two ends, and a contact joins its two
// ends' groups only while the joined group still fits the block; otherwise
// it is cut into two one-sided contacts, one for each end. Every group
// then becomes an island of its own.
//
// Row groups are counted as the sizing stage counts them: a contact of n
// points costs ((n + 1) x 3) / 4 for each active end, a joint
// (rows + 3) / 4 for each active end, a joint inside an object twice.

#include <cstddef>
#include <cstdint>

struct OlpContact;
struct OlpJoint;
struct OlpObj;
struct OlpPipeline;

/// One group: objects of one island (by their index in the island).
struct OlpGroup
{
    uint32_t parent;      ///< a group index; the group itself on a root
    uint32_t rows;        ///< row groups of the whole group (on a root)
    uint32_t objectCount; ///< objects of the whole group (on a root)
    uint32_t island;      ///< the island it becomes (on a root, at the output)
    uint32_t placed;      ///< objects placed in that island's run so far
    uint32_t jointPlaced; ///< joints placed likewise
    OlpContact* lastContact;
};

/// The scratch of the splitting, laid out with the pipeline.
struct OlpGroupScratch
{
    OlpGroup* groups;    ///< one per active object
    uint32_t* slots;     ///< per object id: its index in the island being split
    OlpObj** objects;    ///< one per active object: the reordered run
    OlpJoint** joints;   ///< one per free joint: the reordered run
    uint32_t* jointRoot; ///< one per free joint: its group
    uint32_t idCapacity;
};

/// Row groups of a contact for each active end: ((points + 1) x 3) / 4.
uint32_t OlpContactRowGroups(const OlpContact* contact);

/// Bytes of the scratch for `activeObjects`, `objects` ids and `joints`.
size_t OlpGroupScratchSize(uint32_t activeObjects, uint32_t objects, uint32_t joints);
/// Lays the scratch out at `*cursor` (rounded up to 16) and advances it.
OlpGroupScratch* OlpGroupScratchLayout(OlpGroupScratch* scratch, uint8_t** cursor, uint32_t activeObjects,
                                       uint32_t objects, uint32_t joints);

/// The root of group `g`, every group on the way pointed straight at it.
uint32_t OlpGroupFindRoot(OlpGroup* groups, uint32_t g);
/// Joins roots `a` and `b`: the one of higher index goes under the other,
/// its counts added to it; returns the root.
uint32_t OlpGroupMerge(OlpGroup* groups, uint32_t a, uint32_t b);
/// True when root `g` with `extra` more row groups fits `limit`.
bool OlpGroupFitsBlock(const OlpGroup* groups, uint32_t g, uint32_t extra, uint32_t limit);
/// True when roots `a` and `b` joined, with `extra` more row groups, fit
/// `limit`.
bool OlpGroupCanJoin(const OlpGroup* groups, uint32_t a, uint32_t b, uint32_t extra, uint32_t limit);
/// Makes `count` groups of one object each, group i holding `rows[i]` row
/// groups (null: none).
void OlpGroupResetBlocks(OlpGroup* groups, uint32_t count, const uint32_t* rows);

/// Splits island `index` of the pipeline into islands that fit the rows per
/// island block (as far as single objects allow). Cut contacts get a
/// one-sided copy at the end of the contact list while it has room.
/// Returns the number of islands it became (1: left whole).
uint32_t OlpIslandSplit(OlpPipeline* pipeline, uint32_t index);
