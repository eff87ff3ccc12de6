// One contact from a feature pair: clipping, separations, reduction to four
// points and the one-sided surfaces of triangles.
#include <algorithm>
#include <cmath>

#include "physics/core/contact/featurepair.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

float Manhattan(V3d a, V3d b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

/// Distance of p above a support plane, measured along the direction n: a
/// plane nearly edge-on to n is taken at a bounded slope so that every
/// separation stays finite.
float AlongDirection(const OlpSupportFeature& plane, V3d p, V3d n)
{
    float slope = Dot(plane.normal, n);
    if (std::fabs(slope) < 1e-3f) {
        slope = slope < 0.0f ? -1e-3f : 1e-3f;
    }
    return (Dot(plane.normal, p) - plane.offset) / slope;
}

/// One point a vertex, two an edge, anything else (a plane has none) a face.
uint8_t KindOf(uint32_t pointCount)
{
    return pointCount == 1 ? kOlpFeatureVertex : pointCount == 2 ? kOlpFeatureEdge : kOlpFeatureFace;
}

/// Whether a triangle-type side's feature must take the face normal: it
/// touches an edge that may not give a normal, or it is the face of a
/// one-sided triangle.
bool TakesFaceNormal(const OlpFeatureHalf& half, uint8_t kind)
{
    // A degenerate triangle has no face normal to give.
    if ((half.descriptorFlags & kOlpVolumeTriangleType) == 0 ||
        half.triangleFlags == kOlpTriangleNoFaceNormal || !(LengthSq(half.faceNormal) > 0.5f)) {
        return false;
    }
    return (half.feature.id & ~half.triangleFlags & 0xE) != 0 ||
           (kind == kOlpFeatureFace && (half.triangleFlags & kOlpTriangleOneSided) != 0);
}

} // namespace

float OlpContactPointScore(const V3d* a, const V3d* b, const V3d* c)
{
    V3d span = *c - *a;
    float spanSq = LengthSq(span);
    return LengthSq(Cross(*b - *a, span)) / (spanSq * spanSq + 1.0f);
}

int32_t OlpContactAddPoint(const V3d* position, float separation, OlpContact* contact, float spacing)
{
    if (contact->count >= kOlpContactMaxPoints) {
        return 0;
    }
    if (spacing >= 0.0f && contact->count > 0) {
        if (Manhattan(*position, contact->points[0].position) <= spacing ||
            (contact->count >= 2 &&
             Manhattan(*position, contact->points[contact->count - 1].position) <= spacing)) {
            return 0;
        }
    }
    OlpContactPoint& point = contact->points[contact->count++];
    point = {};
    point.position = *position;
    point.separation = separation;
    return 1;
}

