// The renderer's entry points installed for the scene library.
#include "graphics/scene/rendererhooks.h"

#include "graphics/core/stream.h"

namespace {

SceneRendererHooks gHooks = {};

} // namespace

void SceneSetRendererHooks(const SceneRendererHooks* hooks)
{
    gHooks = hooks ? *hooks : SceneRendererHooks{};
}

const SceneRendererHooks* SceneGetRendererHooks()
{
    return &gHooks;
}

Stream* GeometryNativeDataRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    if (!gHooks.geometryNativeRead) {
        return length <= 0 || StreamSkip(stream, size_t(length)) ? stream : nullptr;
    }
    return gHooks.geometryNativeRead(stream, static_cast<Geometry*>(object)) ? stream : nullptr;
}

Stream* GeometryNativeDataWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    if (!gHooks.geometryNativeWrite) {
        return stream;
    }
    return gHooks.geometryNativeWrite(stream, static_cast<const Geometry*>(object));
}

int32_t GeometryNativeDataSize(const void* object, int32_t, int32_t)
{
    if (!gHooks.geometryNativeSize) {
        return 0;
    }
    const uint32_t size = gHooks.geometryNativeSize(static_cast<const Geometry*>(object));
    return size > 0x7FFFFFFF ? 0 : int32_t(size);
}
