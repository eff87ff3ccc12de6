#include "platform/d3d9/object.h"

#include "platform/d3d9/d3d9control.h"

namespace d3d9sw {
namespace {
long g_liveObjects = 0;
}

void LiveObjectsAdd(long delta)
{
    g_liveObjects += delta;
}

} // namespace d3d9sw

long D3D9LiveObjectCount()
{
    return d3d9sw::g_liveObjects;
}
