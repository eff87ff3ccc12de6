#include "framework/directinputmouse.h"

#include "framework/framework.h"
#include "framework/standardapplication.h"
#include "platform/dinput8/dinput8.h"
#include "platform/win32/cursor.h"

namespace {

constexpr DWORD kBufferItems = 64;

} // namespace

bool CDirectInputMouse::Create()
{
    ShowCursor(0);
    m_cursorHidden = true;
    void* out = nullptr;
    if (DirectInput8Create(Framework().instance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr) !=
        DI_OK) {
        CStandardApplication::ReportEngineError(
            "Failed to create DirectInput component\n(forgot to set HWND on CStandardApplication ?)");
        return false;
    }
    m_input = static_cast<IDirectInput8*>(out);
    if (m_input->CreateDevice(GUID_SysMouse, &m_device, nullptr) != DI_OK) {
        m_device = nullptr;
        CStandardApplication::ReportEngineError("Failed to create DirectInput mouse device");
        return false;
    }
    if (m_device->SetDataFormat(&c_dfDIMouse) != DI_OK) {
        CStandardApplication::ReportEngineError("Failed to set data format on mouse");
        return false;
    }
    if (m_device->SetCooperativeLevel(Framework().window, DISCL_EXCLUSIVE | DISCL_FOREGROUND) != DI_OK) {
        CStandardApplication::ReportEngineError("Failed to set cooperative level on mouse");
        return false;
    }
    if (m_buffered) {
        DIPROPDWORD property{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, kBufferItems};
        if (m_device->SetProperty(DIPROP_BUFFERSIZE, &property.diph) != DI_OK) {
            CStandardApplication::ReportEngineError("Failed to set property on mouse device");
            return false;
        }
    }
    m_device->Acquire();
    return true;
}

void CDirectInputMouse::Update()
{
    if (!m_device)
        return;
    const bool leftBefore = m_leftDown;
    const bool rightBefore = m_rightDown;
    m_leftChanged = m_rightChanged = false;
    m_deltaX = m_deltaY = 0.0f;
    if (m_buffered) {
        DIDEVICEOBJECTDATA items[kBufferItems];
        DWORD count = kBufferItems;
        const HRESULT result = m_device->GetDeviceData(sizeof items[0], items, &count, 0);
        if (result < 0) {
            // One attempt per update: a device that stays lost is tried again next frame.
            if (result == DIERR_INPUTLOST)
                m_device->Acquire();
            return;
        }
        for (DWORD i = 0; i < count; ++i) {
            switch (items[i].dwOfs) {
            case DIMOFS_X:
                m_deltaX += float(int32_t(items[i].dwData));
                break;
            case DIMOFS_Y:
                m_deltaY += float(int32_t(items[i].dwData));
                break;
            case DIMOFS_BUTTON0:
                m_leftDown = (items[i].dwData & 0x80) != 0;
                break;
            case DIMOFS_BUTTON1:
                m_rightDown = (items[i].dwData & 0x80) != 0;
                break;
            default:
                break;
            }
        }
    } else {
        DIMOUSESTATE state{};
        const HRESULT result = m_device->GetDeviceState(sizeof state, &state);
        if (result < 0) {
            if (result == DIERR_INPUTLOST)
                m_device->Acquire();
            return;
        }
        m_deltaX = float(state.lX);
        m_deltaY = float(state.lY);
    }
    m_leftChanged = m_leftDown != leftBefore;
    m_rightChanged = m_rightDown != rightBefore;
}

void CDirectInputMouse::Release()
{
    if (m_cursorHidden) {
        ShowCursor(1);
        m_cursorHidden = false;
    }
    if (m_device) {
        m_device->Unacquire();
        m_device->Release();
        m_device = nullptr;
    }
    if (m_input) {
        m_input->Release();
        m_input = nullptr;
    }
}

bool CDirectInputMouse::Recreate(bool create)
{
    Release();
    return create ? Create() : true;
}
