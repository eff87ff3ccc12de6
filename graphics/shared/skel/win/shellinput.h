#pragma once
// Input devices and key codes.
//
// The window's keyboard and mouse messages become input events handed
// straight to one handler per device (keyboard 0, mouse 1, pad 2), which the
// application installs with ShellAttachInputDevice. Keys travel as a
// ShellKeyRecord: the scan code (PC set 1, plus 0x80 for extended keys) and
// the shell's key code: printable keys give their unshifted character, the
// others the codes below; 0xFF is no key.

#include <cstdint>

#include "graphics/shared/skel/win/shellevent.h"
#include "platform/win32/messagequeue.h"

enum ShellDevice : int32_t
{
    ShellDeviceKeyboard = 0,
    ShellDeviceMouse = 1,
    ShellDevicePad = 2,
};

/// One record per device, in device order.
struct ShellInputDevice
{
    int32_t type;    ///< ShellDevice
    int32_t enabled; ///< 1 once a handler is attached
    ShellEventFunc handler;
};

// Key codes of the keys that type no character of their own.
constexpr int32_t kShellKeyEscape = 0x80;
constexpr int32_t kShellKeyF1 = 0x81; ///< F1 to F12: 0x81 to 0x8C
constexpr int32_t kShellKeyInsert = 0x8D;
constexpr int32_t kShellKeyDelete = 0x8E;
constexpr int32_t kShellKeyHome = 0x8F; ///< also keypad 7
constexpr int32_t kShellKeyEnd = 0x90;
constexpr int32_t kShellKeyPageUp = 0x91;
constexpr int32_t kShellKeyPageDown = 0x92;
constexpr int32_t kShellKeyUp = 0x93;
constexpr int32_t kShellKeyDown = 0x94;
constexpr int32_t kShellKeyLeft = 0x95;
constexpr int32_t kShellKeyRight = 0x96;
constexpr int32_t kShellKeyPad0 = 0x97;
constexpr int32_t kShellKeyPadPeriod = 0x98;
constexpr int32_t kShellKeyPad1 = 0x9A;
constexpr int32_t kShellKeyPad9 = 0x9B;
constexpr int32_t kShellKeyPad3 = 0x9C;
constexpr int32_t kShellKeyPad8 = 0x9D;
constexpr int32_t kShellKeyPad2 = 0x9E;
constexpr int32_t kShellKeyPad4 = 0x9F;
constexpr int32_t kShellKeyPad6 = 0xA0;
constexpr int32_t kShellKeyNumLock = 0xA1;
constexpr int32_t kShellKeyPadDivide = 0xA2;
constexpr int32_t kShellKeyPadMultiply = 0xA3;
constexpr int32_t kShellKeyPadMinus = 0xA4;
constexpr int32_t kShellKeyPadPlus = 0xA5;
constexpr int32_t kShellKeyPadEnter = 0xA6;
constexpr int32_t kShellKeyPad5 = 0xA7;
constexpr int32_t kShellKeyBackspace = 0xA8;
constexpr int32_t kShellKeyTab = 0xA9;
constexpr int32_t kShellKeyCapsLock = 0xAA;
constexpr int32_t kShellKeyEnter = 0xAB;
constexpr int32_t kShellKeyLeftShift = 0xAC;
constexpr int32_t kShellKeyRightShift = 0xAD;
constexpr int32_t kShellKeyLeftControl = 0xAE;
constexpr int32_t kShellKeyRightControl = 0xAF;
constexpr int32_t kShellKeyLeftAlt = 0xB0;
constexpr int32_t kShellKeyRightAlt = 0xB1;
constexpr int32_t kShellKeyNone = 0xFF;

/// Installs the handler of device 0, 1 or 2 and enables it; 0 for any other device.
int32_t ShellAttachInputDevice(int32_t device, ShellEventFunc handler);
/// The handler's answer when the device is enabled, else 2.
ShellEventResult ShellSendKeyboardEvent(ShellEvent event, void* param);
ShellEventResult ShellSendMouseEvent(ShellEvent event, void* param);
ShellEventResult ShellSendPadEvent(ShellEvent event, void* param);
/// The three device records (keyboard, mouse, pad), for inspection.
const ShellInputDevice* ShellGetInputDevices();
/// Types set, every device off and without a handler (ShellInitialize calls it).
void ShellResetInputDevices();

/// The scan code of a key message's lParam: bits 16-23, plus 0x80 when the
/// extended-key bit 24 is set.
int32_t ShellScanCode(LPARAM lParam);
/// The key code of a scan code (0 to 255); 0xFF for anything else.
int32_t ShellKeyCode(int32_t scan);
/// The character a key code types, without or with Shift; 0xFF when none
/// (and for codes outside 0 to 255).
int32_t ShellKeyToChar(int32_t key, bool shifted);

/// "Error: " / "Warning: ", the text and a line break to the debugger
/// output; then, while the keyboard is enabled, event 20 and event 19 with
/// the key record {0xFF, 0xFF}.
void ShellReportError(const char* text);
void ShellReportWarning(const char* text);

/// Keyboard messages (WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP):
/// events 19 and 20 to the keyboard handler; repeats of a key going down are
/// dropped; Escape going down (not as a system key) raises event 21.
void ShellKeyboardMessage(UINT message, WPARAM wParam, LPARAM lParam);
/// Mouse messages (move, left and right buttons, wheel): events 5-8, 11, 12
/// to the mouse handler; buttons take and release the mouse capture.
void ShellMouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
