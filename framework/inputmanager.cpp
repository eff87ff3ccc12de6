#include "framework/inputmanager.h"

#include <algorithm>
#include <cstring>

#include "framework/directinputmouse.h"
#include "framework/framework.h"
#include "framework/screenquad.h"
#include "framework/standardapplication.h"
#include "graphics/core/camera.h"
#include "graphics/core/image.h"
#include "graphics/core/instance.h"
#include "graphics/core/texture.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "platform/win32/cursor.h"

namespace {

CInputManager*& TheInstance()
{
    static CInputManager* instance = nullptr;
    return instance;
}

/// Sets an axis on a press; on a release clears it only when it still holds
/// this key's value, so the other key of the pair keeps its effect.
void Axis(float& axis, float value, bool down)
{
    if (down)
        axis = value;
    else if (axis == value)
        axis = 0.0f;
}

/// A stick axis with its dead zone: values strictly inside (-0.6, 0.6) are 0.
float DeadZone(float value)
{
    return (value > -0.6f && value < 0.6f) ? 0.0f : value;
}

} // namespace

CInputManager* CInputManager::Instance()
{
    if (!TheInstance())
        TheInstance() = new CInputManager();
    return TheInstance();
}

void CInputManager::DestroyInstance()
{
    delete TheInstance();
    TheInstance() = nullptr;
}

ShellEventResult CInputManager::KeyboardHandler(ShellEvent event, void* parameter)
{
    if ((event != ShellEventKeyDown && event != ShellEventKeyUp) || !parameter)
        return ShellEventNotHandled;
    return Instance()->OnKey(event, static_cast<const ShellKeyRecord*>(parameter)->key);
}

ShellEventResult CInputManager::MouseHandler(ShellEvent event, void* parameter)
{
    return Instance()->OnMouse(event, static_cast<const ShellMouseRecord*>(parameter));
}

ShellEventResult CInputManager::PadHandler(ShellEvent event, void* parameter)
{
    CInputManager* input = Instance();
    if (!parameter)
        return ShellEventNotHandled;
    switch (uint32_t(event)) {
    case ShellEventPadButtonDown:
        return input->OnPadDown(static_cast<const PadButtonRecord*>(parameter)->buttons);
    case ShellEventPadButtonUp:
        return input->OnPadUp(static_cast<const PadButtonRecord*>(parameter)->buttons);
    case ShellEventPadAnalogue: {
        const auto* turn = static_cast<const PadTurnRecord*>(parameter);
        input->m_turn = turn->turn;
        if (input->m_cameraExists && input->m_cameraMode == kCameraFps)
            input->m_deltaY += turn->pitch * 2.2f;
        return ShellEventHandled;
    }
    case ShellEventReserved26: {
        const auto* stick = static_cast<const PadStickRecord*>(parameter);
        input->m_forward = DeadZone(stick->y);
        input->m_side = DeadZone(stick->x);
        return ShellEventHandled;
    }
    default:
        return ShellEventNotHandled;
    }
}

ShellEventResult CInputManager::OnKey(ShellEvent event, int32_t key)
{
    const bool down = event == ShellEventKeyDown;
    if (key >= kShellKeyF1 && key < kShellKeyF1 + 12) {
        if (!down)
            return ShellEventNotHandled;
        m_function[key - kShellKeyF1] = 1;
        return ShellEventHandled;
    }
    switch (key) {
    case ' ':
        m_spaceHeld = down ? 1 : 0;
        return ShellEventHandled;
    case 'c':
        if (!down)
            return ShellEventNotHandled;
        m_cameraSwitch = 1;
        return ShellEventHandled;
    case 'x':
        Axis(m_turn, -1.0f, down);
        return ShellEventHandled;
    case 'z':
        Axis(m_turn, 1.0f, down);
        return ShellEventHandled;
    case kShellKeyUp:
        Axis(m_forward, 1.0f, down);
        return ShellEventHandled;
    case kShellKeyDown:
        Axis(m_forward, -1.0f, down);
        return ShellEventHandled;
    case kShellKeyLeft:
        Axis(m_side, 1.0f, down);
        return ShellEventHandled;
    case kShellKeyRight:
        Axis(m_side, -1.0f, down);
        return ShellEventHandled;
    case kShellKeyPad0:
        if (!down)
            return ShellEventNotHandled;
        m_keypad0 = 1;
        return ShellEventHandled;
    case kShellKeyTab:
        // A press, like "c": a tap between two frames still steps once.
        if (!down)
            return ShellEventNotHandled;
        m_tab = 1;
        return ShellEventHandled;
    case kShellKeyLeftShift:
        m_leftShift = down ? 1 : 0;
        return ShellEventHandled;
    case kShellKeyRightShift:
        m_rightShift = down ? 1 : 0;
        return ShellEventHandled;
    case kShellKeyLeftControl:
        m_leftControl = down ? 1 : 0;
        return ShellEventHandled;
    default:
        return ShellEventNotHandled;
    }
}

