// Clipping two support features into contact points on the mid-plane.
#include <algorithm>
#include <cmath>

#include "physics/core/contact/featurepair.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

V3d Project(V3d p, V3d n, float offset)
{
    return p + n * (offset - Dot(n, p));
}

/// +1 when the polygon turns counter-clockwise about n, -1 clockwise, 0
/// when it has no area along n.
float Orientation(const OlpFeaturePoint* polygon, uint32_t count, V3d n)
{
    V3d area = {0, 0, 0};
    for (uint32_t i = 1; i + 1 < count; ++i) {
        area = area + Cross(polygon[i].p - polygon[0].p, polygon[i + 1].p - polygon[0].p);
    }
    float along = Dot(area, n);
    float scale = 0.0f;
    for (uint32_t i = 1; i < count; ++i) {
        scale = std::max(scale, LengthSq(polygon[i].p - polygon[0].p));
    }
    if (!(std::fabs(along) > 1e-8f * scale)) {
        return 0.0f;
    }
    return along > 0.0f ? 1.0f : -1.0f;
}

/// Signed distance of p inside edge (a, b) of a polygon of orientation `sign` about n.
float Inside(V3d p, V3d a, V3d b, V3d n, float sign)
{
    return sign * Dot(n, Cross(b - a, p - a));
}

/// The closest pair of points of two features' edges (a lone point counts
/// as an edge of length 0); false when neither has points.
bool ClosestEdgePoints(const OlpFeaturePoint* a, uint32_t countA, const OlpFeaturePoint* b, uint32_t countB,
                       V3d* onA, V3d* onB)
{
    float best = kOlpFloatMax;
    bool found = false;
    uint32_t edgesA = countA <= 2 ? 1 : countA;
    uint32_t edgesB = countB <= 2 ? 1 : countB;
    for (uint32_t i = 0; i < edgesA && countA > 0; ++i) {
        const V3d& a0 = a[i].p;
        const V3d& a1 = a[(i + 1) % countA].p;
        for (uint32_t j = 0; j < edgesB && countB > 0; ++j) {
            const V3d& b0 = b[j].p;
            const V3d& b1 = b[(j + 1) % countB].p;
            float s, t;
            V3d pa, pb;
            OlpClipSegments(&a0, &a1, &b0, &b1, &s, &t, &pa, &pb);
            float d = LengthSq(pa - pb);
            if (d < best) {
                best = d;
                *onA = pa;
                *onB = pb;
                found = true;
            }
        }
    }
    return found;
}

/// A support plane through p facing `normal`, made perpendicular to the
/// edge direction when the feature is an edge.
void RebuildPlane(OlpSupportFeature* feature, V3d normal, V3d p, const V3d* edge)
{
    V3d n = normal;
    if (edge != nullptr) {
        V3d e;
        if (OlpVecNormalize(&e, edge) > 0.0f) {
            V3d perpendicular = normal - e * Dot(normal, e);
            V3d unit;
            if (LengthSq(perpendicular) > 1e-8f && OlpVecNormalize(&unit, &perpendicular) > 0.0f) {
                n = unit;
            }
        }
    }
    feature->normal = n;
    feature->offset = Dot(n, p);
}

/// Sutherland-Hodgman: `subject` clipped by every edge of the convex
/// `clipper` (orientation `sign` about n); the result into `out`.
uint32_t ClipPolygon(const V3d* subject, uint32_t count, const V3d* clipper, uint32_t clipCount, V3d n,
                     float sign, V3d* out, uint32_t room)
{
    V3d buffer[2][2 * kOlpClipMaxPoints + 8];
    const uint32_t capacity = 2 * kOlpClipMaxPoints + 8;
    uint32_t size = std::min(count, capacity);
    std::copy(subject, subject + size, buffer[0]);
    int from = 0;
    for (uint32_t e = 0; e < clipCount && size > 0; ++e) {
        V3d c0 = clipper[e];
        V3d c1 = clipper[(e + 1) % clipCount];
        const V3d* in = buffer[from];
        V3d* result = buffer[1 - from];
        uint32_t next = 0;
        // A segment is not a closed polygon: its closing edge is not walked.
        uint32_t edges = size == 2 ? 1 : size;
        if (size == 1) {
            if (Inside(in[0], c0, c1, n, sign) >= 0.0f) {
                result[next++] = in[0];
            }
        }
        for (uint32_t i = 0; i < edges && size > 1; ++i) {
            V3d p = in[i];
            V3d q = in[(i + 1) % size];
            float dp = Inside(p, c0, c1, n, sign);
            float dq = Inside(q, c0, c1, n, sign);
            if (dp >= 0.0f && next < capacity) {
                result[next++] = p;
            }
            if ((dp >= 0.0f) != (dq >= 0.0f) && next < capacity) {
                result[next++] = p + (q - p) * (dp / (dp - dq));
            }
            if (size == 2 && dq >= 0.0f && next < capacity) {
                result[next++] = q;
            }
        }
        size = next;
        from = 1 - from;
    }
    size = std::min(size, room);
    std::copy(buffer[from], buffer[from] + size, out);
    return size;
}

} // namespace

