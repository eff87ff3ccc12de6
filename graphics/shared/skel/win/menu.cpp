// The overlay's menu and help: entries, modes, keys, mouse, colours.
#include "graphics/shared/skel/win/menu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/shared/skel/win/menuinternal.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

constexpr int32_t kHelpLineChars = 77;

MenuState gMenu;

int32_t Digits(int32_t v)
{
    char text[16];
    return int32_t(std::snprintf(text, sizeof text, "%d", v));
}

int32_t FloatWidth(float v)
{
    char text[64];
    return int32_t(std::snprintf(text, sizeof text, "%0.2f", double(v)));
}

// Value width of an entry in characters.
int32_t ValueWidth(const MenuEntry& e)
{
    switch (e.kind) {
    case kMenuToggle:
    case kMenuButton:
        return 4; // " On " / "Off "
    case kMenuInt: {
        if (e.names) {
            int32_t widest = 0;
            for (int32_t v = e.imin; v <= e.imax; ++v)
                if (e.names[v - e.imin])
                    widest = std::max(widest, int32_t(std::strlen(e.names[v - e.imin])));
            return widest;
        }
        return std::max(Digits(e.imin), Digits(e.imax));
    }
    case kMenuFloat:
        return std::max(FloatWidth(e.fmin), FloatWidth(e.fmax)) + 1;
    default:
        return 0;
    }
}

void UpdateWidths()
{
    gMenu.widestLabel = 0;
    int32_t widestValue = 0;
    for (const MenuEntry* e : gMenu.entries) {
        gMenu.widestLabel = std::max(gMenu.widestLabel, int32_t(e->label.size()));
        widestValue = std::max(widestValue, ValueWidth(*e));
    }
    gMenu.widestLine = gMenu.widestLabel + widestValue + 8;
}

// Cuts a "_X" or "F1".."F9" ending off the label into a shortcut key.
void TakeShortcut(MenuEntry* e)
{
    e->shortcut = 0;
    const size_t n = e->label.size();
    if (n < 2)
        return;
    const auto last = static_cast<unsigned char>(e->label[n - 1]);
    if (e->label[n - 2] == '_' && last > 0x1F) {
        e->shortcut = last;
    } else if (e->label[n - 2] == 'F' && last >= '1' && last <= '9') {
        e->shortcut = 0x80 + (last - '0');
    } else {
        return;
    }
    e->label.resize(n - 2);
}

bool Available(const MenuEntry* e)
{
    return !e->separator && (!e->trigger || e->trigger(1) != 0);
}

int32_t IndexOf(const MenuEntry* e)
{
    for (size_t i = 0; i < gMenu.entries.size(); ++i)
        if (gMenu.entries[i] == e)
            return int32_t(i);
    return -1;
}

MenuEntry* Find(const void* key)
{
    for (MenuEntry* e : gMenu.entries)
        if ((e->value && e->value == key) || (e->trigger && reinterpret_cast<const void*>(e->trigger) == key))
            return e;
    return nullptr;
}

bool NamesValid(int32_t minimum, int32_t maximum, const char* const* names)
{
    if (!names)
        return true;
    for (int64_t v = minimum; v <= maximum; ++v)
        if (!names[v - minimum])
            return false;
    return true;
}

int32_t Add(MenuEntry* e, const char* label)
{
    if (!label || !e) {
        delete e;
        return 0;
    }
    e->label = label;
    TakeShortcut(e);
    gMenu.entries.push_back(e);
    if (!gMenu.current && !e->separator)
        gMenu.current = e;
    UpdateWidths();
    return 1;
}

// Moves the current entry to the next usable one in `direction`; stops at the ends.
void Move(int32_t direction)
{
    int32_t i = IndexOf(gMenu.current);
    for (int32_t k = i + direction; k >= 0 && k < int32_t(gMenu.entries.size()); k += direction) {
        if (Available(gMenu.entries[size_t(k)])) {
            gMenu.current = gMenu.entries[size_t(k)];
            return;
        }
    }
}

void Step(MenuEntry* e, int32_t n)
{
    if (!e)
        return;
    if (e->kind == kMenuFloat) {
        auto* v = static_cast<float*>(e->value);
        *v = std::clamp(*v + float(n) * e->fstep, e->fmin, e->fmax);
    } else if (e->kind != kMenuText) {
        auto* v = static_cast<int32_t*>(e->value);
        const int64_t next = int64_t(*v) + int64_t(n) * e->istep;
        *v = next > e->imax ? e->imin : (next < e->imin ? e->imax : int32_t(next));
    } else {
        return;
    }
    if (e->trigger)
        e->trigger(0);
}

