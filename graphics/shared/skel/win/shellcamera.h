#pragma once
// Cameras of the main window and small services around the engine: sizing a
// camera to the window, showing it, reading it back as an image, a built-in
// raster, debugger output and the clock; and moving or turning a camera's
// frame relative to itself.

#include <cstdint>

struct Camera;
struct Image;
struct Raster;
struct V3d;

struct ShellCameraRect
{
    int32_t x, y, width, height;
};

/// A camera with a new frame and a width x height camera raster (pixels,
/// >= 1), with a depth raster of the same size when `zBuffer`; null when any
/// part cannot be made (what was made is destroyed).
Camera* ShellCameraCreate(int32_t width, int32_t height, bool zBuffer);
/// Detaches and destroys the frame, both rasters when present, the camera.
void ShellCameraDestroy(Camera* camera);
/// Resizes the camera's rasters to `rect` (null: their size now; a
/// full-screen video mode: the mode's size) when both sides are above 0, and
/// sets the view window from `viewWindow` and `aspect`: full screen
/// (v, v / aspect); windowed and wider than tall (v, v * h / w); otherwise
/// (v * w / h, v). Nothing without a camera.
void ShellCameraSize(Camera* camera, const ShellCameraRect* rect, float viewWindow, float aspect);
/// Shows the camera's raster in the main window (CameraShowRaster, flags 0).
void ShellCameraShowRaster(Camera* camera);
/// A new 32-bit image of the camera raster's size filled from it; null
/// without a camera raster or out of memory.
Image* ShellCameraToImage(Camera* camera);
/// A 16 x 16 32-bit raster holding the shell's built-in picture; null on failure.
Raster* ShellCreateBuiltinRaster();
/// The text and a line break to the debugger output; the level is ignored.
void ShellDebugMessage(int32_t level, const char* text);
/// timeGetTime, in milliseconds.
uint32_t ShellGetTime();

/// Moves the camera's frame by offset.x along its right, .y along its up and
/// .z along its at vector (world units).
void ShellCameraMove(Camera* camera, const V3d* offset);
/// Turns the camera's frame by `degrees` about its own up (pan), right
/// (tilt) or at (roll) vector through `point` (null: the camera's position).
void ShellCameraPan(Camera* camera, const V3d* point, float degrees);
void ShellCameraTilt(Camera* camera, const V3d* point, float degrees);
void ShellCameraRoll(Camera* camera, const V3d* point, float degrees);
