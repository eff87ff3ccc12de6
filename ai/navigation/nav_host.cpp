#include "ai/navigation/nav_host.h"

#include "ai/runtime/host.h"
#include "ai/runtime/host_queries.h"

namespace Zelk {

bool NavIsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags)
{
    return IsVisible(from, to, ignore, flags);
}

bool NavCanGo(const CVec3& from, const CVec3& to, CEntity* entity, float width)
{
    return CanGo(from, to, entity, 2, width);
}

void NavDrawLine(const CVec3& from, const CVec3& to, int red, int green, int blue)
{
    HostDrawLine(from, to, red, green, blue);
}

void NavDrawPoint(const CVec3& point, int red, int green, int blue)
{
    HostDrawPoint(point, red, green, blue);
}

float NavClock()
{
    return AiClockNow();
}

} // namespace Zelk
