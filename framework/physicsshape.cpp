#include "framework/physicsshape.h"

#include <cmath>
#include <vector>

#include "framework/physicshelpers.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/grid.h"
#include "physics/qhull/qhullbuild.h"

namespace {

constexpr int32_t kMaxDirections = 60;
/// A triangle volume has no thickness: its hull needs some.
constexpr float kTriangleMargin = 0.005f;
constexpr int32_t kMaxGridSide = 255; // n x n vertices stay below 65536
constexpr RGBA kGridColour = {0x40, 0x60, 0x40, 0xFF};
constexpr uint32_t kGridFormat = kGeometryPositions | kGeometryNormals | kGeometryTextured | kGeometryLight |
                                 kGeometryModulateMaterialColor;
constexpr uint32_t kShapeFormat = kGeometryPositions | kGeometryNormals | kGeometryTextured | kGeometryLight |
                                  kGeometryModulateMaterialColor;

struct Directions
{
    V3d vectors[kMaxDirections];
    int32_t count = 0;

    Directions()
    {
        constexpr float kPi = 3.14159265f;
        const float step = 1.78f / std::sqrt(float(kMaxDirections));
        bool shifted = false;
        for (float polar = step; polar < kPi && count < kMaxDirections; polar += 2.0f * step) {
            const float ring = std::sin(polar);
            const float azimuthStep = 2.0f * (step / std::fabs(ring));
            for (float azimuth = shifted ? step : 0.0f; azimuth < 2.0f * kPi && count < kMaxDirections;
                 azimuth += azimuthStep)
                vectors[count++] = {std::cos(azimuth) * ring, std::sin(azimuth) * ring, std::cos(polar)};
            shifted = !shifted;
        }
    }
};

/// The hull of the volume's support points, each pushed out by the margin.
OlpConvexHull* Tessellate(const OlpVolume* volume)
{
    int32_t count = 0;
    const V3d* directions = PhysicsShapeDirections(&count);
    float margin = volume->margin;
    if (volume->descriptor->typeId == kOlpTypeTriangle && margin < kTriangleMargin)
        margin = kTriangleMargin;
    const bool plane = volume->descriptor->typeId == kOlpTypePlane;
    V3d points[kMaxDirections];
    for (int32_t i = 0; i < count; ++i) {
        V3d support = {0.0f, 0.0f, 0.0f};
        // A plane's support points lie at infinity: only the margin's sphere is shown.
        if (!plane && volume->descriptor->getSupportPoint)
            volume->descriptor->getSupportPoint(volume, &directions[i], &support);
        points[i] = V3dAdd(support, V3dScaled(directions[i], margin));
    }
    return OlpQHullBuildHull(uint32_t(count), points, nullptr, OlpQHullDiscard());
}

/// Texture coordinates of corner i of n walked round the unit square.
TexCoords SquareWalk(int32_t i, int32_t n)
{
    const float t = 4.0f * float(i) / float(n);
    const int32_t side = int32_t(t);
    const float f = t - float(side);
    switch (side) {
    case 0:
        return {f, 0.0f};
    case 1:
        return {1.0f, f};
    case 2:
        return {1.0f - f, 1.0f};
    default:
        return {0.0f, 1.0f - f};
    }
}

/// The hull as a geometry: shared smooth vertices, or each face with its own.
Geometry* HullGeometry(const OlpConvexHull* hull, bool smooth)
{
    int32_t triangles = 0, corners = 0;
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        const int32_t n = hull->faceEdgeStart[f + 1] - hull->faceEdgeStart[f];
        triangles += n - 2;
        corners += n;
    }
    const int32_t vertices = smooth ? hull->vertexCount : corners;
    Geometry* geometry = GeometryCreate(vertices, triangles, kShapeFormat);
    Material* material = geometry ? MaterialCreate() : nullptr;
    if (!material) {
        if (geometry)
            GeometryRelease(geometry);
        return nullptr;
    }
    MorphTarget& target = geometry->morphTargets[0];
    TexCoords* uv = geometry->texCoords[0];
    if (smooth) {
        for (uint32_t v = 0; v < hull->vertexCount; ++v) {
            const V3d& p = hull->vertices[v];
            target.vertices[v] = p;
            V3d sum = {0.0f, 0.0f, 0.0f};
            for (uint32_t e = hull->vertexEdgeStart[v]; e < hull->vertexEdgeStart[v + 1]; ++e)
                sum = V3dAdd(sum, hull->faceNormals[hull->edges[hull->vertexEdges[e]].ownFace]);
            target.normals[v] = V3dUnit(sum);
            const float h = std::sqrt(p.x * p.x + p.y * p.y);
            uv[v] = h > 0.0f ? TexCoords{p.x / (2.0f * h) + 0.5f, p.y / (2.0f * h) + 0.5f}
                             : TexCoords{0.5f, 0.5f};
        }
    }
    int32_t corner = 0, t = 0;
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        const uint32_t first = hull->faceEdgeStart[f];
        const int32_t n = int32_t(hull->faceEdgeStart[f + 1] - first);
        // Each face is a fan over its corners, counter-clockwise seen from outside.
        uint16_t index[kMaxDirections * 2];
        for (int32_t i = 0; i < n && i < kMaxDirections * 2; ++i) {
            const uint16_t v = hull->edges[first + uint32_t(i)].from;
            if (smooth) {
                index[i] = v;
                continue;
            }
            index[i] = uint16_t(corner);
            target.vertices[corner] = hull->vertices[v];
            target.normals[corner] = hull->faceNormals[f];
            uv[corner] = SquareWalk(i, n);
            ++corner;
        }
        for (int32_t i = 1; i + 1 < n; ++i) {
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], index[0], index[i],
                                             index[i + 1]);
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
        }
    }
    MaterialRelease(material);
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    if (!GeometryUnlock(geometry)) {
        GeometryRelease(geometry);
        return nullptr;
    }
    return geometry;
}

