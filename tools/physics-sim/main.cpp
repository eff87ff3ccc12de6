// physics-sim: runs the physics engine headless on scenes made in code.
//
//   physics-sim shapes [--svg file]   volume table and a fan of line tests
#include <CLI/CLI.hpp>

#include <cstdio>

#include "graphics/core/tests/enginetesting.h"
#include "tools/physics-sim/shapes.h"

int main(int argc, char** argv)
{
    CLI::App app{"Headless runs of the physics engine"};
    app.require_subcommand(1);
    std::string svgPath;
    CLI::App* shapes = app.add_subcommand("shapes", "bounds, mass and support features of every volume type");
    shapes->add_option("--svg", svgPath, "write a fan of line tests against rounded shapes to this SVG file");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    // The engine runs on its recording device double: nothing is drawn.
    if (!EngineTestStart()) {
        std::fprintf(stderr, "physics-sim: the engine did not start\n");
        return 1;
    }
    int result = 0;
    if (shapes->parsed()) {
        result = RunShapes(svgPath);
    }
    EngineTestShutdown();
    return result;
}
