#include "framework/screenquad.h"

#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/toolkit2d/renderstatesave.h"

namespace {

// Engine blend factors (the device's D3DBLEND values).
constexpr uint32_t kBlendSourceAlpha = 5;
constexpr uint32_t kBlendInverseSourceAlpha = 6;

} // namespace

void ScreenQuadSet(Im2DVertex v[4], float x, float y, float w, float h, float z, float recipZ,
                   uint32_t colour)
{
    v[0] = {x, y, z, recipZ, colour, 0.0f, 0.0f};
    v[1] = {x + w, y + h, z, recipZ, colour, 1.0f, 1.0f};
    v[2] = {x, y + h, z, recipZ, colour, 0.0f, 1.0f};
    v[3] = {x + w, y, z, recipZ, colour, 1.0f, 0.0f};
}

int32_t ScreenQuadDraw(Im2DVertex v[4])
{
    const auto draw = EngineGetInstance()->device.im2DRenderIndexedPrimitive;
    if (!draw)
        return 0;
    uint16_t indices[6];
    for (int i = 0; i < 6; ++i)
        indices[i] = kScreenQuadIndices[i];
    return draw(kIm2DTriList, v, 4, indices, 6);
}

uint32_t ScreenColourPack(const uint8_t rgba[4])
{
    return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]);
}

float ScreenRecipZ(float value, float fallback)
{
    return value > 0.0f ? value : fallback;
}

float ScreenNearZ()
{
    return EngineGetInstance()->device.zBufferNear;
}

void ScreenSetState(int32_t state, uint32_t value)
{
    if (EngineGetInstance()->device.renderStateSet)
        RenderStateSetValue(state, value);
}

void ScreenSetRaster(void* raster)
{
    if (EngineGetInstance()->device.renderStateSet)
        RenderStateSetRaster(raster);
}

void ScreenSetDepth(bool on)
{
    ScreenSetState(kRenderStateZTestEnable, on ? 1 : 0);
    ScreenSetState(kRenderStateZWriteEnable, on ? 1 : 0);
}

void ScreenBeginOverlay()
{
    ScreenSetDepth(false);
    ScreenSetState(kRenderStateSrcBlend, kBlendSourceAlpha);
    ScreenSetState(kRenderStateDestBlend, kBlendInverseSourceAlpha);
}