void Scroll(int32_t lines)
{
    const int32_t limit = std::max<int32_t>(0, int32_t(gMenu.help.size()) - 1);
    gMenu.firstHelpLine = std::clamp(gMenu.firstHelpLine + lines, 0, limit);
}

bool Shortcut(ShellEvent event, int32_t key)
{
    if (key >= 'a' && key <= 'z')
        key -= 'a' - 'A';
    for (MenuEntry* e : gMenu.entries) {
        if (e->shortcut == 0 || e->shortcut != key || (e->trigger && e->trigger(1) == 0))
            continue;
        if (e->kind == kMenuButton) {
            auto* v = static_cast<int32_t*>(e->value);
            const int32_t answer = e->trigger ? e->trigger(0) : 1;
            *v = (event == ShellEventKeyDown && answer != 0) ? 1 : 0;
        } else if (event == ShellEventKeyDown) {
            Step(e, +1);
        }
        return true;
    }
    return false;
}

} // namespace

MenuState& MenuGetState()
{
    return gMenu;
}

void MenuFreeEntries()
{
    for (MenuEntry* e : gMenu.entries)
        delete e;
    gMenu.entries.clear();
    gMenu.current = nullptr;
    gMenu.firstVisible = 0;
    gMenu.widestLabel = gMenu.widestLine = 0;
    gMenu.dragging = false;
}

int32_t MenuAddToggle(const char* label, int32_t* value, MenuTrigger trigger)
{
    if (!value)
        return 0;
    return Add(new (std::nothrow)
                   MenuEntry{kMenuToggle, {}, value, 0, 1, 1, 0, 0, 0, nullptr, 0, trigger, false},
               label);
}

int32_t MenuAddButton(const char* label, int32_t* value, MenuTrigger trigger)
{
    if (!value)
        return 0;
    return Add(new (std::nothrow)
                   MenuEntry{kMenuButton, {}, value, 0, 1, 1, 0, 0, 0, nullptr, 0, trigger, false},
               label);
}

int32_t MenuAddInt(const char* label, int32_t* value, MenuTrigger trigger, int32_t minimum, int32_t maximum,
                   int32_t step, const char* const* valueNames)
{
    if (!value || minimum > maximum || !NamesValid(minimum, maximum, valueNames))
        return 0;
    return Add(
        new (std::nothrow)
            MenuEntry{kMenuInt, {}, value, minimum, maximum, step, 0, 0, 0, valueNames, 0, trigger, false},
        label);
}

int32_t MenuAddFloat(const char* label, float* value, MenuTrigger trigger, float minimum, float maximum,
                     float step)
{
    if (!value || !(minimum <= maximum))
        return 0;
    return Add(
        new (std::nothrow)
            MenuEntry{kMenuFloat, {}, value, 0, 0, 0, minimum, maximum, step, nullptr, 0, trigger, false},
        label);
}

int32_t MenuAddText(const char* label, MenuTrigger trigger)
{
    return Add(new (std::nothrow)
                   MenuEntry{kMenuText, {}, nullptr, 0, 0, 0, 0, 0, 0, nullptr, 0, trigger, false},
               label);
}

int32_t MenuAddSeparator()
{
    Add(new (std::nothrow) MenuEntry{kMenuInt, {}, nullptr, 0, 0, 0, 0, 0, 0, nullptr, 0, nullptr, true}, "");
    return 1;
}

int32_t MenuRemove(const void* key)
{
    MenuEntry* e = key ? Find(key) : nullptr;
    if (!e)
        return 0;
    const int32_t i = IndexOf(e);
    gMenu.entries.erase(gMenu.entries.begin() + i);
    if (gMenu.current == e) {
        gMenu.current = nullptr;
        for (MenuEntry* other : gMenu.entries)
            if (!other->separator) {
                gMenu.current = other;
                break;
            }
    }
    delete e;
    UpdateWidths();
    return 1;
}

int32_t MenuSelect(const void* key)
{
    MenuEntry* e = key ? Find(key) : nullptr;
    if (!e || e->separator)
        return 0;
    gMenu.current = e;
    return 1;
}