/// An atomic of `geometry` (null: an invisible placeholder) on a new frame,
/// added to `world`; the geometry's reference passes to the atomic.
Atomic* AtomicOn(Geometry* geometry, World* world)
{
    const bool visible = geometry != nullptr;
    if (!geometry)
        geometry = GeometryCreateSpace(1.0f);
    Frame* frame = geometry ? FrameCreate() : nullptr;
    Atomic* atomic = frame ? AtomicCreate() : nullptr;
    if (!atomic) {
        if (frame)
            FrameDestroy(frame);
        if (geometry)
            GeometryRelease(geometry);
        return nullptr;
    }
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    AtomicSetFrame(atomic, frame);
    if (!visible)
        atomic->object.object.flags &= uint8_t(~kAtomicRender);
    if (world)
        WorldAddAtomic(world, atomic);
    return atomic;
}

Atomic* ConvexAtomic(const OlpVolume* volume, World* world, RGBA colour)
{
    OlpConvexHull* hull = Tessellate(volume);
    if (!hull)
        return nullptr;
    Geometry* geometry = HullGeometry(hull, volume->margin > 0.0f);
    OlpConvexHullRelease(hull);
    if (!geometry)
        return nullptr;
    Atomic* atomic = AtomicOn(geometry, world);
    AtomicSetMaterialColour(atomic, colour);
    return atomic;
}

/// Hangs `piece` below `parent`'s frame, placed by its volume's frame.
void Attach(Atomic* parent, Atomic* piece, const OlpVolume* volume)
{
    Frame* frame = AtomicGetFrame(piece);
    *FrameGetMatrix(frame) = volume->frame;
    FrameAddChild(AtomicGetFrame(parent), frame);
}

void* DestroyAtomicObject(void* object, void*)
{
    auto* header = static_cast<ObjectHeader*>(object);
    if (header->type == kObjectTypeAtomic) {
        auto* atomic = static_cast<Atomic*>(object);
        if (World* world = AtomicGetWorld(atomic))
            WorldRemoveAtomic(world, atomic);
        AtomicDestroy(atomic);
    }
    return object;
}

Frame* DestroyFrameObjects(Frame* frame, void* data)
{
    FrameForAllChildren(frame, DestroyFrameObjects, data);
    FrameForAllObjects(frame, DestroyAtomicObject, data);
    return frame;
}

} // namespace

const V3d* PhysicsShapeDirections(int32_t* count)
{
    static const Directions directions;
    *count = directions.count;
    return directions.vectors;
}

