// Scan codes to key codes, key codes to characters.
#include <array>
#include <cstddef>

#include "graphics/shared/skel/win/shellinput.h"

namespace {

using Table = std::array<uint8_t, 256>;

Table MakeKeyTable()
{
    Table t;
    t.fill(0xFF);
    auto run = [&t](int scan, const char* chars) {
        for (int i = 0; chars[i]; ++i)
            t[scan + i] = uint8_t(chars[i]);
    };
    t[0x01] = kShellKeyEscape;
    run(0x02, "1234567890-=");
    t[0x0E] = kShellKeyBackspace;
    t[0x0F] = kShellKeyTab;
    run(0x10, "qwertyuiop[]");
    t[0x1C] = kShellKeyEnter;
    t[0x1D] = kShellKeyLeftControl;
    run(0x1E, "asdfghjkl;'`");
    t[0x2A] = kShellKeyLeftShift;
    t[0x2B] = '#';
    run(0x2C, "zxcvbnm,./");
    t[0x36] = kShellKeyRightShift;
    t[0x37] = kShellKeyPadMultiply;
    t[0x38] = kShellKeyLeftAlt;
    t[0x39] = ' ';
    t[0x3A] = kShellKeyCapsLock;
    for (int i = 0; i < 10; ++i)
        t[0x3B + i] = uint8_t(kShellKeyF1 + i);
    t[0x45] = kShellKeyNumLock;
    t[0x47] = kShellKeyHome;
    t[0x48] = kShellKeyPad8;
    t[0x49] = kShellKeyPad9;
    t[0x4A] = kShellKeyPadMinus;
    t[0x4B] = kShellKeyPad4;
    t[0x4C] = kShellKeyPad5;
    t[0x4D] = kShellKeyPad6;
    t[0x4E] = kShellKeyPadPlus;
    t[0x4F] = kShellKeyPad1;
    t[0x50] = kShellKeyPad2;
    t[0x51] = kShellKeyPad3;
    t[0x52] = kShellKeyPad0;
    t[0x53] = kShellKeyPadPeriod;
    t[0x56] = '\\';
    t[0x57] = kShellKeyF1 + 10;
    t[0x58] = kShellKeyF1 + 11;
    // Extended keys (scan code + 0x80).
    t[0x9C] = kShellKeyPadEnter;
    t[0x9D] = kShellKeyRightControl;
    t[0xB5] = kShellKeyPadDivide;
    t[0xB8] = kShellKeyRightAlt;
    t[0xC5] = kShellKeyNumLock;
    t[0xC7] = kShellKeyHome;
    t[0xC8] = kShellKeyUp;
    t[0xC9] = kShellKeyPageUp;
    t[0xCB] = kShellKeyLeft;
    t[0xCD] = kShellKeyRight;
    t[0xCF] = kShellKeyEnd;
    t[0xD0] = kShellKeyDown;
    t[0xD1] = kShellKeyPageDown;
    t[0xD2] = kShellKeyInsert;
    t[0xD3] = kShellKeyDelete;
    return t;
}

// Characters of the keys beyond 0x7F, the same with and without Shift.
void FillSpecialKeys(Table& t)
{
    t[kShellKeyEscape] = 0x1B;
    for (int key = kShellKeyF1; key <= kShellKeyF1 + 11; ++key)
        t[key] = uint8_t(key);
    for (int key = kShellKeyInsert; key <= kShellKeyRight; ++key)
        t[key] = uint8_t(key); // Insert, Home, End, pages and arrows type their own code
    t[kShellKeyDelete] = 0x7F;
    t[kShellKeyPadPeriod] = 0x7F;
    t[kShellKeyPad0] = kShellKeyInsert;
    t[kShellKeyPad1] = kShellKeyEnd;
    t[kShellKeyPad2] = kShellKeyDown;
    t[kShellKeyPad3] = kShellKeyPageDown;
    t[kShellKeyPad4] = kShellKeyLeft;
    t[kShellKeyPad5] = ' ';
    t[kShellKeyPad6] = kShellKeyRight;
    t[kShellKeyPad8] = kShellKeyUp;
    t[kShellKeyPad9] = kShellKeyPageUp;
    t[kShellKeyNumLock] = kShellKeyNumLock;
    t[kShellKeyCapsLock] = kShellKeyCapsLock;
    t[kShellKeyPadDivide] = '/';
    t[kShellKeyPadMultiply] = '*';
    t[kShellKeyPadMinus] = '-';
    t[kShellKeyPadPlus] = '+';
    t[kShellKeyPadEnter] = 0x0D;
    t[kShellKeyEnter] = 0x0D;
    t[kShellKeyBackspace] = 0x08;
    t[kShellKeyTab] = 0x09;
}

Table MakeCharTable(bool shifted)
{
    Table t;
    t.fill(0xFF);
    t[0x0A] = 0x0D;
    for (int c = 0x20; c <= 0x7F; ++c)
        t[c] = uint8_t(c);
    if (shifted) {
        for (int c = 'a'; c <= 'z'; ++c)
            t[c] = uint8_t(c - 'a' + 'A');
        const char* plain = "1234567890-=[]\\;',./`";
        const char* shift = "!@#$%^&*()_+{}|:\"<>?~";
        for (int i = 0; plain[i]; ++i)
            t[uint8_t(plain[i])] = uint8_t(shift[i]);
    }
    FillSpecialKeys(t);
    return t;
}

const Table& KeyTable()
{
    static const Table table = MakeKeyTable();
    return table;
}

const Table& CharTable(bool shifted)
{
    static const Table plain = MakeCharTable(false);
    static const Table shift = MakeCharTable(true);
    return shifted ? shift : plain;
}

} // namespace

int32_t ShellScanCode(LPARAM lParam)
{
    const auto bits = uint32_t(lParam);
    return int32_t(((bits >> 16) & 0xFF) + ((bits & (1u << 24)) ? 0x80 : 0));
}

int32_t ShellKeyCode(int32_t scan)
{
    return (scan < 0 || scan > 255) ? kShellKeyNone : KeyTable()[size_t(scan)];
}

int32_t ShellKeyToChar(int32_t key, bool shifted)
{
    return (key < 0 || key > 255) ? 0xFF : CharTable(shifted)[size_t(key)];
}
