// Merging the contacts of one part pair: shadowed records emptied, records
// of one plane joined into one record of at most four points.
#include <algorithm>
#include <cmath>

#include "physics/core/contact/contact.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr uint32_t kBuckets = 16;

float Manhattan(V3d a, V3d b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

/// Whether `face` (a face record) empties `other` (a record of lower kind
/// on the same side-A feature); `leading` when the face record is the one
/// whose successors are being compared (it then wins ties).
bool FaceEmpties(const OlpContact& face, const OlpContact& other, bool leading, float scale)
{
    if (face.kindB != kOlpFeatureFace || other.kindB >= kOlpFeatureFace || face.count == 0 ||
        other.count == 0 || face.points[0].featureA != other.points[0].featureA) {
        return false;
    }
    float a = face.points[0].separation;
    float b = other.points[0].separation;
    return OlpContactShadowed(&face, &other, scale) && (a < b || (leading && a == b));
}

/// Shadow removal within buckets linked through the records' group links.
void RemoveShadowed(OlpContact* records, uint32_t count, float scale)
{
    OlpContact* heads[kBuckets] = {};
    OlpContact* tails[kBuckets] = {};
    for (uint32_t i = 0; i < count; ++i) {
        OlpContact* r = &records[i];
        r->groupLink = nullptr;
        uint32_t bucket = count < 5 || r->count == 0 ? 0 : r->points[0].featureA & (kBuckets - 1);
        (tails[bucket] != nullptr ? tails[bucket]->groupLink : heads[bucket]) = r;
        tails[bucket] = r;
    }
    for (OlpContact* head : heads) {
        for (OlpContact* r = head; r != nullptr; r = r->groupLink) {
            for (OlpContact* o = r->groupLink; o != nullptr && r->count > 0; o = o->groupLink) {
                if (FaceEmpties(*r, *o, true, scale)) {
                    o->count = 0;
                } else if (FaceEmpties(*o, *r, false, scale)) {
                    r->count = 0;
                }
            }
        }
    }
}

bool SamePlane(const OlpContact& lead, const OlpContact& r, float scale)
{
    if (Dot(lead.normal, r.normal) <= 0.99f) {
        return false;
    }
    V3d gap = r.points[0].position - lead.points[0].position;
    float limit = 0.01f * scale;
    return std::fabs(Dot(lead.normal, gap)) < limit || std::fabs(Dot(r.normal, gap)) < limit;
}

/// Makes sure the deepest point is among the kept ones: the extremes
/// alone can all lie outside an overlap at the middle of the group (a hull
/// across the crease of two terrain triangles), and the solver would never
/// see it. The deepest point is added, or takes the place of the kept point
/// nearest to it when all four are taken.
void KeepDeepest(OlpContactPoint* kept, uint32_t* keptCount, const OlpContactPoint& deepest, float scale)
{
    uint32_t nearest = 0;
    for (uint32_t k = 0; k < *keptCount; ++k) {
        if (Manhattan(kept[k].position, deepest.position) < 0.001f * scale) {
            return;
        }
        if (Manhattan(kept[k].position, deepest.position) <
            Manhattan(kept[nearest].position, deepest.position)) {
            nearest = k;
        }
    }
    kept[*keptCount < kOlpContactMaxPoints ? (*keptCount)++ : nearest] = deepest;
}

/// The records of one plane as one record: the weighted normal and the
/// points farthest along and against two axes through the deepest point.
void Join(OlpContact* const* group, uint32_t size, float scale, OlpContact* out)
{
    *out = *group[0];
    V3d normal = {0, 0, 0};
    V3d centroid = {0, 0, 0};
    uint32_t total = 0;
    const OlpContactPoint* deepest = &group[0]->points[0];
    for (uint32_t g = 0; g < size; ++g) {
        normal = normal + group[g]->normal * static_cast<float>(group[g]->count);
        for (uint32_t i = 0; i < group[g]->count; ++i) {
            const OlpContactPoint& p = group[g]->points[i];
            centroid = centroid + p.position;
            ++total;
            if (p.separation < deepest->separation) {
                deepest = &p;
            }
        }
    }
    OlpVecNormalize(&out->normal, &normal);
    centroid = centroid * (1.0f / static_cast<float>(total));
    V3d u = centroid - deepest->position;
    if (!(Length(u) >= kOlpFloatMin) || OlpVecNormalize(&u, &u) < kOlpFloatMin) {
        u = {1.0f, 0.0f, 0.0f};
    }
    V3d w = Cross(out->normal, u);
    const V3d axes[4] = {u, w, -u, -w};
    OlpContactPoint kept[kOlpContactMaxPoints];
    uint32_t keptCount = 0;
    for (const V3d& axis : axes) {
        const OlpContactPoint* best = nullptr;
        for (uint32_t g = 0; g < size; ++g) {
            for (uint32_t i = 0; i < group[g]->count; ++i) {
                const OlpContactPoint& p = group[g]->points[i];
                if (best == nullptr || Dot(p.position, axis) > Dot(best->position, axis)) {
                    best = &p;
                }
            }
        }
        bool distinct = true;
        for (uint32_t k = 0; k < keptCount; ++k) {
            distinct = distinct && Manhattan(kept[k].position, best->position) >= 0.001f * scale;
        }
        if (distinct) {
            kept[keptCount++] = *best;
        }
    }
    KeepDeepest(kept, &keptCount, *deepest, scale);
    std::copy(kept, kept + keptCount, out->points);
    out->count = keptCount;
}

} // namespace

