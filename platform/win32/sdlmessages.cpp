// SDL events to window messages for windows with a window procedure.
#include <SDL.h>

#include <string>
#include <vector>

#include "platform/win32/dragdrop.h"
#include "platform/win32/messagequeue.h"
#include "platform/win32/scancode.h"
#include "platform/win32/windowrecord.h"

namespace {

// Modifier and button state as our own messages saw it: SDL's keyboard state
// does not follow events that were pushed (the input script), so keys and
// buttons are followed here, from the events themselves.
struct InputState
{
    bool shift[2] = {};
    bool control[2] = {};
    bool alt[2] = {};
    WPARAM buttons = 0; ///< MK_LBUTTON, MK_RBUTTON, MK_MBUTTON
    int x = 0, y = 0;   ///< last pointer position, client coordinates
    std::vector<std::string> dropped;
    uint32_t dropWindow = 0;
};

InputState& Input()
{
    static InputState state;
    return state;
}

bool ShiftHeld()
{
    return Input().shift[0] || Input().shift[1] || (SDL_GetModState() & KMOD_SHIFT);
}

bool ControlHeld()
{
    return Input().control[0] || Input().control[1] || (SDL_GetModState() & KMOD_CTRL);
}

bool AltHeld()
{
    return Input().alt[0] || Input().alt[1];
}

WPARAM MouseFlags()
{
    return Input().buttons | (ShiftHeld() ? MK_SHIFT : 0) | (ControlHeld() ? MK_CONTROL : 0);
}

void FollowModifier(SDL_Scancode code, bool down)
{
    InputState& s = Input();
    switch (code) {
    case SDL_SCANCODE_LSHIFT:
        s.shift[0] = down;
        break;
    case SDL_SCANCODE_RSHIFT:
        s.shift[1] = down;
        break;
    case SDL_SCANCODE_LCTRL:
        s.control[0] = down;
        break;
    case SDL_SCANCODE_RCTRL:
        s.control[1] = down;
        break;
    case SDL_SCANCODE_LALT:
        s.alt[0] = down;
        break;
    case SDL_SCANCODE_RALT:
        s.alt[1] = down;
        break;
    default:
        break;
    }
}

HWND__* Target(uint32_t windowId)
{
    HWND__* w = Win32FindWindowById(windowId);
    if (!w)
        w = Win32MainWindow(); // events without a window (pushed ones) go to the main one
    return (w && w->proc) ? w : nullptr;
}

void Key(const SDL_KeyboardEvent& key, bool down)
{
    HWND__* w = Target(key.windowID);
    const SDL_Scancode code = key.keysym.scancode;
    if (down)
        FollowModifier(code, true);
    const bool alt = AltHeld() || (key.keysym.mod & KMOD_ALT);
    if (!down)
        FollowModifier(code, false);
    const Win32KeyInfo info = Win32KeyFromScancode(code);
    if (!w || (info.scan == 0 && info.virtualKey == 0))
        return;
    uint32_t lParam = 1u | (uint32_t(info.scan) << 16);
    if (info.extended)
        lParam |= 1u << 24;
    if (alt)
        lParam |= 1u << 29;
    if (!down || key.repeat)
        lParam |= 1u << 30;
    if (!down)
        lParam |= 1u << 31;
    const bool system = alt || code == SDL_SCANCODE_F10;
    const UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    PostMessageA(w, message, info.virtualKey, LPARAM(lParam));
}

void Button(const SDL_MouseButtonEvent& button, bool down)
{
    HWND__* w = Target(button.windowID);
    WPARAM flag = 0;
    UINT message = 0;
    switch (button.button) {
    case SDL_BUTTON_LEFT:
        flag = MK_LBUTTON;
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        break;
    case SDL_BUTTON_RIGHT:
        flag = MK_RBUTTON;
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        break;
    case SDL_BUTTON_MIDDLE:
        flag = MK_MBUTTON;
        message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        break;
    default:
        return;
    }
    InputState& s = Input();
    s.buttons = down ? (s.buttons | flag) : (s.buttons & ~flag);
    s.x = button.x;
    s.y = button.y;
    if (w)
        PostMessageA(w, message, MouseFlags(), MAKELPARAM(button.x, button.y));
}

void Motion(const SDL_MouseMotionEvent& motion)
{
    HWND__* w = Target(motion.windowID);
    Input().x = motion.x;
    Input().y = motion.y;
    if (w)
        PostMessageA(w, WM_MOUSEMOVE, MouseFlags(), MAKELPARAM(motion.x, motion.y));
}

void Wheel(const SDL_MouseWheelEvent& wheel)
{
    HWND__* w = Target(wheel.windowID);
    int notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    if (!w || notches == 0)
        return;
    const int delta = notches * WHEEL_DELTA;
    POINT screen{Input().x, Input().y};
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(w->sdl, &wx, &wy);
    screen.x += wx;
    screen.y += wy;
    const WPARAM wParam = (MouseFlags() & 0xFFFF) | (WPARAM(uint16_t(int16_t(delta))) << 16);
    PostMessageA(w, WM_MOUSEWHEEL, wParam, MAKELPARAM(screen.x, screen.y));
}

void Window(const SDL_WindowEvent& event)
{
    HWND__* w = Win32FindWindowById(event.windowID);
    if (!w || !w->proc)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        Win32SetActive(w, true);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Win32SetActive(w, false);
        break;
    case SDL_WINDOWEVENT_RESIZED: {
        // A size the user dragged: WM_SIZING with the proposed outer rectangle.
        int x = 0, y = 0;
        SDL_GetWindowPosition(w->sdl, &x, &y);
        RECT proposed{x, y, x + event.data1, y + event.data2};
        SendMessageA(w, WM_SIZING, 8 /* WMSZ_BOTTOMRIGHT */, LPARAM(reinterpret_cast<intptr_t>(&proposed)));
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        const bool maximised = SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MAXIMIZED;
        SendMessageA(w, WM_SIZE, maximised ? SIZE_MAXIMIZED : SIZE_RESTORED,
                     MAKELPARAM(event.data1, event.data2));
        break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
        SendMessageA(w, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        SendMessageA(w, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void PostDrop()
{
    InputState& s = Input();
    if (s.dropped.empty())
        return;
    HWND__* w = Target(s.dropWindow);
    if (w && w->acceptsFiles) {
        std::vector<const char*> names;
        for (const std::string& name : s.dropped)
            names.push_back(name.c_str());
        if (HDROP drop = Win32DropCreate(names.data(), int(names.size())))
            PostMessageA(w, WM_DROPFILES, WPARAM(reinterpret_cast<uintptr_t>(drop)), 0);
    }
    s.dropped.clear();
}

Win32SdlEventObserver gObserver = nullptr;

} // namespace

Win32SdlEventObserver Win32SetSdlEventObserver(Win32SdlEventObserver observer)
{
    const Win32SdlEventObserver previous = gObserver;
    gObserver = observer;
    return previous;
}

void Win32TranslateSdlEvent(const SDL_Event& event)
{
    if (gObserver)
        gObserver(event);
    switch (event.type) {
    case SDL_QUIT:
        PostQuitMessage(0);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        Key(event.key, event.type == SDL_KEYDOWN);
        break;
    case SDL_MOUSEMOTION:
        Motion(event.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        Button(event.button, event.type == SDL_MOUSEBUTTONDOWN);
        break;
    case SDL_MOUSEWHEEL:
        Wheel(event.wheel);
        break;
    case SDL_WINDOWEVENT:
        Window(event.window);
        break;
    case SDL_DROPFILE:
        if (event.drop.file) {
            Input().dropped.emplace_back(event.drop.file);
            Input().dropWindow = event.drop.windowID;
            SDL_free(event.drop.file);
        }
        break;
    case SDL_DROPCOMPLETE:
        PostDrop();
        break;
    default:
        break;
    }
}

void Win32FinishSdlEvents()
{
    // Drivers that end a drop without SDL_DROPCOMPLETE still deliver it.
    PostDrop();
}

void Win32SetActive(HWND__* window, bool active)
{
    if (!window || window->active == active)
        return;
    window->active = active;
    if (window->proc)
        window->proc(window, WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
}
