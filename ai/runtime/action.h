// Actions and action sets.
//
// An action is one decided output of a brain for the current frame (a speed, a
// rotation, a shot ...). It has an is-set flag and its values; every setter
// raises the flag. An action set holds one slot per class of the action
// registry (indexed by the record's index). A concrete action set (an "action
// class", registered in the action-class registry) creates its actions in its
// constructor and applies the set ones to the host's character in Apply.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CEntity;

class CAction : public CAiObject
{
  public:
    ~CAction() override = default;
    /// Copies other's values and raises the flag when other is of the same class; otherwise
    /// nothing changes. other's flag is not consulted. Returns this.
    CAction* Assign(const CAction& other);
    virtual const CClassRecord* GetClassRecord() const = 0;

    bool IsSet() const { return m_isSet; }
    void SetIsSet(bool set) { m_isSet = set; }

  protected:
    /// Copies the value fields of other, which is of this class.
    virtual void CopyValues(const CAction& other) = 0;
    bool m_isSet = false;
};

/// An action with one float value (speed, acceleration, rotation, steering).
class CActionFloat : public CAction
{
  public:
    float GetValue() const { return m_value; }
    void SetValue(float value)
    {
        m_value = value;
        m_isSet = true;
    }

  protected:
    void CopyValues(const CAction& other) override
    {
        m_value = static_cast<const CActionFloat&>(other).m_value;
    }
    float m_value = 0.0f;
};

/// An action with two float values (torso and head rotations).
class CActionFloat2 : public CAction
{
  public:
    float GetValue() const { return m_value; }
    float GetValue2() const { return m_value2; }
    void SetValue(float value)
    {
        m_value = value;
        m_isSet = true;
    }
    void SetValue2(float value)
    {
        m_value2 = value;
        m_isSet = true;
    }

  protected:
    void CopyValues(const CAction& other) override
    {
        m_value = static_cast<const CActionFloat2&>(other).m_value;
        m_value2 = static_cast<const CActionFloat2&>(other).m_value2;
    }
    float m_value = 0.0f;
    float m_value2 = 0.0f;
};

/// An action with one flag (crouch, jump, activate).
class CActionFlag : public CAction
{
  public:
    bool GetValue() const { return m_value; }
    void SetValue(bool value)
    {
        m_value = value;
        m_isSet = true;
    }

  protected:
    void CopyValues(const CAction& other) override
    {
        m_value = static_cast<const CActionFlag&>(other).m_value;
    }
    bool m_value = false;
};

#define ZELK_DECLARE_ACTION(Name, Base)                                                                      \
    class Name : public Base                                                                                 \
    {                                                                                                        \
      public:                                                                                                \
        static CActionRecord s_classRecord;                                                                  \
        const CClassRecord* GetClassRecord() const override { return &s_classRecord; }                       \
    };

ZELK_DECLARE_ACTION(CActionSpeed, CActionFloat)
ZELK_DECLARE_ACTION(CActionAcceleration, CActionFloat)
ZELK_DECLARE_ACTION(CActionRotate, CActionFloat)
ZELK_DECLARE_ACTION(CActionSteering, CActionFloat)
ZELK_DECLARE_ACTION(CActionTorsoRotate, CActionFloat2)
ZELK_DECLARE_ACTION(CActionHeadRotate, CActionFloat2)
ZELK_DECLARE_ACTION(CActionCrouch, CActionFlag)
ZELK_DECLARE_ACTION(CActionJump, CActionFlag)
ZELK_DECLARE_ACTION(CActionActivate, CActionFlag)

#undef ZELK_DECLARE_ACTION

/// A shot: target point and fire flag.
class CActionShoot : public CAction
{
  public:
    static CActionRecord s_classRecord;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }

    const CVec3& GetTarget() const { return m_target; }
    bool GetFire() const { return m_fire; }
    /// Copies x, y, z of target and raises the flag.
    void SetTarget(const CVec3& target)
    {
        m_target.x = target.x;
        m_target.y = target.y;
        m_target.z = target.z;
        m_isSet = true;
    }
    void SetFire(bool fire)
    {
        m_fire = fire;
        m_isSet = true;
    }

  protected:
    void CopyValues(const CAction& other) override
    {
        m_target = static_cast<const CActionShoot&>(other).m_target;
        m_fire = static_cast<const CActionShoot&>(other).m_fire;
    }

  private:
    CVec3 m_target;
    bool m_fire = false;
};

/// The per-entity set of actions; concrete action classes derive from it.
class CActionSet : public CAiObject
{
  public:
    /// One empty slot per record of the action registry at this moment.
    CActionSet();
    /// Deletes every action.
    ~CActionSet() override;
    CActionSet(const CActionSet&) = delete;
    CActionSet& operator=(const CActionSet&) = delete;

    /// For every slot where other holds a set action and this set holds an action:
    /// Assign it (raising the flag). Other slots are left alone. Returns this.
    virtual CActionSet* Merge(const CActionSet& other);
    virtual const CClassRecord* GetClassRecord() const = 0;
    /// Applies the set actions to the entity's host object (called after a brain decided).
    virtual void Apply(CEntity* entity) = 0;

    /// Creates an action of record's class in its slot, deleting an action already there.
    /// Null (nothing changes) when the index is outside the slots or there is no creator.
    CAction* CreateAction(const CActionRecord* record);
    /// The action in record's slot; null when absent or the index is outside the slots.
    CAction* GetAction(const CActionRecord* record) const;
    template <class T> T* Get() const { return static_cast<T*>(GetAction(&T::s_classRecord)); }
    /// Clears the flag of every action; values stay.
    void Reset();
    int32_t GetSlotCount() const { return m_slotCount; }

  private:
    int32_t m_slotCount = 0;
    CAction** m_slots = nullptr;
};

} // namespace Zelk