ShellEventResult CInputManager::OnMouse(ShellEvent event, const ShellMouseRecord* record)
{
    if (!WindowMouse())
        return ShellEventNotHandled;
    switch (event) {
    case ShellEventLeftButtonDown:
        m_deltaX = m_deltaY = 0.0f;
        m_leftHeld = 1;
        m_leftPressed = 1;
        return ShellEventHandled;
    case ShellEventLeftButtonUp:
        m_leftHeld = 0;
        return ShellEventHandled;
    case ShellEventRightButtonDown:
        m_deltaX = m_deltaY = 0.0f;
        m_rightHeld = 1;
        return ShellEventHandled;
    case ShellEventRightButtonUp:
        m_rightHeld = 0;
        return ShellEventHandled;
    case ShellEventMouseMove:
        if (!record)
            return ShellEventNotHandled;
        if (m_cameraExists && m_cameraMode == kCameraFps) {
            // First person: the cursor is held at the centre, so a move is
            // measured from there.
            m_deltaX = record->x - float(m_rasterWidth / 2);
            m_deltaY = record->y - float(m_rasterHeight / 2);
        } else {
            m_deltaX = record->dx;
            m_deltaY = record->dy;
        }
        m_pointerX = record->x;
        m_pointerY = record->y;
        return ShellEventHandled;
    default:
        return ShellEventNotHandled;
    }
}

ShellEventResult CInputManager::OnPadDown(uint32_t buttons)
{
    const bool free = m_cameraMode == kCameraFree;
    // The first set bit in this order decides.
    if (buttons & kPadUp) {
        if (PadMovesPointer()) {
            m_leftHeld = 1;
            m_deltaY = free ? -8.0f : 2.0f;
        }
    } else if (buttons & kPadDown) {
        if (PadMovesPointer()) {
            m_leftHeld = 1;
            m_deltaY = free ? 8.0f : -2.0f;
        }
    } else if (buttons & kPadRight) {
        if (PadMovesPointer()) {
            m_leftHeld = 1;
            m_deltaX = free ? 8.0f : 2.0f;
        }
    } else if (buttons & kPadLeft) {
        if (PadMovesPointer()) {
            m_leftHeld = 1;
            m_deltaX = free ? -8.0f : -2.0f;
        }
    } else if (buttons & kPadShoulderUp) {
        if (PadMovesPointer()) {
            m_rightHeld = 1;
            m_deltaY = -10.0f;
        }
    } else if (buttons & kPadShoulderDown) {
        if (PadMovesPointer()) {
            m_rightHeld = 1;
            m_deltaY = 10.0f;
        }
    } else if (buttons & kPadHelp) {
        m_function[0] = 1;
    } else if (buttons & kPadSelect) {
        m_spaceHeld = 1;
        m_leftHeld = 1;
    } else if (buttons & kPadAim) {
        m_leftShift = 1;
    } else if (buttons & kPadCamera) {
        m_cameraSwitch = 1;
    } else {
        return ShellEventNotHandled;
    }
    return ShellEventHandled;
}

ShellEventResult CInputManager::OnPadUp(uint32_t buttons)
{
    const bool free = m_cameraMode == kCameraFree;
    if (buttons & (kPadUp | kPadDown)) {
        if (PadMovesPointer()) {
            // Up pushes y negative in Free mode and positive otherwise; Down the other way.
            const bool negative = ((buttons & kPadUp) != 0) == free;
            if (negative ? m_deltaY < 0.0f : m_deltaY > 0.0f)
                m_deltaY = 0.0f;
            if (m_deltaX == 0.0f)
                m_leftHeld = 0;
        }
    } else if (buttons & (kPadRight | kPadLeft)) {
        if (PadMovesPointer()) {
            if ((buttons & kPadRight) ? m_deltaX > 0.0f : m_deltaX < 0.0f)
                m_deltaX = 0.0f;
            if (m_deltaY == 0.0f)
                m_leftHeld = 0;
        }
    } else if (buttons & (kPadShoulderUp | kPadShoulderDown)) {
        if (PadMovesPointer()) {
            m_rightHeld = 0;
            m_deltaY = 0.0f;
        }
    } else if (buttons & kPadSelect) {
        m_spaceHeld = 0;
        m_leftHeld = 0;
    } else if (buttons & kPadAim) {
        m_leftShift = 0;
    } else {
        return ShellEventNotHandled;
    }
    return ShellEventHandled;
}

