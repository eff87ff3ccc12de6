// The walks of the sector tree (box, line) and of a collision tree (line,
// box with outside masks), one leaf per Next. Stacks are fixed (65 sector
// entries, 33 tree entries); the readers refuse deeper trees, and a push
// that would not fit is dropped rather than written past the stack.
#include <cmath>

#include "graphics/scene/collision.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/intersectionprivate.h"
#include "graphics/scene/world.h"

namespace {

constexpr int32_t kSectorStack = 65;
constexpr int32_t kTreeStack = 33;

// One step of the line walks at a split on axis k: `near`/`far` are
// replaced by the children to visit, `current` keeps descending, the other
// (if both) is returned through `pushed`.
template <typename Child> struct LineStep
{
    Child current;
    float t0, t1;
    bool push;
    Child other;
    float otherT0, otherT1;
};

template <typename Child>
LineStep<Child> StepLine(const LineSetup& line, int k, float leftValue, float rightValue, Child left,
                         Child right, float t0, float t1)
{
    const float s = Axis(line.start, k);
    const float d = Axis(line.direction, k);
    const float r = Axis(line.reciprocal, k);
    const float tol = Axis(line.tolerance, k);
    const float pS = s + d * t0;
    const float pE = s + d * t1;
    const float hi = leftValue + tol;
    const float lo = rightValue - tol;
    if (d <= 0.0f) {
        if (pE > hi) {
            return {right, t0, t1, false, right, 0, 0};
        }
        if (pS < lo) {
            return {left, t0, t1, false, left, 0, 0};
        }
        // Both: the right (nearer) side first; each side keeps the part of
        // the original interval that can lie in it.
        const float leftT0 = pS > hi ? t0 + (hi - pS) * r : t0;
        const float rightT1 = pE < lo ? t1 + (lo - pE) * r : t1;
        return {right, t0, rightT1, true, left, leftT0, t1};
    }
    if (pE < lo) {
        return {left, t0, t1, false, left, 0, 0};
    }
    if (pS > hi) {
        return {right, t0, t1, false, right, 0, 0};
    }
    const float rightT0 = pS < lo ? t0 + (lo - pS) * r : t0;
    const float leftT1 = pE > hi ? t1 + (hi - pE) * r : t1;
    return {left, t0, leftT1, true, right, rightT0, t1};
}

CollisionTreeRef RootOf(const CollisionData* data)
{
    if (data->numNodes > 0) {
        return {data->nodes[0].left.axis, kCollisionInnerNode, 0};
    }
    return {0, uint8_t(data->numTriangles & 0xFF), 0};
}

int AxisOf(const CollisionTreeNode& node)
{
    return (node.left.axis >> 2) & 3;
}

uint32_t MaskAgainst(const BBox& region, const BBox& inner)
{
    uint32_t mask = 0;
    for (int k = 0; k < 3; ++k) {
        mask |= Axis(region.inf, k) < Axis(inner.inf, k) ? 1u << (2 * k) : 0u;
        mask |= Axis(region.sup, k) > Axis(inner.sup, k) ? 1u << (2 * k + 1) : 0u;
    }
    return mask;
}

template <typename Entry> void Clip(Entry* stack, int32_t* pending, float tmax)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < *pending; ++i) {
        if (stack[i].t0 <= tmax) {
            stack[kept] = stack[i];
            if (stack[kept].t1 > tmax) {
                stack[kept].t1 = tmax;
            }
            ++kept;
        }
    }
    *pending = kept;
}

} // namespace

LineSetup LineSetupMake(const IntersectionLine& line, const V3d* tolerance)
{
    LineSetup setup;
    setup.start = line.start;
    setup.direction = {line.end.x - line.start.x, line.end.y - line.start.y, line.end.z - line.start.z};
    for (int k = 0; k < 3; ++k) {
        const float d = Axis(setup.direction, k);
        SetAxis(&setup.reciprocal, k, d != 0.0f ? 1.0f / d : 0.0f);
        const float larger = std::fmax(std::fabs(Axis(line.start, k)), std::fabs(Axis(line.end, k)));
        SetAxis(&setup.tolerance, k, tolerance ? Axis(*tolerance, k) : 0.000001f * larger);
    }
    return setup;
}

