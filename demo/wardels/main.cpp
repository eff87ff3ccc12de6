// wardels: the demo. Run in the data root (the build's data folder), it
// reads "config.xml", loads the level and the AI data and lets the user
// steer the VIP while the escorts cover its ways of access.
//
// Without a display it runs headless on SDL's offscreen driver; then
// OLAI_EXIT_AFTER_FRAMES ends it after that many frames, OLAI_SCREENSHOT
// keeps the last frame as a PNG and OLAI_FRAME_MS steps the clocks by that
// many milliseconds a frame.
#include "demo/wardelapplication.h"

ShellEventResult AppEventHandler(ShellEvent event, void* parameter)
{
    return CWardelApplication::GetApplication()->OnEvent(event, parameter);
}
