#include "framework/hud.h"

#include <algorithm>
#include <cstdio>

#include "framework/cameramanager.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/screenquad.h"
#include "graphics/core/camera.h"
#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "platform/win32/debugout.h"

namespace {

constexpr const char* kPictureNames[CHud::kPictureCount] = {
    "stVarnLogo.bmp", "stOlaiLogo.bmp", "stTitle.bmp",      "stText.bmp",
    "stMessage.bmp",  "stScrollUp.bmp", "stScrollDown.bmp", "stScroll.bmp",
};

/// The page's layout, in pixels: the text panel starts under the 120-pixel
/// header, the scroll column is 32 wide, the footer 32 high.
constexpr float kHeader = 120.0f;
constexpr float kArrow = 32.0f;
constexpr float kTrackTop = kHeader + kArrow; // 152
constexpr float kScrollSpeed = 100.0f;        // pixels per second
/// Engine texture addressing 3 (clamp) for the page's pictures.
constexpr uint32_t kAddressClamp = 3;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;
/// The start screen's background: white, opaque (the alpha is ours to choose).
constexpr uint8_t kWhiteBackground[4] = {255, 255, 255, 255};

} // namespace

void SetPause(bool paused)
{
    Framework().paused = paused;
}

CHud::~CHud()
{
    for (Texture*& texture : m_textures) {
        if (texture) {
            TextureDestroy(texture);
            texture = nullptr;
        }
    }
}

bool CHud::LoadTextures()
{
    char* path = ShellMakeNativePath("MODELS/TEXTURES/");
    ImageSetPath(path ? path : "MODELS/TEXTURES/");
    ShellFreePath(path);
    for (int32_t i = 0; i < kPictureCount; ++i) {
        m_textures[i] = TextureRead(kPictureNames[i], nullptr);
        if (!m_textures[i]) {
            // Reported, but the start screen still works without the picture.
            char text[96];
            std::snprintf(text, sizeof text, "Texture '%s' not found", kPictureNames[i]);
            MessageBoxA(nullptr, text, kFrameworkErrorCaption, MB_ICONERROR);
        }
    }
    const Raster* text = m_textures[kText] ? TextureGetRaster(m_textures[kText]) : nullptr;
    m_textHeight = text ? text->height : 0;
    return true;
}

void CHud::Update(float dt)
{
    CCameraManager* cameras = Framework().cameraManager;
    CInputManager* input = CInputManager::Instance();
    if (m_state == kNotShown) {
        m_state = kShowing;
        SetPause(true);
        if (cameras) {
            m_savedMode = cameras->GetMode();
            std::copy_n(cameras->GetBackgroundColour(), 4, m_savedBackground);
            cameras->SetBackgroundColour(kWhiteBackground);
            cameras->SetMode(CCameraManager::kFree);
        }
        input->SetDirectInputActive(false);
    }
    if (m_state != kShowing)
        return;
    const Camera* camera = cameras ? cameras->GetCamera() : nullptr;
    if (input->IsLeftButtonHeld() && camera && camera->frameBuffer) {
        const float w = float(camera->frameBuffer->width);
        const float h = float(camera->frameBuffer->height);
        float x = 0.0f, y = 0.0f;
        input->GetPointerPosition(&x, &y);
        const float x0 = w * 0.5f + 300.0f - 16.0f;
        const float x1 = x0 + kArrow;
        if (x0 < x && x < x1) {
            if (h - 64.0f < y && y < h - 32.0f && m_scrollRoom > 0)
                m_scrollOffset += dt * kScrollSpeed;
            if (kHeader < y && y < kTrackTop)
                m_scrollOffset = std::max(m_scrollOffset - dt * kScrollSpeed, 0.0f);
        }
    }
    if (input->IsSpaceHeld()) {
        m_state = kDismissed;
        SetPause(false);
        if (cameras) {
            cameras->SetMode(m_savedMode);
            cameras->SetBackgroundColour(m_savedBackground);
        }
        input->SetDirectInputActive(true);
    }
}