bool LineClipToBox(const LineSetup& line, const BBox& box, float* t0, float* t1)
{
    bool first = true;
    for (int k = 0; k < 3; ++k) {
        const float lower = Axis(box.inf, k) - Axis(line.tolerance, k);
        const float upper = Axis(box.sup, k) + Axis(line.tolerance, k);
        const float s = Axis(line.start, k);
        if (Axis(line.direction, k) == 0.0f) {
            if (s < lower || s > upper) {
                return false;
            }
            continue;
        }
        const float ta = (lower - s) * Axis(line.reciprocal, k);
        const float tb = (upper - s) * Axis(line.reciprocal, k);
        const float tmin = ta < tb ? ta : tb;
        const float tmax = ta < tb ? tb : ta;
        if (first) {
            if (tmax < 0.0f || tmin > 1.0f) {
                return false;
            }
            *t0 = tmin > 0.0f ? tmin : 0.0f;
            *t1 = tmax < 1.0f ? tmax : 1.0f;
            first = false;
        } else {
            if (*t0 > tmax || tmin > *t1) {
                return false;
            }
            *t0 = *t0 > tmin ? *t0 : tmin;
            *t1 = *t1 < tmax ? *t1 : tmax;
        }
    }
    if (first) {
        *t0 = 0.0f;
        *t1 = 1.0f;
    }
    return true;
}

void WorldSectorBoxIteratorInit(WorldSectorBoxIterator* iterator, const World* world, const BBox* box)
{
    iterator->box = *box;
    iterator->stack[0] = world->root;
    iterator->pending = 1;
}

WorldSector* WorldSectorBoxIteratorNext(WorldSectorBoxIterator* iterator)
{
    Sector* sector = iterator->stack[--iterator->pending];
    const BBox& box = iterator->box;
    while (sector->type != kSectorAtomic) {
        const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
        const int k = plane->type / 4;
        if (plane->rightValue <= Axis(box.sup, k)) {
            if (Axis(box.inf, k) <= plane->leftValue) {
                if (iterator->pending < kSectorStack) {
                    iterator->stack[iterator->pending++] = plane->right;
                }
                sector = plane->left;
            } else {
                sector = plane->right;
            }
        } else {
            sector = plane->left;
        }
    }
    return reinterpret_cast<WorldSector*>(sector);
}

void WorldSectorLineIteratorInit(WorldSectorLineIterator* iterator, const World* world,
                                 const IntersectionLine* line, const V3d* tolerance)
{
    const LineSetup setup = LineSetupMake(*line, tolerance);
    iterator->start = setup.start;
    iterator->direction = setup.direction;
    iterator->reciprocal = setup.reciprocal;
    iterator->tolerance = setup.tolerance;
    iterator->stack[0] = {world->root, 0.0f, 1.0f};
    iterator->pending = 1;
    iterator->t0 = 0.0f;
    iterator->t1 = 1.0f;
}

WorldSector* WorldSectorLineIteratorNext(WorldSectorLineIterator* iterator)
{
    const LineSetup setup = {iterator->start, iterator->direction, iterator->reciprocal, iterator->tolerance};
    WorldSectorLineIterator::Entry entry = iterator->stack[--iterator->pending];
    while (entry.sector->type != kSectorAtomic) {
        const auto* plane = reinterpret_cast<const PlaneSector*>(entry.sector);
        const LineStep<Sector*> step = StepLine(setup, plane->type / 4, plane->leftValue, plane->rightValue,
                                                plane->left, plane->right, entry.t0, entry.t1);
        if (step.push && iterator->pending < kSectorStack) {
            iterator->stack[iterator->pending++] = {step.other, step.otherT0, step.otherT1};
        }
        entry = {step.current, step.t0, step.t1};
    }
    iterator->t0 = entry.t0;
    iterator->t1 = entry.t1;
    return reinterpret_cast<WorldSector*>(entry.sector);
}

void WorldSectorLineIteratorClip(WorldSectorLineIterator* iterator, float tmax)
{
    Clip(iterator->stack, &iterator->pending, tmax);
}

void CollisionTreeLineIteratorInit(CollisionTreeLineIterator* iterator, const CollisionData* data,
                                   const IntersectionLine* line, const V3d* tolerance)
{
    const LineSetup setup = LineSetupMake(*line, tolerance);
    iterator->data = data;
    iterator->start = setup.start;
    iterator->direction = setup.direction;
    iterator->reciprocal = setup.reciprocal;
    iterator->tolerance = setup.tolerance;
    iterator->root = RootOf(data);
    float t0 = 0.0f;
    float t1 = 1.0f;
    iterator->pending = LineClipToBox(setup, data->boundingBox, &t0, &t1) ? 1 : 0;
    iterator->stack[0] = {iterator->root, t0, t1};
}

