#pragma once
// The warm-start cache: each contact's solved normal impulse carried to the
// next step as the contact's load value, keyed by its two ends. Entries are
// taken in order and the buckets cleared wholesale each step; nothing is
// allocated after the layout.

#include <cstddef>
#include <cstdint>

#include "graphics/core/vector.h"
#include "physics/core/solver/stages.h"

struct OlpContact;
struct OlpIslandList;

struct OlpContactCacheEntry
{
    void* objectA; ///< the lower end of the ordered pair
    uint32_t selectorA;
    void* objectB;
    uint32_t selectorB;
    V3d normal; ///< the contact's normal, from B towards A as stored
    float load; ///< newton seconds, never negative
    OlpContactCacheEntry* next;
    uint32_t pointCount;
    V3d points[4];       ///< the contact's points, world space
    OlpContactWarm warm; ///< their solved impulses
};

struct OlpContactCache
{
    OlpContactCacheEntry** buckets;
    uint32_t bucketCount; ///< a power of two
    uint32_t capacity;
    OlpContactCacheEntry* entries;
    uint32_t used;
    float pointTolerance; ///< farthest a point may move and keep its impulses, world units
};

/// Buckets for `capacity` contacts: the largest power of two not above it
/// (1 below 2).
uint32_t OlpContactCacheBuckets(uint32_t capacity);
/// Bytes of the cache for `capacity` contacts.
size_t OlpContactCacheSize(uint32_t capacity);
/// Lays the cache out at `*cursor` (16-aligned) with cleared buckets and
/// advances the cursor.
OlpContactCache* OlpContactCacheInit(OlpContactCache* cache, uint8_t** cursor, uint32_t capacity);
/// The key of a contact's ends, the same whichever end comes first.
uint32_t OlpContactCacheKey(const void* objectA, uint32_t selectorA, const void* objectB, uint32_t selectorB);
/// Warm start: each contact of the islands not at rest gets the load of the
/// cached entry of the same two ends (in either order) whose normal is
/// closest to its own, 0 when none, and in `warm[i]` (the block of
/// `contactBase[i]`) that entry's point impulses, point by nearest point.
void OlpContactCacheLookup(OlpContactCache* cache, const OlpIslandList* islands,
                           const OlpContact* contactBase, OlpContactWarm* warm);
/// Stores the solved normal impulse of each contact of the islands not at
/// rest (`impulses[i]` and `warm[i]` belong to `contactBase[i]`); a
/// negative or NaN load as 0.
void OlpContactCacheStore(OlpContactCache* cache, const OlpIslandList* islands, const OlpContact* contactBase,
                          const OlpContactImpulse* impulses, const OlpContactWarm* warm);
