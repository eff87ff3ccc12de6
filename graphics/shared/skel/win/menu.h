#pragma once
// The on-screen overlay: a page of help text or a menu of settings, drawn
// with the debug character set over a camera.
//
// Modes: 0 hidden, 1 menu, 2 help. The application declares menu entries on
// its own variables: switches, buttons, whole numbers (optionally with a name
// per value), fractions and text lines. Space cycles the modes; in the menu
// Up/Down choose an entry, Left/Right change it, the wheel chooses and a
// fraction can be dragged with the left button; in the help Up/Down and Page
// Up/Page Down scroll, as does the wheel. A label ending in "_X" (X any
// character above 0x1F) or "F1".."F9" gives the entry a shortcut key and is
// shown without that ending; the menu keeps its own copy of every label.
// A trigger, when given, is asked trigger(1) "is the entry available now"
// (0: skipped and drawn dimmed) and told trigger(0) after its value changed.
//
// Drawing: the menu's lines stand centred on the camera, each padded to the
// widest line; the current entry uses the current-entry set (foreground on a
// half-way blend of foreground and background), unavailable entries the
// dimmed set, the " --- (MORE) --- " markers the half-tone set, every other
// line the text set. Blended colours are opaque (alpha 255).

#include <cstdint>
#include <string>

#include "graphics/shared/skel/win/shellevent.h"

struct Camera;
struct Raster; // a debug character set (graphics/toolkit2d/charset.h)

enum MenuMode : int32_t
{
    kMenuHidden = 0,
    kMenuShown = 1,
    kMenuHelp = 2,
};

enum MenuEntryKind : int32_t
{
    kMenuToggle = 0,
    kMenuButton = 1,
    kMenuInt = 2,
    kMenuFloat = 3,
    kMenuText = 4,
};

/// trigger(1): available now (non-zero) or not; trigger(0): the value changed.
using MenuTrigger = int32_t (*)(int32_t query);

/// Each add answers 1, or 0 for a null label, a null value where the kind
/// has one, a bad range, or out of memory. Ranges: minimum <= maximum; value
/// names (whole numbers) null or one non-null text per value.
int32_t MenuAddToggle(const char* label, int32_t* value, MenuTrigger trigger);
int32_t MenuAddButton(const char* label, int32_t* value, MenuTrigger trigger);
int32_t MenuAddInt(const char* label, int32_t* value, MenuTrigger trigger, int32_t minimum, int32_t maximum,
                   int32_t step, const char* const* valueNames);
int32_t MenuAddFloat(const char* label, float* value, MenuTrigger trigger, float minimum, float maximum,
                     float step);
int32_t MenuAddText(const char* label, MenuTrigger trigger);
/// An empty line that is never selected; 1.
int32_t MenuAddSeparator();
/// Removes the first entry whose value or trigger is `key`; 1 when found.
int32_t MenuRemove(const void* key);
/// Makes the first entry whose value or trigger is `key` current; 1 when found.
int32_t MenuSelect(const void* key);
/// New range of an entry (found by its value); the variable is clamped into it.
int32_t MenuSetIntRange(int32_t* value, int32_t minimum, int32_t maximum, int32_t step,
                        const char* const* valueNames);
int32_t MenuSetFloatRange(float* value, float minimum, float maximum, float step);

/// 0, 1 or 2; 1 without entries shows the help. 0 for any other mode.
int32_t MenuSetMode(int32_t mode);
int32_t MenuGetMode();
/// MenuSetMode((mode + 1) % 3).
int32_t MenuCycleMode();
/// Shows the help, or goes back to the mode shown before it.
int32_t MenuToggleHelp();

