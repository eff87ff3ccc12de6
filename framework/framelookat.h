#pragma once
// Placing a frame at a point and turning it towards another; used by the
// lights and the cameras.
struct Frame;
struct V3d;

/// Sets the frame's position to `position` and, when `target` differs from
/// it, turns the frame so that its at vector points at the target with its
/// right vector horizontal (up = (0, 1, 0) side); looking straight up or down
/// keeps right = (1, 0, 0). Then FrameUpdateObjects. Null frame: nothing.
void FrameLookAt(Frame* frame, const V3d* position, const V3d* target);
