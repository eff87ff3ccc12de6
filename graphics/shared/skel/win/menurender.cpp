// Drawing the overlay with the debug character set.
#include <algorithm>
#include <string>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/raster.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/menuinternal.h"
#include "graphics/toolkit2d/charset.h"

namespace {

// Alignment of ShellPrintAligned: centred horizontally, rows from the centre.
constexpr int32_t kCentred = 0;
// Left (bit 1) with rows counted from the top (no vertical bit).
constexpr int32_t kTopLeft = 1 | 16;

struct Sets
{
    Charset* text = nullptr; ///< ours when ownText, else the caller's
    bool ownText = false;
    Charset* dimmed = nullptr;
    Charset* current = nullptr;
    Charset* halfTone = nullptr;
};

Sets gSets;

void DestroySets()
{
    if (gSets.ownText && gSets.text)
        CharsetDestroy(gSets.text);
    for (Charset* set : {gSets.dimmed, gSets.current, gSets.halfTone})
        if (set)
            CharsetDestroy(set);
    Charset* callers = gSets.ownText ? nullptr : gSets.text;
    gSets = Sets{};
    gSets.text = callers;
}

// Lines of text that fit on the current camera: raster height / cell height - 2.
int32_t LinesOnScreen()
{
    const Camera* camera = EngineGetInstance()->currentCamera;
    CharsetDesc desc{};
    if (!camera || !camera->frameBuffer || !gSets.text || !CharsetGetDesc(gSets.text, &desc) ||
        desc.height <= 0)
        return 0;
    return std::max(0, camera->frameBuffer->height / desc.height - 2);
}

std::string Padded(std::string line, int32_t width)
{
    if (int32_t(line.size()) < width)
        line.append(size_t(width - int32_t(line.size())), ' ');
    return line;
}

// One menu line at `row` cells from the centre, its left edge where a line of
// `width` characters centred on the raster would start (so the lines form a
// column; only the current line is padded, for its highlight band).
void PrintMenuRow(Charset* set, const std::string& text, int32_t row, int32_t width)
{
    const Camera* camera = EngineGetInstance()->currentCamera;
    CharsetDesc desc{};
    if (!set || !camera || !camera->frameBuffer || !CharsetGetDesc(set, &desc))
        return;
    int32_t x = 0, y = 0;
    ShellAlignedPosition(desc.width, desc.height, camera->frameBuffer->width, camera->frameBuffer->height,
                         width, 0, row, kCentred, &x, &y);
    CharsetPrint(set, text.c_str(), x, y);
}

void RenderMenu()
{
    MenuState& m = MenuGetState();
    const int32_t count = int32_t(m.entries.size());
    const int32_t lines = std::max(1, LinesOnScreen() - 2); // two for the (MORE) markers
    const int32_t current = std::max(0, MenuCurrentEntry());
    // Keep the current entry on the page.
    if (current < m.firstVisible)
        m.firstVisible = current;
    if (current >= m.firstVisible + lines)
        m.firstVisible = current - lines + 1;
    m.firstVisible = std::clamp(m.firstVisible, 0, std::max(0, count - lines));
    const int32_t last = std::min(count, m.firstVisible + lines);
    const int32_t shown = last - m.firstVisible;
    const int32_t top = -(shown + 2) / 2; // rows from the centre
    const int32_t width = m.widestLine;
    if (m.firstVisible > 0)
        PrintMenuRow(gSets.halfTone, " --- (MORE) --- ", top, width);
    for (int32_t i = m.firstVisible; i < last; ++i) {
        const MenuEntry* e = m.entries[size_t(i)];
        const int32_t row = top + 1 + (i - m.firstVisible);
        if (e == m.current)
            PrintMenuRow(gSets.current, Padded(MenuEntryText(i), width), row, width);
        else if (!e->separator && e->trigger && e->trigger(1) == 0)
            PrintMenuRow(gSets.dimmed, MenuEntryText(i), row, width);
        else if (!e->separator)
            PrintMenuRow(gSets.text, MenuEntryText(i), row, width);
    }
    if (last < count)
        PrintMenuRow(gSets.halfTone, " --- (MORE) --- ", top + 1 + shown, width);
}

} // namespace

void MenuSetTextCharset(Raster* charset)
{
    if (!gSets.ownText)
        gSets.text = charset;
}

int32_t MenuOpen(bool ownTextSet, const uint8_t* foreground, const uint8_t* background)
{
    uint8_t fg[4] = {0, 255, 255, 255}, bg[4] = {0, 0, 50, 0};
    if (foreground)
        std::copy(foreground, foreground + 4, fg);
    if (background)
        std::copy(background, background + 4, bg);
    DestroySets();
    uint8_t dim[4], half[4];
    MenuBlendColour(fg, bg, 0.2f, dim);
    MenuBlendColour(fg, bg, 0.5f, half);
    if (ownTextSet) {
        gSets.text = CharsetCreate(fg, bg);
        gSets.ownText = true;
    }
    gSets.dimmed = CharsetCreate(dim, bg);
    gSets.current = CharsetCreate(fg, half);
    gSets.halfTone = CharsetCreate(half, bg);
    if ((ownTextSet && !gSets.text) || !gSets.dimmed || !gSets.current || !gSets.halfTone) {
        DestroySets();
        return 0;
    }
    MenuSetMode(kMenuShown);
    HelpClear();
    HelpLoad();
    return 1;
}

void MenuClose()
{
    HelpClear();
    MenuFreeEntries();
    DestroySets();
    MenuGetState().mode = kMenuHidden;
    MenuGetState().padTurnKey = MenuGetState().padPitchKey = 0;
}

void MenuRender(Camera* camera)
{
    if (!camera || !gSets.text)
        return;
    const int32_t mode = MenuGetMode();
    if (mode == kMenuShown)
        RenderMenu();
    else if (mode == kMenuHelp)
        HelpRender();
}

void HelpRender()
{
    MenuState& m = MenuGetState();
    const int32_t lines = LinesOnScreen();
    m.visibleHelpLines = lines;
    const int32_t count = int32_t(m.help.size());
    for (int32_t row = 0; row < lines && m.firstHelpLine + row < count; ++row)
        ShellPrintAligned(gSets.text, m.help[size_t(m.firstHelpLine + row)].c_str(), 0, row + 1, kTopLeft);
}

void ShellPrintAligned(Raster* charset, const char* text, int32_t column, int32_t row, int32_t alignment)
{
    const Camera* camera = EngineGetInstance()->currentCamera;
    CharsetDesc desc{};
    if (!charset || !text || !camera || !camera->frameBuffer || !CharsetGetDesc(charset, &desc))
        return;
    int32_t x = 0, y = 0;
    ShellAlignedPosition(desc.width, desc.height, camera->frameBuffer->width, camera->frameBuffer->height,
                         int32_t(std::char_traits<char>::length(text)), column, row, alignment, &x, &y);
    CharsetPrint(charset, text, x, y);
}
