#include "framework/bumper.h"

#include <cstring>

#include "framework/attributeslots.h"
#include "framework/character.h"
#include "graphics/core/frame.h"

bool CBumper::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Bumper") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"p1x", "p1x", &m_p1.x, nullptr}, {"p1y", "p1y", &m_p1.y, nullptr}, {"p1z", "p1z", &m_p1.z, nullptr},
        {"p2x", "p2x", &m_p2.x, nullptr}, {"p2y", "p2y", &m_p2.y, nullptr}, {"p2z", "p2z", &m_p2.z, nullptr},
    };
    return ReadAttributeSlots(attributes, "Bumper", slots, 6);
}

bool CBumper::Reaches(const V3d& position) const
{
    const float dx = position.x - m_p1.x, dy = position.y - m_p1.y, dz = position.z - m_p1.z;
    return dx * dx + dy * dy + dz * dz < kReach * kReach;
}

void CBumper::Update(float)
{
    for (int32_t i = 0; i < CCharacter::Count(); ++i) {
        CCharacter* character = CCharacter::Get(i);
        Frame* frame = character ? character->GetFrame() : nullptr;
        if (!frame || !Reaches(FrameGetLTM(frame)->pos))
            continue;
        character->GetMotion().AddPush(Push());
        character->GetMotion().RequestJump();
    }
}
