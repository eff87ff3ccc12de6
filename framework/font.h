#pragma once
// CFont: the framework's one on-screen text font, the 2-D toolkit's "DID16"
// read from the folder "FONTS" with one brush for every string. The font
// owns the 2-D toolkit's opening: Load opens it on the main camera and
// Release closes it, before the engine stops. Loaded once
// the engine has started and the main camera exists; released at terminate.
struct Brush;
struct Camera;
struct Font;
struct V2d;

class CFont
{
  public:
    CFont() = default;
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    ~CFont() { Release(); }

    /// Opens the 2-D toolkit on `camera`, reads "DID16" from "FONTS/" (an
    /// error box "Unable to load font DID16\nPlease update your assets" and
    /// false when absent), makes the brush, sets filter mode 2 on the glyph
    /// textures, the 2-D flatness 1.0 and the layer depth 1.1 x the camera's
    /// near plane. True when the font is loaded.
    bool Load(Camera* camera);
    /// Draws `text` at `position` (2-D device space: the toolkit's viewport) with characters `height` high,
    /// kept inside the view: a line that would run past the right edge moves left, and one wider than the
    /// view is drawn smaller. The toolkit's answer, null (nothing drawn)
    /// without a font.
    Font* Print(const char* text, const V2d* position, float height);
    /// The width `text` takes at `height` (2-D units); 0 without a font.
    float Width(const char* text, float height) const;
    /// The right edge of the toolkit's viewport in 2-D units (4/3 for a
    /// camera whose view window was 4:3 when the toolkit took it); 0 without
    /// a camera.
    static float ViewWidth();
    /// Destroys the font and the brush (each when present) and closes the
    /// 2-D toolkit that Load opened; true.
    bool Release();

    Font* GetFont() const { return m_font; }
    Brush* GetBrush() const { return m_brush; }

  private:
    Font* m_font = nullptr;
    Brush* m_brush = nullptr;
    bool m_toolkitOpen = false;
};
