// The message queue: posted messages in order, the quit request, timers.
#include "platform/win32/messagequeue.h"

#include <SDL.h>

#include <deque>
#include <vector>

#include "platform/win32/dragdrop.h"
#include "platform/win32/timing.h"
#include "platform/win32/windowrecord.h"

namespace {

struct Timer
{
    HWND window;
    uintptr_t id;
    UINT interval;
    uint32_t due; ///< timeGetTime value of the next WM_TIMER
    TIMERPROC callback;
};

struct QueueState
{
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    uintptr_t nextThreadTimerId = 1;
};

QueueState& Queue()
{
    static QueueState state;
    return state;
}

bool Matches(const MSG& m, HWND window, UINT first, UINT last)
{
    if (window && m.hwnd != window)
        return false;
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

// Wrap-safe: true when `now` has reached `due` on the 32-bit clock.
bool Reached(uint32_t now, uint32_t due)
{
    return int32_t(now - due) >= 0;
}

Timer* DueTimer(HWND window)
{
    const uint32_t now = timeGetTime();
    Timer* best = nullptr;
    for (Timer& t : Queue().timers) {
        if (window && t.window != window)
            continue;
        if (Reached(now, t.due) && (!best || int32_t(t.due - best->due) < 0))
            best = &t;
    }
    return best;
}

// A drop that nobody takes is finished here, or its names would leak.
bool ForgetMessage(const MSG& m)
{
    if (m.message == WM_DROPFILES)
        DragFinish(reinterpret_cast<HDROP>(m.wParam));
    return true;
}

MSG Make(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m{window, message, wParam, lParam, timeGetTime(), {0, 0}};
    return m;
}

} // namespace

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT flags)
{
    Win32PumpEvents();
    QueueState& q = Queue();
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!Matches(*it, window, first, last))
            continue;
        if (message)
            *message = *it;
        if (flags & PM_REMOVE)
            q.posted.erase(it);
        return 1;
    }
    if (q.quitPending && (first == 0 || (WM_QUIT >= first && WM_QUIT <= last))) {
        if (message)
            *message = Make(nullptr, WM_QUIT, WPARAM(q.quitCode), 0);
        if (flags & PM_REMOVE)
            q.quitPending = false;
        return 1;
    }
    if (first == 0 || (WM_TIMER >= first && WM_TIMER <= last)) {
        if (Timer* t = DueTimer(window)) {
            if (message)
                *message = Make(t->window, WM_TIMER, t->id, LPARAM(reinterpret_cast<uintptr_t>(t->callback)));
            if (flags & PM_REMOVE)
                t->due = timeGetTime() + t->interval;
            return 1;
        }
    }
    return 0;
}

BOOL WaitMessage()
{
    QueueState& q = Queue();
    for (;;) {
        Win32PumpEvents();
        if (!q.posted.empty() || q.quitPending || DueTimer(nullptr))
            return 1;
        // The next timer decides how long to sleep.
        const Timer* next = nullptr;
        for (const Timer& t : q.timers)
            if (!next || int32_t(t.due - next->due) < 0)
                next = &t;
        if (next && Win32ClockFrameStep()) {
            // The frame clock counts no real time: waiting moves it to the timer.
            Win32ClockAdvance(next->due - timeGetTime());
            return 1;
        }
        int timeout = -1;
        if (next)
            timeout = int(uint32_t(next->due - timeGetTime()));
        if (!SDL_WasInit(SDL_INIT_VIDEO)) {
            if (timeout < 0)
                return 0; // nothing could ever wake us
            SDL_Delay(uint32_t(timeout));
        } else {
            SDL_WaitEventTimeout(nullptr, timeout);
        }
    }
}

BOOL TranslateMessage(const MSG* message)
{
    if (!message)
        return 0;
    const UINT m = message->message;
    return (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP) ? 1 : 0;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message)
        return 0;
    if (message->message == WM_TIMER && message->lParam) {
        auto callback = reinterpret_cast<TIMERPROC>(uintptr_t(message->lParam));
        callback(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

void PostQuitMessage(int code)
{
    Queue().quitPending = true;
    Queue().quitCode = code;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !Win32FindWindow(window))
        return 0;
    Queue().posted.push_back(Make(window, message, wParam, lParam));
    return 1;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND__* w = Win32FindWindow(window);
    if (!w || !w->proc)
        return 0;
    return w->proc(window, message, wParam, lParam);
}

uintptr_t SetTimer(HWND window, uintptr_t id, UINT ms, TIMERPROC callback)
{
    if (window && !Win32FindWindow(window))
        return 0;
    QueueState& q = Queue();
    if (!window)
        id = q.nextThreadTimerId++;
    const UINT interval = ms < 10 ? 10 : ms;
    for (Timer& t : q.timers) {
        if (t.window == window && t.id == id) {
            t = {window, id, interval, timeGetTime() + interval, callback};
            return id;
        }
    }
    q.timers.push_back({window, id, interval, timeGetTime() + interval, callback});
    return id;
}

BOOL KillTimer(HWND window, uintptr_t id)
{
    auto& timers = Queue().timers;
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->window == window && it->id == id) {
            timers.erase(it);
            return 1;
        }
    }
    return 0;
}

void Win32ForgetWindowMessages(HWND window)
{
    QueueState& q = Queue();
    std::erase_if(q.posted, [window](const MSG& m) { return m.hwnd == window && ForgetMessage(m); });
    std::erase_if(q.timers, [window](const Timer& t) { return t.window == window; });
}

void Win32ResetMessageQueue()
{
    QueueState& q = Queue();
    for (const MSG& m : q.posted)
        ForgetMessage(m);
    q.posted.clear();
    q.quitPending = false;
    q.quitCode = 0;
    q.timers.clear();
}

int Win32QueuedMessageCount()
{
    return int(Queue().posted.size());
}
