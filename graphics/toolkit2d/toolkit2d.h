#pragma once
// The 2-D toolkit: vector shapes (paths stroked with brushes, fills cut into
// triangles), text in bitmap and outline fonts, and 2-D objects (texts, hit
// regions) drawn onto a camera through the 2-D device (twoddevice.h).
// The toolkit is no engine plug-in: the application opens it once the
// engine has started, with the camera it draws onto, and closes it before
// the engine stops. Its modules keep their state for the process and are
// used from the rendering thread only.

struct Camera;

/// Opens the tessellator, paths, brushes, fonts, objects and the device state, then makes
/// `camera` the target. False when a module cannot open (those opened are
/// closed again) or the camera cannot be the target (no frame buffer).
bool TwoDToolkitOpen(Camera* camera);
/// Closes the device state and every module in reverse order and clears the target.
void TwoDToolkitClose();