float OlpClipPointSegment(const V3d* p, const V3d* a, const V3d* b, V3d* out)
{
    V3d ab = *b - *a;
    float length = LengthSq(ab);
    float t = length > kOlpFloatMin ? std::clamp(Dot(*p - *a, ab) / length, 0.0f, 1.0f) : 0.0f;
    *out = *a + ab * t;
    return t;
}

int32_t OlpClipPointPolygon(const V3d* p, const OlpFeaturePoint* polygon, uint32_t count, const V3d* normal,
                            V3d* out, float* edgeParameter)
{
    float sign = Orientation(polygon, count, *normal);
    float worst = 0.0f;
    uint32_t worstEdge = count;
    for (uint32_t i = 0; i < count && sign != 0.0f; ++i) {
        V3d a = polygon[i].p;
        V3d b = polygon[(i + 1) % count].p;
        float length = Length(b - a);
        if (!(length > 0.0f)) {
            continue;
        }
        float outside = -Inside(*p, a, b, *normal, sign) / length;
        if (outside > worst) {
            worst = outside;
            worstEdge = i;
        }
    }
    if (sign != 0.0f && worstEdge == count) {
        *out = *p;
        *edgeParameter = 0.0f;
        return 1;
    }
    if (worstEdge == count) {
        // No area along the normal: the closest point of any edge.
        float best = kOlpFloatMax;
        for (uint32_t i = 0; i < count; ++i) {
            V3d q;
            float t = OlpClipPointSegment(p, &polygon[i].p, &polygon[(i + 1) % count].p, &q);
            if (LengthSq(q - *p) < best) {
                best = LengthSq(q - *p);
                *out = q;
                *edgeParameter = t;
            }
        }
        return 0;
    }
    *edgeParameter = OlpClipPointSegment(p, &polygon[worstEdge].p, &polygon[(worstEdge + 1) % count].p, out);
    return 0;
}

void OlpClipSegments(const V3d* a0, const V3d* a1, const V3d* b0, const V3d* b1, float* s, float* t, V3d* onA,
                     V3d* onB)
{
    V3d d1 = *a1 - *a0;
    V3d d2 = *b1 - *b0;
    V3d r = *a0 - *b0;
    float a = LengthSq(d1);
    float e = LengthSq(d2);
    float f = Dot(d2, r);
    float sa = 0.0f;
    float tb = 0.0f;
    if (a <= kOlpFloatMin && e <= kOlpFloatMin) {
        sa = tb = 0.0f;
    } else if (a <= kOlpFloatMin) {
        tb = std::clamp(f / e, 0.0f, 1.0f);
    } else {
        float c = Dot(d1, r);
        if (e <= kOlpFloatMin) {
            sa = std::clamp(-c / a, 0.0f, 1.0f);
        } else {
            float b = Dot(d1, d2);
            float denominator = a * e - b * b;
            sa = denominator > 1e-12f * a * e ? std::clamp((b * f - c * e) / denominator, 0.0f, 1.0f) : 0.0f;
            tb = (b * sa + f) / e;
            if (tb < 0.0f) {
                tb = 0.0f;
                sa = std::clamp(-c / a, 0.0f, 1.0f);
            } else if (tb > 1.0f) {
                tb = 1.0f;
                sa = std::clamp((b - c) / a, 0.0f, 1.0f);
            }
        }
    }
    *s = sa;
    *t = tb;
    *onA = *a0 + d1 * sa;
    *onB = *b0 + d2 * tb;
}

