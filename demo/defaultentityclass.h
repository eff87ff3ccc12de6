#pragma once
// "CDefaultEntityClass": the AI entity of one demo character. Its host object
// is the character's CAiCharacter. At creation it gives the entity the
// attributes the escort behaviours read (maximum speed, width, height, gun,
// eye and head, visual acuteness, health) from the character and its profile;
// every frame Update copies the character's position, movement and state into
// the entity. An entity created without a character keeps no attributes and
// its Update does nothing.
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity.h"

class CAiCharacter;

namespace Zelk {

class CDefaultEntityClass : public CEntity
{
  public:
    static CEntityClassRecord s_classRecord;

    CDefaultEntityClass(const char* name, void* character);
    /// Creates the attributes from the character (nothing without one); false
    /// when an attribute cannot be made.
    bool Init(CConfigNode* config) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Reads the character back into the entity (see the file comment).
    void Update() override;

    /// The character bound at creation; null when none was given.
    CAiCharacter* GetCharacter() const { return m_character; }

  private:
    CAiCharacter* m_character;
    CEntityMaxSpeed* m_maxSpeed = nullptr;
    CEntityWidth* m_width = nullptr;
    CEntityHeight* m_height = nullptr;
    CEntityHeadDirection* m_headDirection = nullptr;
    CEntityGunPosition* m_gunPosition = nullptr;
    CEntityEyePosition* m_eyePosition = nullptr;
    CEntityVisualAcuteness* m_visualAcuteness = nullptr;
    CEntityHealth* m_health = nullptr;
};

} // namespace Zelk
