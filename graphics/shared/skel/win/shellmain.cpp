// main() for programs built on the shell (the shell_main library): the
// command line is kept for GetCommandLineA and ShellWinMain runs the program.
#include "graphics/shared/skel/win/shellwin.h"
#include "platform/win32/commandline.h"

int main(int argc, char** argv)
{
    Win32SetCommandLine(argc, argv);
    return ShellWinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
}