bool OlpClipAddPoint(OlpFeaturePoint* out, uint32_t* count, const V3d* p, const V3d* normal, float offset)
{
    if (*count >= kOlpClipMaxPoints) {
        return false;
    }
    V3d q = Project(*p, *normal, offset);
    if (*count > 0 && (LengthSq(q - out[*count - 1].p) <= 1e-12f || LengthSq(q - out[0].p) <= 1e-12f)) {
        return true;
    }
    out[(*count)++] = {q, 0.0f};
    return *count < kOlpClipMaxPoints;
}

namespace {

/// Step shared by every route that ends in one pair of closest points:
/// turns the direction towards the pair (unless the cores overlap, the
/// points coincide or a side keeps its direction), adds the point on B
/// (and `second`, a further point of B's edge, when two edges overlap) and
/// rebuilds both planes through the pair.
uint32_t ClosestPair(V3d pA, V3d pB, const V3d* second, const V3d* edgeA, const V3d* edgeB,
                     float marginDifference, float* midPlane, V3d* normal, float* distance,
                     OlpFeaturePair* record, OlpFeaturePoint* out)
{
    V3d difference = pA - pB;
    float length = Length(difference);
    bool keep = ((record->a.descriptorFlags | record->b.descriptorFlags) & kOlpVolumeKeepDirection) != 0;
    if (!(*distance < 0.0f) && length >= kOlpFloatMin && !keep) {
        *normal = difference * (1.0f / length);
        *distance = length;
        *midPlane = 0.5f * (marginDifference + length) + Dot(*normal, pB);
    }
    uint32_t count = 0;
    OlpClipAddPoint(out, &count, &pB, normal, *midPlane);
    if (second != nullptr) {
        OlpClipAddPoint(out, &count, second, normal, *midPlane);
    }
    RebuildPlane(&record->a.feature, -*normal, pA, edgeA);
    RebuildPlane(&record->b.feature, *normal, pB, edgeB);
    return count;
}

uint8_t SegmentKind(float t)
{
    return t > 0.0f && t < 1.0f ? kOlpFeatureEdge : kOlpFeatureVertex;
}

} // namespace

