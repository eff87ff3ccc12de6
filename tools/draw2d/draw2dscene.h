#pragma once
// The 2-D toolkit's picture: a camera cleared to a dark grey, an oval ring
// stroked with a gradient brush, a filled and outlined star, a spiral of
// curves, a band with a checker texture and a filled L shape, all drawn
// through the toolkit (paths, brushes, the tessellator) onto the software
// device. Used by the draw2d program and by its rendering test.

#include <cstdint>

struct Camera;
struct Font;
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
/// Reads a font of the sample data folder `data` as the framework does
/// (file systems opened on it, font path "FONTS" and a backslash, glyph textures filtered
/// linearly); null when it cannot be read. FileSystemManagerClose undoes it.
Font* Draw2DReadSampleFont(const char* data, const char* name);
/// Clears the camera and draws `text` with `font` at the font's native size
/// (one texel per pixel), white fading to light blue, on one line at the left
/// middle of the view or, with `paragraph`, word-wrapped into the view's
/// upper part at twice that size (not presented); false when drawing failed.
bool Draw2DSceneRenderText(Draw2DScene* scene, Font* font, const char* text, bool paragraph);
/// Where the one-line text starts, in 2-D units, and its size.
constexpr float kDraw2DTextX = 0.05f;
constexpr float kDraw2DTextY = 0.45f;
/// Cuts every closed sub-path of `path` (flattened first) into triangles and
/// draws them in one colour (0xAARRGGBB) with immediate-mode 3-D; the
/// number of triangles, or -1 on failure.
int32_t Draw2DFillPath(struct Path* path, uint32_t colour);
