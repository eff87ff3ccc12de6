// Writes the command_line seed corpus with the quoting writer behind
// GetCommandLineA: command_line_seed <corpus directory>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/commandline.h"
#include "tools/common/toolfiles.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: command_line_seed <corpus directory>\n");
        return 2;
    }
    const std::vector<std::vector<const char*>> lines = {
        {"prog"},
        {"/usr/bin/shell-smoke", "a", "b c"},
        {"shell-viewer", "-device", "0", "-mode", "2", "models/ship.dff"},
        {"p", "", "tab\there", "quote\"inside", "trailing "},
        {"p", "-vms", "x\"y z\""},
    };
    int n = 0;
    for (const auto& args : lines) {
        const std::string text = Win32QuoteCommandLine(int(args.size()), args.data());
        const std::string path = std::string(argv[1]) + "/line" + std::to_string(n++) + ".txt";
        if (!ToolWriteFile(path, text.data(), text.size())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
