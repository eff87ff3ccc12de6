#pragma once
// The 2-D toolkit's picture: a camera cleared to a dark grey, an oval ring
// stroked with a gradient brush, a filled and outlined star, a spiral of
// curves, a band with a checker texture and a filled L shape, all drawn
// through the toolkit (paths, brushes, the tessellator) onto the software
// device. Used by the draw2d program and by its rendering test.

#include <cstdint>

struct Camera;
struct Frame;
struct Texture;

struct Draw2DCounts
{
    int32_t strokedNodes;   ///< nodes of every stroked (flattened) path
    int32_t fillTriangles;  ///< triangles of every filled outline
    int32_t filledOutlines; ///< outlines cut into triangles
};

struct Draw2DScene
{
    Camera* camera;
    Frame* frame;
    Texture* checker;
    Draw2DCounts counts; ///< of the last frame drawn
};

/// Background colour of the clear (ARGB).
constexpr uint32_t kDraw2DBackground = 0xFF202428;

/// Camera (on its own frame, view window of the raster's aspect), checker
/// texture and the toolkit opened on the camera; the engine must be started.
/// False on failure (nothing left behind).
bool Draw2DSceneCreate(Draw2DScene* scene, int32_t width, int32_t height);
/// Closes the toolkit and frees the scene.
void Draw2DSceneDestroy(Draw2DScene* scene);
/// Clears the camera and draws the picture between begin and end update
/// (not presented); false when drawing failed.
bool Draw2DSceneRender(Draw2DScene* scene);
/// Cuts every closed sub-path of `path` (flattened first) into triangles and
/// draws them in one colour (0xAARRGGBB) with immediate-mode 3-D; the
/// number of triangles, or -1 on failure.
int32_t Draw2DFillPath(struct Path* path, uint32_t colour);
