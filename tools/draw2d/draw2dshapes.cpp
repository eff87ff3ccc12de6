#include "tools/draw2d/draw2dshapes.h"

#include <cmath>
#include <initializer_list>

#include "graphics/core/camera.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

Brush* FlatBrush(uint8_t r, uint8_t g, uint8_t b, float halfWidth)
{
    Brush* brush = BrushCreate();
    if (brush) {
        const uint8_t colour[4] = {r, g, b, 255};
        BrushSetColours(brush, colour, colour, colour, colour);
        brush->halfWidth = halfWidth;
    }
    return brush;
}

/// Adds one entry; the shape takes its own reference to the brush.
bool AddEntry(Object2D* shape, uint32_t mode, Path* path, Brush* brush)
{
    return shape && path && brush && ShapeAddEntry(shape, mode, path, brush);
}

Path* Hexagon(float x, float y, float radius)
{
    Path* path = PathCreate();
    if (!path) {
        return nullptr;
    }
    for (int32_t i = 0; i < 6; ++i) {
        const float a = 0.5235988f + 1.0471976f * float(i);
        const float px = x + radius * std::cos(a), py = y + radius * std::sin(a);
        if (i == 0) {
            PathMoveTo(path, px, py);
        } else {
            PathLineTo(path, px, py);
        }
    }
    PathClose(path);
    return path;
}

Path* Wave(float x, float y, float width)
{
    Path* path = PathCreate();
    if (!path) {
        return nullptr;
    }
    const float q = width / 4.0f;
    PathMoveTo(path, x, y);
    PathCurveTo(path, x + q * 0.5f, y + 0.1f, x + q * 1.5f, y + 0.1f, x + 2 * q, y);
    PathCurveTo(path, x + q * 2.5f, y - 0.1f, x + q * 3.5f, y - 0.1f, x + 4 * q, y);
    return path;
}

Path* Triangle(float x, float y, float side)
{
    Path* path = PathCreate();
    if (!path) {
        return nullptr;
    }
    PathMoveTo(path, x, y);
    PathLineTo(path, x + side, y);
    PathLineTo(path, x + 0.5f * side, y + 0.85f * side);
    PathClose(path);
    return path;
}

Path* Square(float x, float y, float side)
{
    Path* path = PathCreate();
    if (path) {
        PathRect(path, x, y, side, side);
    }
    return path;
}

} // namespace

bool Draw2DShapesEngineStart(HWND window)
{
    return SmokeEngineStartWith(window, [] {
        D3D9SceneRendererInstall();
        return WorldLibraryAttach() != 0;
    });
}

Object2D* Draw2DShapesCreate()
{
    Object2D* container = ContainerCreate();
    if (!container) {
        return nullptr;
    }
    Brush* orange = FlatBrush(230, 140, 40, 0.0f);
    Brush* white = FlatBrush(255, 255, 255, 0.008f);
    Brush* green = FlatBrush(60, 200, 90, 0.02f);
    Brush* gradient = BrushCreate();
    bool ok = orange && white && green && gradient;
    if (gradient) {
        const uint8_t red[4] = {220, 40, 40, 255}, blue[4] = {40, 80, 230, 255};
        // Red along the bottom edge, blue along the top.
        BrushSetColours(gradient, red, red, blue, blue);
    }
    Object2D* square = ContainerAddShape(container);
    ok = ok && AddEntry(square, kShapeFill, Square(0.06f, 0.55f, 0.2f), orange) &&
         AddEntry(square, 0, Square(0.06f, 0.55f, 0.2f), white);
    ok = ok && AddEntry(ContainerAddShape(container), kShapeFill, Hexagon(0.47f, 0.65f, 0.13f), gradient);
    ok = ok && AddEntry(ContainerAddShape(container), 0, Wave(0.06f, 0.36f, 0.54f), green);
    Object2D* tinted = ContainerAddContainer(container);
    ok = ok && tinted;
    if (ok) {
        const float half[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        ObjectSetColourScale(tinted, half);
        ok = AddEntry(ContainerAddShape(tinted), kShapeFill, Triangle(0.24f, 0.06f, 0.2f), white);
    }
    for (Brush* brush : {orange, white, green, gradient}) {
        if (brush) {
            BrushDestroy(brush);
        }
    }
    if (!ok) {
        ContainerDestroy(container);
        return nullptr;
    }
    return container;
}

bool Draw2DShapesBuild(Object2D* container)
{
    for (int32_t i = 0; i < ContainerGetChildCount(container); ++i) {
        Object2D* child = ContainerGetChild(container, i);
        const bool ok = ObjectIsContainer(child) ? Draw2DShapesBuild(child)
                                                 : !ObjectIsShape(child) || ShapeBuild(child) != nullptr;
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool Draw2DSceneRenderShapes(Draw2DScene* scene)
{
    Object2D* immediate = Draw2DShapesCreate();
    Object2D* built = immediate ? ObjectAlloc() : nullptr;
    bool ok = built && ContainerCopy(built, immediate) && Draw2DShapesBuild(built);
    if (built && !ok) {
        ObjectFree(built);
        built = nullptr;
    }
    const uint8_t background[4] = {uint8_t(kDraw2DBackground >> 16), uint8_t(kDraw2DBackground >> 8),
                                   uint8_t(kDraw2DBackground), 0xFF};
    if (ok) {
        ObjectTranslate(built, kDraw2DShapesOffset, 0.0f);
        ok = CameraClear(scene->camera, background, 3) && CameraBeginUpdate(scene->camera);
        if (ok) {
            ok = ContainerRender(immediate) && ContainerRender(built);
            ok = CameraEndUpdate(scene->camera) && ok;
        }
    }
    if (built) {
        ContainerDestroy(built);
    }
    if (immediate) {
        ContainerDestroy(immediate);
    }
    return ok;
}
