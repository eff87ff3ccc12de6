// Drop handles: each a list of names, alive until DragFinish.
#include "platform/win32/dragdrop.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/win32/windowrecord.h"

struct HDROP__
{
    std::vector<std::string> names;
};

namespace {

std::vector<HDROP__*>& Drops()
{
    static std::vector<HDROP__*> drops;
    return drops;
}

HDROP__* Find(HDROP drop)
{
    auto& drops = Drops();
    return std::find(drops.begin(), drops.end(), drop) != drops.end() ? drop : nullptr;
}

} // namespace

void DragAcceptFiles(HWND window, BOOL accept)
{
    if (HWND__* w = Win32FindWindow(window))
        w->acceptsFiles = accept != 0;
}

UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size)
{
    HDROP__* d = Find(drop);
    if (!d)
        return 0;
    if (index == 0xFFFFFFFFu)
        return UINT(d->names.size());
    if (index >= d->names.size())
        return 0;
    const std::string& name = d->names[index];
    if (!buffer)
        return UINT(name.size());
    if (size == 0)
        return 0;
    const size_t n = std::min<size_t>(name.size(), size - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return UINT(n);
}

void DragFinish(HDROP drop)
{
    auto& drops = Drops();
    auto it = std::find(drops.begin(), drops.end(), drop);
    if (it == drops.end())
        return;
    delete *it;
    drops.erase(it);
}

HDROP Win32DropCreate(const char* const* names, int count)
{
    auto* d = new (std::nothrow) HDROP__;
    if (!d)
        return nullptr;
    for (int i = 0; i < count; ++i)
        d->names.emplace_back(names[i] ? names[i] : "");
    Drops().push_back(d);
    return d;
}

int Win32DropsOpen()
{
    return int(Drops().size());
}
