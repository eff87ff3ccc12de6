#pragma once
// A recording application for the shell's tests: AppEventHandler (defined in
// shelltesting.cpp) writes every event it sees into the recorder, asks the
// recorder's answer function, and runs the recorder's idle hook on event 18.
// The keyboard and mouse handlers record into the same list.

#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

#include "graphics/shared/skel/win/shellevent.h"

struct RecordedEvent
{
    ShellEvent event;
    std::string text;         ///< events 1, 2, 28; the default file system's name for event 2
    intptr_t value = 0;       ///< event 29's value; event 8's flag
    ShellRect rect{};         ///< event 0
    ShellKeyRecord key{};     ///< events 19, 20
    ShellMouseRecord mouse{}; ///< events 5, 7, 11
    uint32_t time = 0;        ///< timeGetTime when recorded
};

struct ShellRecorder
{
    std::vector<RecordedEvent> events;
    /// Answer of the application; null answers 2.
    std::function<ShellEventResult(ShellEvent, void*)> answer;
    /// Runs on every event 18 with the number of earlier ones; a loop that
    /// runs away is ended after `idleLimit` frames with quit code 99.
    std::function<void(int)> onIdle;
    int idles = 0;
    int idleLimit = 2000;
    /// Attach recording keyboard and mouse handlers during event 13.
    bool attachHandlers = true;
    /// Let the shell start and stop the engine (events 13 and 14); otherwise
    /// the application answers them and no engine runs.
    bool startEngine = false;

    void Clear();
    std::vector<ShellEvent> Codes() const;
    /// Codes without events 18 and 29.
    std::vector<ShellEvent> CodesWithoutFrames() const;
    int Count(ShellEvent event) const;
};

ShellRecorder& Recorder();

/// A fresh shell for one ShellWinMain run: queue, clock, script and recorder
/// reset, the command line set from `args` (program path first).
void ShellTestReset(const std::vector<std::string>& args);
/// Pushes an SDL window event for the main window.
void PushWindowEvent(SDL_WindowEventID event, int data1 = 0, int data2 = 0);
