#include "physics/core/volume/gjk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/sat.h"

using namespace olp;

namespace {

using SubsetTable = std::array<std::array<uint8_t, 17>, 16>;

SubsetTable BuildSubsets()
{
    SubsetTable table{};
    for (uint32_t bits = 0; bits < 16; ++bits) {
        uint32_t count = 0;
        for (int size = std::popcount(bits); size >= 1; --size) {
            for (uint32_t subset = 1; subset < 16; ++subset) {
                if ((subset & ~bits) == 0 && std::popcount(subset) == size) {
                    table[bits][count++] = static_cast<uint8_t>(subset);
                }
            }
        }
        table[bits][count] = 0;
    }
    return table;
}

V3d Difference(const OlpGjkSimplex* simplex, uint32_t i)
{
    return simplex->vertices[i].a - simplex->vertices[i].b + simplex->offset;
}

V3d SidePoint(const OlpGjkSimplex* simplex, uint32_t i, int32_t side)
{
    return side == 0 ? simplex->vertices[i].a : (side == 1 ? simplex->vertices[i].b : Difference(simplex, i));
}

V3d SupportOn(const OlpPairSide& side, const V3d& direction)
{
    V3d point = {0.0f, 0.0f, 0.0f};
    if (OlpVolumeGetSupportPoint(side.volume, side.frame, &direction, &point) == nullptr) {
        point = side.frame != nullptr ? side.frame->pos : V3d{0.0f, 0.0f, 0.0f};
    }
    return point;
}

void Output(OlpDistance* out, const V3d& v, float delta, const V3d& bPoint)
{
    out->direction = v;
    out->distance = delta;
    out->midPlane = delta * 0.5f + Dot(v, bPoint);
}

} // namespace

const uint8_t* OlpGjkSubsets(uint32_t bits)
{
    static const SubsetTable table = BuildSubsets();
    return table[bits & 15].data();
}

uint32_t OlpGjkNewVertexSlot(const OlpGjkSimplex* simplex, uint32_t* bit)
{
    uint32_t slot = 0;
    while (slot < 3 && (simplex->bits & (1u << slot)) != 0) {
        ++slot;
    }
    *bit = 1u << slot;
    return slot;
}

float OlpGjkSupport(OlpGjkVertex* out, V3d* difference, const V3d* direction, int32_t side,
                    const OlpPartPair* pair, const V3d* offset)
{
    V3d d = side < 1 ? -*direction : *direction;
    out->a = SupportOn(pair->a, d);
    out->b = SupportOn(pair->b, -d);
    *difference = out->a - out->b;
    if (offset != nullptr) {
        *difference = *difference + *offset;
    }
    return Dot(*direction, *difference);
}

void OlpGjkUpdateDots(OlpGjkSimplex* simplex)
{
    uint32_t k = simplex->newest;
    V3d y = Difference(simplex, k);
    for (uint32_t i = 0; i < 4; ++i) {
        if ((simplex->bits & (1u << i)) != 0 || i == k) {
            V3d x = Difference(simplex, i);
            double dot = double(x.x) * y.x + double(x.y) * y.y + double(x.z) * y.z;
            simplex->dots[i][k] = dot;
            simplex->dots[k][i] = dot;
        }
    }
}

void OlpGjkUpdateDeterminants(OlpGjkSimplex* simplex)
{
    uint32_t all = simplex->bits | simplex->newestBit;
    for (uint32_t subset = 1; subset < 16; ++subset) {
        if ((subset & ~all) != 0 || (subset & simplex->newestBit) == 0) {
            continue;
        }
        for (uint32_t j = 0; j < 4; ++j) {
            if ((subset & (1u << j)) == 0) {
                continue;
            }
            uint32_t rest = subset & ~(1u << j);
            if (rest == 0) {
                simplex->determinants[subset][j] = 1.0f;
                continue;
            }
            // Delta_j(X + j) = sum over i in X of Delta_i(X) (y_i . y_k - y_i . y_j), k in X.
            uint32_t k = static_cast<uint32_t>(std::countr_zero(rest));
            double sum = 0.0;
            for (uint32_t i = 0; i < 4; ++i) {
                if ((rest & (1u << i)) != 0) {
                    sum += simplex->determinants[rest][i] * (simplex->dots[i][k] - simplex->dots[i][j]);
                }
            }
            simplex->determinants[subset][j] = sum;
        }
    }
}

bool OlpGjkSimplexPoint(V3d* out, uint32_t subset, int32_t side, const OlpGjkSimplex* simplex)
{
    double total = 0.0;
    double largest = 0.0;
    for (uint32_t i = 0; i < 4; ++i) {
        if ((subset & (1u << i)) != 0) {
            total += simplex->determinants[subset][i];
            largest = std::max(largest, simplex->determinants[subset][i]);
        }
    }
    bool valid = total > 0.0;
    V3d point = {0.0f, 0.0f, 0.0f};
    for (uint32_t i = 0; i < 4 && valid; ++i) {
        if ((subset & (1u << i)) != 0) {
            double weight = simplex->determinants[subset][i];
            valid = weight > -1e-5 * largest;
            point = point + SidePoint(simplex, i, side) * static_cast<float>(weight / total);
        }
    }
    if (valid) {
        *out = point;
    }
    return valid;
}

