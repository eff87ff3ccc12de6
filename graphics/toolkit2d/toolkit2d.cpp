// Opening and closing the 2-D toolkit's modules in their order.

#include "graphics/toolkit2d/toolkit2d.h"

#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tess.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

struct ToolkitModule
{
    bool (*open)();
    void (*close)();
};

/// In opening order; closing runs backwards.
constexpr ToolkitModule kModules[] = {
    {TessModuleOpen, TessModuleClose},     {PathModuleOpen, PathModuleClose},
    {BrushModuleOpen, BrushModuleClose},   {FontModuleOpen, FontModuleClose},
    {ObjectModuleOpen, ObjectModuleClose}, {TwoDDeviceOpen, TwoDDeviceClose},
};
constexpr int32_t kModuleCount = int32_t(sizeof(kModules) / sizeof(kModules[0]));

void CloseFrom(int32_t count)
{
    for (int32_t i = count - 1; i >= 0; --i) {
        kModules[i].close();
    }
}

} // namespace

bool TwoDToolkitOpen(Camera* camera)
{
    TwoDDeviceSetIm3DFlags(0);
    for (int32_t i = 0; i < kModuleCount; ++i) {
        if (!kModules[i].open()) {
            CloseFrom(i);
            return false;
        }
    }
    return TwoDDeviceSetCamera(camera);
}

void TwoDToolkitClose()
{
    CloseFrom(kModuleCount);
    TwoDDeviceSetCamera(nullptr);
}
