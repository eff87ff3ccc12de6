#pragma once
// Scripted keyboard and mouse input for unattended runs.
//
// OLAI_INPUT_SCRIPT=file names a text script; each line is an event played
// once the given number of frames has been presented (frame 0: before the
// first), pushed as an SDL event so that it travels the whole way from SDL
// to the program's handlers:
//
//   # comment, and blank lines, are ignored
//   <frame> key down <SDL key name>      e.g. "12 key down Escape", "3 key down Left Shift"
//   <frame> key up <SDL key name>
//   <frame> key repeat <SDL key name>    a held key's repeat
//   <frame> mouse move <x> <y>           client coordinates, -32768 to 32767
//   <frame> mouse down left|right|middle
//   <frame> mouse up left|right|middle
//   <frame> wheel <notches>              signed, -100 to 100, not 0
//
// Frames run from 0 to 1000000000 and never go backwards. A UTF-8
// byte-order mark at the start is skipped. A line that does not parse
// refuses the whole script: its line number and the reason are reported
// and nothing is played.

#include <SDL_scancode.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class InputScriptKind
{
    KeyDown,
    KeyUp,
    KeyRepeat,
    MouseMove,
    ButtonDown,
    ButtonUp,
    Wheel,
};

struct InputScriptEvent
{
    uint64_t frame;
    InputScriptKind kind;
    SDL_Scancode key; ///< key events
    int x, y;         ///< MouseMove
    int button;       ///< SDL_BUTTON_LEFT, _RIGHT or _MIDDLE
    int notches;      ///< Wheel
};

/// Parses a script. False, with the 1-based line number and the reason in
/// `error`, on the first bad line; `events` is then left empty.
bool InputScriptParse(const char* text, size_t size, std::vector<InputScriptEvent>* events,
                      std::string* error);
/// Writes events as script text that InputScriptParse reads back.
std::string InputScriptWrite(const std::vector<InputScriptEvent>& events);

/// Plays `events` from now on (replacing any script); events of frames
/// already presented are pushed at the next frame.
void InputScriptPlay(std::vector<InputScriptEvent> events);
/// Loads OLAI_INPUT_SCRIPT once (later calls do nothing) and pushes its
/// frame-0 events; a script that cannot be read or parsed is refused with
/// the variable's name and ends the program with exit code 2.
void InputScriptStart();
/// Pushes the events due at presented frame `frame` (timing.cpp calls it).
void InputScriptFramePresented(uint64_t frame);
/// Events not yet pushed.
size_t InputScriptPending();
