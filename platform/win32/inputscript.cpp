// The input script: reader, writer and player.
#include "platform/win32/inputscript.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/environment.h"
#include "platform/win32/timing.h"
#include "platform/win32/windowrecord.h"

namespace {

constexpr uint64_t kMaxFrame = 1000000000;

struct Player
{
    bool started = false;
    std::vector<InputScriptEvent> events;
    size_t next = 0;
    int x = 0, y = 0; ///< last scripted pointer position
    uint32_t buttons = 0;
};

Player& Script()
{
    static Player player;
    return player;
}

// A line cut into blank-separated words; `rest` keeps what follows a word.
struct Words
{
    std::vector<std::string> words;
    std::vector<size_t> starts;
};

Words Split(const std::string& line)
{
    Words w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        w.words.push_back(line.substr(start, i - start));
        w.starts.push_back(start);
    }
    return w;
}

// Whole decimal numbers only, within [low, high].
bool ParseNumber(const std::string& word, long long low, long long high, long long* value)
{
    if (word.empty() || word.size() > 12)
        return false;
    size_t i = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (i == word.size())
        return false;
    for (size_t k = i; k < word.size(); ++k)
        if (word[k] < '0' || word[k] > '9')
            return false;
    long long v = std::strtoll(word.c_str(), nullptr, 10);
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool ParseButton(const std::string& word, int* button)
{
    if (word == "left")
        *button = SDL_BUTTON_LEFT;
    else if (word == "right")
        *button = SDL_BUTTON_RIGHT;
    else if (word == "middle")
        *button = SDL_BUTTON_MIDDLE;
    else
        return false;
    return true;
}

const char* ButtonName(int button)
{
    return button == SDL_BUTTON_RIGHT ? "right" : button == SDL_BUTTON_MIDDLE ? "middle" : "left";
}

// One line into one event; the reason when it does not parse.
const char* ParseLine(const std::string& line, InputScriptEvent* event)
{
    Words w = Split(line);
    long long frame = 0;
    if (w.words.size() < 2 || !ParseNumber(w.words[0], 0, kMaxFrame, &frame) || w.words[0][0] == '-' ||
        w.words[0][0] == '+')
        return "expected a frame number (0 to 1000000000) and an event";
    *event = {uint64_t(frame), InputScriptKind::KeyDown, SDL_SCANCODE_UNKNOWN, 0, 0, 0, 0};
    const std::string& verb = w.words[1];
    if (verb == "key") {
        if (w.words.size() < 4)
            return "expected key down|up|repeat <key name>";
        const std::string& action = w.words[2];
        if (action == "down")
            event->kind = InputScriptKind::KeyDown;
        else if (action == "up")
            event->kind = InputScriptKind::KeyUp;
        else if (action == "repeat")
            event->kind = InputScriptKind::KeyRepeat;
        else
            return "expected key down|up|repeat";
        std::string name = line.substr(w.starts[3]);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.pop_back();
        event->key = SDL_GetScancodeFromName(name.c_str());
        if (event->key == SDL_SCANCODE_UNKNOWN)
            return "unknown key name";
        return nullptr;
    }
    if (verb == "mouse") {
        if (w.words.size() < 3)
            return "expected mouse move|down|up";
        const std::string& action = w.words[2];
        if (action == "move") {
            long long x = 0, y = 0;
            if (w.words.size() != 5 || !ParseNumber(w.words[3], -32768, 32767, &x) ||
                !ParseNumber(w.words[4], -32768, 32767, &y))
                return "expected mouse move <x> <y> (-32768 to 32767)";
            event->kind = InputScriptKind::MouseMove;
            event->x = int(x);
            event->y = int(y);
            return nullptr;
        }
        if (action != "down" && action != "up")
            return "expected mouse move|down|up";
        if (w.words.size() != 4 || !ParseButton(w.words[3], &event->button))
            return "expected a button: left, right or middle";
        event->kind = action == "down" ? InputScriptKind::ButtonDown : InputScriptKind::ButtonUp;
        return nullptr;
    }
    if (verb == "wheel") {
        long long notches = 0;
        if (w.words.size() != 3 || !ParseNumber(w.words[2], -100, 100, &notches) || notches == 0)
            return "expected wheel <notches> (-100 to 100, not 0)";
        event->kind = InputScriptKind::Wheel;
        event->notches = int(notches);
        return nullptr;
    }
    return "unknown event (key, mouse or wheel)";
}

void Push(const InputScriptEvent& e)
{
    Player& p = Script();
    HWND__* w = Win32MainWindow();
    const uint32_t windowId = w ? w->id : 0;
    SDL_Event event{};
    switch (e.kind) {
    case InputScriptKind::KeyDown:
    case InputScriptKind::KeyUp:
    case InputScriptKind::KeyRepeat:
        event.type = e.kind == InputScriptKind::KeyUp ? SDL_KEYUP : SDL_KEYDOWN;
        event.key.windowID = windowId;
        event.key.state = e.kind == InputScriptKind::KeyUp ? SDL_RELEASED : SDL_PRESSED;
        event.key.repeat = e.kind == InputScriptKind::KeyRepeat ? 1 : 0;
        event.key.keysym.scancode = e.key;
        event.key.keysym.sym = SDL_GetKeyFromScancode(e.key);
        break;
    case InputScriptKind::MouseMove:
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = windowId;
        event.motion.state = p.buttons;
        event.motion.x = e.x;
        event.motion.y = e.y;
        event.motion.xrel = e.x - p.x;
        event.motion.yrel = e.y - p.y;
        p.x = e.x;
        p.y = e.y;
        break;
    case InputScriptKind::ButtonDown:
    case InputScriptKind::ButtonUp: {
        const bool down = e.kind == InputScriptKind::ButtonDown;
        event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.windowID = windowId;
        event.button.button = uint8_t(e.button);
        event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.button.clicks = 1;
        event.button.x = p.x;
        event.button.y = p.y;
        p.buttons = down ? (p.buttons | SDL_BUTTON(e.button)) : (p.buttons & ~SDL_BUTTON(e.button));
        break;
    }
    case InputScriptKind::Wheel:
        event.type = SDL_MOUSEWHEEL;
        event.wheel.windowID = windowId;
        event.wheel.y = e.notches;
        event.wheel.preciseY = float(e.notches);
        event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        break;
    }
    event.common.timestamp = SDL_GetTicks();
    SDL_PushEvent(&event);
}

void PushDue(uint64_t frame)
{
    Player& p = Script();
    if (!SDL_WasInit(SDL_INIT_EVENTS))
        return; // kept until SDL runs
    while (p.next < p.events.size() && p.events[p.next].frame <= frame)
        Push(p.events[p.next++]);
}

} // namespace