bool OlpGjkClosestPoint(V3d* out, uint32_t subset, int32_t side, const OlpGjkSimplex* simplex)
{
    if (subset == 0) {
        *out = SidePoint(simplex, simplex->newest, side);
        return true;
    }
    return OlpGjkSimplexPoint(out, subset | simplex->newestBit, side, simplex);
}

float OlpGjkInitialDirection(const OlpPartPair* pair, V3d* direction)
{
    OlpBBox boxA;
    OlpBBox boxB;
    V3d centreA = pair->a.frame != nullptr ? pair->a.frame->pos : V3d{0, 0, 0};
    V3d centreB = pair->b.frame != nullptr ? pair->b.frame->pos : V3d{0, 0, 0};
    if (OlpVolumeGetBoundingBoxLocal(pair->a.volume, pair->a.frame, 1, &boxA) != nullptr) {
        centreA = (boxA.max + boxA.min) * 0.5f;
    }
    if (OlpVolumeGetBoundingBoxLocal(pair->b.volume, pair->b.frame, 1, &boxB) != nullptr) {
        centreB = (boxB.max + boxB.min) * 0.5f;
    }
    V3d between = centreA - centreB;
    OlpVecNormalize(direction, &between);
    OlpGjkVertex vertex;
    V3d difference;
    return -OlpGjkSupport(&vertex, &difference, direction, -1, pair, nullptr);
}

int32_t OlpGjkDistance(const OlpPartPair* pair, const V3d* offset, float maxDistance, OlpGjkSimplex* simplex,
                       OlpDistance* out, float scale)
{
    const float tolerance = scale * 0.0001f;
    simplex->bits = 0;
    simplex->offset = offset != nullptr ? *offset : V3d{0.0f, 0.0f, 0.0f};
    V3d v = {0.5f, 0.6f, 0.6244998f};
    float lower = 0.0f;
    float upper = tolerance * 1.1f + maxDistance + 1.0f;
    V3d history[2] = {{3.4e38f, 0, 0}, {3.4e38f, 0, 0}};
    int iterations = 0;
    int repeats = 0;
    bool repeated = false;
    V3d lastB = {0.0f, 0.0f, 0.0f};
    while (upper > tolerance) {
        uint32_t bit;
        uint32_t slot = OlpGjkNewVertexSlot(simplex, &bit);
        OlpGjkVertex vertex;
        V3d w;
        float delta = OlpGjkSupport(&vertex, &w, &v, -1, pair, &simplex->offset);
        lastB = vertex.b - simplex->offset;
        if (delta > maxDistance) {
            Output(out, v, delta, lastB);
            return 2;
        }
        lower = std::max(lower, delta);
        if (upper - lower <= tolerance || (upper > 0.0f && delta > 0.0f && (repeated || iterations > 40))) {
            Output(out, v, delta, lastB);
            return 1;
        }
        if (++iterations > 50) {
            return 0;
        }
        for (const V3d& seen : history) {
            V3d gap = Abs(seen - w);
            if (gap.x + gap.y + gap.z < 1e-6f) {
                repeated = true;
                if (iterations >= 4 && ++repeats >= 6) {
                    return 0;
                }
            }
        }
        history[1] = history[0];
        history[0] = w;

        simplex->vertices[slot] = vertex;
        simplex->newest = slot;
        simplex->newestBit = bit;
        OlpGjkUpdateDots(simplex);
        OlpGjkUpdateDeterminants(simplex);
        // The closest point over the sub-simplices that keep the new vertex.
        const uint8_t* candidates = OlpGjkSubsets(simplex->bits);
        float bestLengthSq = 3.4e38f;
        uint32_t winner = 0;
        V3d closest = {0.0f, 0.0f, 0.0f};
        bool found = false;
        for (int i = 0;; ++i) {
            uint32_t subset = candidates[i];
            bool last = subset == 0;
            if (i == 0 && (subset | bit) == 15 && lower > 0.0f) {
                continue;
            }
            V3d point;
            if (OlpGjkClosestPoint(&point, subset, 2, simplex) && LengthSq(point) <= bestLengthSq) {
                bestLengthSq = LengthSq(point);
                closest = point;
                winner = subset;
                found = true;
            }
            if (last) {
                break;
            }
        }
        if (!found) {
            return 0;
        }
        simplex->bits = bit | winner;
        if (simplex->bits == 15) {
            out->direction = v;
            out->distance = -1.0f;
            out->midPlane = Dot(v, lastB);
            return 1;
        }
        upper = std::sqrt(bestLengthSq);
        if (upper > 0.0f) {
            v = closest * (1.0f / upper);
        }
    }
    // The cores touch within the tolerance.
    Output(out, v, lower, lastB);
    return 1;
}

