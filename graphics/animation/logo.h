#pragma once
// The logo (engine plug-in and camera extension 0x10A): a 128 x 64 picture
// made in code ("OLAI" in the debug glyphs over a gradient) that is overlaid
// on a camera's frame buffer at the end of every camera update, at one of
// nine places on a 3 x 3 grid, on the cameras whose flag is set. The size
// follows the frame buffer: a tenth of its width, the picture's shape
// corrected for the view window.
//
// Places (left and right 16 pixels from the edges, top and bottom 24):
//   1 centre top, 2 centre middle, 3 centre bottom, 4 left middle,
//   5 right middle, 6 left top, 7 right top, 8 left bottom, 9 right bottom.

#include <cstdint>

#include "graphics/core/raster.h"

struct Camera;

constexpr uint32_t kPluginIdLogo = 0x10A;
constexpr int32_t kLogoWidth = 128;
constexpr int32_t kLogoHeight = 64;

/// Registers the engine plug-in and the camera extension (which hooks every
/// camera's begin- and end-update); before the first EngineOpen. True when
/// both registrations succeeded.
bool LogoPluginAttach();
/// Chooses the place (1 to 9); 1. 0 with {0x10A, 0x80000003} "Invalid logo
/// position specified" outside 1 to 9, or when the plug-in is not attached.
int32_t LogoSetPosition(int32_t position);
/// The place, 8 after the engine starts; 0 when the plug-in is not attached.
int32_t LogoGetPosition();
/// The rectangle of the last camera begin-update (pixels in the frame
/// buffer's top raster; empty when nothing can be drawn); null when the
/// plug-in is not attached.
const RasterRect* LogoGetRect();
/// The camera's flag (0 at creation, or when the plug-in is not attached).
int32_t LogoCameraGetEnabled(const Camera* camera);
/// Sets the camera's flag; the old value.
int32_t LogoCameraSetEnabled(Camera* camera, int32_t enabled);
/// The logo's rectangle on the camera's frame buffer at `position`; an empty
/// one (all zero) when the frame buffer or view window leaves no room.
RasterRect LogoComputeRect(const Camera* camera, int32_t position);
