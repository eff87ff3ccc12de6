// Splitting the command line, and reading back what the quoting writer wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/shared/skel/win/splitcommandline.h"
#include "platform/win32/commandline.h"

namespace {

std::vector<std::string> Split(const char* text)
{
    int32_t count = -1;
    char** argv = SplitCommandLine(text, &count);
    EXPECT_NE(argv, nullptr);
    std::vector<std::string> args;
    for (int32_t i = 0; argv && i < count; ++i)
        args.emplace_back(argv[i]);
    if (argv) {
        EXPECT_EQ(argv[count], nullptr);
    }
    std::free(argv);
    return args;
}

using Args = std::vector<std::string>;

TEST(SplitCommandLine, Table)
{
    const struct
    {
        const char* text;
        Args args;
    } cases[] = {
        {R"(prog "a b" c)", {"prog", "a b", "c"}},
        {"prog", {"prog"}},
        {"", {}},
        {"   \t ", {}},
        {R"(/bin/prog   x  )", {"/bin/prog", "x"}},
        {R"(prog a"b c"d)", {"prog", R"(a"b c"d)"}},     // quotes inside an argument stay
        {R"(prog "quoted" "")", {"prog", "quoted", ""}}, // empty argument in quotes
        {R"(prog "unterminated arg)", {"prog", "unterminated arg"}},
        {"prog\ta\nb", {"prog", "a", "b"}},
        {R"(prog x")", {"prog", "x"}}, // a closing quote at the end is dropped
        {R"(")", {""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Split(c.text), c.args) << c.text;
}

TEST(SplitCommandLine, NullIsEmpty)
{
    EXPECT_TRUE(Split(nullptr).empty());
}

TEST(SplitCommandLine, ReadsBackWhatTheQuotingWriterWrote)
{
    const Args cases[] = {
        {"prog"},
        {"/usr/bin/shell-smoke", "a", "b c"},
        {"p", "", "tab\there", "trailing ", " leading"},
        {"p", "-device", "1", "-mode", "3"},
    };
    for (const Args& args : cases) {
        std::vector<const char*> argv;
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        const std::string text = Win32QuoteCommandLine(int(argv.size()), argv.data());
        EXPECT_EQ(Split(text.c_str()), args) << text;
    }
}

TEST(CommandLine, GetCommandLineIsTheQuotedArguments)
{
    const char* argv[] = {"shell-smoke", "a", "b c"};
    Win32SetCommandLine(3, argv);
    EXPECT_STREQ(GetCommandLineA(), R"(shell-smoke a "b c")");
}

} // namespace