int32_t MenuSetIntRange(int32_t* value, int32_t minimum, int32_t maximum, int32_t step,
                        const char* const* valueNames)
{
    MenuEntry* e = value ? Find(value) : nullptr;
    if (!e || e->kind == kMenuFloat || minimum > maximum || !NamesValid(minimum, maximum, valueNames))
        return 0;
    e->imin = minimum;
    e->imax = maximum;
    e->istep = step;
    e->names = valueNames;
    *value = std::clamp(*value, minimum, maximum);
    UpdateWidths();
    return 1;
}

int32_t MenuSetFloatRange(float* value, float minimum, float maximum, float step)
{
    MenuEntry* e = value ? Find(value) : nullptr;
    if (!e || e->kind != kMenuFloat || !(minimum <= maximum))
        return 0;
    e->fmin = minimum;
    e->fmax = maximum;
    e->fstep = step;
    *value = std::clamp(*value, minimum, maximum);
    UpdateWidths();
    return 1;
}

int32_t MenuSetMode(int32_t mode)
{
    if (mode < kMenuHidden || mode > kMenuHelp)
        return 0;
    if (mode == gMenu.mode)
        return 1;
    if (mode == kMenuShown && gMenu.entries.empty())
        mode = kMenuHelp;
    if (mode == kMenuHelp) {
        gMenu.modeBeforeHelp = gMenu.mode;
        gMenu.firstHelpLine = 0;
    }
    gMenu.mode = mode;
    return 1;
}

int32_t MenuGetMode()
{
    return gMenu.mode;
}

int32_t MenuCycleMode()
{
    return MenuSetMode((gMenu.mode + 1) % 3);
}

int32_t MenuToggleHelp()
{
    if (gMenu.mode != kMenuHelp)
        return MenuSetMode(kMenuHelp);
    gMenu.mode = gMenu.modeBeforeHelp;
    return 1;
}

ShellEventResult MenuKeyboardHandler(ShellEvent event, void* param)
{
    if ((event != ShellEventKeyDown && event != ShellEventKeyUp) || !param)
        return ShellEventNotHandled;
    const int32_t key = static_cast<const ShellKeyRecord*>(param)->key;
    const bool down = event == ShellEventKeyDown;
    if (Shortcut(event, key))
        return ShellEventHandled;
    if (key == ' ' && down) {
        MenuCycleMode();
        return ShellEventHandled;
    }
    if (gMenu.mode == kMenuShown) {
        if (down) {
            switch (key) {
            case kShellKeyUp:
                Move(-1);
                return ShellEventHandled;
            case kShellKeyDown:
                Move(+1);
                return ShellEventHandled;
            case kShellKeyLeft:
                Step(gMenu.current, -1);
                return ShellEventHandled;
            case kShellKeyRight:
                Step(gMenu.current, +1);
                return ShellEventHandled;
            default:
                return ShellEventNotHandled;
            }
        }
        MenuEntry* e = gMenu.current;
        if ((key == kShellKeyLeft || key == kShellKeyRight || key == kShellKeyEnter) && e &&
            e->kind == kMenuButton) {
            if (e->trigger)
                e->trigger(0);
            *static_cast<int32_t*>(e->value) = 0;
            return ShellEventHandled;
        }
        return ShellEventNotHandled;
    }
    if (gMenu.mode == kMenuHelp) {
        if (down) {
            const int32_t page = std::max<int32_t>(1, gMenu.visibleHelpLines - 2);
            switch (key) {
            case kShellKeyDown:
                Scroll(+1);
                break;
            case kShellKeyUp:
                Scroll(-1);
                break;
            case kShellKeyPageDown:
                Scroll(+page);
                break;
            case kShellKeyPageUp:
                Scroll(-page);
                break;
            default:
                break;
            }
        }
        return ShellEventHandled;
    }
    return ShellEventNotHandled;
}

