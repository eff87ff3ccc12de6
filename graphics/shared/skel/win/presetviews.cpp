// Preset camera views.
#include "graphics/shared/skel/win/presetviews.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "graphics/core/camera.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

constexpr const char* kViewFile = "./views.txt";
constexpr int kLineBytes = 1024; // lines of at most 1023 bytes
constexpr float kDegreesPerRadian = 57.295776f;

struct PresetView
{
    V3d position;
    float elevation;
    float azimuth;
    float nearClip;
    float farClip;
    char* name;
    PresetView* next;
};

struct ViewList
{
    PresetView* head = nullptr; ///< newest first
    int32_t count = 0;
    int32_t current = -1;
};

ViewList gViews;

FileSlot* OpenViewFile(const char* mode)
{
    char* path = ShellMakeNativePath(kViewFile);
    if (!path)
        return nullptr;
    FileSlot* file = FileSystemManagerFOpen(path, mode);
    ShellFreePath(path);
    return file;
}

// Keeps only printable characters (tabs, line ends and bytes above 0x7E go).
void KeepPrintable(char* line)
{
    char* out = line;
    for (const char* in = line; *in; ++in)
        if (std::isprint(static_cast<unsigned char>(*in)))
            *out++ = *in;
    *out = '\0';
}

// Seven finite numbers and the rest of the line as the name (may be empty).
bool ParseLine(const char* line, float values[7], const char** name)
{
    int used = 0;
    if (std::sscanf(line, "%f%f%f%f%f%f%f%n", &values[0], &values[1], &values[2], &values[3], &values[4],
                    &values[5], &values[6], &used) != 7)
        return false;
    for (int i = 0; i < 7; ++i)
        if (!std::isfinite(values[i]))
            return false;
    const char* rest = line + used;
    while (*rest == ' ')
        ++rest;
    *name = rest;
    return true;
}

char* CopyName(const char* name, int32_t count)
{
    char generated[32];
    if (!*name) {
        std::snprintf(generated, sizeof generated, "%s%d", "View", count);
        name = generated;
    }
    const size_t length = std::strlen(name);
    auto* copy = new (std::nothrow) char[length + 1];
    if (copy)
        std::memcpy(copy, name, length + 1);
    return copy;
}

const PresetView* ViewAt(int32_t n)
{
    // The list is newest first: view n of the file is count - 1 - n steps on.
    const PresetView* view = gViews.head;
    for (int32_t i = 0; view && i < gViews.count - 1 - n; ++i)
        view = view->next;
    return view;
}

float Clamp(float v)
{
    return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
}

} // namespace

bool PresetViewsFree()
{
    while (PresetView* view = gViews.head) {
        gViews.head = view->next;
        delete[] view->name;
        delete view;
    }
    gViews.count = 0;
    gViews.current = -1;
    return true;
}

void PresetViewsLoad()
{
    PresetViewsFree();
    FileSlot* file = OpenViewFile("r");
    if (!file)
        return;
    char line[kLineBytes];
    bool overlong = false; // inside a line longer than 1023 bytes: skipped whole
    while (FileSystemManagerFGets(line, kLineBytes, file)) {
        const bool ended = std::strchr(line, '\n') != nullptr || FileSystemManagerFEof(file);
        const bool skip = overlong || !ended;
        overlong = !ended;
        if (skip)
            continue;
        KeepPrintable(line);
        float v[7];
        const char* name = nullptr;
        if (!ParseLine(line, v, &name))
            continue;
        auto* view =
            new (std::nothrow) PresetView{{v[0], v[1], v[2]}, v[3], v[4], v[5], v[6], nullptr, nullptr};
        char* copy = view ? CopyName(name, gViews.count) : nullptr;
        if (!copy) {
            delete view;
            ShellReportError("Out of memory - not all preset views loaded");
            break;
        }
        view->name = copy;
        view->next = gViews.head;
        gViews.head = view;
        ++gViews.count;
    }
    FileSystemManagerFClose(file);
}

bool PresetViewSelect(Camera* camera, int32_t n)
{
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    if (!frame || gViews.count == 0 || n < 0 || n >= gViews.count)
        return false;
    const PresetView* view = ViewAt(n);
    gViews.current = n;
    const V3d xAxis{1, 0, 0}, yAxis{0, 1, 0};
    FrameSetIdentity(frame);
    FrameRotate(frame, &xAxis, -view->elevation, kCombineReplace);
    FrameRotate(frame, &yAxis, view->azimuth, kCombinePostConcat);
    FrameTranslate(frame, &view->position, kCombinePostConcat);
    FrameUpdateObjects(frame);
    CameraSetNearClipPlane(camera, view->nearClip);
    CameraSetFarClipPlane(camera, view->farClip);
    return true;
}

bool PresetViewNext(Camera* camera)
{
    if (!camera || gViews.count == 0)
        return false;
    const int32_t n = gViews.current + 1 >= gViews.count ? 0 : gViews.current + 1;
    return PresetViewSelect(camera, n);
}

bool PresetViewPrevious(Camera* camera)
{
    if (!camera || gViews.count == 0)
        return false;
    const int32_t n = gViews.current - 1 < 0 ? gViews.count - 1 : gViews.current - 1;
    return PresetViewSelect(camera, n);
}

const char* PresetViewCurrentName()
{
    const PresetView* view = gViews.current >= 0 ? ViewAt(gViews.current) : nullptr;
    return view ? view->name : nullptr;
}

int32_t PresetViewCount()
{
    return gViews.count;
}

int32_t PresetViewCurrent()
{
    return gViews.current;
}

void PresetViewFromCamera(Camera* camera, V3d* position, float* elevation, float* azimuth)
{
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    if (!frame)
        return;
    const Matrix* m = FrameGetLTM(frame);
    *position = m->pos;
    const V3d at = m->at;
    const float d = Clamp(at.y);
    *elevation = 90.0f - std::acos(d) * kDegreesPerRadian;
    V3d h{at.x, at.y - d, at.z};
    const float length = std::sqrt(h.x * h.x + h.y * h.y + h.z * h.z);
    if (length < 1e-6f) {
        *azimuth = 0.0f; // straight up or down: no horizontal direction
        return;
    }
    h = {h.x / length, h.y / length, h.z / length};
    const float e = Clamp(h.z);
    *azimuth = std::acos(e) * kDegreesPerRadian;
    if (h.x < 0.0f)
        *azimuth = -*azimuth;
}

void PresetViewsSave(Camera* camera)
{
    FileSlot* file = OpenViewFile("a");
    if (!file) {
        ShellReportError("Cannot open preset view file");
        return;
    }
    V3d p{};
    float elevation = 0, azimuth = 0;
    PresetViewFromCamera(camera, &p, &elevation, &azimuth);
    char line[kLineBytes];
    const int n = std::snprintf(line, sizeof line, "%0.6f %0.6f %0.6f  %0.6f %0.6f  %0.6f %0.6f %s%d\n",
                                double(p.x), double(p.y), double(p.z), double(elevation), double(azimuth),
                                double(camera ? camera->nearPlane : 0.0f),
                                double(camera ? camera->farPlane : 0.0f), "View", gViews.count);
    const bool written = n > 0 && n < int(sizeof line) && FileSystemManagerFPuts(line, file) == size_t(n);
    // Closed before reading again, so the new line is there to be read.
    FileSystemManagerFClose(file);
    if (!written) {
        ShellReportError("Cannot write to preset view file");
        return;
    }
    PresetViewsLoad();
    PresetViewSelect(camera, gViews.count - 1);
}
