#pragma once
// CInputManager: the framework's one input state. The shell's keyboard,
// mouse and pad handlers write key and button events into it; characters,
// cameras, the head-up display and the game read it. It is also the receiver
// of the "Input" section of "config.xml" ("MouseMode" with "Value": 0 uses
// the DirectInput mouse, any other value the window's mouse messages).
//
// Press flags (camera switch "c", keypad 0, F1 to F12, Tab) stay set until
// their reader clears them.
#include <cstdint>

#include "framework/configsection.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/shared/skel/win/shellevent.h"

class CDirectInputMouse;
struct Texture;

class CInputManager : public CConfigSection
{
  public:
    /// The camera modes the input reads: Free moves the pointer by larger
    /// pad steps, FPS centres the pointer and measures mouse moves from the centre.
    static constexpr int32_t kCameraFree = 1;
    static constexpr int32_t kCameraFps = 3;
    static constexpr int32_t kCameraPath = 4;

    /// The instance, created on the first call.
    static CInputManager* Instance();
    /// Deletes the instance (the next Instance makes a new one).
    static void DestroyInstance();

    /// Shell handlers (install with ShellAttachInputDevice); 1 handled, 2 not.
    static ShellEventResult KeyboardHandler(ShellEvent event, void* parameter);
    static ShellEventResult MouseHandler(ShellEvent event, void* parameter);
    static ShellEventResult PadHandler(ShellEvent event, void* parameter);

    /// "MouseMode" reads "Value" (first attribute); false without it, no message.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }

    /// In mouse mode 0: the DirectInput mouse (its device only when no start
    /// screen exists, which switches it later) and the pointer texture
    /// "POINTER.BMP" from "MODELS/TEXTURES/" (error box and false without it).
    /// Other modes: true at once.
    bool InitPointer(bool startScreen);
    /// Mouse mode 0 with a mouse: keeps the flag and re-creates (set) or
    /// releases (clear) the device.
    void SetDirectInputActive(bool active);
    /// Releases the DirectInput mouse and the pointer texture; true.
    bool ReleasePointer();
    /// Mouse mode 0: the DirectInput mouse's motion and buttons move the
    /// pointer by twice the motion, kept inside the camera raster [0, W] x
    /// [0, H]; in first person the pointer stays at the centre.
    void Update(float step);
    /// With the window's mouse and the application active: the system cursor
    /// to the centre of the camera raster, and the recentred flag set.
    /// Nothing while the DirectInput mouse is in use.
    void RecentreCursor();
    /// Mouse mode 0, not paused, camera neither FPS nor Path: the pointer
    /// texture on a 16 x 16 quad centred on the pointer, over everything,
    /// blended by its alpha. Between the current camera's begin and end update.
    void RenderPointer();
    /// The pointer quad drawn last (4 vertices).
    const Im2DVertex* GetPointerQuad() const { return m_pointerQuad; }
    bool WasCursorRecentred() const { return m_cursorRecentred != 0; }
    Texture* GetPointerTexture() const { return m_pointerTexture; }
    CDirectInputMouse* GetDirectInputMouse() const { return m_mouse; }

    /// What the camera manager tells the input each frame: whether it exists,
    /// its mode and its raster's size in pixels.
    void SetCameraState(bool exists, int32_t mode, int32_t width, int32_t height);

    float GetForward() const { return m_forward; }
    float GetSide() const { return m_side; }
    float GetTurn() const { return m_turn; }
    bool IsSpaceHeld() const { return m_spaceHeld != 0; }
    bool IsLeftControlHeld() const { return m_leftControl != 0; }
    bool IsLeftShiftHeld() const { return m_leftShift != 0; }
    bool IsRightShiftHeld() const { return m_rightShift != 0; }
    bool IsLeftButtonHeld() const { return m_leftHeld != 0; }
    bool IsRightButtonHeld() const { return m_rightHeld != 0; }
    /// The left button went down since the previous frame's Update (a click
    /// this frame; valid from this frame's Update to the next).
    bool IsClicked() const { return m_click != 0; }
    int32_t GetMouseMode() const { return m_mouseMode; }
    /// The "c" press, cleared by the call.
    bool TakeCameraSwitch() { return Take(m_cameraSwitch); }
    /// The Tab flag, cleared by the call.
    bool TakeTab() { return Take(m_tab); }
    /// The keypad-0 press, cleared by the call.
    bool TakeKeypad0() { return Take(m_keypad0); }
    /// The F-key press (1 to 12), cleared by the call; false outside 1 to 12.
    bool TakeFunctionKey(int32_t n) { return n >= 1 && n <= 12 && Take(m_function[n - 1]); }
    /// The pointer in pixels of the camera raster.
    void GetPointerPosition(float* x, float* y) const
    {
        *x = m_pointerX;
        *y = m_pointerY;
    }
    /// Copies the mouse deltas and clears them.
    void TakeMouseDelta(float* dx, float* dy);

  private:
    CInputManager() = default;
    ~CInputManager() override;
    static bool Take(uint32_t& flag)
    {
        const bool was = flag != 0;
        flag = 0;
        return was;
    }
    ShellEventResult OnKey(ShellEvent event, int32_t key);
    ShellEventResult OnMouse(ShellEvent event, const ShellMouseRecord* record);
    ShellEventResult OnPadDown(uint32_t buttons);
    ShellEventResult OnPadUp(uint32_t buttons);
    /// The window's mouse messages are in use (not the DirectInput mouse).
    bool WindowMouse() const { return m_mouseMode != 0 || m_directInputActive == 0; }
    bool PadMovesPointer() const { return m_cameraExists && m_cameraMode != kCameraFps; }

    float m_forward = 0.0f;
    float m_side = 0.0f;
    float m_turn = 0.0f;
    uint32_t m_cameraSwitch = 0;
    uint32_t m_spaceHeld = 0;
    uint32_t m_keypad0 = 0;
    uint32_t m_tab = 0;
    uint32_t m_leftControl = 0;
    uint32_t m_rightShift = 0;
    uint32_t m_leftShift = 0;
    uint32_t m_function[12] = {};
    uint32_t m_directInputActive = 1;
    int32_t m_mouseMode = 0;
    uint32_t m_leftHeld = 0;
    uint32_t m_rightHeld = 0;
    float m_deltaX = 0.0f;
    float m_deltaY = 0.0f;
    float m_pointerX = 0.0f;
    float m_pointerY = 0.0f;
    CDirectInputMouse* m_mouse = nullptr;
    Texture* m_pointerTexture = nullptr;
    Im2DVertex m_pointerQuad[4] = {};
    uint32_t m_cursorRecentred = 0;
    uint32_t m_leftPressed = 0; ///< a left press since the last Update
    uint32_t m_click = 0;

    bool m_cameraExists = false;
    int32_t m_cameraMode = 0;
    int32_t m_rasterWidth = 0;
    int32_t m_rasterHeight = 0;
};
