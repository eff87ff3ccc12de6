// What the navigation asks of the runtime's host adapters and of the current
// world, in one place: line of sight, can-go, debug drawing, the clock and
// the world's unit length.
#pragma once

#include "ai/runtime/vec3.h"

namespace Zelk {

class CEntity;

// The host's segment test; true when the segment is clear (true without a host test).
bool NavIsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags);
// The host's swept test for a body of the given width; true without a host test.
bool NavCanGo(const CVec3& from, const CVec3& to, CEntity* entity, float width);
// Width of the entity (its CEntityWidth value), 0 without one.
float NavEntityWidth(const CEntity* entity);
// Whether the point lies in the entity's field of view (no range limit;
// every point when the entity has no vision attribute).
bool NavIsPointInFieldOfView(const CEntity* entity, const CVec3& point);
// Position of an entity.
CVec3 NavEntityPosition(const CEntity* entity);
// The host's debug drawing; nothing when the host has none. Colours 0..255.
void NavDrawLine(const CVec3& from, const CVec3& to, int red, int green, int blue);
void NavDrawPoint(const CVec3& point, int red, int green, int blue);
// The runtime's clock, seconds; 0 without one.
float NavClock();
// The current world's one meter, 0 without a world.
float NavOneMeter();

} // namespace Zelk
