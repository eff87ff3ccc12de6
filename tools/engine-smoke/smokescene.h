#pragma once
// The engine's first picture: a camera cleared to a dark blue, a coloured
// immediate-mode 3-D triangle strip, a set of 3-D lines and a textured
// immediate-mode 2-D quad, drawn through the Direct3D 9 driver into an SDL
// window. Used by the engine-smoke program and by its rendering test.

#include <cstdint>

#include "platform/win32/win32.h"

struct Camera;
struct Raster;

struct SmokeScene
{
    Camera* camera;
    Raster* texture;
    uint32_t frames;
};

/// Background colour of the clear (ARGB).
constexpr uint32_t kSmokeBackground = 0xFF102040;

/// Starts the engine on `window` (init, open, start); false when any step fails.
bool SmokeEngineStart(HWND window);
/// The same with `attach` (registering plug-ins, may be null) run between
/// init and open.
bool SmokeEngineStartWith(HWND window, bool (*attach)());
/// Stops and terminates the engine.
void SmokeEngineStop();
/// Writes the back buffer (what the camera drew) as a PNG; false on failure.
bool SmokeWriteFrame(const char* path);
/// A camera on a frame of its own, with width x height colour and depth
/// rasters and a view window of their aspect (half-height 0.5), for the
/// picture programs built on this scene; null when any part cannot be made
/// (nothing left behind).
Camera* SmokeCameraCreate(int32_t width, int32_t height);
/// Destroys what SmokeCameraCreate made; nothing for null.
void SmokeCameraDestroy(Camera* camera);
/// Camera and texture for the window's client size; false on failure.
bool SmokeSceneCreate(SmokeScene* scene, int32_t width, int32_t height);
void SmokeSceneDestroy(SmokeScene* scene);
/// Clears, draws and presents one frame; false when the device could not draw it.
bool SmokeSceneRender(SmokeScene* scene);
