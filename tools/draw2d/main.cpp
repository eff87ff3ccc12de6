// draw2d: the 2-D toolkit's picture, drawn headless (or in a window) and
// written to a PNG file; prints what it drew. With --font it draws text in
// a font of the sample data instead; with --shapes a container of shapes,
// immediate on the left and built into atomics on the right.
//
//   draw2d [--out draw2d.png] [--width 320] [--height 240]
//          [--font did16 [--text "Score 42"] [--paragraph] [--data DIR] | --shapes]

#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/toolkit2d/font.h"
#include "tools/draw2d/draw2dscene.h"
#include "tools/draw2d/draw2dshapes.h"
#include "tools/engine-smoke/smokescene.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Draws the 2-D toolkit's picture and writes it to a PNG file."};
    std::string out = "draw2d.png";
    int width = 320;
    int height = 240;
    app.add_option("--out", out, "PNG file to write");
    app.add_option("--width", width, "raster width in pixels")->check(ToolCli::Range(16, 4096));
    app.add_option("--height", height, "raster height in pixels")->check(ToolCli::Range(16, 4096));
    std::string fontName;
    std::string text = "Score 42";
    std::string data = OLAI_SAMPLE_DATA_DIR;
    bool paragraph = false;
    bool shapes = false;
    auto* fontOption =
        app.add_option("--font", fontName, "draw text in this font of the sample data (e.g. did16)");
    app.add_option("--text", text, "the text to draw");
    app.add_flag("--paragraph", paragraph, "word-wrap the text into the view");
    app.add_option("--data", data, "the sample data folder (holding fonts/)");
    app.add_flag("--shapes", shapes, "draw a container of shapes, immediate and built")->excludes(fontOption);
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }

    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("draw2d", width, height);
    if (!window || !(shapes ? Draw2DShapesEngineStart(window) : SmokeEngineStart(window))) {
        std::fprintf(stderr, "draw2d: the engine did not start\n");
        Win32WindowDestroy(window);
        return 1;
    }
    Draw2DScene scene;
    int status = 0;
    Font* font = nullptr;
    const bool created = Draw2DSceneCreate(&scene, width, height);
    if (created && !fontName.empty() && !(font = Draw2DReadSampleFont(data.c_str(), fontName.c_str()))) {
        std::fprintf(stderr, "draw2d: cannot read the font %s from %s/fonts\n", fontName.c_str(),
                     data.c_str());
        status = 1;
    } else if (!created || !(font     ? Draw2DSceneRenderText(&scene, font, text.c_str(), paragraph)
                             : shapes ? Draw2DSceneRenderShapes(&scene)
                                      : Draw2DSceneRender(&scene))) {
        std::fprintf(stderr, "draw2d: the picture could not be drawn\n");
        status = 1;
    } else if (!SmokeWriteFrame(out.c_str())) {
        std::fprintf(stderr, "draw2d: cannot write %s\n", out.c_str());
        status = 1;
    } else if (shapes) {
        std::printf("draw2d: shapes drawn immediate (left) and built (right); written to %s\n", out.c_str());
    } else if (font) {
        std::printf("draw2d: \"%s\" in %s (%d glyphs); written to %s\n", text.c_str(), fontName.c_str(),
                    FontGetGlyphCount(font), out.c_str());
    } else {
        std::printf("draw2d: %d stroked nodes, %d outlines filled with %d triangles; written to %s\n",
                    scene.counts.strokedNodes, scene.counts.filledOutlines, scene.counts.fillTriangles,
                    out.c_str());
    }
    Draw2DSceneDestroy(&scene);
    FileSystemManagerClose();
    SmokeEngineStop();
    Win32WindowDestroy(window);
    return status;
}