bool InputScriptParse(const char* text, size_t size, std::vector<InputScriptEvent>* events,
                      std::string* error)
{
    events->clear();
    // A UTF-8 byte-order mark, as some editors write, is no part of the first line.
    size_t pos = size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    int lineNumber = 0;
    uint64_t lastFrame = 0;
    while (pos < size) {
        size_t end = pos;
        while (end < size && text[end] != '\n')
            ++end;
        std::string line(text + pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        InputScriptEvent event{};
        const char* reason =
            line.find('\0') != std::string::npos ? "a NUL byte in the line" : ParseLine(line, &event);
        if (!reason && event.frame < lastFrame)
            reason = "frame numbers go backwards";
        if (reason) {
            events->clear();
            if (error)
                *error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        lastFrame = event.frame;
        events->push_back(event);
    }
    return true;
}

std::string InputScriptWrite(const std::vector<InputScriptEvent>& events)
{
    std::string text;
    char line[160];
    for (const InputScriptEvent& e : events) {
        const unsigned long long frame = e.frame;
        switch (e.kind) {
        case InputScriptKind::KeyDown:
        case InputScriptKind::KeyUp:
        case InputScriptKind::KeyRepeat: {
            const char* action = e.kind == InputScriptKind::KeyDown ? "down"
                                 : e.kind == InputScriptKind::KeyUp ? "up"
                                                                    : "repeat";
            std::snprintf(line, sizeof line, "%llu key %s %s\n", frame, action, SDL_GetScancodeName(e.key));
            break;
        }
        case InputScriptKind::MouseMove:
            std::snprintf(line, sizeof line, "%llu mouse move %d %d\n", frame, e.x, e.y);
            break;
        case InputScriptKind::ButtonDown:
        case InputScriptKind::ButtonUp:
            std::snprintf(line, sizeof line, "%llu mouse %s %s\n", frame,
                          e.kind == InputScriptKind::ButtonDown ? "down" : "up", ButtonName(e.button));
            break;
        case InputScriptKind::Wheel:
            std::snprintf(line, sizeof line, "%llu wheel %d\n", frame, e.notches);
            break;
        }
        text += line;
    }
    return text;
}

void InputScriptPlay(std::vector<InputScriptEvent> events)
{
    Player& p = Script();
    p.started = true;
    p.events = std::move(events);
    p.next = 0;
    p.x = p.y = 0;
    p.buttons = 0;
    PushDue(Win32FrameCount());
}

void InputScriptStart()
{
    Player& p = Script();
    if (p.started)
        return;
    p.started = true;
    const char* path = std::getenv("OLAI_INPUT_SCRIPT");
    if (!path || !*path)
        return;
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        Win32RefuseEnvironment("OLAI_INPUT_SCRIPT", path, "the script cannot be opened");
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    std::vector<InputScriptEvent> events;
    std::string error;
    if (!InputScriptParse(text.data(), text.size(), &events, &error))
        Win32RefuseEnvironment("OLAI_INPUT_SCRIPT", path, error.c_str());
    InputScriptPlay(std::move(events));
}

void InputScriptFramePresented(uint64_t frame)
{
    PushDue(frame);
}

size_t InputScriptPending()
{
    const Player& p = Script();
    return p.events.size() - p.next;
}