uint32_t OlpGeneralPrimitiveCollide(const OlpFeaturePoint* pointsA, uint32_t countA,
                                    const OlpFeaturePoint* pointsB, uint32_t countB, float marginDifference,
                                    float* midPlane, V3d* normal, float* distance, uint8_t* kindA,
                                    uint8_t* kindB, OlpFeaturePair* record, OlpFeaturePoint* out)
{
    uint32_t count = 0;
    if (countA == 0 || countB == 0) {
        const OlpFeaturePoint* points = countA == 0 ? pointsB : pointsA;
        uint32_t n = countA == 0 ? countB : countA;
        for (uint32_t i = 0; i < n && OlpClipAddPoint(out, &count, &points[i].p, normal, *midPlane); ++i) {
        }
        return count;
    }
    auto pair = [&](V3d pA, V3d pB, const V3d* second, const V3d* edgeA, const V3d* edgeB) {
        return ClosestPair(pA, pB, second, edgeA, edgeB, marginDifference, midPlane, normal, distance, record,
                           out);
    };
    if (countA == 1 && countB == 1) {
        return pair(pointsA[0].p, pointsB[0].p, nullptr, nullptr, nullptr);
    }
    if (countA == 1 && countB == 2) {
        V3d q;
        float t = OlpClipPointSegment(&pointsA[0].p, &pointsB[0].p, &pointsB[1].p, &q);
        *kindB = SegmentKind(t);
        V3d edge = pointsB[1].p - pointsB[0].p;
        return pair(pointsA[0].p, q, nullptr, nullptr, *kindB == kOlpFeatureEdge ? &edge : nullptr);
    }
    if (countA == 2 && countB == 1) {
        V3d q;
        float t = OlpClipPointSegment(&pointsB[0].p, &pointsA[0].p, &pointsA[1].p, &q);
        *kindA = SegmentKind(t);
        V3d edge = pointsA[1].p - pointsA[0].p;
        return pair(q, pointsB[0].p, nullptr, *kindA == kOlpFeatureEdge ? &edge : nullptr, nullptr);
    }
    if (countA == 1 || countB == 1) {
        bool pointOnA = countA == 1;
        const V3d& p = pointOnA ? pointsA[0].p : pointsB[0].p;
        const OlpFeaturePoint* polygon = pointOnA ? pointsB : pointsA;
        uint32_t polygonCount = pointOnA ? countB : countA;
        V3d q;
        float t;
        if (OlpClipPointPolygon(&p, polygon, polygonCount, normal, &q, &t) == 1) {
            (pointOnA ? *kindB : *kindA) = kOlpFeatureFace;
            OlpClipAddPoint(out, &count, &p, normal, *midPlane);
            return count;
        }
        (pointOnA ? *kindB : *kindA) = SegmentKind(t);
        return pointOnA ? pair(p, q, nullptr, nullptr, nullptr) : pair(q, p, nullptr, nullptr, nullptr);
    }
    if (countA == 2 && countB == 2) {
        float s, t;
        V3d onA, onB;
        OlpClipSegments(&pointsA[0].p, &pointsA[1].p, &pointsB[0].p, &pointsB[1].p, &s, &t, &onA, &onB);
        V3d edgeA = pointsA[1].p - pointsA[0].p;
        V3d edgeB = pointsB[1].p - pointsB[0].p;
        // Parallel edges overlapping along their length touch along a
        // segment: its two ends on B.
        V3d cross = Cross(edgeA, edgeB);
        float lengthB = LengthSq(edgeB);
        if (LengthSq(cross) <= 1e-6f * LengthSq(edgeA) * lengthB && lengthB > kOlpFloatMin) {
            float u0 = Dot(pointsA[0].p - pointsB[0].p, edgeB) / lengthB;
            float u1 = Dot(pointsA[1].p - pointsB[0].p, edgeB) / lengthB;
            float lo = std::max(0.0f, std::min(u0, u1));
            float hi = std::min(1.0f, std::max(u0, u1));
            if (hi - lo > 1e-4f) {
                V3d first = pointsB[0].p + edgeB * lo;
                V3d last = pointsB[0].p + edgeB * hi;
                V3d onAFirst;
                OlpClipPointSegment(&first, &pointsA[0].p, &pointsA[1].p, &onAFirst);
                *kindA = *kindB = kOlpFeatureEdge;
                return pair(onAFirst, first, &last, &edgeA, &edgeB);
            }
        }
        *kindA = s > 0.0f && s < 1.0f ? kOlpFeatureEdge : kOlpFeatureVertex;
        *kindB = t > 0.0f && t < 1.0f ? kOlpFeatureEdge : kOlpFeatureVertex;
        return pair(onA, onB, nullptr, *kindA == kOlpFeatureEdge ? &edgeA : nullptr,
                    *kindB == kOlpFeatureEdge ? &edgeB : nullptr);
    }
    // Two polygons, or a segment and a polygon: their overlap on the
    // mid-plane. The segment (or A) is clipped by the other's edges.
    V3d subject[kOlpClipMaxPoints * 2];
    V3d clipper[kOlpClipMaxPoints * 2];
    bool segmentB = countB == 2 && countA > 2;
    const OlpFeaturePoint* s = segmentB ? pointsB : pointsA;
    const OlpFeaturePoint* c = segmentB ? pointsA : pointsB;
    uint32_t sCount = std::min<uint32_t>(segmentB ? countB : countA, kOlpClipMaxPoints * 2);
    uint32_t cCount = std::min<uint32_t>(segmentB ? countA : countB, kOlpClipMaxPoints * 2);
    OlpFeaturePoint projected[kOlpClipMaxPoints * 2];
    for (uint32_t i = 0; i < sCount; ++i) {
        subject[i] = Project(s[i].p, *normal, *midPlane);
    }
    for (uint32_t i = 0; i < cCount; ++i) {
        clipper[i] = Project(c[i].p, *normal, *midPlane);
        projected[i] = {clipper[i], 0.0f};
    }
    float sign = Orientation(projected, cCount, *normal);
    if (sign != 0.0f) {
        V3d clipped[kOlpClipMaxPoints];
        uint32_t n = ClipPolygon(subject, sCount, clipper, cCount, *normal, sign, clipped, kOlpClipMaxPoints);
        for (uint32_t i = 0; i < n && OlpClipAddPoint(out, &count, &clipped[i], normal, *midPlane); ++i) {
        }
        if (count > 0) {
            return count;
        }
    }
    V3d onA = {0, 0, 0}, onB = {0, 0, 0};
    if (!ClosestEdgePoints(pointsA, countA, pointsB, countB, &onA, &onB)) {
        return 0;
    }
    *kindA = std::min<uint8_t>(*kindA, kOlpFeatureEdge);
    *kindB = std::min<uint8_t>(*kindB, kOlpFeatureEdge);
    return pair(onA, onB, nullptr, nullptr, nullptr);
}