ShellEventResult MenuMouseHandler(ShellEvent event, void* param)
{
    if (gMenu.mode == kMenuHelp) {
        if (event == ShellEventMouseWheel && param)
            Scroll(*static_cast<const int32_t*>(param) ? -2 : +2);
        return ShellEventHandled;
    }
    if (gMenu.mode == kMenuShown) {
        if (event == ShellEventMouseWheel && param) {
            Move(*static_cast<const int32_t*>(param) ? -1 : +1);
            return ShellEventHandled;
        }
        MenuEntry* e = gMenu.current;
        if (e && e->kind == kMenuFloat) {
            switch (event) {
            case ShellEventLeftButtonDown:
                gMenu.dragging = true;
                return ShellEventHandled;
            case ShellEventLeftButtonUp:
                gMenu.dragging = false;
                return ShellEventHandled;
            case ShellEventMouseMove:
                if (gMenu.dragging && param) {
                    const auto* m = static_cast<const ShellMouseRecord*>(param);
                    const float dx = m->dx, dy = -m->dy;
                    const float amount = std::fabs(dx) >= std::fabs(dy) ? dx : dy;
                    auto* v = static_cast<float*>(e->value);
                    *v = std::clamp(*v + amount * 0.002f * (e->fmax - e->fmin), e->fmin, e->fmax);
                    if (e->trigger)
                        e->trigger(0);
                }
                return ShellEventHandled;
            default:
                break;
            }
        }
    }
    gMenu.dragging = false;
    return ShellEventNotHandled;
}

void HelpClear()
{
    gMenu.help.clear();
    gMenu.firstHelpLine = 0;
}

int32_t HelpLoad()
{
    HelpClear();
    gMenu.help.emplace_back("Cannot open help file");
    FileSlot* file = nullptr;
    for (const char* name : {"./readme.txt", "./win.txt"}) {
        char* path = ShellMakeNativePath(name);
        file = path ? FileSystemManagerFOpen(path, "r") : nullptr;
        ShellFreePath(path);
        if (file)
            break;
    }
    if (!file)
        return 0;
    HelpClear();
    char line[kHelpLineChars + 2];
    while (FileSystemManagerFGets(line, kHelpLineChars + 1, file)) {
        size_t n = std::strlen(line);
        if (n > 0 && line[n - 1] == '\n')
            line[--n] = '\0';
        for (size_t i = 0; i < n; ++i)
            if (static_cast<unsigned char>(line[i]) < 0x20 || static_cast<unsigned char>(line[i]) > 0x7F)
                line[i] = ' ';
        try {
            gMenu.help.emplace_back(line, n);
        } catch (const std::bad_alloc&) {
            ShellReportError("Out of memory - not all of help loaded");
            break;
        }
    }
    FileSystemManagerFClose(file);
    return 1;
}

void RgbToHsv(float r, float g, float b, float* h, float* s, float* v)
{
    // 16.16 fixed point, as the menu's shading has always been computed.
    const auto fix = [](float c) { return int32_t(std::lround(std::clamp(c, 0.0f, 1.0f) * 65536.0f)); };
    const int32_t R = fix(r), G = fix(g), B = fix(b);
    const int32_t largest = std::max({R, G, B}), smallest = std::min({R, G, B});
    const int32_t delta = largest - smallest;
    *v = float(largest) / 65536.0f;
    // Tested before any division: black (largest 0) is a grey too.
    if (delta < 3276) {
        *h = -1.0f;
        *s = 0.0f;
        return;
    }
    *s = float(int64_t(delta) * 65536 / largest) / 65536.0f;
    int64_t hue; // six sectors of 0x10000 each
    if (R == largest)
        hue = int64_t(G - B) * 65536 / delta;
    else if (G == largest)
        hue = 2 * 65536 + int64_t(B - R) * 65536 / delta;
    else
        hue = 4 * 65536 + int64_t(R - G) * 65536 / delta;
    if (hue < 0)
        hue += 6 * 65536;
    *h = float(double(hue) / (6.0 * 65536.0));
}

void HsvToRgb(float h, float s, float v, float* r, float* g, float* b)
{
    h = std::clamp(h, 0.0f, 1.0f);
    const float scaled = h * 6.0f;
    int32_t sector = int32_t(scaled);
    if (sector > 5)
        sector = 5;
    const float f = scaled - float(sector);
    const float p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    switch (sector) {
    case 0:
        *r = v, *g = t, *b = p;
        break;
    case 1:
        *r = q, *g = v, *b = p;
        break;
    case 2:
        *r = p, *g = v, *b = t;
        break;
    case 3:
        *r = p, *g = q, *b = v;
        break;
    case 4:
        *r = t, *g = p, *b = v;
        break;
    default:
        *r = v, *g = p, *b = q;
        break;
    }
}