void CollisionTreeLineIteratorInitFromSector(CollisionTreeLineIterator* iterator, const CollisionData* data,
                                             const WorldSectorLineIterator* sector)
{
    iterator->data = data;
    iterator->start = sector->start;
    iterator->direction = sector->direction;
    iterator->reciprocal = sector->reciprocal;
    iterator->tolerance = sector->tolerance;
    iterator->root = RootOf(data);
    iterator->stack[0] = {iterator->root, sector->t0, sector->t1};
    iterator->pending = 1;
}

void CollisionTreeLineIteratorNext(CollisionTreeLineIterator* iterator, uint16_t* first, uint16_t* count)
{
    const LineSetup setup = {iterator->start, iterator->direction, iterator->reciprocal, iterator->tolerance};
    const CollisionData* data = iterator->data;
    CollisionTreeLineIterator::Entry entry = iterator->stack[--iterator->pending];
    while (entry.ref.count == kCollisionInnerNode) {
        const CollisionTreeNode& node = data->nodes[entry.ref.index];
        const LineStep<CollisionTreeRef> step = StepLine(setup, AxisOf(node), node.leftValue, node.rightValue,
                                                         node.left, node.right, entry.t0, entry.t1);
        if (step.push && iterator->pending < kTreeStack) {
            iterator->stack[iterator->pending++] = {step.other, step.otherT0, step.otherT1};
        }
        entry = {step.current, step.t0, step.t1};
    }
    *first = entry.ref.index;
    *count = entry.ref.count;
}

void CollisionTreeLineIteratorClip(CollisionTreeLineIterator* iterator, float tmax)
{
    Clip(iterator->stack, &iterator->pending, tmax);
}

void CollisionTreeBoxIteratorInit(CollisionTreeBoxIterator* iterator, const CollisionData* data,
                                  const BBox* outer, const BBox* inner)
{
    iterator->data = data;
    iterator->outer = *outer;
    iterator->inner = *inner;
    iterator->root = RootOf(data);
    const BBox& box = data->boundingBox;
    bool overlaps = true;
    for (int k = 0; k < 3; ++k) {
        overlaps &= !(Axis(box.inf, k) > Axis(outer->sup, k) || Axis(outer->inf, k) > Axis(box.sup, k));
    }
    iterator->pending = overlaps ? 1 : 0;
    iterator->stack[0] = {iterator->root, MaskAgainst(box, *inner)};
}

void CollisionTreeBoxIteratorNext(CollisionTreeBoxIterator* iterator, uint16_t* first, uint16_t* count,
                                  uint32_t* mask)
{
    const CollisionData* data = iterator->data;
    const BBox& a = iterator->outer;
    const BBox& b = iterator->inner;
    CollisionTreeBoxIterator::Entry entry = iterator->stack[--iterator->pending];
    while (entry.ref.count == kCollisionInnerNode) {
        if (entry.mask == 0) {
            // The whole subtree lies inside: its positions at once.
            CollisionTreeRef low = entry.ref;
            CollisionTreeRef high = entry.ref;
            for (int32_t depth = 0; low.count == kCollisionInnerNode && depth <= kCollisionMaxDepth;
                 ++depth) {
                low = data->nodes[low.index].left;
            }
            for (int32_t depth = 0; high.count == kCollisionInnerNode && depth <= kCollisionMaxDepth;
                 ++depth) {
                high = data->nodes[high.index].right;
            }
            *first = low.index;
            *count = uint16_t(uint32_t(high.index) + high.count - low.index);
            *mask = 0;
            return;
        }
        const CollisionTreeNode& node = data->nodes[entry.ref.index];
        const int k = AxisOf(node);
        if (node.rightValue <= Axis(a.sup, k)) {
            CollisionTreeBoxIterator::Entry right = {node.right, entry.mask};
            if (Axis(b.inf, k) <= node.rightValue) {
                right.mask &= ~(1u << (2 * k));
            }
            if (Axis(a.inf, k) <= node.leftValue) {
                CollisionTreeBoxIterator::Entry left = {node.left, entry.mask};
                if (node.leftValue <= Axis(b.sup, k)) {
                    left.mask &= ~(1u << (2 * k + 1));
                }
                if (iterator->pending < kTreeStack) {
                    iterator->stack[iterator->pending++] = right;
                }
                entry = left;
            } else {
                entry = right;
            }
        } else {
            entry = {node.left, entry.mask};
        }
    }
    *first = entry.ref.index;
    *count = entry.ref.count;
    *mask = entry.mask;
}
