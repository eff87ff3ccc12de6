// The renderer's entry points handed to the scene library, which calls them
// at its attach, at the world module's open and close, and from the
// native-data extension of geometries and sectors.
#include "graphics/d3d9/renderer/nativedata.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/rendererhooks.h"

void D3D9SceneRendererInstall()
{
    const SceneRendererHooks hooks = {D3D9SceneRendererOpen,        D3D9DefaultPipelinesOpen,
                                      D3D9DefaultPipelinesClose,    GeometryNativeStreamWrite,
                                      GeometryNativeStreamRead,     GeometryNativeStreamSize,
                                      WorldSectorNativeStreamWrite, WorldSectorNativeStreamRead,
                                      WorldSectorNativeStreamSize,  NativeDataAttach};
    SceneSetRendererHooks(&hooks);
}
