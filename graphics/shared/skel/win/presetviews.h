#pragma once
// Preset camera views kept in "./views.txt": one view per line, the numbers
// x y z elevation azimuth near far (world units, degrees), then optionally a
// name (the rest of the line, blanks kept). Lines are at most 1023 bytes;
// characters that are not printable (tabs too) are removed before reading.
// A line with fewer than seven numbers, or a number that is not finite, is
// skipped; a view without a name is called "View" and the count so far.

#include <cstdint>

struct Camera;
struct V3d;

/// Replaces the list with the file's views; a missing file leaves it empty.
void PresetViewsLoad();
/// Appends the camera's view to the file as "View<count>", reloads the list
/// and selects the new view. "Cannot open preset view file" or "Cannot write
/// to preset view file" is reported (ShellReportError) on failure.
void PresetViewsSave(Camera* camera);
/// Puts the camera at view n (0: the first line of the file): rotation by
/// -elevation about X, then azimuth about Y, then the position; near and far
/// clip distances. False without a camera or views, or n outside the list.
bool PresetViewSelect(Camera* camera, int32_t n);
/// The next or previous view, wrapping at either end; false without camera or views.
bool PresetViewNext(Camera* camera);
bool PresetViewPrevious(Camera* camera);
/// Frees every view; true.
bool PresetViewsFree();
/// The current view's name, null when none is selected.
const char* PresetViewCurrentName();
/// Views loaded, and the current index (-1: none).
int32_t PresetViewCount();
int32_t PresetViewCurrent();
/// The camera frame's world position, elevation above the horizontal and
/// azimuth about Y (0 along +Z, 90 along +X), in degrees. Looking straight
/// up or down gives azimuth 0.
void PresetViewFromCamera(Camera* camera, V3d* position, float* elevation, float* azimuth);