bool OlpContactShadowed(const OlpContact* record, const OlpContact* other, float scale)
{
    if (other->count == 0) {
        return true;
    }
    float sr = record->points[0].separation;
    float so = other->points[0].separation;
    float along = std::fabs(Dot(record->normal, record->points[0].position - other->points[0].position));
    return along < 0.5f * std::max(std::fabs(sr), std::fabs(so)) + 0.1f * scale;
}

uint32_t OlpContactMerge(OlpContact* records, uint32_t count, int32_t removeShadowed, OlpContact* output,
                         uint32_t room, float scale)
{
    if (count == 0 || room == 0) {
        return 0;
    }
    if (count == 1) {
        if (records[0].count == 0) {
            return 0;
        }
        output[0] = records[0];
        return 1;
    }
    if (removeShadowed != 0) {
        RemoveShadowed(records, count, scale);
    }
    // Groups chain their records through the group links; `leads` holds
    // the first record of each group in the order the groups open.
    OlpContact* leads[kOlpContactMaxPoints * 64];
    OlpContact* last[kOlpContactMaxPoints * 64];
    const uint32_t capacity = std::min<uint32_t>(room, kOlpContactMaxPoints * 64);
    uint32_t groups = 0;
    for (uint32_t i = 0; i < count; ++i) {
        OlpContact* r = &records[i];
        if (r->count == 0) {
            continue;
        }
        r->groupLink = nullptr;
        uint32_t g = 0;
        while (g < groups && !SamePlane(*leads[g], *r, scale)) {
            ++g;
        }
        if (g < groups) {
            last[g]->groupLink = r;
            last[g] = r;
        } else if (groups < capacity) {
            leads[groups] = last[groups] = r;
            ++groups;
        }
    }
    for (uint32_t g = 0; g < groups; ++g) {
        OlpContact* members[kOlpContactMaxPoints * 64] = {};
        uint32_t size = 0;
        for (OlpContact* r = leads[g]; r != nullptr && size < kOlpContactMaxPoints * 64; r = r->groupLink) {
            members[size++] = r;
        }
        if (size == 1) {
            output[g] = *leads[g];
        } else {
            Join(members, size, scale, &output[g]);
        }
        output[g].groupLink = nullptr;
    }
    return groups;
}
