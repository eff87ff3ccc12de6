#include "framework/font.h"

#include <algorithm>
#include <cstdio>

#include "framework/standardapplication.h"
#include "graphics/core/camera.h"
#include "graphics/core/texture.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/toolkit2d.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

/// Text keeps this far from the view's left and right edges (2-D units).
constexpr float kEdgeMargin = 0.01f;

/// Glyph pages are drawn scaled: bilinear filtering keeps them smooth.
Texture* SetLinearFilter(Texture* texture, void*)
{
    TextureSetFilterMode(texture, kTextureFilterLinear);
    return texture;
}

} // namespace

bool CFont::Load(Camera* camera)
{
    Release();
    m_toolkitOpen = TwoDToolkitOpen(camera);
    char folder[16];
    std::snprintf(folder, sizeof folder, "FONTS%c", ShellGetPathSeparator());
    char* path = ShellMakeNativePath(folder);
    FontSetPath(path ? path : folder);
    ShellFreePath(path);
    m_font = FontRead("DID16");
    if (!m_font) {
        CStandardApplication::ReportEngineError("Unable to load font DID16\nPlease update your assets");
        return false;
    }
    // A metrics file cut after its header reads as a font without a glyph,
    // which would print every text as nothing.
    if (FontGetGlyphCount(m_font) == 0) {
        FontDestroy(m_font);
        m_font = nullptr;
        CStandardApplication::ReportEngineError(
            "Font DID16 has no glyph: FONTS/DID16.MET is damaged\nPlease update your assets");
        return false;
    }
    // The framework's texts are 8-bit strings: a font of 16-bit codes would
    // read each of them two bytes at a time, past its end.
    if (FontIsWide(m_font)) {
        FontDestroy(m_font);
        m_font = nullptr;
        CStandardApplication::ReportEngineError(
            "Font DID16 has characters beyond 8 bits: FONTS/DID16.MET is damaged\nPlease update your assets");
        return false;
    }
    m_brush = BrushCreate();
    if (TexDictionary* glyphs = FontGetTexDictionary())
        TexDictionaryForAllTextures(glyphs, SetLinearFilter, nullptr);
    TwoDDeviceSetFlatness(1.0f);
    if (camera)
        TwoDDeviceSetLayerDepth(1.1f * camera->nearPlane);
    return true;
}

Font* CFont::Print(const char* text, const V2d* position, float height)
{
    if (!m_font || !text || !position)
        return nullptr;
    float at[2] = {position->x, position->y};
    if (const float view = ViewWidth(); view > 0.0f) {
        const float room = view - 2.0f * kEdgeMargin;
        float width = Width(text, height);
        if (width > room) {
            height *= room / width;
            width = room;
        }
        if (at[0] + width > view - kEdgeMargin)
            at[0] = std::max(view - kEdgeMargin - width, kEdgeMargin);
    }
    return FontRenderString(m_font, text, height, at, m_brush);
}

float CFont::Width(const char* text, float height) const
{
    return m_font && text ? FontGetStringWidth(m_font, text, height) : 0.0f;
}

float CFont::ViewWidth()
{
    // The toolkit's user viewport: its width in 2-D units.
    float x = 0.0f, y = 0.0f, w = 0.0f, h = 0.0f;
    if (!TwoDDeviceGetCamera() || !TwoDDeviceGetViewport(&x, &y, &w, &h) || !(w > 0.0f))
        return 0.0f;
    return x + w;
}

bool CFont::Release()
{
    if (m_font) {
        FontDestroy(m_font);
        m_font = nullptr;
    }
    if (m_brush) {
        BrushDestroy(m_brush);
        m_brush = nullptr;
    }
    if (m_toolkitOpen) {
        TwoDToolkitClose();
        m_toolkitOpen = false;
    }
    return true;
}
