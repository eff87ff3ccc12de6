// Shapes built into geometry: counts, exact sizing, the brushes' materials
// and the atomic that draws a built shape.

#include <cmath>

#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/tests/shapetesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

class ShapeGeometry : public ShapeTest
{
};

struct CountCase
{
    const char* name;
    uint32_t mode;
    std::vector<V2d> points;
    bool close;
    int32_t vertices;
    int32_t triangles;
};

Path* Outline(const CountCase& c)
{
    Path* path = PathCreate();
    PathMoveTo(path, c.points[0].x, c.points[0].y);
    for (size_t i = 1; i < c.points.size(); ++i) {
        PathLineTo(path, c.points[i].x, c.points[i].y);
    }
    if (c.close) {
        PathClose(path);
    }
    return path;
}

/// Every triangle names vertices in range and the one material; the sphere is finite.
void ExpectWellFormed(const Geometry* geometry)
{
    for (int32_t t = 0; t < geometry->numTriangles; ++t) {
        for (uint16_t v : geometry->triangles[t].vertex) {
            EXPECT_LT(v, geometry->numVertices) << "triangle " << t;
        }
        EXPECT_EQ(geometry->triangles[t].material, 0) << "triangle " << t;
    }
    const Sphere& sphere = geometry->morphTargets[0].boundingSphere;
    EXPECT_TRUE(std::isfinite(sphere.radius) && std::isfinite(sphere.centre.x) &&
                std::isfinite(sphere.centre.y));
}

int gRenders = 0;
Atomic* gRendered = nullptr;

Atomic* CountRender(Atomic* atomic)
{
    ++gRenders;
    gRendered = atomic;
    return atomic;
}

} // namespace

TEST_F(ShapeGeometry, EntriesAreSizedByWhatIsWritten)
{
    const CountCase cases[] = {
        {"two-node stroke", 0, {{0, 0}, {1, 0}}, false, 4, 2},
        {"square fill", kShapeFill, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true, 4, 2},
        {"open fill", kShapeFill, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, false, 0, 0},
        // Collinear: three vertices written, no triangle survives.
        {"degenerate fill", kShapeFill, {{0, 0}, {1, 0}, {2, 0}}, true, 3, 0},
        {"closed stroke", 0, {{0, 0}, {1, 0}, {1, 1}}, true, 8, 6},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        Brush* brush = FlatBrush(10, 20, 30);
        Object2D* shape = OneEntryShape(c.mode, Outline(c), brush);
        Geometry* geometry = ShapeListBuildGeometry(ShapeGetList(shape));
        ASSERT_NE(geometry, nullptr);
        EXPECT_EQ(geometry->numVertices, c.vertices);
        EXPECT_EQ(geometry->numTriangles, c.triangles);
        ExpectWellFormed(geometry);
        ShapeDestroy(shape);
        BrushDestroy(brush);
    }
}

TEST_F(ShapeGeometry, StrokeBandAndFillColoursFollowTheBrush)
{
    Brush* brush = BrushCreate();
    brush->halfWidth = 0.25f;
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 255};
    // Bottom edge red, top edge blue.
    BrushSetColours(brush, red, red, blue, blue);
    Object2D* shape = ShapeCreate();
    Path* line = PathCreate();
    PathMoveTo(line, 0, 0);
    PathLineTo(line, 2, 0);
    ShapeAddEntry(shape, 0, line, brush);
    ShapeAddEntry(shape, kShapeFill, Square(0, 0, 1), brush);
    Geometry* geometry = ShapeListBuildGeometry(ShapeGetList(shape));
    ASSERT_NE(geometry, nullptr);
    ASSERT_EQ(geometry->numVertices, 4 + 4);
    const V3d* v = geometry->morphTargets[0].vertices;
    // Across the band: the first vertex of a node on its left.
    EXPECT_FLOAT_EQ(v[0].y, 0.25f);
    EXPECT_FLOAT_EQ(v[1].y, -0.25f);
    EXPECT_FLOAT_EQ(v[2].x, 2.0f);
    const RGBA* colours = geometry->preLitColours;
    EXPECT_EQ(colours[0].blue, 255) << "top pair on the first vertex";
    EXPECT_EQ(colours[1].red, 255) << "bottom pair on the second";
    // The square's corners: y 0 takes the bottom colour, y 1 the top one.
    for (int32_t i = 4; i < 8; ++i) {
        const bool top = v[i].y > 0.5f;
        EXPECT_EQ(colours[i].red, top ? 0 : 255) << i;
        EXPECT_EQ(colours[i].blue, top ? 255 : 0) << i;
    }
    ASSERT_NE(brush->material, nullptr);
    EXPECT_EQ(brush->material->colour.red, 255) << "gradient brushes colour by vertex, white material";
    EXPECT_EQ(brush->material->colour.green, 255);
    ShapeDestroy(shape);
    BrushDestroy(brush);
}

