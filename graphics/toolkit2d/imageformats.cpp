#include "graphics/toolkit2d/imageformats.h"

#include "graphics/core/image.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/png.h"

bool Toolkit2dImageFormatsRegister()
{
    // Readers only: files are written through BmpWrite and PngWrite by name.
    return ImageRegisterFileFormat("bmp", BmpRead, nullptr) &&
           ImageRegisterFileFormat("png", PngRead, nullptr);
}
