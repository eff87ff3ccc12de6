// cfgcheck: reads a "config.xml" through the framework's reader and prints
// what it dispatched and every error box; exit status 1 after an error box.
#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <string>

#include "tools/cfgcheck/configcheck.h"

int main(int argc, char** argv)
{
    ToolCli::App app{"Reads a config.xml as the game framework does and prints its dispatch and error boxes"};
    std::string path;
    app.add_option("config", path, "the configuration file")->required();
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }
    std::string transcript;
    const int status = ConfigCheck(path.c_str(), &transcript);
    std::fputs(transcript.c_str(), stdout);
    return status;
}
