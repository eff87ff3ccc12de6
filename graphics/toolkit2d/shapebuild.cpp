// Shapes built into atomics: the geometry generated from a shape list
// (strokes as bands, fills tessellated), the brushes' materials, and the
// shape's atomic and frame.

#include <cstring>

#include "graphics/core/frame.h"
#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/tess.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kGeometryFormat = 0x6F;
constexpr uint32_t kScratchHint = kMemoryHintScratch | kChunkShape;
constexpr uint32_t kColoursHint = kMemoryHintObject | kChunkShape;

/// One straight sub-path of an entry and, for a fill, its triangles.
struct BuildPiece
{
    const ShapeEntry* entry;
    const Path* sub;
    uint32_t* indices; ///< fill triangles as index triples; null for a stroke
    int32_t triangles;
};

/// What one build collects before the geometry is sized.
struct BuildWork
{
    GrowArray* pieces;    ///< of BuildPiece
    GrowArray* flattened; ///< of Path*: the straight copies of curved sub-paths
    bool ok;
};

RGBA ToRGBA(uint32_t argb)
{
    return {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)};
}

/// Rounded and clamped; NaN (from coordinates too far apart to blend) gives 0.
uint8_t RoundByte(float value)
{
    return uint8_t(!(value > 0.0f) ? 0.0f : value >= 255.0f ? 255.0f : value + 0.5f);
}

/// The material of a brush: made at its first build (the brush then holds
/// that reference); each build holds one more until it ends.
Material* AcquireMaterial(Brush* brush)
{
    if (!brush->material) {
        Material* material = MaterialCreate();
        if (!material) {
            return nullptr;
        }
        MaterialSetTexture(material, brush->texture);
        const bool gradient = (brush->flags & kBrushGradient) != 0;
        material->colour = gradient ? RGBA{255, 255, 255, 255} : ToRGBA(BrushFlatColour(brush));
        brush->material = material;
    }
    ++brush->material->refCount;
    return brush->material;
}

void AddPiece(BuildWork& work, const ShapeEntry* entry, const Path* sub)
{
    const bool fill = (entry->mode & kShapeFill) != 0;
    const int32_t count = PathGetNodeCount(sub);
    if (fill ? (!sub->closed || count < 4) : count < 2) {
        return;
    }
    BuildPiece piece = {entry, sub, nullptr, 0};
    if (fill) {
        piece.indices =
            static_cast<uint32_t*>(MemoryAllocate(sizeof(uint32_t) * 3 * size_t(count - 3), kScratchHint));
        if (!piece.indices || !TessTriangulateSubPath(sub, &piece.triangles, piece.indices)) {
            MemoryFree(piece.indices);
            work.ok = false;
            return;
        }
    }
    auto* slot = static_cast<BuildPiece*>(GrowArrayIncSize(work.pieces, kScratchHint));
    if (!slot) {
        MemoryFree(piece.indices);
        work.ok = false;
        return;
    }
    *slot = piece;
}

void CollectEntry(BuildWork& work, const ShapeEntry* entry)
{
    for (const Path* sub = entry->path; sub && work.ok; sub = sub->next) {
        if (sub->straight) {
            AddPiece(work, entry, sub);
            continue;
        }
        Path* flat = PathCreate();
        auto* slot = flat ? static_cast<Path**>(GrowArrayIncSize(work.flattened, kScratchHint)) : nullptr;
        if (!slot) {
            PathDestroy(flat);
            work.ok = false;
            return;
        }
        *slot = flat;
        if (!PathFlattenInto(flat, sub)) {
            work.ok = false;
            return;
        }
        for (const Path* piece = flat; piece && work.ok; piece = piece->next) {
            AddPiece(work, entry, piece);
        }
    }
}

void FreeWork(BuildWork& work)
{
    if (work.pieces) {
        for (int32_t i = 0; i < GrowArrayGetCount(work.pieces); ++i) {
            MemoryFree(static_cast<BuildPiece*>(GrowArrayGetElement(work.pieces, i))->indices);
        }
        GrowArrayDestroy(work.pieces);
    }
    if (work.flattened) {
        for (int32_t i = 0; i < GrowArrayGetCount(work.flattened); ++i) {
            PathDestroy(*static_cast<Path**>(GrowArrayGetElement(work.flattened, i)));
        }
        GrowArrayDestroy(work.flattened);
    }
}

