#pragma once
// The keyboard as Windows reports it: each SDL scancode's PC set-1 scan code
// (the byte in bits 16-23 of a key message's lParam, with the extended-key
// flag of bit 24 for the keys that send an 0xE0 prefix) and its virtual-key
// code (the key message's wParam).

#include <SDL_scancode.h>

#include <cstdint>

/// The Windows view of one key.
struct Win32KeyInfo
{
    uint8_t scan;       ///< set-1 make code, 0 for a key that has none
    bool extended;      ///< sent with the 0xE0 prefix (lParam bit 24)
    uint8_t virtualKey; ///< VK_* code, 0 when Windows gives none
};

/// The set-1 scan code and virtual key of an SDL scancode; {0, false, 0} for a
/// scancode that a PC keyboard does not send.
Win32KeyInfo Win32KeyFromScancode(SDL_Scancode scancode);
/// The SDL scancode whose set-1 code is `scan` with the extended flag
/// `extended`; SDL_SCANCODE_UNKNOWN when none.
SDL_Scancode Win32ScancodeFromKey(uint8_t scan, bool extended);