/// Keyboard events 19 and 20 (a ShellKeyRecord): shortcuts first, then Space,
/// then the current page's keys; 2 when the overlay does not use the key.
ShellEventResult MenuKeyboardHandler(ShellEvent event, void* param);
/// Mouse events: the wheel and, on a fraction, dragging; 2 when unused.
ShellEventResult MenuMouseHandler(ShellEvent event, void* param);
/// Pad events, answered as the keys they stand for (MenuKeyboardHandler):
/// 22 and 23 (a PadButtonRecord) press and release, for each button held in
/// the record, Up, Down, Right, Left, Page Up, Page Down, F1 and Space (the
/// buttons of shellevent.h, in that order); 24 (a PadTurnRecord) presses
/// Left or Right when the turn leaves the rest zone (|turn| < 0.5) towards
/// +1 or -1, Down or Up when the pitch does so towards +1 or -1, and
/// releases the key when the axis returns or swaps side. 1 when one of the
/// keys was used; 2 for other events and unused keys.
ShellEventResult MenuPadHandler(ShellEvent event, void* param);

/// Creates the overlay's character sets (with `ownTextSet`, also the text
/// set; otherwise the one given to MenuSetTextCharset is used) from the
/// foreground and background colours (RGBA; null: (0, 255, 255, 255) and
/// (0, 0, 50, 0)), shows the menu and loads the help. 0 when a set cannot be made.
int32_t MenuOpen(bool ownTextSet, const uint8_t* foreground, const uint8_t* background);
/// Frees the help, every entry and the character sets; hides the overlay.
void MenuClose();
/// The caller's text character set, used when MenuOpen made none.
void MenuSetTextCharset(Raster* charset);
/// Draws the current page on the camera (between its begin and end update).
void MenuRender(Camera* camera);

/// Reads "./readme.txt", else "./win.txt", into the help: lines of at most
/// 77 characters, other characters than 0x20..0x7F made blanks. Without
/// either file the help is the one line "Cannot open help file". 1 when a
/// file was read.
int32_t HelpLoad();
void HelpClear();
/// Draws the help page on the current camera.
void HelpRender();

/// RGB (0 to 1 each) to hue, saturation, value (0 to 1; hue -1 and
/// saturation 0 for a grey, whose largest and smallest components differ by
/// less than 0.05; black included).
void RgbToHsv(float r, float g, float b, float* h, float* s, float* v);
/// Hue (clamped to 0 to 1), saturation, value to RGB (0 to 1).
void HsvToRgb(float h, float s, float v, float* r, float* g, float* b);
/// The first colour's hue, 0.6 times its saturation, the value
/// (1 - t) * second + t * first; alpha 255.
void MenuBlendColour(const uint8_t first[4], const uint8_t second[4], float t, uint8_t out[4]);

// For tests and tools: the menu as text.
/// Entries (separators included).
int32_t MenuEntryCount();
/// The label of entry i in the order added (without its shortcut ending), or null.
const char* MenuEntryLabel(int32_t i);
/// The shortcut key code of entry i (0: none).
int32_t MenuEntryShortcut(int32_t i);
/// Index of the current entry, -1 when none.
int32_t MenuCurrentEntry();
/// The line drawn for entry i: padded label, shortcut, value, current marker.
std::string MenuEntryText(int32_t i);
/// Help lines, the first shown, and one line's text.
int32_t HelpLineCount();
int32_t HelpFirstLine();
const char* HelpLine(int32_t i);
/// Lines of help that fit: set by HelpRender from the camera; tests set it.
void HelpSetVisibleLines(int32_t lines);

/// Prints `text` with a debug character set at a character cell of the
/// current camera's raster (ShellAlignedPosition with the set's glyph size).
void ShellPrintAligned(Raster* charset, const char* text, int32_t column, int32_t row, int32_t alignment);
/// Where ShellPrintAligned puts a text of `length` characters in cells of
/// cellWidth x cellHeight pixels on a width x height raster. Horizontally:
/// bit 1 at column + 1 from the left, bit 2 from the right, otherwise centred
/// (plus column cells). Vertically: alignment 0, 1 or 2 centred (plus row
/// cells); bit 4 one cell below the top, bit 8 two cells above the bottom;
/// otherwise at row. Halves are taken by shifting right.
void ShellAlignedPosition(int32_t cellWidth, int32_t cellHeight, int32_t width, int32_t height,
                          int32_t length, int32_t column, int32_t row, int32_t alignment, int32_t* x,
                          int32_t* y);
