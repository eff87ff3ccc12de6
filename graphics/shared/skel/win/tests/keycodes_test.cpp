// Scan codes, key codes and characters.
#include <gtest/gtest.h>

#include "graphics/shared/skel/win/shellinput.h"
#include "platform/win32/scancode.h"

namespace {

TEST(KeyCodes, ScanCodeTable)
{
    const struct
    {
        int32_t scan, key;
    } cases[] = {
        {0x1D, 0xAE}, {0x9D, 0xAF}, {0x01, 0x80}, {0x3B, 0x81}, {0x44, 0x8A}, {0x57, 0x8B}, {0x58, 0x8C},
        {0x52, 0x97}, {0xC8, 0x93}, {0x56, '\\'}, {0x00, 0xFF}, {0x2B, '#'},  {0x1E, 'a'},  {0x02, '1'},
        {0x0B, '0'},  {0x29, '`'},  {0x39, ' '},  {0x35, '/'},  {0x9C, 0xA6}, {0xB5, 0xA2}, {0xB8, 0xB1},
        {0xC5, 0xA1}, {0x45, 0xA1}, {0x47, 0x8F}, {0xC7, 0x8F}, {0xD3, 0x8E}, {0x4C, 0xA7}, {0x54, 0xFF},
        {0xFF, 0xFF}, {0x80, 0xFF}, {-1, 0xFF},   {256, 0xFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShellKeyCode(c.scan), c.key) << std::hex << "scan 0x" << c.scan;
}

TEST(KeyCodes, ScanCodeFromLParam)
{
    EXPECT_EQ(ShellScanCode(LPARAM(0x001D0001)), 0x1D);
    EXPECT_EQ(ShellScanCode(LPARAM(0x011D0001)), 0x9D) << "extended bit adds 0x80";
    EXPECT_EQ(ShellScanCode(LPARAM(int32_t(0xC1480001u))), 0xC8) << "repeat and transition bits ignored";
}

TEST(KeyCodes, CharacterTables)
{
    const struct
    {
        int32_t key;
        bool shifted;
        int32_t ch;
    } cases[] = {
        {'1', true, '!'},    {'2', true, '@'},    {'0', true, ')'},    {'a', true, 'A'},
        {'a', false, 'a'},   {'/', true, '?'},    {'`', true, '~'},    {'\'', true, '"'},
        {'\\', true, '|'},   {'#', true, '#'},    {0xA7, false, ' '},  {0xA7, true, ' '},
        {0xAC, true, 0xFF},  {0xAC, false, 0xFF}, {0xAF, false, 0xFF}, {0x80, false, 0x1B},
        {0x8E, false, 0x7F}, {0x98, true, 0x7F},  {0xA8, false, 0x08}, {0xA9, false, 0x09},
        {0xAB, false, 0x0D}, {0xA6, true, 0x0D},  {0xA2, false, '/'},  {0xA3, false, '*'},
        {0xA4, false, '-'},  {0xA5, false, '+'},  {0x97, false, 0x8D}, {0x9A, false, 0x90},
        {0x9E, false, 0x94}, {0x9C, false, 0x92}, {0x9F, false, 0x95}, {0xA0, false, 0x96},
        {0x8F, false, 0x8F}, {0x9D, false, 0x93}, {0x9B, false, 0x91}, {0x81, true, 0x81},
        {0x8C, false, 0x8C}, {0xA1, false, 0xA1}, {0xAA, false, 0xAA}, {0x0A, false, 0x0D},
        {0x00, false, 0xFF}, {0x1F, true, 0xFF},  {0x99, false, 0xFF}, {0xFF, false, 0xFF},
        {300, false, 0xFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShellKeyToChar(c.key, c.shifted), c.ch)
            << std::hex << "key 0x" << c.key << (c.shifted ? " shifted" : "");
}

// Every key code of the table can be typed on an SDL keyboard: each scan code
// with a key maps back from some SDL scancode.
TEST(KeyCodes, EveryKeyOfTheTableComesFromSdl)
{
    for (int32_t scan = 0; scan < 256; ++scan) {
        if (ShellKeyCode(scan) == kShellKeyNone)
            continue;
        const SDL_Scancode sdl = Win32ScancodeFromKey(uint8_t(scan & 0x7F), scan >= 0x80);
        EXPECT_NE(sdl, SDL_SCANCODE_UNKNOWN) << std::hex << "scan 0x" << scan;
    }
}

} // namespace