/// Texture coordinates from the brush's edge pairs at s along the edges and
/// t from the bottom edge to the top one.
TexCoords BrushUVAt(const Brush* brush, float s, float t)
{
    const float bu = brush->bottomUV.u + brush->bottomUVDelta.u * s;
    const float bv = brush->bottomUV.v + brush->bottomUVDelta.v * s;
    const float tu = brush->topUV.u + brush->topUVDelta.u * s;
    const float tv = brush->topUV.v + brush->topUVDelta.v * s;
    return {bu + (tu - bu) * t, bv + (tv - bv) * t};
}

RGBA BrushRGBAAt(const Brush* brush, float s, float t)
{
    auto channel = [s, t](float b0, float bd, float t0, float td) {
        const float bottom = b0 + bd * s;
        return RoundByte(bottom + (t0 + td * s - bottom) * t);
    };
    const BrushColour& b0 = brush->bottomColour;
    const BrushColour& bd = brush->bottomColourDelta;
    const BrushColour& t0 = brush->topColour;
    const BrushColour& td = brush->topColourDelta;
    return {channel(b0.r, bd.r, t0.r, td.r), channel(b0.g, bd.g, t0.g, td.g), channel(b0.b, bd.b, t0.b, td.b),
            channel(b0.a, bd.a, t0.a, td.a)};
}

} // namespace

bool PathStrokeToGeometry(const Path* sub, Brush* brush, Material* material, Geometry* geometry,
                          int32_t* vertexBase, int32_t* triangleBase)
{
    const PathNode* nodes = PathGetNodes(sub);
    const int32_t count = PathGetNodeCount(sub);
    if (count < 2) {
        return true;
    }
    V3d* positions = geometry->morphTargets[0].vertices + *vertexBase;
    RGBA* colours = geometry->preLitColours + *vertexBase;
    TexCoords* uvs = geometry->texCoords[0] ? geometry->texCoords[0] + *vertexBase : nullptr;
    const float a = sub->strokeOffset + brush->halfWidth;
    const float b = brush->halfWidth - sub->strokeOffset;
    const float z = TwoDDeviceGetLayerDepth();
    const float total = nodes[count - 1].length;
    const float scale = total > 0.0f ? 1.0f / total : 0.0f;
    const bool gradient = (brush->flags & kBrushGradient) != 0;
    for (int32_t i = 0; i < count; ++i) {
        const PathNode& node = nodes[i];
        const float t = node.length * scale;
        positions[2 * i] = {node.x - node.mx * a, node.y - node.my * a, z};
        positions[2 * i + 1] = {node.x + node.mx * b, node.y + node.my * b, z};
        colours[2 * i] = gradient ? BrushRGBAAt(brush, t, 1.0f) : RGBA{255, 255, 255, 255};
        colours[2 * i + 1] = gradient ? BrushRGBAAt(brush, t, 0.0f) : RGBA{255, 255, 255, 255};
        if (uvs) {
            uvs[2 * i] = BrushUVAt(brush, t, 1.0f);
            uvs[2 * i + 1] = BrushUVAt(brush, t, 0.0f);
        }
    }
    GeometryTriangle* triangles = geometry->triangles + *triangleBase;
    const int32_t v = *vertexBase;
    for (int32_t k = 0; k + 1 < count; ++k) {
        GeometryTriangleSetVertexIndices(geometry, &triangles[2 * k], uint16_t(v + 2 * k),
                                         uint16_t(v + 2 * k + 1), uint16_t(v + 2 * k + 2));
        GeometryTriangleSetVertexIndices(geometry, &triangles[2 * k + 1], uint16_t(v + 2 * k + 1),
                                         uint16_t(v + 2 * k + 3), uint16_t(v + 2 * k + 2));
        if (!GeometryTriangleSetMaterial(geometry, &triangles[2 * k], material) ||
            !GeometryTriangleSetMaterial(geometry, &triangles[2 * k + 1], material)) {
            return false;
        }
    }
    *vertexBase += 2 * count;
    *triangleBase += 2 * (count - 1);
    return true;
}

