#include "physics/core/volume/sat.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"

using namespace olp;

namespace {

/// At most 3 faces and 3 edges a side among the types tested by axes.
constexpr int kMaxAxes = 3;

struct Interval
{
    float min, max;
};

Interval Project(const OlpPairSide& side, const V3d& axis)
{
    Interval interval = {0.0f, 0.0f};
    OlpVolumeGetProjection(side.volume, side.frame, &axis, &interval.min, &interval.max);
    return interval;
}

V3d Position(const OlpPairSide& side)
{
    return side.frame != nullptr ? side.frame->pos : V3d{0.0f, 0.0f, 0.0f};
}

/// The core of a point or segment side as a segment in world space: its
/// support points along its own axis.
void CoreSegment(const OlpPairSide& side, V3d* p, V3d* q)
{
    V3d axis = side.frame != nullptr ? side.frame->at : V3d{0.0f, 0.0f, 1.0f};
    V3d back = -axis;
    OlpVolumeGetSupportPoint(side.volume, side.frame, &axis, p);
    OlpVolumeGetSupportPoint(side.volume, side.frame, &back, q);
}

/// Closest points of segments p1-q1 and p2-q2 (either may be a point).
void ClosestBetweenSegments(const V3d& p1, const V3d& q1, const V3d& p2, const V3d& q2, V3d* c1, V3d* c2)
{
    V3d d1 = q1 - p1;
    V3d d2 = q2 - p2;
    V3d r = p1 - p2;
    float a = LengthSq(d1);
    float e = LengthSq(d2);
    float f = Dot(d2, r);
    float s = 0.0f;
    float t = 0.0f;
    if (a <= 1e-12f && e <= 1e-12f) {
        s = t = 0.0f;
    } else if (a <= 1e-12f) {
        t = std::clamp(f / e, 0.0f, 1.0f);
    } else {
        float c = Dot(d1, r);
        if (e <= 1e-12f) {
            s = std::clamp(-c / a, 0.0f, 1.0f);
        } else {
            float b = Dot(d1, d2);
            float denominator = a * e - b * b;
            s = denominator > 0.0f ? std::clamp((b * f - c * e) / denominator, 0.0f, 1.0f) : 0.0f;
            t = (b * s + f) / e;
            if (t < 0.0f) {
                t = 0.0f;
                s = std::clamp(-c / a, 0.0f, 1.0f);
            } else if (t > 1.0f) {
                t = 1.0f;
                s = std::clamp((b - c) / a, 0.0f, 1.0f);
            }
        }
    }
    *c1 = p1 + d1 * s;
    *c2 = p2 + d2 * t;
}

void Finish(OlpDistance* out, const OlpPartPair* pair, const V3d& direction, float separation)
{
    // The mid-plane halfway between the surfaces: B's surface is its core's
    // top along the direction plus its margin.
    float marginA = pair->a.volume->margin;
    float marginB = pair->b.volume->margin;
    Interval b = Project(pair->b, direction);
    out->direction = direction;
    out->distance = separation - marginA - marginB;
    out->midPlane = b.max + marginB + 0.5f * out->distance;
}

} // namespace

float OlpSatAxisOverlap(const OlpPartPair* pair, V3d* axis)
{
    Interval a = Project(pair->a, *axis);
    Interval b = Project(pair->b, *axis);
    float forward = a.min - b.max; // A on the + side
    float backward = b.min - a.max;
    if (backward > forward) {
        *axis = -*axis;
        return backward;
    }
    return forward;
}

float OlpSatPlaneAxisA(const OlpPartPair* pair, const V3d* planeAxis, V3d* direction, float* offset)
{
    *direction = *planeAxis;
    float separation = OlpSatAxisOverlap(pair, direction);
    Interval b = Project(pair->b, *direction);
    *offset = b.max + 0.5f * separation;
    return separation;
}

float OlpSatPlaneAxisB(const OlpPartPair* pair, const V3d* planeAxis, V3d* direction, float* offset)
{
    return OlpSatPlaneAxisA(pair, planeAxis, direction, offset);
}

V3d* OlpSatPerpendicular(const V3d* a, const V3d* b, const V3d* axis, V3d* out)
{
    V3d between = *a - *b;
    float along = Dot(between, *axis);
    V3d across = between - *axis * along;
    if (Length(across) < 0.001f * std::fabs(along) || LengthSq(across) <= 1e-24f) {
        V3d perpendicular;
        OlpMathPerpendicular(&perpendicular, axis);
        OlpVecNormalize(out, &perpendicular);
        return out;
    }
    OlpVecNormalize(out, &across);
    return out;
}

