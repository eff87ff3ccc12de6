// Presenting a raster: the frame boundary of the resources arena, then the
// device shows the raster in a window.
#include "graphics/core/devicecall.h"
#include "graphics/core/raster.h"
#include "graphics/core/resources.h"

Raster* RasterShowRaster(Raster* raster, void* window, uint32_t flags)
{
    ResourcesNextFrame();
    return DeviceCall(kDeviceFnRasterShowRaster, raster, window, static_cast<int32_t>(flags)) ? raster
                                                                                              : nullptr;
}
