// physics-probe: the framework's physics world on a "config.xml", headless:
// worlds, queries and a dropped box.
#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <string>

#include "tools/physics-probe/physicsprobe.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Loads the worlds of a config.xml as the game framework does, runs a table of collision "
                     "queries and drops a box until it rests"};
    std::string path;
    app.add_option("config", path, "the configuration file")->required();
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }
    std::string report;
    const int status = PhysicsProbe(path.c_str(), &report);
    std::fputs(report.c_str(), stdout);
    return status;
}