int32_t OlpSatQuery(const OlpPartPair* pair, float, float, OlpDistance* out)
{
    const OlpVolumeDescriptor* da = pair->a.volume->descriptor;
    const OlpVolumeDescriptor* db = pair->b.volume->descriptor;
    if (da->maxFeatureDim == 0 && db->maxFeatureDim == 0) {
        V3d between = Position(pair->a) - Position(pair->b);
        V3d direction;
        float distance = OlpVecNormalize(&direction, &between);
        if (LengthSq(between) <= kOlpFloatMin) {
            distance = 0.0f;
        }
        Finish(out, pair, direction, distance);
        return 1;
    }
    OlpFaceAxis faces[2][kMaxAxes];
    V3d edges[2][kMaxAxes];
    int faceCount[2] = {0, 0};
    int edgeCount[2] = {0, 0};
    const OlpPairSide* sides[2] = {&pair->a, &pair->b};
    for (int s = 0; s < 2; ++s) {
        const OlpVolumeDescriptor* d = sides[s]->volume->descriptor;
        if (d->faceAxisCount <= kMaxAxes && d->edgeAxisCount <= kMaxAxes &&
            d->getSeparatingAxes(sides[s]->volume, sides[s]->frame, faces[s], edges[s])) {
            faceCount[s] = d->faceAxisCount;
            edgeCount[s] = d->edgeAxisCount;
        }
    }
    // A plane is separated from anything along its own axis only.
    bool planeA = da->typeId == kOlpTypePlane;
    bool planeB = db->typeId == kOlpTypePlane;
    if (planeA || planeB) {
        const OlpFaceAxis& face = planeA ? faces[0][0] : faces[1][0];
        V3d direction;
        float offset;
        float separation = planeA ? OlpSatPlaneAxisA(pair, &face.normal, &direction, &offset)
                                  : OlpSatPlaneAxisB(pair, &face.normal, &direction, &offset);
        Finish(out, pair, direction, separation);
        return 1;
    }
    float best = -3.4028235e38f;
    V3d bestAxis = {0.0f, 0.0f, 1.0f};
    bool scored = false;
    auto score = [&](V3d axis) {
        // A degenerate triangle lists a zero normal: no axis at all.
        if (!(LengthSq(axis) > 0.5f)) {
            return;
        }
        float separation = OlpSatAxisOverlap(pair, &axis);
        if (separation > best) {
            best = separation;
            bestAxis = axis;
        }
        scored = true;
    };
    for (int s = 0; s < 2; ++s) {
        for (int i = 0; i < faceCount[s]; ++i) {
            score(faces[s][i].normal);
        }
    }
    for (int i = 0; i < edgeCount[0]; ++i) {
        for (int j = 0; j < edgeCount[1]; ++j) {
            V3d cross = Cross(edges[0][i], edges[1][j]);
            if (LengthSq(cross) < 1e-6f) {
                continue;
            }
            V3d axis;
            OlpVecNormalize(&axis, &cross);
            score(axis);
        }
    }
    if (da->maxFeatureDim <= 1 || db->maxFeatureDim <= 1) {
        V3d p1, q1, p2, q2, c1, c2;
        CoreSegment(pair->a, &p1, &q1);
        CoreSegment(pair->b, &p2, &q2);
        ClosestBetweenSegments(p1, q1, p2, q2, &c1, &c2);
        V3d between = c1 - c2;
        if (LengthSq(between) > 1e-12f) {
            V3d axis;
            OlpVecNormalize(&axis, &between);
            score(axis);
        } else if (!scored) {
            V3d axis = q1 - p1;
            if (LengthSq(axis) <= 1e-12f) {
                axis = q2 - p2;
            }
            V3d unit;
            OlpVecNormalize(&unit, &axis);
            V3d a = Position(pair->a);
            V3d b = Position(pair->b);
            OlpSatPerpendicular(&a, &b, &unit, &axis);
            score(axis);
        }
    }
    if (!scored) {
        V3d a = Position(pair->a);
        V3d b = Position(pair->b);
        V3d z = {0.0f, 0.0f, 1.0f};
        V3d axis;
        OlpSatPerpendicular(&a, &b, &z, &axis);
        score(axis);
    }
    Finish(out, pair, bestAxis, best);
    return 1;
}