TEST_F(ShapeGeometry, BrushMaterialOutlivesTheGeometries)
{
    // One brush in two lists: each build takes and drops its own reference,
    // the brush keeps one, so the material survives both geometries.
    Brush* brush = FlatBrush(200, 100, 50);
    Object2D* first = OneEntryShape(kShapeFill, Square(0, 0, 1), brush);
    Object2D* second = OneEntryShape(kShapeFill, Square(0, 0, 1), brush);
    ASSERT_NE(ShapeListBuildGeometry(ShapeGetList(first)), nullptr);
    ASSERT_NE(ShapeListBuildGeometry(ShapeGetList(second)), nullptr);
    Material* material = brush->material;
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->refCount, 3) << "the brush and two geometries";
    ShapeDestroy(first);
    ShapeList* list = ShapeGetList(second);
    GeometryRelease(list->geometry);
    list->geometry = nullptr;
    EXPECT_EQ(material->refCount, 1);
    Geometry* rebuilt = ShapeListBuildGeometry(list);
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(rebuilt->materials.materials[0], material);
    EXPECT_EQ(material->colour.red, 200);
    EXPECT_EQ(material->refCount, 2);
    ShapeDestroy(second);
    BrushDestroy(brush);
}

TEST_F(ShapeGeometry, BuiltShapeDrawsThroughItsAtomicTinted)
{
    Brush* brush = FlatBrush(200, 100, 50);
    Object2D* shape = OneEntryShape(kShapeFill, Square(0, 0, 1), brush);
    EXPECT_TRUE(shape->flags & kObjectKindFlag);
    ASSERT_EQ(ShapeBuild(shape), shape);
    EXPECT_FALSE(shape->flags & kObjectKindFlag);
    Atomic* atomic = ShapeGetData(shape)->atomic;
    ASSERT_NE(atomic, nullptr);
    atomic->renderCallBack = CountRender;
    gRenders = 0;
    ObjectTranslate(shape, 3, 0);
    const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f}, none[4] = {0, 0, 0, 0};
    ASSERT_EQ(ShapeRenderWith(shape, half, none), shape);
    EXPECT_EQ(gRenders, 1);
    EXPECT_EQ(gRendered, atomic);
    EXPECT_TRUE(recorder_->Batches().empty()) << "nothing drawn immediately";
    Material* material = atomic->geometry->materials.materials[0];
    EXPECT_EQ(material->colour.red, 100);
    EXPECT_EQ(material->colour.green, 50);
    EXPECT_EQ(material->colour.alpha, 255);
    // The frame follows the 2-D matrix of the translated shape.
    TwoDCTMPush();
    TwoDCTMTranslate(3, 0);
    const Matrix expected = *TwoDDeviceUpdateMatrix();
    TwoDCTMPop();
    const Matrix* placed = FrameGetMatrix(AtomicGetFrame(atomic));
    EXPECT_NEAR(placed->pos.x, expected.pos.x, 1e-5f);
    EXPECT_NEAR(placed->pos.y, expected.pos.y, 1e-5f);
    // A copy shares the list and clones the atomic.
    Object2D* copy = ObjectAssign(nullptr, shape);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ShapeGetList(copy), ShapeGetList(shape));
    EXPECT_EQ(ShapeGetList(shape)->refCount, 2);
    ASSERT_NE(ShapeGetData(copy)->atomic, nullptr);
    EXPECT_NE(ShapeGetData(copy)->atomic, atomic);
    EXPECT_NE(ShapeGetData(copy)->savedColours, ShapeGetData(shape)->savedColours);
    ShapeDestroy(copy);
    EXPECT_EQ(ShapeGetList(shape)->refCount, 1);
    ShapeReleaseAtomic(shape);
    EXPECT_TRUE(shape->flags & kObjectKindFlag);
    EXPECT_EQ(ShapeGetData(shape)->atomic, nullptr);
    ShapeDestroy(shape);
    BrushDestroy(brush);
}
