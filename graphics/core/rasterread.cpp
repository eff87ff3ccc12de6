// Rasters read from image files: the device chooses the raster that suits
// the image, and the image is scaled to it when the sizes differ.
#include "graphics/core/image.h"
#include "graphics/core/raster.h"

namespace {

// Creates a raster for `image` with the given values and fills it; the
// image is destroyed either way.
Raster* RasterFromImage(Image* image, int32_t width, int32_t height, int32_t depth, uint32_t creationFlags)
{
    Raster* raster = RasterCreate(width, height, depth, creationFlags);
    if (raster && !RasterSetFromImage(raster, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    return raster;
}

} // namespace

Raster* RasterRead(const char* fileName)
{
    Image* image = ImageReadByExtension(fileName);
    if (!image) {
        return nullptr;
    }
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t creationFlags = 0;
    if (!ImageFindRasterFormat(image, kRasterTypeNormal, &width, &height, &depth, &creationFlags)) {
        ImageDestroy(image);
        return nullptr;
    }
    if (width != image->width || height != image->height) {
        Image* scaled = ImageScale(image, width, height);
        ImageDestroy(image);
        if (!scaled) {
            return nullptr;
        }
        image = scaled;
    }
    return RasterFromImage(image, width, height, depth, creationFlags);
}

Raster* RasterReadMasked(const char* fileName, const char* maskName)
{
    Image* image = ImageReadMasked(fileName, maskName);
    if (!image) {
        return nullptr;
    }
    return RasterFromImage(image, image->width, image->height, 0, 0);
}
