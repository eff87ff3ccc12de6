// particles-demo: three emitters of 50 particles (quads, point sprites and
// turning quads) drawn headless on the software device with a caps profile,
// written to a PNG file.
//
//   particles-demo [--caps minimal|full] [--out particles.png] [--time 0.5]
//                  [--width 320] [--height 240]

#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/animation/particle.h"
#include "tools/engine-smoke/smokescene.h"
#include "tools/particles-demo/particlescene.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Draws three particle emitters and writes the picture to a PNG file."};
    std::string caps = "full";
    std::string out = "particles.png";
    float time = 0.5f;
    int width = 320;
    int height = 240;
    app.add_option("--caps", caps, "device caps profile")->check(ToolCli::IsMember({"minimal", "full"}));
    app.add_option("--out", out, "PNG file to write");
    app.add_option("--time", time, "seconds of motion before the picture")
        ->check(ToolCli::FiniteRange(0.0, 1000.0));
    app.add_option("--width", width, "raster width in pixels")->check(ToolCli::Range(16, 4096));
    app.add_option("--height", height, "raster height in pixels")->check(ToolCli::Range(16, 4096));
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }

    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("particles-demo", width, height);
    if (!window) {
        std::fprintf(stderr, "particles-demo: cannot create the window\n");
        return 1;
    }
    ParticleScene scene;
    if (!ParticleEngineStart(window, caps.c_str())) {
        std::fprintf(stderr, "particles-demo: the engine did not start\n");
        Win32WindowDestroy(window);
        return 1;
    }
    bool ok = ParticleSceneCreate(&scene, width, height);
    if (ok) {
        ParticleSceneUpdate(&scene, time);
        ok = ParticleSceneRender(&scene) && SmokeWriteFrame(out.c_str());
        const bool sprites = ParticleAtomicGetEmitter(scene.emitters[1])->pointSprites;
        std::printf(
            "particles-demo: %d emitters of %d particles, middle one as %s (caps %s), written to %s\n",
            kParticleSceneEmitters, kParticleSceneCount, sprites ? "point sprites" : "quads", caps.c_str(),
            out.c_str());
        ParticleSceneDestroy(&scene);
    }
    ParticleEngineStop();
    Win32WindowDestroy(window);
    if (!ok) {
        std::fprintf(stderr, "particles-demo: drawing failed\n");
        return 1;
    }
    return 0;
}
