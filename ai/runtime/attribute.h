// Entity attributes: typed properties of an entity that the host writes and that
// services and behaviours read. An entity keeps one slot per record of the
// entity-attribute registry; it creates an attribute by its record and finds it
// again by its record (CEntity::GetAttribute<T>()).
//
// Creation values (k = the current world's OneMeter, 0 without a world): width
// 0.7 k, height 1.8 k, maximum speed 0.5 k, vision range 100 k and angle 60,
// team side -1; the others start at zero until the host sets them.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CEntity;

class CEntityAttribute : public CAiObject
{
  public:
    ~CEntityAttribute() override = default;
    /// Copies other's value when other is of the same class; returns this either way.
    CEntityAttribute* Assign(const CEntityAttribute& other);
    virtual const CClassRecord* GetClassRecord() const = 0;

  protected:
    virtual void CopyValue(const CEntityAttribute& other) = 0;
};

/// An attribute with one float (world units).
class CEntityFloatAttribute : public CEntityAttribute
{
  public:
    float GetValue() const { return m_value; }
    void SetValue(float value) { m_value = value; }

  protected:
    void CopyValue(const CEntityAttribute& other) override
    {
        m_value = static_cast<const CEntityFloatAttribute&>(other).m_value;
    }
    float m_value = 0.0f;
};

/// An attribute with one point or direction.
class CEntityVectorAttribute : public CEntityAttribute
{
  public:
    CVec3 GetVector() const { return CVec3(m_value.x, m_value.y, m_value.z); }
    void SetVector(const CVec3& v) { m_value = v; }

  protected:
    void CopyValue(const CEntityAttribute& other) override
    {
        m_value = static_cast<const CEntityVectorAttribute&>(other).m_value;
    }
    CVec3 m_value;
};

#define ZELK_DECLARE_ATTRIBUTE(Name, Base)                                                                   \
    class Name : public Base                                                                                 \
    {                                                                                                        \
      public:                                                                                                \
        static CEntityAttributeRecord s_classRecord;                                                         \
        const CClassRecord* GetClassRecord() const override { return &s_classRecord; }                       \
    };

ZELK_DECLARE_ATTRIBUTE(CEntityWidth, CEntityFloatAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityHeight, CEntityFloatAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityMaxSpeed, CEntityFloatAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityEyePosition, CEntityVectorAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityHeadDirection, CEntityVectorAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityGunPosition, CEntityVectorAttribute)
ZELK_DECLARE_ATTRIBUTE(CEntityKneePosition, CEntityVectorAttribute)

#undef ZELK_DECLARE_ATTRIBUTE

/// Hearing range (world units); assigning a negative range stores 0.
class CEntityHearingAcuteness : public CEntityFloatAttribute
{
  public:
    static CEntityAttributeRecord s_classRecord;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }

  protected:
    void CopyValue(const CEntityAttribute& other) override;
};

/// Vision range (world units) and half-angle (degrees, clamped to [0, 360]).
class CEntityVisualAcuteness : public CEntityAttribute
{
  public:
    static CEntityAttributeRecord s_classRecord;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }

    float GetRange() const { return m_range; }
    void SetRange(float range) { m_range = range; }
    float GetAngle() const { return m_angle; }
    /// Stores the angle clamped to [0, 360].
    void SetAngle(float degrees);

  protected:
    /// Range copied (negative stored as 0), angle through SetAngle.
    void CopyValue(const CEntityAttribute& other) override;

  private:
    float m_range = 0.0f;
    float m_angle = 60.0f;
};

/// Team side; -1 is no side.
class CEntityTeamSide : public CEntityAttribute
{
  public:
    static CEntityAttributeRecord s_classRecord;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    int32_t GetValue() const { return m_side; }
    void SetValue(int32_t side) { m_side = side; }

  protected:
    void CopyValue(const CEntityAttribute& other) override
    {
        m_side = static_cast<const CEntityTeamSide&>(other).m_side;
    }

  private:
    int32_t m_side = -1;
};

/// Health and initial health.
class CEntityHealth : public CEntityAttribute
{
  public:
    static CEntityAttributeRecord s_classRecord;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    int32_t GetValue() const { return m_health; }
    void SetValue(int32_t health) { m_health = health; }
    int32_t GetInitialValue() const { return m_initial; }
    void SetInitialValue(int32_t health) { m_initial = health; }

  protected:
    void CopyValue(const CEntityAttribute& other) override
    {
        m_health = static_cast<const CEntityHealth&>(other).m_health;
        m_initial = static_cast<const CEntityHealth&>(other).m_initial;
    }

  private:
    int32_t m_health = 0;
    int32_t m_initial = 0;
};

/// True when the records of the attribute classes (CEntityHealth excepted) and of the action
/// classes all hold a registry index: the static registrations ran.
bool CheckEntityAttributeClasses();

/// True when point lies in the entity's field of view: apex its eye position (else its
/// position), axis its head direction (else its facing direction), half-angle its visual
/// acuteness angle (180 without one), unlimited range. False for a null entity.
bool IsPointInFieldOfView(const CVec3& point, const CEntity* entity);

} // namespace Zelk