namespace {

bool IsPlane(const OlpPairSide& side)
{
    return side.volume->descriptor->typeId == kOlpTypePlane;
}

V3d PlaneNormal(const OlpPairSide& side)
{
    return side.frame != nullptr ? side.frame->at : V3d{0.0f, 0.0f, 1.0f};
}

V3d PlanePosition(const OlpPairSide& side)
{
    return side.frame != nullptr ? side.frame->pos : V3d{0.0f, 0.0f, 0.0f};
}

/// Overlapping cores: the direction the shift search leaves by is one way
/// out, and the face normals a side lists (a triangle's, a box's) are
/// others. The search is led by the boxes' centres: a hull sunk into a
/// large terrain triangle is pushed out sideways, along one of its own
/// faces, and the vertex that lies deepest under the triangle never makes
/// a contact point. The axis whose core intervals separate best wins.
void TryFaceAxes(const OlpPartPair* pair, OlpDistance* kept)
{
    constexpr uint16_t kMaxAxes = 3;
    for (const OlpPairSide* side : {&pair->a, &pair->b}) {
        const OlpVolumeDescriptor* d = side->volume->descriptor;
        OlpFaceAxis faces[kMaxAxes];
        V3d edges[kMaxAxes];
        if (d->faceAxisCount > kMaxAxes || d->edgeAxisCount > kMaxAxes ||
            d->getSeparatingAxes(side->volume, side->frame, faces, edges) == 0) {
            continue;
        }
        for (uint16_t i = 0; i < d->faceAxisCount; ++i) {
            V3d axis = faces[i].normal;
            // A degenerate triangle lists a zero normal.
            if (!(LengthSq(axis) > 0.5f)) {
                continue;
            }
            float separation = OlpSatAxisOverlap(pair, &axis);
            if (separation > kept->distance) {
                float top = 0.0f;
                float bottom = 0.0f;
                OlpVolumeGetProjection(pair->b.volume, pair->b.frame, &axis, &bottom, &top);
                *kept = {axis, top + 0.5f * separation, separation};
            }
        }
    }
}

} // namespace

int32_t OlpGjkPenetration(const OlpPartPair* pair, float maxDistance, OlpDistance* out, float scale)
{
    float marginA = pair->a.volume->margin;
    float marginB = pair->b.volume->margin;
    if (IsPlane(pair->a)) {
        // A is the solid under its plane: B to A points down its normal.
        V3d n = -PlaneNormal(pair->a);
        V3d q = SupportOn(pair->b, n);
        float surfaceA = Dot(n, PlanePosition(pair->a)) - marginA;
        float surfaceB = Dot(n, q) + marginB;
        out->direction = n;
        out->distance = surfaceA - surfaceB;
        out->midPlane = 0.5f * (surfaceA + surfaceB);
        return 1;
    }
    if (IsPlane(pair->b)) {
        // The mirror case: B is the solid, A lies above it along its normal.
        V3d n = PlaneNormal(pair->b);
        V3d q = SupportOn(pair->a, -n);
        float surfaceA = Dot(n, q) - marginA;
        float surfaceB = Dot(n, PlanePosition(pair->b)) + marginB;
        out->direction = n;
        out->distance = surfaceA - surfaceB;
        out->midPlane = 0.5f * (surfaceA + surfaceB);
        return 1;
    }
    V3d estimate;
    float overlap = OlpGjkInitialDirection(pair, &estimate);
    float shift = 0.0f;
    float fallback = 0.01f * scale + std::max(overlap, 0.0f);
    bool found = false;
    OlpDistance kept = {};
    float keptShift = 0.0f;
    OlpGjkSimplex simplex;
    for (int pass = 0; pass < 4; ++pass) {
        V3d offset = estimate * shift;
        OlpDistance result;
        int32_t answer =
            OlpGjkDistance(pair, &offset, maxDistance + shift + marginA + marginB, &simplex, &result, scale);
        if (answer != 0 && result.distance > 0.0f) {
            found = true;
            kept = result;
            keptShift = shift;
            if (shift == 0.0f) {
                break;
            }
            shift = std::max(0.0f, 0.95f * (shift - result.distance) + 0.05f * shift);
        } else if (found) {
            shift = 0.5f * (shift + fallback);
        } else {
            if (shift == fallback) {
                fallback += scale;
            }
            shift = fallback;
        }
    }
    if (!found) {
        return 0;
    }
    if (keptShift > 0.0f) {
        float along = keptShift * Dot(estimate, kept.direction);
        kept.distance -= along;
        kept.midPlane += 0.5f * along;
        TryFaceAxes(pair, &kept);
    }
    out->direction = kept.direction;
    out->midPlane = kept.midPlane - 0.5f * (marginA - marginB);
    out->distance = kept.distance - (marginA + marginB);
    return 1;
}
