#include "framework/fpscounter.h"

#include <cstdio>

#include "framework/font.h"
#include "graphics/core/vector.h"

namespace {

CFpsCounter*& TheInstance()
{
    static CFpsCounter* instance = nullptr;
    return instance;
}

} // namespace

CFpsCounter* CFpsCounter::Instance()
{
    if (!TheInstance())
        TheInstance() = new CFpsCounter();
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

void CFpsCounter::Draw(CFont* font) const
{
    if (!font)
        return;
    char text[64];
    FormatText(text, sizeof text);
    const V2d position = {0.75f, 0.82f};
    font->Print(text, &position, 0.04f);
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
