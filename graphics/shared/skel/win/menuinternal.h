#pragma once
// Private: the overlay's state, shared by the menu logic and its drawing.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/shared/skel/win/menu.h"

struct MenuEntry
{
    int32_t kind;      ///< MenuEntryKind
    std::string label; ///< our copy, without the shortcut ending
    void* value;       ///< int32_t* (kinds 0-2) or float* (kind 3); null for text and separators
    int32_t imin, imax, istep;
    float fmin, fmax, fstep;
    const char* const* names; ///< value names of a whole number, or null
    int32_t shortcut;         ///< key code, 0 for none
    MenuTrigger trigger;
    bool separator;
};

struct MenuState
{
    int32_t mode = kMenuHidden;
    int32_t modeBeforeHelp = kMenuHidden;
    std::vector<MenuEntry*> entries; ///< in the order added
    MenuEntry* current = nullptr;
    int32_t widestLabel = 0; ///< characters
    int32_t widestLine = 0;  ///< characters
    int32_t firstVisible = 0;
    bool dragging = false;
    std::vector<std::string> help;
    int32_t firstHelpLine = 0;
    int32_t visibleHelpLines = 0;
    /// The key each analogue axis of the pad holds down (turn: Left or
    /// Right, pitch: Up or Down), 0 while the axis rests.
    int32_t padTurnKey = 0;
    int32_t padPitchKey = 0;
};

MenuState& MenuGetState();
/// Unlinks and frees every entry.
void MenuFreeEntries();
