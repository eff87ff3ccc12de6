#pragma once
// CHud: the start screen drawn over the scene when the program starts, a
// white page with two logos, a title, a scrollable text panel with its
// scroll bar and a message line. While it shows, the game is paused, the
// camera is held in Free mode on a white background and the DirectInput
// mouse is off (the system pointer works the scroll arrows); Space dismisses
// it for good and restores what it changed. The configuration reader makes
// it at the "Hud" element (it reads nothing of the section itself).
#include <cstdint>

#include "framework/configsection.h"
#include "graphics/d3d9/d3d9im2d.h"

struct Texture;

/// Sets the framework's pause flag (the frame skips the game's update,
/// camera switching, dynamic models and weapons while it is set).
void SetPause(bool paused);

class CHud : public CConfigSection
{
  public:
    enum State : int32_t
    {
        kNotShown = 0,
        kShowing = 1,
        kDismissed = 2,
    };
    enum Picture : int32_t
    {
        kFirstLogo,
        kSecondLogo,
        kTitle,
        kText,
        kMessage,
        kScrollUp,
        kScrollDown,
        kScrollBar,
        kPictureCount,
    };
    static constexpr int32_t kQuadCount = 14;

    CHud() = default;
    CHud(const CHud&) = delete;
    CHud& operator=(const CHud&) = delete;
    /// Destroys the textures.
    ~CHud() override;

    bool OnStart(const char*, const char**) override { return true; }
    bool OnEnd(const char*) override { return true; }

    /// Reads the eight pictures from "MODELS/TEXTURES/"; each missing one is
    /// reported in an error box ("Texture 'stText.bmp' not found") that does
    /// not stop the frames, and its quad is drawn untextured. True.
    bool LoadTextures();
    /// The first update shows the screen; while it shows, the left button on
    /// an arrow scrolls the text (100 pixels a second); Space dismisses it.
    void Update(float dt);
    /// The 14 quads over the camera raster (only while showing).
    void Render();
    /// The window changed size: the text scrolls back to its top.
    void OnResize() { m_scrollOffset = 0.0f; }

    int32_t GetState() const { return m_state; }
    float GetScrollOffset() const { return m_scrollOffset; }
    int32_t GetScrollRoom() const { return m_scrollRoom; }
    int32_t GetTextHeight() const { return m_textHeight; }
    Texture* GetTexture(Picture picture) const { return m_textures[picture]; }
    /// Quads drawn by the last Render (text quad left out where the text has
    /// no height), four vertices each, in drawing order.
    int32_t GetDrawnQuadCount() const { return m_drawnQuads; }
    const Im2DVertex* GetDrawnQuad(int32_t i) const { return m_quads[i]; }

  private:
    /// Sets, and draws, quad `m_drawnQuads` of the frame.
    void Quad(float x, float y, float w, float h, uint32_t colour, int32_t shading, Texture* texture,
              bool textured);

    Texture* m_textures[kPictureCount] = {};
    uint8_t m_savedBackground[4] = {};
    int32_t m_savedMode = 0;
    int32_t m_state = kNotShown;
    int32_t m_scrollRoom = 0;
    int32_t m_textHeight = 0;
    float m_scrollOffset = 0.0f;

    float m_recipZ = 0.0f;
    float m_nearZ = 0.0f;
    Im2DVertex m_quads[kQuadCount][4] = {};
    int32_t m_drawnQuads = 0;
};