Atomic* PhysicsShapeToGeometry(const OlpVolume* volume, World* world, RGBA colour)
{
    if (!volume || !volume->descriptor)
        return nullptr;
    const uint32_t type = volume->descriptor->typeId;
    if (type != kOlpTypeAggregate && type != kOlpTypeGrid)
        return ConvexAtomic(volume, world, colour);
    Atomic* root = AtomicCreateEmpty(world);
    if (!root)
        return nullptr;
    if (type == kOlpTypeAggregate) {
        OlpAggChildren* children = OlpAggregateGetChildren(volume);
        const uint32_t count = children ? OlpAggChildrenGetCount(children) : 0;
        for (uint32_t i = 0; i < count; ++i) {
            const OlpVolume* child = OlpAggChildrenGetChild(children, i);
            if (Atomic* piece = PhysicsShapeToGeometry(child, world, colour))
                Attach(root, piece, child);
        }
    } else {
        auto* grid = const_cast<OlpVolume*>(volume);
        const uint32_t count = OlpGridGetCellCount(grid);
        for (uint32_t i = 0; i < count; ++i) {
            const OlpVolume* cell = OlpGridGetCell(grid, i);
            if (Atomic* piece = ConvexAtomic(cell, world, colour))
                Attach(root, piece, cell);
        }
    }
    return root;
}

Atomic* AtomicCreateEmpty(World* world)
{
    return AtomicOn(nullptr, world);
}

Geometry* GeometryCreateGrid(int32_t n, float cellSize, const RGBA* colour)
{
    if (n < 3 || n > kMaxGridSide || n % 2 == 0 || !(cellSize > 0.0f))
        return nullptr;
    const int32_t cells = n - 1;
    Geometry* geometry = GeometryCreate(n * n, 2 * cells * cells, kGridFormat);
    Material* material = geometry ? MaterialCreate() : nullptr;
    if (!material) {
        if (geometry)
            GeometryRelease(geometry);
        return nullptr;
    }
    material->colour = colour ? *colour : kGridColour;
    MorphTarget& target = geometry->morphTargets[0];
    const float half = float(cells / 2) * cellSize;
    for (int32_t row = 0; row < n; ++row) {
        for (int32_t column = 0; column < n; ++column) {
            const int32_t v = row * n + column;
            target.vertices[v] = {float(column) * cellSize - half, 0.0f, float(row) * cellSize - half};
            target.normals[v] = {0.0f, 1.0f, 0.0f};
            geometry->texCoords[0][v] = {float(column) / float(cells), float(row) / float(cells)};
        }
    }
    int32_t t = 0;
    for (int32_t row = 0; row < cells; ++row) {
        for (int32_t column = 0; column < cells; ++column) {
            const auto corner = [n, row, column](int32_t dr, int32_t dc) {
                return uint16_t((row + dr) * n + column + dc);
            };
            // Counter-clockwise seen from above (+y).
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], corner(0, 0), corner(1, 0),
                                             corner(1, 1));
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], corner(0, 0), corner(1, 1),
                                             corner(0, 1));
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
        }
    }
    MaterialRelease(material);
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    if (!GeometryUnlock(geometry)) {
        GeometryRelease(geometry);
        return nullptr;
    }
    return geometry;
}

bool AtomicScaleGeometry(Atomic* atomic, float x, float y, float z)
{
    if (!atomic || !atomic->geometry) {
        ShellReportError("The geometry of the atomic is undefined.");
        return false;
    }
    Matrix scale;
    const V3d factors = {x, y, z};
    MatrixScale(&scale, &factors, kCombineReplace);
    return GeometryTransform(atomic->geometry, &scale) != nullptr;
}

Atomic* PhysicsObjectCreateAtomic(OlpBody* body, World* world)
{
    if (!body || body->base.partCount == 0)
        return nullptr;
    Atomic* atomic = PhysicsShapeToGeometry(body->base.parts[0].volume, world, {255, 255, 255, 255});
    if (atomic)
        OlpBodyAttach(atomic, body);
    return atomic;
}

void PhysicsShapeGeometryDestroy(Atomic* atomic)
{
    if (!atomic)
        return;
    Frame* frame = AtomicGetFrame(atomic);
    if (!frame) {
        DestroyAtomicObject(atomic, nullptr);
        return;
    }
    DestroyFrameObjects(frame, nullptr);
    FrameDestroyHierarchy(frame);
}
