// The SDL keyboard as Windows reports it.
#include <gtest/gtest.h>

#include <SDL.h>

#include <set>

#include "platform/win32/scancode.h"

namespace {

TEST(Scancodes, KnownKeys)
{
    const struct
    {
        SDL_Scancode sdl;
        uint8_t scan;
        bool extended;
        uint8_t vk;
    } cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x01, false, 0x1B},
        {SDL_SCANCODE_A, 0x1E, false, 'A'},
        {SDL_SCANCODE_LCTRL, 0x1D, false, 0x11},
        {SDL_SCANCODE_RCTRL, 0x1D, true, 0x11},
        {SDL_SCANCODE_KP_ENTER, 0x1C, true, 0x0D},
        {SDL_SCANCODE_KP_DIVIDE, 0x35, true, 0x6F},
        {SDL_SCANCODE_RALT, 0x38, true, 0x12},
        {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, true, 0x90},
        {SDL_SCANCODE_PAUSE, 0x45, false, 0x13},
        {SDL_SCANCODE_HOME, 0x47, true, 0x24},
        {SDL_SCANCODE_UP, 0x48, true, 0x26},
        {SDL_SCANCODE_PAGEUP, 0x49, true, 0x21},
        {SDL_SCANCODE_LEFT, 0x4B, true, 0x25},
        {SDL_SCANCODE_RIGHT, 0x4D, true, 0x27},
        {SDL_SCANCODE_END, 0x4F, true, 0x23},
        {SDL_SCANCODE_DOWN, 0x50, true, 0x28},
        {SDL_SCANCODE_PAGEDOWN, 0x51, true, 0x22},
        {SDL_SCANCODE_INSERT, 0x52, true, 0x2D},
        {SDL_SCANCODE_DELETE, 0x53, true, 0x2E},
        {SDL_SCANCODE_KP_0, 0x52, false, 0x60},
        {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false, 0xE2},
        {SDL_SCANCODE_F11, 0x57, false, 0x7A},
        {SDL_SCANCODE_F12, 0x58, false, 0x7B},
        {SDL_SCANCODE_F1, 0x3B, false, 0x70},
    };
    for (const auto& c : cases) {
        const Win32KeyInfo info = Win32KeyFromScancode(c.sdl);
        EXPECT_EQ(info.scan, c.scan) << SDL_GetScancodeName(c.sdl);
        EXPECT_EQ(info.extended, c.extended) << SDL_GetScancodeName(c.sdl);
        EXPECT_EQ(info.virtualKey, c.vk) << SDL_GetScancodeName(c.sdl);
        EXPECT_EQ(Win32ScancodeFromKey(c.scan, c.extended), c.sdl);
    }
}

// Every key of a PC keyboard that SDL reports has a scan code, and no two
// keys share one.
TEST(Scancodes, EveryPcKeyHasItsOwnCode)
{
    std::vector<SDL_Scancode> keys;
    for (int s = SDL_SCANCODE_A; s <= SDL_SCANCODE_KP_PERIOD; ++s)
        keys.push_back(SDL_Scancode(s));
    for (int s = SDL_SCANCODE_LCTRL; s <= SDL_SCANCODE_RGUI; ++s)
        keys.push_back(SDL_Scancode(s));
    for (int s = SDL_SCANCODE_F13; s <= SDL_SCANCODE_F24; ++s)
        keys.push_back(SDL_Scancode(s));
    for (SDL_Scancode s : {SDL_SCANCODE_NONUSBACKSLASH, SDL_SCANCODE_APPLICATION, SDL_SCANCODE_KP_EQUALS,
                           SDL_SCANCODE_KP_COMMA, SDL_SCANCODE_INTERNATIONAL1, SDL_SCANCODE_INTERNATIONAL3,
                           SDL_SCANCODE_AUDIOMUTE, SDL_SCANCODE_VOLUMEUP, SDL_SCANCODE_VOLUMEDOWN})
        keys.push_back(s);
    std::set<int> seen;
    for (SDL_Scancode s : keys) {
        if (s == SDL_SCANCODE_NONUSHASH)
            continue; // SDL's name for the ISO key that PC keyboards report as the backslash key
        const Win32KeyInfo info = Win32KeyFromScancode(s);
        EXPECT_NE(info.scan, 0) << SDL_GetScancodeName(s);
        EXPECT_TRUE(seen.insert(info.scan | (info.extended ? 0x100 : 0)).second)
            << SDL_GetScancodeName(s) << " shares its scan code";
    }
}

TEST(Scancodes, UnknownAndOutOfRange)
{
    EXPECT_EQ(Win32KeyFromScancode(SDL_SCANCODE_UNKNOWN).scan, 0);
    EXPECT_EQ(Win32KeyFromScancode(SDL_Scancode(-1)).scan, 0);
    EXPECT_EQ(Win32KeyFromScancode(SDL_Scancode(SDL_NUM_SCANCODES)).scan, 0);
    EXPECT_EQ(Win32ScancodeFromKey(0x00, false), SDL_SCANCODE_UNKNOWN);
}

} // namespace
