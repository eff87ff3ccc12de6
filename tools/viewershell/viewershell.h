#pragma once
// The start-up and frame that the shell's viewer programs share: a 640 x 480
// window named after the program, the engine started through the shell with
// one camera (z-buffered, sized with the window at a view window of 0.5 and
// 4:3), the overlay menu opened hidden and served first with keys and mouse,
// and a frame that clears, draws, adds the menu and shows the raster.
//
// A program fills a ViewerProgram and answers every shell event with
// ViewerHandleEvent; its own parts run at the points named below.
#include <cstdint>

#include "graphics/shared/skel/win/shellevent.h"

struct Camera;

struct ViewerProgram
{
    const char* name;      ///< the application name (window title)
    float farClip;         ///< the camera's far clip plane (near: 0.1)
    uint8_t background[4]; ///< the clear colour, r g b a
    /// Event 9: the program's plug-ins; false fails the start. Null: none.
    bool (*attachPlugins)();
    /// After the camera and the (hidden, empty) menu are made: the program's
    /// scene and menu entries; false fails the start.
    bool (*start)(Camera* camera);
    /// Before the menu, the camera and the engine go.
    void (*stop)();
    /// Each frame before the camera's update (simulation, view moves).
    void (*update)();
    /// Inside the camera's update, before the menu.
    void (*draw)(Camera* camera);
    /// Keys and mouse the menu leaves (null: none).
    ShellEventFunc keyboard;
    ShellEventFunc mouse;
};

/// The program's answer to `event` (the shell's AppEventHandler).
ShellEventResult ViewerHandleEvent(const ViewerProgram& program, ShellEvent event, void* param);
/// The viewer's camera; null before the start and after the stop.
Camera* ViewerCamera();
