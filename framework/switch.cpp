#include "framework/switch.h"

#include <cstdio>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/standardapplication.h"

namespace {

const char* const kModelFiles[CSwitch::kModels] = {"models\\BoutonVert.dff", "models\\BoutonVertOn.dff",
                                                   "models\\BoutonRouge.dff", "models\\BoutonRougeOn.dff"};

// A text attribute at `place` into `out`, or the framework's message.
bool ReadText(const char** attributes, int32_t place, const char* key, char* out, size_t size)
{
    const char* value = ReadTextAttribute(key, AttributePair(attributes, place));
    if (!value) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "'%s' attribute not found in 'Switch' section.\nPlease update your XML file", key);
        CStandardApplication::ReportEngineError(text);
        return false;
    }
    std::snprintf(out, size, "%s", value);
    return true;
}

} // namespace

CSwitch::~CSwitch()
{
    Shutdown();
}

bool CSwitch::Load()
{
    for (int32_t i = 0; i < kModels; ++i) {
        m_models[i] = new CSceneObject;
        if (!m_models[i]->LoadClump(kModelFiles[i]))
            return false;
        // The models are made at 500 units a metre.
        m_models[i]->SetScale(1.0f);
        m_models[i]->SetPosition({0.0f, 0.0f, 0.0f});
    }
    return true;
}

bool CSwitch::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Switch") != 0)
        return true;
    if (!ReadText(attributes, 0, "name", m_name, sizeof m_name))
        return false;
    const AttributeSlot slots[] = {
        {"px", "px", &m_position.x, nullptr}, {"py", "py", &m_position.y, nullptr},
        {"pz", "pz", &m_position.z, nullptr}, {"nx", "nx", &m_normal.x, nullptr},
        {"ny", "ny", &m_normal.y, nullptr},   {"nz", "nz", &m_normal.z, nullptr},
    };
    // The numbers follow the name.
    if (!ReadAttributeSlots(AttributePair(attributes, 1), "Switch", slots, 6) ||
        !ReadText(attributes, 7, "stringOn", m_stringOn, sizeof m_stringOn) ||
        !ReadText(attributes, 8, "stringOff", m_stringOff, sizeof m_stringOff))
        return false;
    const V3d red{m_position.x, m_position.y - kRedDrop, m_position.z};
    CPhysicsWorld* worlds = Framework().physicsWorld;
    for (int32_t i = 0; i < kModels; ++i) {
        if (!m_models[i])
            continue;
        m_models[i]->SetPosition(i == kGreen || i == kGreenLit ? m_position : red);
        if (worlds)
            worlds->RegisterObject(m_models[i]);
    }
    m_state = 1;
    ShowState();
    return true;
}

void CSwitch::ShowState()
{
    const bool on = m_state != 0;
    const bool shown[kModels] = {!on, on, on, !on};
    for (int32_t i = 0; i < kModels; ++i) {
        if (m_models[i])
            m_models[i]->SetInWorld(shown[i]);
    }
}

void CSwitch::Update(float dt)
{
    m_timer += dt;
}

bool CSwitch::IsNear(const V3d& point) const
{
    const float dx = point.x - m_position.x, dy = point.y - m_position.y, dz = point.z - m_position.z;
    return dx * dx + dy * dy + dz * dz < kReach * kReach;
}

void CSwitch::Toggle()
{
    if (m_timer <= kToggleDelay)
        return;
    m_state = m_state ? 0 : 1;
    ShowState();
    m_timer = 0.0f;
}

void CSwitch::Shutdown()
{
    for (CSceneObject*& model : m_models) {
        if (!model)
            continue;
        model->Unload();
        delete model;
        model = nullptr;
    }
}
