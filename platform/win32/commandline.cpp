// The command line text.
#include "platform/win32/commandline.h"

namespace {

std::string& CommandLine()
{
    static std::string text;
    return text;
}

bool NeedsQuotes(const char* arg)
{
    if (!*arg)
        return true;
    bool blank = false;
    for (const char* c = arg; *c; ++c) {
        if (*c == '"')
            return false;
        blank = blank || static_cast<unsigned char>(*c) < 33;
    }
    return blank;
}

} // namespace

std::string Win32QuoteCommandLine(int argc, const char* const* argv)
{
    std::string text;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        if (i > 0)
            text += ' ';
        const bool quote = NeedsQuotes(arg);
        if (quote)
            text += '"';
        text += arg;
        if (quote)
            text += '"';
    }
    return text;
}

void Win32SetCommandLine(int argc, const char* const* argv)
{
    CommandLine() = Win32QuoteCommandLine(argc, argv);
}

const char* GetCommandLineA()
{
    return CommandLine().c_str();
}