void MenuBlendColour(const uint8_t first[4], const uint8_t second[4], float t, uint8_t out[4])
{
    float h1, s1, v1, h2, s2, v2;
    RgbToHsv(first[0] / 255.0f, first[1] / 255.0f, first[2] / 255.0f, &h1, &s1, &v1);
    RgbToHsv(second[0] / 255.0f, second[1] / 255.0f, second[2] / 255.0f, &h2, &s2, &v2);
    float r, g, b;
    HsvToRgb(h1 < 0.0f ? 0.0f : h1, 0.6f * s1, (1.0f - t) * v2 + t * v1, &r, &g, &b);
    out[0] = uint8_t(std::lround(r * 255.0f));
    out[1] = uint8_t(std::lround(g * 255.0f));
    out[2] = uint8_t(std::lround(b * 255.0f));
    out[3] = 255;
}

int32_t MenuEntryCount()
{
    return int32_t(gMenu.entries.size());
}

const char* MenuEntryLabel(int32_t i)
{
    return (i >= 0 && i < MenuEntryCount()) ? gMenu.entries[size_t(i)]->label.c_str() : nullptr;
}

int32_t MenuEntryShortcut(int32_t i)
{
    return (i >= 0 && i < MenuEntryCount()) ? gMenu.entries[size_t(i)]->shortcut : 0;
}

int32_t MenuCurrentEntry()
{
    return IndexOf(gMenu.current);
}

std::string MenuEntryText(int32_t i)
{
    if (i < 0 || i >= MenuEntryCount())
        return "";
    const MenuEntry& e = *gMenu.entries[size_t(i)];
    if (e.separator)
        return "";
    char text[512];
    const int pad = int(gMenu.widestLabel - int32_t(e.label.size()));
    // Label padded to the widest label, then the shortcut.
    if (e.shortcut > 0x80 && e.shortcut <= 0x89)
        std::snprintf(text, sizeof text, "%s%-*s[F%c] ", e.label.c_str(), pad, "",
                      char('0' + e.shortcut - 0x80));
    else if (e.shortcut)
        std::snprintf(text, sizeof text, "%s%-*s[%c]  ", e.label.c_str(), pad, "", char(e.shortcut));
    else
        std::snprintf(text, sizeof text, "%-*s     ", int(gMenu.widestLabel), e.label.c_str());
    std::string line = text;
    switch (e.kind) {
    case kMenuToggle:
    case kMenuButton:
        line += *static_cast<const int32_t*>(e.value) ? " On " : "Off ";
        break;
    case kMenuInt: {
        const int32_t v = *static_cast<const int32_t*>(e.value);
        if (e.names && v >= e.imin && v <= e.imax)
            line += e.names[v - e.imin];
        else
            line += std::to_string(v);
        break;
    }
    case kMenuFloat:
        std::snprintf(text, sizeof text, "%0.2f ", double(*static_cast<const float*>(e.value)));
        line += text;
        break;
    default:
        break;
    }
    if (&e == gMenu.current)
        line += "  < ";
    return line;
}

int32_t HelpLineCount()
{
    return int32_t(gMenu.help.size());
}

int32_t HelpFirstLine()
{
    return gMenu.firstHelpLine;
}

const char* HelpLine(int32_t i)
{
    return (i >= 0 && i < HelpLineCount()) ? gMenu.help[size_t(i)].c_str() : nullptr;
}

void HelpSetVisibleLines(int32_t lines)
{
    gMenu.visibleHelpLines = lines;
}

void ShellAlignedPosition(int32_t cellWidth, int32_t cellHeight, int32_t width, int32_t height,
                          int32_t length, int32_t column, int32_t row, int32_t alignment, int32_t* x,
                          int32_t* y)
{
    if (alignment & 1)
        *x = (column + 1) * cellWidth;
    else if (alignment & 2)
        *x = column * cellWidth + width - (length + 1) * cellWidth;
    else
        *x = column * cellWidth + ((width - length * cellWidth) >> 1);
    if (alignment == 0 || alignment == 1 || alignment == 2)
        *y = row * cellHeight + ((height - cellHeight) >> 1);
    else if (alignment & 4)
        *y = row * cellHeight + cellHeight;
    else if (alignment & 8)
        *y = row * cellHeight + height - 2 * cellHeight;
    else
        *y = row * cellHeight;
}
