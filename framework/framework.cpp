#include "framework/framework.h"

#include <cstdlib>

#include "framework/standardapplication.h"

#include "graphics/animation/animation.h"
#include "graphics/animation/effects/effects.h"
#include "graphics/animation/hierarchy.h"
#include "graphics/animation/particle.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/animation/spline.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/scenelibrary.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/refpair/refpair.h"
#include "platform/win32/debugout.h"
#include "platform/win32/timing.h"

namespace {

// The plug-ins whose code exists, in the order the engine expects them: the
// scene library (with the device's scene renderer, which draws the worlds
// and models and must be installed before the library attaches), the
// collision data (the worlds' trees, which the queries walk), the physics
// bodies on atomics (the frames of physical scene objects follow them), then
// the edge data of the worlds' sectors (read with the level, so that bodies
// slide over its inner edges without catching), the animation toolkit,
// hierarchies and splines, the skinning of the characters, the particles of
// their weapons' impacts and the material effects (bump, environment and
// dual-texture materials, read with the models and worlds that carry them).
const FrameworkPluginAttach kAttaches[] = {
    {"WorldLibraryAttach",
     [] {
         D3D9SceneRendererInstall();
         return WorldLibraryAttach() != 0;
     }},
    {"CollisionPluginAttach", [] { return CollisionPluginAttach() != 0; }},
    {"OlpBodyPluginAttach", [] { return OlpBodyPluginAttach() != 0; }},
    {"OlpRefPairRegister", [] { return OlpRefPairRegister() != 0 || OlpRefPairRegistered(); }},
    {"AnimToolkitAttach", AnimToolkitAttach},
    {"HierarchyPluginAttach", HierarchyPluginAttach},
    {"SplinePluginAttach", SplinePluginAttach},
    {"SkinPluginAttach", SkinPluginAttach},
    {"ParticlePluginAttach", ParticlePluginAttach},
    {"EffectsPluginAttach", EffectsPluginAttach},
};

const FrameworkPluginAttach* gAttaches = kAttaches;
size_t gAttachCount = sizeof kAttaches / sizeof kAttaches[0];
FrameworkClock gClock = timeGetTime;
FrameworkExit gExit = std::exit;

} // namespace

// Defined with the globals it sets, so that every framework file that shows
// an error box depends on this file alone rather than on the application's.
void CStandardApplication::ReportEngineError(const char* text)
{
    Framework().halt = true;
    MessageBoxA(nullptr, text, kFrameworkErrorCaption, MB_ICONERROR);
}

FrameworkGlobals& Framework()
{
    static FrameworkGlobals globals;
    return globals;
}

FrameworkClock FrameworkSetClock(FrameworkClock clock)
{
    const FrameworkClock previous = gClock;
    gClock = clock ? clock : timeGetTime;
    return previous;
}

FrameworkClock FrameworkGetClock()
{
    return gClock;
}

FrameworkExit FrameworkSetExit(FrameworkExit exit)
{
    const FrameworkExit previous = gExit;
    gExit = exit ? exit : std::exit;
    return previous;
}

void FrameworkExitProcess(int code)
{
    gExit(code);
}

void FrameworkSetPluginAttaches(const FrameworkPluginAttach* attaches, size_t count)
{
    if (attaches) {
        gAttaches = attaches;
        gAttachCount = count;
    } else {
        gAttaches = kAttaches;
        gAttachCount = sizeof kAttaches / sizeof kAttaches[0];
    }
}

const FrameworkPluginAttach* FrameworkGetPluginAttaches(size_t* count)
{
    *count = gAttachCount;
    return gAttaches;
}
