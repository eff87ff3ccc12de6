#pragma once
// Placing a frame at a point and turning it towards another point or along
// a direction; used by the lights, the cameras and the physics helpers.
struct Frame;
struct V3d;

/// Sets the frame's position to `position` and, when `target` differs from
/// it, turns the frame so that its at vector points at the target with its
/// right vector horizontal (up = (0, 1, 0) side); looking straight up or down
/// keeps right = (1, 0, 0). Then FrameUpdateObjects. Null frame: nothing.
void FrameLookAt(Frame* frame, const V3d* position, const V3d* target);
/// Turns the frame in place so that its at vector points along `direction`
/// (any length; zero keeps the turn), as FrameLookAt. Null frame: nothing.
void FrameLookAlong(Frame* frame, const V3d* direction);
