#pragma once
// DirectInput 8 stand-in: the system mouse over SDL's relative mouse.
//
// DirectInput8Create gives the interface (version 0x0800 only); its
// CreateDevice gives the system mouse. The standard mouse data format puts
// x at offset 0, y at 4, z at 8 and the buttons at 12 to 15. Exclusive
// foreground cooperation (5) makes an acquired mouse SDL's relative mouse
// (cursor hidden and held). Movements and button changes of an acquired
// mouse queue in a ring of DIPROP_BUFFERSIZE items (64 at most); items that
// do not fit are dropped and the next read answers DI_BUFFEROVERFLOW. A focus
// loss unacquires the mouse: reads then answer DIERR_INPUTLOST until it is
// acquired again. Events come from the window layer's SDL event pump
// (scripted input included) or, in tests, from DInput8Feed*.
#include <cstdint>

#include "platform/win32/win32.h"
#include "platform/win32/windowclass.h"

using HRESULT = int32_t;
using BYTE = uint8_t;
using ULONG = uint32_t;

constexpr DWORD DIRECTINPUT_VERSION = 0x0800;
constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_BUFFEROVERFLOW = 1;
constexpr HRESULT DIERR_INPUTLOST = HRESULT(0x8007001Eu);
constexpr HRESULT DIERR_NOTACQUIRED = HRESULT(0x8007000Cu);
constexpr HRESULT DIERR_INVALIDPARAM = HRESULT(0x80070057u);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = HRESULT(0x8007047Eu);
constexpr HRESULT DIERR_DEVICENOTREG = HRESULT(0x80040154u);
constexpr DWORD DISCL_EXCLUSIVE = 0x1;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x2;
constexpr DWORD DISCL_FOREGROUND = 0x4;
constexpr DWORD DISCL_BACKGROUND = 0x8;
constexpr DWORD DIPH_DEVICE = 0;

/// Offsets of the standard mouse data format.
constexpr DWORD DIMOFS_X = 0;
constexpr DWORD DIMOFS_Y = 4;
constexpr DWORD DIMOFS_Z = 8;
constexpr DWORD DIMOFS_BUTTON0 = 12;
constexpr DWORD DIMOFS_BUTTON1 = 13;

/// Largest buffer the stand-in keeps, in items.
constexpr DWORD kDInput8MaxBuffer = 64;

struct GUID
{
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysMouse;

/// Property header; DIPROP_BUFFERSIZE takes a DIPROPDWORD.
struct DIPROPHEADER
{
    DWORD dwSize, dwHeaderSize, dwObj, dwHow;
};
struct DIPROPDWORD
{
    DIPROPHEADER diph;
    DWORD dwData;
};
/// Property ids are small numbers passed as pointers.
#define DIPROP_BUFFERSIZE (reinterpret_cast<const GUID*>(uintptr_t(1)))

struct DIDATAFORMAT
{
    DWORD dwSize, dwObjSize, dwFlags, dwDataSize, dwNumObjs;
};
/// The standard mouse format (16-byte state).
extern const DIDATAFORMAT c_dfDIMouse;

/// One buffered item: the object's offset and its data (a relative motion,
/// or 0x80 / 0 for a button).
struct DIDEVICEOBJECTDATA
{
    DWORD dwOfs;
    DWORD dwData;
    DWORD dwTimeStamp;
    DWORD dwSequence;
    uintptr_t uAppData;
};
/// The standard mouse state: motion since the last read, buttons (bit 7 down).
struct DIMOUSESTATE
{
    LONG lX, lY, lZ;
    BYTE rgbButtons[4];
};

class IDirectInputDevice8
{
  public:
    virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetProperty(const GUID* property, const DIPROPHEADER* header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    /// Takes up to *count items (count in, taken out); DI_BUFFEROVERFLOW when
    /// items were dropped since the last read.
    virtual HRESULT GetDeviceData(DWORD itemSize, DIDEVICEOBJECTDATA* items, DWORD* count, DWORD flags) = 0;
    /// The motion since the last state read and the buttons.
    virtual HRESULT GetDeviceState(DWORD size, void* state) = 0;
    virtual ULONG Release() = 0;

  protected:
    virtual ~IDirectInputDevice8() = default;
};

class IDirectInput8
{
  public:
    /// GUID_SysMouse only; DIERR_DEVICENOTREG otherwise.
    virtual HRESULT CreateDevice(const GUID& guid, IDirectInputDevice8** device, void* outer) = 0;
    virtual ULONG Release() = 0;

  protected:
    virtual ~IDirectInput8() = default;
};

/// The interface for version 0x0800 and IID_IDirectInput8A.
HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, const GUID& iid, void** out, void* outer);

/// Test feeds, as the SDL pump would deliver them (to every acquired mouse).
void DInput8FeedMotion(int32_t dx, int32_t dy);
void DInput8FeedButton(int32_t button, bool down);
/// The focus leaves the window: every acquired mouse is lost.
void DInput8FeedFocusLost();
