// The input script's reader and writer.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "platform/win32/inputscript.h"

namespace {

std::vector<InputScriptEvent> Parse(const char* text, std::string* error = nullptr)
{
    std::vector<InputScriptEvent> events;
    std::string reason;
    const bool ok = InputScriptParse(text, std::strlen(text), &events, &reason);
    if (error)
        *error = ok ? "" : reason;
    return events;
}

TEST(InputScript, ReadsEveryKindAndWritesItBack)
{
    const char* text = "# a comment\n"
                       "\n"
                       "0 key down Escape\r\n"
                       "3 key down Left Shift  \n"
                       "3 key repeat a\n"
                       "4 key up PageUp\n"
                       "5 mouse move -12 300\n"
                       "5 mouse down left\n"
                       "6 mouse up right\n"
                       "7 mouse down middle\n"
                       "9 wheel -2\n";
    std::string error;
    const auto events = Parse(text, &error);
    ASSERT_EQ(events.size(), 9u) << error;
    EXPECT_EQ(events[0].kind, InputScriptKind::KeyDown);
    EXPECT_EQ(events[0].key, SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(events[1].key, SDL_SCANCODE_LSHIFT);
    EXPECT_EQ(events[2].kind, InputScriptKind::KeyRepeat);
    EXPECT_EQ(events[2].key, SDL_SCANCODE_A) << "key names ignore case";
    EXPECT_EQ(events[3].key, SDL_SCANCODE_PAGEUP);
    EXPECT_EQ(events[4].x, -12);
    EXPECT_EQ(events[4].y, 300);
    EXPECT_EQ(events[5].button, SDL_BUTTON_LEFT);
    EXPECT_EQ(events[6].kind, InputScriptKind::ButtonUp);
    EXPECT_EQ(events[7].button, SDL_BUTTON_MIDDLE);
    EXPECT_EQ(events[8].notches, -2);
    EXPECT_EQ(events[8].frame, 9u);

    const std::string written = InputScriptWrite(events);
    const auto again = Parse(written.c_str(), &error);
    ASSERT_EQ(again.size(), events.size()) << error;
    EXPECT_EQ(InputScriptWrite(again), written);
}

// Editors that save UTF-8 may start the file with a byte-order mark: it is
// no part of the first line. Anywhere else the bytes are refused.
TEST(InputScript, AByteOrderMarkAtTheStartIsSkipped)
{
    std::string error;
    const auto events = Parse("\xEF\xBB\xBF"
                              "2 key down Escape\n",
                              &error);
    ASSERT_EQ(events.size(), 1u) << error;
    EXPECT_EQ(events[0].key, SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(Parse("\xEF\xBB\xBF# comment first\n1 wheel 1\n", &error).size(), 1u) << error;
    EXPECT_TRUE(Parse("1 wheel 1\n\xEF\xBB\xBF"
                      "2 wheel 1\n",
                      &error)
                    .empty());
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

TEST(InputScript, BadLinesAreReportedWithTheirNumber)
{
    const struct
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"1 key down Nokey\n", "line 1: unknown key name"},
        {"\n\n2 mouse move 1\n", "line 3: expected mouse move <x> <y> (-32768 to 32767)"},
        {"1 mouse move 1 40000\n", "line 1: expected mouse move <x> <y> (-32768 to 32767)"},
        {"1 wheel 0\n", "line 1: expected wheel <notches> (-100 to 100, not 0)"},
        {"-1 wheel 1\n", "line 1: expected a frame number (0 to 1000000000) and an event"},
        {"x key down A\n", "line 1: expected a frame number (0 to 1000000000) and an event"},
        {"5 key down A\n4 key up A\n", "line 2: frame numbers go backwards"},
        {"1 jump\n", "line 1: unknown event (key, mouse or wheel)"},
        {"1 mouse down thumb\n", "line 1: expected a button: left, right or middle"},
        {"1 key press A\n", "line 1: expected key down|up|repeat"},
        {"99999999999999 key down A\n", "line 1: expected a frame number (0 to 1000000000) and an event"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto events = Parse(c.text, &error);
        EXPECT_TRUE(events.empty()) << c.text << ": nothing is kept from a refused script";
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(InputScript, NulByteRefusesTheLine)
{
    const char text[] = "1 key down A\n2 key\0down B\n";
    std::vector<InputScriptEvent> events;
    std::string error;
    EXPECT_FALSE(InputScriptParse(text, sizeof text - 1, &events, &error));
    EXPECT_EQ(error, "line 2: a NUL byte in the line");
}

} // namespace