bool CInputManager::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "MouseMode") != 0)
        return true;
    return ReadIntAttribute("Value", AttributePair(attributes, 0), &m_mouseMode);
}

void CInputManager::SetCameraState(bool exists, int32_t mode, int32_t width, int32_t height)
{
    m_cameraExists = exists;
    m_cameraMode = mode;
    m_rasterWidth = width;
    m_rasterHeight = height;
}

void CInputManager::TakeMouseDelta(float* dx, float* dy)
{
    *dx = m_deltaX;
    *dy = m_deltaY;
    m_deltaX = m_deltaY = 0.0f;
}

CInputManager::~CInputManager()
{
    ReleasePointer();
}

bool CInputManager::InitPointer(bool startScreen)
{
    if (m_mouseMode != 0)
        return true;
    if (!m_mouse)
        m_mouse = new CDirectInputMouse();
    if (!startScreen && m_directInputActive)
        m_mouse->Create();
    char* path = ShellMakeNativePath("MODELS/TEXTURES/");
    ImageSetPath(path ? path : "MODELS/TEXTURES/");
    ShellFreePath(path);
    m_pointerTexture = TextureRead("POINTER.BMP", "POINTER.BMP");
    if (!m_pointerTexture) {
        CStandardApplication::ReportEngineError("Texture not found : 'POINTER.BMP'");
        return false;
    }
    return true;
}

void CInputManager::SetDirectInputActive(bool active)
{
    if (m_mouseMode != 0 || !m_mouse)
        return;
    m_directInputActive = active ? 1 : 0;
    m_mouse->Recreate(active);
}

bool CInputManager::ReleasePointer()
{
    delete m_mouse; // releases its device
    m_mouse = nullptr;
    if (m_pointerTexture) {
        TextureDestroy(m_pointerTexture);
        m_pointerTexture = nullptr;
    }
    return true;
}

void CInputManager::Update(float)
{
    // This frame's click: a left press since the last update, from the
    // window's messages or (below) the DirectInput mouse.
    m_click = m_leftPressed;
    m_leftPressed = 0;
    if (m_mouseMode != 0)
        return;
    if (m_mouse && m_mouse->HasDevice()) {
        m_mouse->Update();
        m_deltaX = m_mouse->GetDeltaX();
        m_deltaY = m_mouse->GetDeltaY();
        if (m_mouse->LeftChanged()) {
            m_leftHeld = m_mouse->LeftDown() ? 1 : 0;
            if (m_leftHeld) {
                m_deltaX = m_deltaY = 0.0f;
                m_click = 1;
            }
        }
        if (m_mouse->RightChanged()) {
            m_rightHeld = m_mouse->RightDown() ? 1 : 0;
            if (m_rightHeld)
                m_deltaX = m_deltaY = 0.0f;
        }
    }
    // The pointer lives on the main camera's raster; without one it stays.
    if (!m_cameraExists)
        return;
    if (m_cameraMode == kCameraFps) {
        m_pointerX = float(m_rasterWidth / 2);
        m_pointerY = float(m_rasterHeight / 2);
        return;
    }
    m_pointerX = std::clamp(m_pointerX + 2.0f * m_deltaX, 0.0f, float(m_rasterWidth));
    m_pointerY = std::clamp(m_pointerY + 2.0f * m_deltaY, 0.0f, float(m_rasterHeight));
}

void CInputManager::RecentreCursor()
{
    if (m_mouseMode == 0 && m_directInputActive)
        return;
    const FrameworkGlobals& globals = Framework();
    if (!globals.active || !m_cameraExists)
        return;
    POINT centre = {m_rasterWidth / 2, m_rasterHeight / 2};
    ClientToScreen(globals.window, &centre);
    SetCursorPos(centre.x, centre.y);
    m_cursorRecentred = 1;
}

void CInputManager::RenderPointer()
{
    if (m_mouseMode != 0 || Framework().paused || m_cameraMode == kCameraFps || m_cameraMode == kCameraPath)
        return;
    const Camera* camera = EngineGetInstance()->currentCamera;
    if (!camera)
        return;
    const float x = float(int32_t(m_pointerX));
    const float y = float(int32_t(m_pointerY));
    ScreenQuadSet(m_pointerQuad, x - 8.0f, y - 8.0f, 16.0f, 16.0f, ScreenNearZ(), camera->nearPlane,
                  0xFFFFFFFF);
    ScreenBeginOverlay();
    if (m_pointerTexture)
        ScreenSetRaster(TextureGetRaster(m_pointerTexture));
    ScreenQuadDraw(m_pointerQuad);
    ScreenSetDepth(true);
}
