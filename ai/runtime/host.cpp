#include "ai/runtime/host.h"

#include "ai/runtime/runtime_state.h"

namespace Zelk {

const AiRuntimeSettings& AiGetSettings()
{
    return RuntimeState().settings;
}

const AiHostInterface* AiGetHostInterface()
{
    return RuntimeState().hostPointer;
}

float AiClockNow()
{
    const AiRuntimeSettings& s = AiGetSettings();
    return s.clock ? s.clock(s.clockUser) : 0.0f;
}

namespace {

// The host sees plain float triples; these live as long as one call.
struct Triple
{
    float v[3];
    explicit Triple(const CVec3& p) : v{p.x, p.y, p.z} {}
};

} // namespace

bool HostRayCast(const CVec3& from, const CVec3& to, const void* ignore, int flags, CHitRecord* hit)
{
    CHitRecord local;
    CHitRecord& out = hit ? *hit : local;
    CVec3 delta = to - from;
    float length = delta.Length();
    const AiHostInterface* host = AiGetHostInterface();
    float d = length;
    float normal[3] = {0.0f, 0.0f, 0.0f};
    if (host && host->rayCast) {
        Triple a(from), b(to);
        d = host->rayCast(a.v, b.v, ignore, flags, length, normal);
    }
    // An answer at or beyond the length, a negative answer (a host without a physics
    // world) and a zero-length segment mean no hit.
    if (d >= length || d < 0.0f || length <= 0.0f) {
        out.fraction = 1.0f;
        out.point = to;
        out.normal = CVec3(0.0f, 0.0f, 0.0f);
        return false;
    }
    out.fraction = d / length;
    out.point = from + delta * out.fraction;
    out.normal = CVec3(normal[0], normal[1], normal[2]);
    return true;
}

bool HostIsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags)
{
    const AiHostInterface* host = AiGetHostInterface();
    if (!host || !host->segmentTest) {
        return true;
    }
    Triple a(from), b(to);
    return host->segmentTest(a.v, b.v, ignore, flags) != 0;
}

bool HostCanGo(const CVec3& from, const CVec3& to, float radius, const void* ignore, int flags)
{
    const AiHostInterface* host = AiGetHostInterface();
    if (!host || !host->sweptTest) {
        return true;
    }
    Triple a(from), b(to);
    return host->sweptTest(a.v, b.v, radius, ignore, flags) != 0;
}

int HostDrawLine(const CVec3& p, const CVec3& q, int red, int green, int blue)
{
    const AiHostInterface* host = AiGetHostInterface();
    if (!host || !host->drawLine) {
        return 0;
    }
    Triple a(p), b(q);
    return host->drawLine(a.v, b.v, red, green, blue);
}

int HostDrawPoint(const CVec3& p, int red, int green, int blue)
{
    const AiHostInterface* host = AiGetHostInterface();
    if (!host || !host->drawPoint) {
        return 0;
    }
    Triple a(p);
    return host->drawPoint(a.v, red, green, blue);
}

} // namespace Zelk