void OlpContactClipPoints(const OlpFeaturePair* record, const OlpFeaturePoint* points, uint32_t count,
                          float combinedMargin, float contactDistance, OlpContact* contact)
{
    V3d n = record->direction;
    auto separation = [&](V3d p) {
        return AlongDirection(record->b.feature, p, n) - AlongDirection(record->a.feature, p, n) -
               combinedMargin - contactDistance;
    };
    // Stored separations are surface gaps: s + the contact distance.
    // A lone point beyond the contact distance (its planes tilted against
    // the direction) is no contact, as in the polygon case below.
    if (count == 1) {
        float s = separation(points[0].p);
        if (s <= 0.0f) {
            OlpContactAddPoint(&points[0].p, s + contactDistance, contact, 0.0f);
        }
        return;
    }
    constexpr uint32_t kRoom = 2 * kOlpClipMaxPoints + 2;
    count = std::min(count, kOlpClipMaxPoints);
    float s[kOlpClipMaxPoints];
    float smallest = kOlpFloatMax;
    float spread = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        s[i] = separation(points[i].p);
        smallest = std::min(smallest, s[i]);
        spread += i > 0 ? Manhattan(points[i].p, points[0].p) : 0.0f;
    }
    if (!(smallest <= 0.0f)) {
        return;
    }
    float spacing = count > 1 ? 0.01f * spread / static_cast<float>(count - 1) : 0.0f;
    // The polygon cut at s = 0: points within the contact distance, and the
    // crossings of the edges that leave or enter that band.
    V3d kept[kRoom];
    float keptS[kRoom];
    uint32_t n2 = 0;
    uint32_t edges = count == 2 ? 1 : count;
    for (uint32_t i = 0; i < count; ++i) {
        if (s[i] <= 0.0f) {
            kept[n2] = points[i].p;
            keptS[n2++] = s[i];
        }
        if (i >= edges) {
            continue;
        }
        uint32_t j = (i + 1) % count;
        if ((s[i] <= 0.0f) != (s[j] <= 0.0f)) {
            kept[n2] = points[i].p + (points[j].p - points[i].p) * (s[i] / (s[i] - s[j]));
            keptS[n2++] = 0.0f;
        }
    }
    bool removed[kRoom] = {};
    if (n2 > kOlpContactMaxPoints) {
        uint32_t deepest = 0;
        for (uint32_t i = 1; i < n2; ++i) {
            if (keptS[i] < keptS[deepest]) {
                deepest = i;
            }
        }
        float score[kRoom];
        auto neighbour = [&](uint32_t i, int step) {
            uint32_t k = i;
            do {
                k = (k + n2 + static_cast<uint32_t>(step)) % n2;
            } while (removed[k] && k != i);
            return k;
        };
        auto rescore = [&](uint32_t i) {
            score[i] = OlpContactPointScore(&kept[neighbour(i, -1)], &kept[i], &kept[neighbour(i, 1)]);
        };
        for (uint32_t i = 0; i < n2; ++i) {
            rescore(i);
        }
        score[deepest] = kOlpFloatMax;
        for (uint32_t left = n2; left > kOlpContactMaxPoints; --left) {
            uint32_t worst = n2;
            for (uint32_t i = 0; i < n2; ++i) {
                if (!removed[i] && (worst == n2 || score[i] < score[worst])) {
                    worst = i;
                }
            }
            removed[worst] = true;
            rescore(neighbour(worst, -1));
            rescore(neighbour(worst, 1));
        }
    }
    for (uint32_t i = 0; i < n2; ++i) {
        if (!removed[i]) {
            OlpContactAddPoint(&kept[i], keptS[i] + contactDistance, contact, spacing);
        }
    }
}

int32_t OlpContactFromFeatures(OlpFeaturePair* record, float contactDistance, OlpContact* contact)
{
    float combinedMargin = record->a.margin + record->b.margin;
    float marginDifference = record->b.margin - record->a.margin;
    float working = record->distance + combinedMargin;
    uint8_t kindA = KindOf(record->a.feature.count);
    uint8_t kindB = KindOf(record->b.feature.count);
    OlpFeaturePoint clipped[kOlpClipMaxPoints];
    uint32_t count = OlpGeneralPrimitiveCollide(
        record->a.feature.points, record->a.feature.count, record->b.feature.points, record->b.feature.count,
        marginDifference, &record->midPlane, &record->direction, &working, &kindA, &kindB, record, clipped);
    if (count == 0 || working - combinedMargin > contactDistance) {
        return 0;
    }
    *contact = {};
    contact->normal = record->direction;
    contact->objectA = record->a.object;
    contact->partA = record->a.part;
    contact->objectB = record->b.object;
    contact->partB = record->b.part;
    contact->slide = std::min(record->a.slide, record->b.slide);
    contact->bounce = std::min(record->a.bounce, record->b.bounce);
    contact->kindA = kindA;
    contact->kindB = kindB;
    OlpContactClipPoints(record, clipped, count, combinedMargin, contactDistance, contact);
    for (uint32_t i = 0; i < contact->count; ++i) {
        contact->points[i].featureA = record->a.featureId;
        contact->points[i].featureB = record->b.featureId;
    }
    if (TakesFaceNormal(record->a, kindA)) {
        contact->normal = -record->a.faceNormal;
    } else if (TakesFaceNormal(record->b, kindB)) {
        contact->normal = record->b.faceNormal;
    }
    return contact->count > 0 ? 1 : 0;
}
