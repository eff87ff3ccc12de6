#pragma once
// CDirectInputMouse: the system mouse through DirectInput 8, exclusive and
// foreground on the application's window, read buffered (64 items) or as a
// state. Each update gives the motion since the last one and which buttons
// changed.
#include <cstdint>

class IDirectInput8;
class IDirectInputDevice8;

class CDirectInputMouse
{
  public:
    CDirectInputMouse() = default;
    CDirectInputMouse(const CDirectInputMouse&) = delete;
    CDirectInputMouse& operator=(const CDirectInputMouse&) = delete;
    ~CDirectInputMouse() { Release(); }

    /// Hides the cursor and creates, configures and acquires the device on
    /// the framework's window; each failure shows its error box and answers false.
    bool Create();
    /// Reads the motion and buttons since the last update; after lost input
    /// acquires the device again and leaves this update empty. Nothing without a device.
    void Update();
    /// Shows the cursor, unacquires and releases the device and the interface.
    void Release();
    /// Release, then Create again when `create` is set.
    bool Recreate(bool create);

    bool HasDevice() const { return m_device != nullptr; }
    bool LeftChanged() const { return m_leftChanged; }
    bool RightChanged() const { return m_rightChanged; }
    bool LeftDown() const { return m_leftDown; }
    bool RightDown() const { return m_rightDown; }
    float GetDeltaX() const { return m_deltaX; }
    float GetDeltaY() const { return m_deltaY; }
    /// Buffered reading (the default) or the state of the mouse.
    void SetBuffered(bool buffered) { m_buffered = buffered; }

  private:
    IDirectInput8* m_input = nullptr;
    IDirectInputDevice8* m_device = nullptr;
    bool m_leftChanged = false;
    bool m_rightChanged = false;
    bool m_leftDown = false;
    bool m_rightDown = false;
    float m_deltaX = 0.0f;
    float m_deltaY = 0.0f;
    bool m_buffered = true;
    bool m_cursorHidden = false;
};
