#pragma once
// The 2-D toolkit's retained picture: one container of shapes (a square
// filled flat and outlined, a hexagon filled with a gradient, a wave
// stroked along a curve, and a child container tinted to half its colour
// holding a filled triangle) drawn twice side by side: immediate on the
// left, and a copy built into atomics on the right. Used by draw2d --shapes,
// its rendering test and the shape benchmarks.

#include <cstdint>

#include "platform/win32/win32.h"
#include "tools/draw2d/draw2dscene.h"

struct Object2D;

/// How far right the built copy is drawn, in 2-D units (the view is the
/// raster's aspect wide and 1 high).
constexpr float kDraw2DShapesOffset = 0.6667f;

/// Starts the engine on `window` with the scene library and its renderer
/// attached (built shapes draw as atomics); false when any step fails.
bool Draw2DShapesEngineStart(HWND window);
/// The container of shapes, in pointer mode at the left half; null when out
/// of memory. ContainerDestroy frees it.
Object2D* Draw2DShapesCreate();
/// Builds every shape below `container` into its atomic; false on failure.
bool Draw2DShapesBuild(Object2D* container);
/// Clears the camera and draws the shapes immediate on the left and built
/// on the right (not presented); false when drawing failed.
bool Draw2DSceneRenderShapes(Draw2DScene* scene);
