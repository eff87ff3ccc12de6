// Fuzz target for the shape and container readers: the input is read as a
// memory stream, first as a container (chunk 0x1A5), then from the start as
// a shape (chunk 0x1A4). Read shapes build their geometry and atomic, so the
// engine runs with the scene library attached.
#include <cstddef>
#include <cstdint>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/tess.h"
#include "tools/scenebuild/sceneengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool open = SceneEngineStart() && PathModuleOpen() && BrushModuleOpen() &&
                             FontModuleOpen() && ObjectModuleOpen() && TessModuleOpen();
    if (!open) {
        return 0;
    }
    if (Stream* stream = FuzzStreamOpen(data, size)) {
        if (Object2D* container = ContainerStreamRead(stream)) {
            for (int32_t i = 0; i < ContainerGetChildCount(container); ++i) {
                ObjectGetKind(ContainerGetChild(container, i));
            }
            ContainerDestroy(container);
        }
        FuzzStreamClose(stream);
    }
    if (Stream* stream = FuzzStreamOpen(data, size)) {
        if (Object2D* shape = ShapeStreamRead(stream)) {
            ShapeDestroy(shape);
        }
        FuzzStreamClose(stream);
    }
    return 0;
}
