#include "fuzz/material_effects/effectsengine.h"

#include "graphics/animation/effects/effects.h"
#include "graphics/core/engine.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/core/texture.h"
#include "graphics/scene/scenelibrary.h"

namespace {

bool AddTexture(const char* name)
{
    Raster* raster = RasterCreate(4, 4, 32, kRasterTypeTexture | kRasterFormat8888);
    Texture* texture = raster ? TextureCreate(raster) : nullptr;
    return texture && TextureSetName(texture, name) &&
           TexDictionaryAddTexture(TexDictionaryGetCurrent(), texture);
}

} // namespace

bool EffectsEngineStart()
{
    static const bool started = [] {
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
        static int window;
        static EngineOpenParams params = {&window};
        bool ok = EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && EffectsPluginAttach() &&
                  EngineOpen(&params) && EngineStart();
        for (const char* name : kEffectsSeedTextures) {
            ok = ok && AddTexture(name);
        }
        return ok;
    }();
    return started;
}