void CHud::Quad(float x, float y, float w, float h, uint32_t colour, int32_t shading, Texture* texture,
                bool textured)
{
    Im2DVertex* v = m_quads[m_drawnQuads++];
    ScreenQuadSet(v, x, y, w, h, m_nearZ, m_recipZ, colour);
    // Shading 1 fades the lower edge out, shading 2 the upper edge.
    if (shading == 1)
        v[1].colour = v[2].colour = colour & 0x00FFFFFF;
    else if (shading == 2)
        v[0].colour = v[3].colour = colour & 0x00FFFFFF;
    // A missing picture leaves the texture state as it was.
    if (!textured)
        ScreenSetRaster(nullptr);
    else if (texture)
        ScreenSetRaster(TextureGetRaster(texture));
    ScreenQuadDraw(v);
}

void CHud::Render()
{
    m_drawnQuads = 0;
    const CCameraManager* cameras = Framework().cameraManager;
    const Camera* camera = cameras ? cameras->GetCamera() : nullptr;
    if (m_state != kShowing || !camera || !camera->frameBuffer)
        return;
    const float W = float(camera->frameBuffer->width);
    const float H = float(camera->frameBuffer->height);
    const float V = H - kTrackTop;       // visible text height
    const float T = float(m_textHeight); // text height
    const float L = H - 216.0f;          // track length
    // Without text the thumb fills the track and nothing scrolls.
    const float S = T > 0.0f ? V * V / T : L; // thumb height
    m_scrollRoom = int32_t((H - 64.0f) - (S + m_scrollOffset + kTrackTop));
    m_nearZ = ScreenNearZ();
    m_recipZ = camera->nearPlane;

    ScreenSetState(kRenderStateVertexAlphaEnable, 1);
    ScreenSetDepth(false);
    ScreenSetState(kRenderStateTextureAddress, kAddressClamp);
    ScreenSetRaster(nullptr);

    Texture* const* t = m_textures;
    Quad(0.0f, 0.0f, W, H, kWhite, 0, nullptr, false);
    if (T > 0.0f) {
        // The text moves by its hidden part as the thumb runs down the
        // track; a text that fits (no track left to run) stays at the top.
        const float run = L - S;
        const float y = run > 0.0f ? kHeader - m_scrollOffset * (T - V) / run : kHeader;
        Quad(W / 2.0f - 316.0f, y, 600.0f, T, kWhite, 0, t[kText], true);
    }
    Quad(0.0f, 0.0f, W, kHeader, kWhite, 0, nullptr, false);
    Quad(0.0f, H - 32.0f, W, 32.0f, kWhite, 0, nullptr, false);
    Quad(0.0f, H - 42.0f, W, 10.0f, kWhite, 2, nullptr, false);
    Quad(0.0f, kHeader, W, 10.0f, kWhite, 1, nullptr, false);
    Quad(W / 2.0f - 200.0f, H - 30.0f, 400.0f, 30.0f, kWhite, 0, t[kMessage], true);
    Quad(10.0f, 10.0f, 88.5f, 95.0f, kWhite, 0, t[kFirstLogo], true);
    Quad(W - 152.0f, 10.0f, 142.0f, 52.0f, kWhite, 0, t[kSecondLogo], true);
    Quad(W / 2.0f - 160.0f, 60.0f, 320.0f, 40.0f, kWhite, 0, t[kTitle], true);
    Quad(W / 2.0f + 284.0f, kTrackTop, kArrow, L, kWhite, 0, t[kScrollBar], true);
    const float thumbTop = kTrackTop + m_scrollOffset;
    const float thumb = std::max(std::min(S, (H - 64.0f) - thumbTop), 0.0f);
    Quad(W / 2.0f + 284.0f, thumbTop, kArrow, thumb, kBlack, 0, nullptr, false);
    Quad(W / 2.0f + 284.0f, kHeader, kArrow, kArrow, kWhite, 0, t[kScrollUp], true);
    Quad(W / 2.0f + 284.0f, H - 64.0f, kArrow, kArrow, kWhite, 0, t[kScrollDown], true);
    ScreenSetDepth(true);
}
