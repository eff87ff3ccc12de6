#include "physics/core/pipeline/contactcache.h"

#include "physics/core/contact/contact.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/partition.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

uint32_t EndId(const void* object, uint32_t selector)
{
    if (object == nullptr || selector >= 0xFFFF) {
        return 0xFFFF;
    }
    return static_cast<uint16_t>(static_cast<const OlpObj*>(object)->id);
}

/// True when end 1 orders before end 2 (by id, then selector, then address).
bool Before(const void* o1, uint32_t s1, const void* o2, uint32_t s2)
{
    uint32_t id1 = EndId(o1, s1);
    uint32_t id2 = EndId(o2, s2);
    if (id1 != id2) {
        return id1 < id2;
    }
    if (s1 != s2) {
        return s1 < s2;
    }
    return reinterpret_cast<uintptr_t>(o1) <= reinterpret_cast<uintptr_t>(o2);
}

/// 1 when the entry has the contact's ends in its order, -1 when swapped
/// (its normal then points the other way), 0 for another pair.
float SameEnds(const OlpContactCacheEntry& e, const OlpContact& c)
{
    if (e.objectA == c.objectA && e.selectorA == c.partA && e.objectB == c.objectB &&
        e.selectorB == c.partB) {
        return 1.0f;
    }
    if (e.objectA == c.objectB && e.selectorA == c.partB && e.objectB == c.objectA &&
        e.selectorB == c.partA) {
        return -1.0f;
    }
    return 0.0f;
}

} // namespace

uint32_t OlpContactCacheBuckets(uint32_t capacity)
{
    uint32_t buckets = 1;
    while (buckets <= capacity / 2) {
        buckets *= 2;
    }
    return buckets;
}

size_t OlpContactCacheSize(uint32_t capacity)
{
    return Round16(sizeof(OlpContactCacheEntry) * size_t{capacity}) +
           Round16(sizeof(OlpContactCacheEntry*) * OlpContactCacheBuckets(capacity)) + 16;
}

OlpContactCache* OlpContactCacheInit(OlpContactCache* cache, uint8_t** cursor, uint32_t capacity)
{
    cache->capacity = capacity;
    cache->bucketCount = OlpContactCacheBuckets(capacity);
    cache->entries = Take<OlpContactCacheEntry>(cursor, capacity);
    cache->buckets = Take<OlpContactCacheEntry*>(cursor, cache->bucketCount);
    cache->used = 0;
    for (uint32_t i = 0; i < cache->bucketCount; ++i) {
        cache->buckets[i] = nullptr;
    }
    return cache;
}

uint32_t OlpContactCacheKey(const void* objectA, uint32_t selectorA, const void* objectB, uint32_t selectorB)
{
    if (!Before(objectA, selectorA, objectB, selectorB)) {
        return OlpContactCacheKey(objectB, selectorB, objectA, selectorA);
    }
    uint32_t a = EndId(objectA, selectorA) * 32u + (selectorA & 0xFFFF);
    uint32_t b = EndId(objectB, selectorB) * 32u + (selectorB & 0xFFFF);
    return a * 16381u + b;
}

void OlpContactCacheLookup(OlpContactCache* cache, const OlpIslandList* islands,
                           const OlpContact* contactBase, OlpContactWarm* warm)
{
    for (uint32_t i = 0; i < islands->count; ++i) {
        const OlpIsland& island = islands->islands[i];
        if ((island.flags & kOlpIslandAtRest) != 0) {
            continue;
        }
        for (OlpContact* c = island.firstContact; c != nullptr; c = c->listLink) {
            c->load = 0.0f;
            uint32_t key = OlpContactCacheKey(c->objectA, c->partA, c->objectB, c->partB);
            float best = -3.4028235e38f;
            const OlpContactCacheEntry* found = nullptr;
            float foundOrder = 1.0f;
            for (const OlpContactCacheEntry* e = cache->buckets[key & (cache->bucketCount - 1)]; e != nullptr;
                 e = e->next) {
                float order = SameEnds(*e, *c);
                if (order == 0.0f) {
                    continue;
                }
                float along = order * Dot(e->normal, c->normal);
                if (along > best) {
                    best = along;
                    c->load = e->load;
                    found = e;
                    foundOrder = order;
                }
            }
            OlpContactWarm& start = warm[c - contactBase];
            if (found != nullptr) {
                OlpContactWarmMatch(&found->warm, found->points, found->pointCount, foundOrder, c,
                                    cache->pointTolerance, &start);
            } else {
                start = {};
            }
        }
    }
}

void OlpContactCacheStore(OlpContactCache* cache, const OlpIslandList* islands, const OlpContact* contactBase,
                          const OlpContactImpulse* impulses, const OlpContactWarm* warm)
{
    for (uint32_t i = 0; i < cache->bucketCount; ++i) {
        cache->buckets[i] = nullptr;
    }
    cache->used = 0;
    for (uint32_t i = 0; i < islands->count; ++i) {
        const OlpIsland& island = islands->islands[i];
        if ((island.flags & kOlpIslandAtRest) != 0) {
            continue;
        }
        for (const OlpContact* c = island.firstContact; c != nullptr && cache->used < cache->capacity;
             c = c->listLink) {
            const OlpContactImpulse& impulse = impulses[c - contactBase];
            float load = OlpPartitionActiveEnd(c->objectA, c->partA) ? Dot(c->normal, impulse.onA)
                                                                     : -Dot(c->normal, impulse.onB);
            OlpContactCacheEntry& e = cache->entries[cache->used++];
            e.objectA = c->objectA;
            e.selectorA = c->partA;
            e.objectB = c->objectB;
            e.selectorB = c->partB;
            e.normal = c->normal;
            e.load = load > 0.0f ? load : 0.0f; // also NaN
            e.pointCount = c->count < kOlpContactMaxPoints ? c->count : kOlpContactMaxPoints;
            for (uint32_t k = 0; k < e.pointCount; ++k) {
                e.points[k] = c->points[k].position;
            }
            e.warm = warm[c - contactBase];
            uint32_t key = OlpContactCacheKey(c->objectA, c->partA, c->objectB, c->partB);
            OlpContactCacheEntry** bucket = &cache->buckets[key & (cache->bucketCount - 1)];
            e.next = *bucket;
            *bucket = &e;
        }
    }
}
