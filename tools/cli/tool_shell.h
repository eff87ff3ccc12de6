// main() of a tool built on the application shell: the tool's command line is
// checked as every tool's is (CLI11: "--help", unknown options, values), apart
// from the shell's own device options, which the shell's device choice reads
// and checks itself (-device n|exit, -mode m, -list-devices); then the shell
// runs the program on the whole command line.
#pragma once

#include <cstring>
#include <vector>

#include "graphics/shared/skel/win/shellwin.h"
#include "platform/win32/commandline.h"
#include "tools/cli/tool_cli.h"

namespace ToolCli {

/// Parses argv with `app` (the shell's device options left out) and, when
/// the tool should run, runs the shell; answers the exit status.
inline int ShellMain(App& app, int argc, char** argv)
{
    app.footer("Device choice (read by the shell): -device n|exit, -mode m, -list-devices; "
               "or the environment variables OLAI_DEVICE and OLAI_VIDEO_MODE.");
    std::vector<char*> own{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-list-devices") == 0)
            continue;
        if (std::strcmp(argv[i], "-device") == 0 || std::strcmp(argv[i], "-mode") == 0) {
            ++i; // the value: the device choice checks it (and its absence)
            continue;
        }
        own.push_back(argv[i]);
    }
    int status = 0;
    if (!Parse(app, int(own.size()), own.data(), &status))
        return status;
    Win32SetCommandLine(argc, argv);
    return ShellWinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}

} // namespace ToolCli
