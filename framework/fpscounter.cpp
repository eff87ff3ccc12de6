#include "framework/fpscounter.h"

#include <cstdio>
#include <initializer_list>
#include <new>

#include "framework/font.h"
#include "framework/framework.h"
#include "framework/screenquad.h"
#include "graphics/core/camera.h"
#include "graphics/core/instance.h"
#include "graphics/core/raster.h"
#include "graphics/core/vector.h"
#include "graphics/d3d9/d3d9renderstate.h"

namespace {

constexpr float kPixelsPerSecond = 2000.0f;
constexpr uint32_t kGraphWhite = 0xFFFFFFFF;
constexpr uint32_t kGraphGrey = 0xFF808080;
constexpr uint32_t kShadeGouraud = 2;
constexpr uint32_t kFilterLinear = 2;

CFpsCounter*& TheInstance()
{
    static CFpsCounter* instance = nullptr;
    return instance;
}

} // namespace

CFpsCounter* CFpsCounter::Instance()
{
    if (!TheInstance())
        TheInstance() = new (std::nothrow) CFpsCounter(); // none when out of memory
    return TheInstance();
}

void CFpsCounter::Destroy()
{
    delete TheInstance();
    TheInstance() = nullptr;
}

void CFpsCounter::Update(float elapsed)
{
    if (m_count == kBlock) {
        // 200 frames that took no measurable time give no rate: keep the last one.
        if (m_accumulated > 0.0f) {
            m_framesPerSecond = float(kBlock) / m_accumulated;
            m_valid = true;
        }
        m_count = 0;
        m_accumulated = 0.0f;
    }
    m_accumulated += elapsed;
    ++m_count;
    m_history[m_write] = elapsed;
    if (m_fill < kHistory)
        ++m_fill;
    m_write = (m_write + 1) % kHistory;
}

void CFpsCounter::FormatText(char* text, int32_t size) const
{
    if (m_valid)
        std::snprintf(text, size_t(size), "FPS : %2.2f", double(m_framesPerSecond));
    else
        std::snprintf(text, size_t(size), "FPS : [wait]");
}

void CFpsCounter::Draw(CFont* font)
{
    if (font) {
        char text[64];
        FormatText(text, sizeof text);
        const V2d position = {0.75f, 0.82f};
        font->Print(text, &position, 0.04f);
    }
    const Camera* camera = EngineGetInstance()->currentCamera;
    if (Framework().debugLevel < 2 || !camera || !camera->frameBuffer)
        return;
    const int32_t count =
        BuildGraph(float(camera->frameBuffer->width), float(camera->frameBuffer->height), camera->nearPlane);
    const auto draw = EngineGetInstance()->device.im2DRenderPrimitive;
    if (count == 0 || !draw)
        return;
    ScreenSetState(kRenderStateShadeMode, kShadeGouraud);
    ScreenBeginOverlay();
    ScreenSetState(kRenderStateTextureFilter, kFilterLinear);
    ScreenSetRaster(nullptr);
    draw(kIm2DLineList, m_graph, count);
    ScreenSetDepth(true);
}

int32_t CFpsCounter::BuildGraph(float width, float height, float nearClip)
{
    if (m_fill == 0)
        return 0;
    const float z = ScreenNearZ();
    const float recipZ = ScreenRecipZ(1.0f / nearClip - 0.1f, 1.0f / nearClip);
    const float left = width - float(kHistory) - 4.0f;
    const float bottom = height - 4.0f;
    Im2DVertex* v = m_graph;
    for (int32_t i = 0; i < m_fill; ++i) {
        const float x = left + float(i);
        *v++ = {x, bottom, z, recipZ, kGraphWhite, 0.0f, 0.0f};
        *v++ = {x, bottom - GetHistory(i) * kPixelsPerSecond, z, recipZ, kGraphWhite, 0.0f, 0.0f};
    }
    // The heights of 1/30 s and 1/15 s.
    for (const float y : {height - 66.6f, height - 133.2f}) {
        *v++ = {width - float(kHistory), y, z, recipZ, kGraphGrey, 0.0f, 0.0f};
        *v++ = {width, y, z, recipZ, kGraphGrey, 0.0f, 0.0f};
    }
    return int32_t(v - m_graph);
}

float CFpsCounter::GetHistory(int32_t i) const
{
    if (m_fill < kHistory)
        return m_history[i];
    int32_t index = m_write - kHistory + i;
    if (index < 0)
        index += kHistory;
    return m_history[index];
}