bool PathFillToGeometry(const Path* sub, const uint32_t* indices, int32_t triangleCount, Brush* brush,
                        Material* material, Geometry* geometry, int32_t* vertexBase, int32_t* triangleBase)
{
    const PathNode* nodes = PathGetNodes(sub);
    // The last node of a closed outline repeats the first.
    const int32_t count = PathGetNodeCount(sub) - 1;
    if (count < 3) {
        return true;
    }
    float minX = nodes[0].x, minY = nodes[0].y, maxX = minX, maxY = minY;
    for (int32_t i = 1; i < count; ++i) {
        minX = nodes[i].x < minX ? nodes[i].x : minX;
        maxX = nodes[i].x > maxX ? nodes[i].x : maxX;
        minY = nodes[i].y < minY ? nodes[i].y : minY;
        maxY = nodes[i].y > maxY ? nodes[i].y : maxY;
    }
    const float invW = maxX > minX ? 1.0f / (maxX - minX) : 0.0f;
    const float invH = maxY > minY ? 1.0f / (maxY - minY) : 0.0f;
    V3d* positions = geometry->morphTargets[0].vertices + *vertexBase;
    RGBA* colours = geometry->preLitColours + *vertexBase;
    TexCoords* uvs = geometry->texCoords[0] ? geometry->texCoords[0] + *vertexBase : nullptr;
    const float z = TwoDDeviceGetLayerDepth();
    const bool gradient = (brush->flags & kBrushGradient) != 0;
    for (int32_t i = 0; i < count; ++i) {
        const float x = nodes[i].x - nodes[i].mx * sub->strokeOffset;
        const float y = nodes[i].y - nodes[i].my * sub->strokeOffset;
        const float s = (x - minX) * invW, t = (y - minY) * invH;
        positions[i] = {x, y, z};
        colours[i] = gradient ? BrushRGBAAt(brush, s, t) : RGBA{255, 255, 255, 255};
        if (uvs) {
            uvs[i] = BrushUVAt(brush, s, t);
        }
    }
    GeometryTriangle* triangles = geometry->triangles + *triangleBase;
    const int32_t v = *vertexBase;
    for (int32_t k = 0; k < triangleCount; ++k) {
        const uint32_t* triple = indices + 3 * k;
        GeometryTriangleSetVertexIndices(geometry, &triangles[k], uint16_t(v + int32_t(triple[0])),
                                         uint16_t(v + int32_t(triple[1])), uint16_t(v + int32_t(triple[2])));
        if (!GeometryTriangleSetMaterial(geometry, &triangles[k], material)) {
            return false;
        }
    }
    *vertexBase += count;
    *triangleBase += triangleCount;
    return true;
}

Geometry* ShapeListBuildGeometry(ShapeList* list)
{
    BuildWork work = {GrowArrayCreate(sizeof(BuildPiece), kScratchHint),
                      GrowArrayCreate(sizeof(Path*), kScratchHint), true};
    work.ok = work.pieces && work.flattened;
    const int32_t entries = GrowArrayGetCount(list->entries);
    for (int32_t i = 0; i < entries && work.ok; ++i) {
        const auto* entry = static_cast<const ShapeEntry*>(GrowArrayGetElement(list->entries, i));
        if (entry->path && entry->brush) {
            CollectEntry(work, entry);
        }
    }
    // Sized by what will be written: fills by the triangles the tessellator gave.
    int64_t vertices = 0, triangles = 0;
    const int32_t pieces = work.ok ? GrowArrayGetCount(work.pieces) : 0;
    for (int32_t i = 0; i < pieces; ++i) {
        const auto* piece = static_cast<const BuildPiece*>(GrowArrayGetElement(work.pieces, i));
        const int32_t count = PathGetNodeCount(piece->sub);
        vertices += piece->indices ? count - 1 : 2 * count;
        triangles += piece->indices ? piece->triangles : 2 * (count - 1);
    }
    Geometry* geometry = nullptr;
    if (work.ok && vertices < 65536) {
        geometry = GeometryCreate(int32_t(vertices), int32_t(triangles), kGeometryFormat);
    }
    int32_t vertexBase = 0, triangleBase = 0;
    bool ok = geometry != nullptr;
    for (int32_t i = 0; i < pieces && ok; ++i) {
        const auto* piece = static_cast<const BuildPiece*>(GrowArrayGetElement(work.pieces, i));
        Brush* brush = piece->entry->brush;
        Material* material = AcquireMaterial(brush);
        ok = material &&
             (piece->indices
                  ? PathFillToGeometry(piece->sub, piece->indices, piece->triangles, brush, material,
                                       geometry, &vertexBase, &triangleBase)
                  : PathStrokeToGeometry(piece->sub, brush, material, geometry, &vertexBase, &triangleBase));
        if (material) {
            MaterialRelease(material);
        }
    }
    FreeWork(work);
    if (ok) {
        MorphTarget* target = &geometry->morphTargets[0];
        MorphTargetCalcBoundingSphere(target, &target->boundingSphere);
        ok = GeometryUnlock(geometry) != nullptr;
    }
    if (!ok) {
        if (geometry) {
            GeometryRelease(geometry);
        }
        return nullptr;
    }
    if (list->geometry) {
        GeometryRelease(list->geometry);
    }
    list->geometry = geometry;
    return geometry;
}

