#include "framework/light.h"

#include <cstring>

#include "framework/framelookat.h"
#include "graphics/core/frame.h"
#include "graphics/core/object.h"
#include "graphics/scene/light.h"

CLight::CLight(const CLight& description) : CConfigSection()
{
    m_position = description.m_position;
    m_target = description.m_target;
    if (Create(description.m_kind, &m_position, &m_target))
        SetColour(description.m_colour);
}

CLight::~CLight()
{
    Destroy();
}

bool CLight::Create(int32_t kind, const V3d* position, const V3d* target)
{
    Destroy(); // a second Create replaces the first light
    m_kind = kind;
    if (kind == kAmbient) {
        m_light = LightCreate(kLightAmbient);
    } else if (kind == kDirectional) {
        m_light = LightCreate(kLightDirectional);
        m_frame = FrameCreate();
        if (m_light && m_frame) {
            m_position = *position;
            m_target = *target;
            FrameLookAt(m_frame, position, target);
            ObjectHasFrameSetFrame(&m_light->object, m_frame);
        }
    }
    return m_light != nullptr;
}

int32_t CLight::SetColour(const float colour[4])
{
    if (!m_light)
        return 0;
    std::memcpy(m_colour, colour, sizeof m_colour);
    // The engine's lights are always opaque; the stored fourth value is kept
    // for copies but never reaches the engine.
    const RGBAReal engineColour = {colour[0], colour[1], colour[2], 1.0f};
    LightSetColor(m_light, &engineColour);
    return 1;
}

int32_t CLight::Destroy()
{
    if (m_light) {
        LightDestroy(m_light);
        m_light = nullptr;
    }
    if (m_frame) {
        FrameDestroy(m_frame);
        m_frame = nullptr;
    }
    return 1;
}

bool CLight::ReadColour(const char** attributes)
{
    float colour[4] = {m_colour[0], m_colour[1], m_colour[2], m_colour[3]};
    if (!ReadFloatAttribute("r", AttributePair(attributes, 0), &colour[0]) ||
        !ReadFloatAttribute("g", AttributePair(attributes, 1), &colour[1]) ||
        !ReadFloatAttribute("b", AttributePair(attributes, 2), &colour[2]))
        return false;
    return SetColour(colour) != 0;
}

bool CLight::ReadPoint(const char** attributes, V3d* point)
{
    V3d read = *point;
    if (!ReadFloatAttribute("x", AttributePair(attributes, 0), &read.x) ||
        !ReadFloatAttribute("y", AttributePair(attributes, 1), &read.y) ||
        !ReadFloatAttribute("z", AttributePair(attributes, 2), &read.z))
        return false;
    *point = read;
    return true;
}

bool CLight::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Light") == 0) {
        const char** type = AttributePair(attributes, 0);
        if (!type || !type[0] || std::strcmp(type[0], "type") != 0 || !type[1])
            return false;
        if (m_light)
            return true; // one light per section
        if (std::strcmp(type[1], "Ambient") == 0) {
            m_readAmbient = true;
            m_kind = kAmbient;
            m_light = LightCreate(kLightAmbient);
        } else if (std::strcmp(type[1], "Directional") == 0) {
            m_readDirectional = true;
            m_kind = kDirectional;
            m_light = LightCreate(kLightDirectional);
            m_frame = FrameCreate();
        }
        return true;
    }
    if (!m_readAmbient && !m_readDirectional)
        return true;
    if (std::strcmp(element, "Color") == 0)
        return ReadColour(attributes);
    if (!m_readDirectional)
        return true;
    if (std::strcmp(element, "Position") == 0)
        return ReadPoint(attributes, &m_position);
    if (std::strcmp(element, "Target") == 0) {
        if (!ReadPoint(attributes, &m_target))
            return false;
        if (m_light && m_frame) {
            FrameLookAt(m_frame, &m_position, &m_target);
            ObjectHasFrameSetFrame(&m_light->object, m_frame);
        }
        return true;
    }
    return true;
}
