#include "graphics/core/coremodules.h"

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/matrix.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/resources.h"
#include "graphics/core/texture.h"
#include "graphics/core/vector.h"

namespace {

// The core modules in the order EngineStart opens them (EngineStop closes
// them in reverse). A new core module adds its attach function in its place:
// errors, vectors, the empty module, matrices, frames, streams, cameras,
// images, rasters, textures, pipelines, names, resources.
using CoreModuleAttach = int32_t (*)();
// clang-format off
constexpr CoreModuleAttach kCoreModules[] = {
    ErrorModuleAttach,
    VectorModuleAttach,
    EmptyModuleAttach,
    MatrixModuleAttach,
    FrameModuleAttach,
    StreamModuleAttach,
    CameraModuleAttach,
    ImageModuleAttach,
    RasterModuleAttach,
    TextureModuleAttach,
    PipelineModuleAttach,
    NameModuleAttach,
    ResourcesModuleAttach,
};
// clang-format on

int32_t gEmptyOpenCount = 0;

// The empty module has no data; its open and close only count.
void* EmptyModuleOpen(void* instance, int32_t, int32_t)
{
    ++gEmptyOpenCount;
    return instance;
}

void* EmptyModuleClose(void* instance, int32_t, int32_t)
{
    --gEmptyOpenCount;
    return instance;
}

} // namespace

int32_t EmptyModuleAttach()
{
    return EngineAttachPlugin(0, kPluginIdEmptyModule, EmptyModuleOpen, EmptyModuleClose);
}

bool CoreModulesAttach()
{
    // Every module is attempted even after one fails, so that the failure
    // leaves every registration in the same known state for the unwinding.
    bool attached = true;
    for (CoreModuleAttach attach : kCoreModules) {
        if (attach() < 0) {
            attached = false;
        }
    }
    return attached;
}