bool ShapeMakeAtomic(Object2D* object, const Matrix* matrix)
{
    ShapeData* data = ShapeGetData(object);
    Geometry* geometry = data->list->geometry;
    Frame* frame = FrameCreate();
    Atomic* atomic = frame ? AtomicCreate() : nullptr;
    const int32_t materials = geometry->materials.count;
    auto* colours = atomic && materials > 0
                        ? static_cast<RGBA*>(MemoryAllocate(sizeof(RGBA) * size_t(materials), kColoursHint))
                        : nullptr;
    if (!atomic || (materials > 0 && !colours)) {
        if (atomic) {
            AtomicDestroy(atomic);
        }
        if (frame) {
            FrameDestroy(frame);
        }
        return false;
    }
    if (matrix) {
        FrameTransform(frame, matrix, 0);
    }
    AtomicSetFrame(atomic, frame);
    AtomicSetGeometry(atomic, geometry, 0);
    for (int32_t i = 0; i < materials; ++i) {
        colours[i] = geometry->materials.materials[i]->colour;
    }
    data->atomic = atomic;
    data->savedColours = colours;
    return true;
}

Object2D* ShapeBuild(Object2D* object)
{
    ShapeReleaseAtomic(object);
    const Matrix* matrix = TwoDDeviceUpdateMatrix();
    if (!matrix || !ShapeListBuildGeometry(ShapeGetData(object)->list) || !ShapeMakeAtomic(object, matrix)) {
        return nullptr;
    }
    object->flags &= ~kObjectKindFlag;
    return object;
}

Object2D* ShapeReleaseAtomic(Object2D* object)
{
    ShapeData* data = ShapeGetData(object);
    if (data->atomic) {
        Frame* frame = AtomicGetFrame(data->atomic);
        AtomicSetFrame(data->atomic, nullptr);
        AtomicDestroy(data->atomic);
        if (frame) {
            FrameDestroy(frame);
        }
        data->atomic = nullptr;
    }
    MemoryFree(data->savedColours);
    data->savedColours = nullptr;
    object->flags |= kObjectKindFlag;
    return object;
}

bool ShapeCloneAtomic(Object2D* dst, const Object2D* src)
{
    const ShapeData* from = ShapeGetData(src);
    ShapeData* data = ShapeGetData(dst);
    const Geometry* geometry = from->atomic->geometry;
    const int32_t materials = geometry ? geometry->materials.count : 0;
    Frame* frame = FrameCreate();
    Atomic* atomic = frame ? AtomicClone(from->atomic) : nullptr;
    auto* colours = atomic && materials > 0
                        ? static_cast<RGBA*>(MemoryAllocate(sizeof(RGBA) * size_t(materials), kColoursHint))
                        : nullptr;
    if (!atomic || (materials > 0 && !colours)) {
        if (atomic) {
            AtomicDestroy(atomic);
        }
        if (frame) {
            FrameDestroy(frame);
        }
        return false;
    }
    if (Frame* source = AtomicGetFrame(from->atomic)) {
        FrameTransform(frame, FrameGetMatrix(source), 0);
    }
    AtomicSetFrame(atomic, frame);
    if (colours) {
        std::memcpy(colours, from->savedColours, sizeof(RGBA) * size_t(materials));
    }
    data->atomic = atomic;
    data->savedColours = colours;
    return true;
}
