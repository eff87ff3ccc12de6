#include "platform/dinput8/dinput8.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/win32/messagequeue.h"

const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const DIDATAFORMAT c_dfDIMouse = {24, 16, 2, 16, 7};

namespace {

bool SameGuid(const GUID& a, const GUID& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

class Mouse;

/// Every mouse device alive, so that the event pump can reach them.
std::vector<Mouse*>& Mice()
{
    static std::vector<Mouse*> mice;
    return mice;
}

void Observe(const SDL_Event& event);

class Mouse final : public IDirectInputDevice8
{
  public:
    Mouse()
    {
        m_items.reserve(kDInput8MaxBuffer); // the ring never grows past this
        if (Mice().empty())
            Win32SetSdlEventObserver(Observe);
        Mice().push_back(this);
    }

    HRESULT SetDataFormat(const DIDATAFORMAT* format) override
    {
        if (!format || format->dwDataSize != c_dfDIMouse.dwDataSize)
            return DIERR_INVALIDPARAM;
        m_formatSet = true;
        return DI_OK;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD flags) override
    {
        const DWORD mode = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
        const DWORD ground = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
        if ((mode != DISCL_EXCLUSIVE && mode != DISCL_NONEXCLUSIVE) ||
            (ground != DISCL_FOREGROUND && ground != DISCL_BACKGROUND))
            return DIERR_INVALIDPARAM;
        m_exclusive = mode == DISCL_EXCLUSIVE;
        return DI_OK;
    }
    HRESULT SetProperty(const GUID* property, const DIPROPHEADER* header) override
    {
        if (property != DIPROP_BUFFERSIZE || !header || header->dwSize != sizeof(DIPROPDWORD) ||
            header->dwHow != DIPH_DEVICE)
            return DIERR_INVALIDPARAM;
        const DWORD size = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        m_capacity = std::min(size, kDInput8MaxBuffer);
        m_items.clear();
        m_overflow = false;
        return DI_OK;
    }
    HRESULT Acquire() override
    {
        if (!m_formatSet)
            return DIERR_INVALIDPARAM;
        m_acquired = true;
        m_lost = false;
        if (m_exclusive)
            SDL_SetRelativeMouseMode(SDL_TRUE);
        return DI_OK;
    }
    HRESULT Unacquire() override
    {
        if (m_acquired && m_exclusive)
            SDL_SetRelativeMouseMode(SDL_FALSE);
        m_acquired = false;
        return DI_OK;
    }
    HRESULT GetDeviceData(DWORD itemSize, DIDEVICEOBJECTDATA* items, DWORD* count, DWORD) override
    {
        if (!count || itemSize != sizeof(DIDEVICEOBJECTDATA) || (*count != 0 && !items))
            return DIERR_INVALIDPARAM;
        if (const HRESULT state = ReadableState(); state != DI_OK) {
            *count = 0;
            return state;
        }
        const DWORD taken = std::min<DWORD>(*count, DWORD(m_items.size()));
        std::copy(m_items.begin(), m_items.begin() + taken, items);
        m_items.erase(m_items.begin(), m_items.begin() + taken);
        *count = taken;
        const bool overflow = m_overflow;
        m_overflow = false;
        return overflow ? DI_BUFFEROVERFLOW : DI_OK;
    }
    HRESULT GetDeviceState(DWORD size, void* state) override
    {
        if (size != sizeof(DIMOUSESTATE) || !state)
            return DIERR_INVALIDPARAM;
        if (const HRESULT readable = ReadableState(); readable != DI_OK)
            return readable;
        DIMOUSESTATE out{};
        out.lX = m_stateX;
        out.lY = m_stateY;
        for (int i = 0; i < 4; ++i)
            out.rgbButtons[i] = m_buttons[i] ? 0x80 : 0;
        m_stateX = m_stateY = 0;
        std::memcpy(state, &out, sizeof out);
        return DI_OK;
    }
    ULONG Release() override
    {
        Unacquire();
        auto& mice = Mice();
        mice.erase(std::find(mice.begin(), mice.end(), this));
        if (mice.empty())
            Win32SetSdlEventObserver(nullptr);
        delete this;
        return 0;
    }

    void Motion(int32_t dx, int32_t dy)
    {
        if (!m_acquired)
            return;
        m_stateX = Saturated(int64_t(m_stateX) + dx);
        m_stateY = Saturated(int64_t(m_stateY) + dy);
        if (dx != 0)
            Push(DIMOFS_X, DWORD(dx));
        if (dy != 0)
            Push(DIMOFS_Y, DWORD(dy));
    }
    void Button(int32_t button, bool down)
    {
        if (!m_acquired || button < 0 || button > 3)
            return;
        m_buttons[button] = down;
        Push(DIMOFS_BUTTON0 + DWORD(button), down ? 0x80 : 0);
    }
    void FocusLost()
    {
        if (!m_acquired)
            return;
        Unacquire();
        m_lost = true;
    }

  private:
    /// Motion piles up between state reads: it stops at the ends of the range.
    static int32_t Saturated(int64_t value)
    {
        return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    }
    HRESULT ReadableState() const
    {
        if (m_lost)
            return DIERR_INPUTLOST;
        return m_acquired ? DI_OK : DIERR_NOTACQUIRED;
    }
    void Push(DWORD offset, DWORD data)
    {
        if (m_items.size() >= m_capacity) {
            m_overflow = true;
            return;
        }
        m_items.push_back({offset, data, SDL_GetTicks(), m_sequence++, 0});
    }

    bool m_formatSet = false;
    bool m_exclusive = false;
    bool m_acquired = false;
    bool m_lost = false;
    bool m_overflow = false;
    DWORD m_capacity = 0;
    DWORD m_sequence = 0;
    std::vector<DIDEVICEOBJECTDATA> m_items; // at most kDInput8MaxBuffer
    int32_t m_stateX = 0;
    int32_t m_stateY = 0;
    bool m_buttons[4] = {};
};

class DirectInput final : public IDirectInput8
{
  public:
    HRESULT CreateDevice(const GUID& guid, IDirectInputDevice8** device, void*) override
    {
        if (!device)
            return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (!SameGuid(guid, GUID_SysMouse))
            return DIERR_DEVICENOTREG;
        *device = new Mouse();
        return DI_OK;
    }
    ULONG Release() override
    {
        delete this;
        return 0;
    }
};

void Observe(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_MOUSEMOTION:
        DInput8FeedMotion(event.motion.xrel, event.motion.yrel);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        // SDL numbers left 1, middle 2, right 3; DirectInput left 0, right 1, middle 2.
        if (event.button.button == SDL_BUTTON_LEFT)
            DInput8FeedButton(0, event.type == SDL_MOUSEBUTTONDOWN);
        else if (event.button.button == SDL_BUTTON_RIGHT)
            DInput8FeedButton(1, event.type == SDL_MOUSEBUTTONDOWN);
        else if (event.button.button == SDL_BUTTON_MIDDLE)
            DInput8FeedButton(2, event.type == SDL_MOUSEBUTTONDOWN);
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            DInput8FeedFocusLost();
        break;
    default:
        break;
    }
}

} // namespace

HRESULT DirectInput8Create(HINSTANCE, DWORD version, const GUID& iid, void** out, void*)
{
    if (!out)
        return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version != DIRECTINPUT_VERSION)
        return DIERR_OLDDIRECTINPUTVERSION;
    if (!SameGuid(iid, IID_IDirectInput8A))
        return DIERR_INVALIDPARAM;
    *out = static_cast<IDirectInput8*>(new DirectInput());
    return DI_OK;
}

void DInput8FeedMotion(int32_t dx, int32_t dy)
{
    for (Mouse* mouse : Mice())
        mouse->Motion(dx, dy);
}

void DInput8FeedButton(int32_t button, bool down)
{
    for (Mouse* mouse : Mice())
        mouse->Button(button, down);
}

void DInput8FeedFocusLost()
{
    for (Mouse* mouse : Mice())
        mouse->FocusLost();
}
