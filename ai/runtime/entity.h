// Entities: the AI's stand-ins for the host's characters.
//
// A host entity class derives from CEntity, is registered in the entity-class
// registry, and copies its character's state (position, angles, direction,
// speed) into the entity in Update, which the world calls every frame. An
// entity may own a brain that thinks for it when the scheduler hands it out.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/fixed_list.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CBrain;
class CConfigNode;
class CEntityAttribute;
class CTeam;
class CWorld;

class CEntity : public CAiObject
{
  public:
    /// name is copied ("none" for null); hostObject becomes the user data.
    CEntity(const char* name, void* hostObject);
    /// Every team removes the entity; deletes its brain, team list and attributes.
    ~CEntity() override;
    CEntity(const CEntity&) = delete;
    CEntity& operator=(const CEntity&) = delete;

    /// Reads the entity's own configuration (base: true).
    virtual bool Init(CConfigNode* config);
    virtual const CClassRecord* GetClassRecord() const = 0;
    /// Called every frame by the world, before any brain thinks.
    virtual void Update() = 0;
    /// Starts the entity once (later calls do nothing): OnStart, which in the base starts the brain.
    void Start();

    const char* GetName() const { return m_name; }
    /// Identifier in its world (index of its node in the world's entity list); -1 in no world.
    int32_t GetId() const;
    CWorld* GetWorld() const { return m_world; }
    CBrain* GetBrain() const { return m_brain; }
    uint32_t GetClassMask() const { return m_classMask; }
    void* GetUserData() const { return m_userData; }
    void SetUserData(void* data) { m_userData = data; }
    /// The configuration while the entity is being created; null afterwards.
    CConfigNode* GetConfig() const { return m_config; }

    const CVec3& GetPosition() const { return m_position; }
    void SetPosition(const CVec3& p) { m_position = p; }
    /// (pitch, heading, 0) in degrees.
    const CVec3& GetAngles() const { return m_angles; }
    void SetAngles(const CVec3& a) { m_angles = a; }
    /// Facing (movement) direction.
    const CVec3& GetDirection() const { return m_direction; }
    void SetDirection(const CVec3& d) { m_direction = d; }
    /// World units per second; 0 when standing.
    float GetSpeed() const { return m_speed; }
    void SetSpeed(float s) { m_speed = s; }
    /// Host flags; bit 0 marks an entity in danger (read by the behaviours).
    uint32_t GetFlags() const { return m_flags; }
    void SetFlags(uint32_t flags) { m_flags = flags; }

    /// The attribute in record's slot; null when absent or outside the slot array.
    CEntityAttribute* GetAttribute(const CEntityAttributeRecord* record) const;
    template <class T> T* GetAttribute() const { return static_cast<T*>(GetAttribute(&T::s_classRecord)); }
    /// Creates the attribute of record's class in its slot (deleting one already there);
    /// null when the index is outside the array or the record has no creator.
    CEntityAttribute* CreateAttribute(const CEntityAttributeRecord* record);
    template <class T> T* CreateAttribute() { return static_cast<T*>(CreateAttribute(&T::s_classRecord)); }

    /// The teams the entity belongs to, in joining order.
    const CFixedList<CTeam>* GetTeams() const { return m_teams; }
    /// Maintain the entity's team list only (a team's members change through CTeam).
    void JoinTeam(CTeam* team);
    void LeaveTeam(CTeam* team);

    // Bookkeeping of the world and the runtime (not for hosts).
    CFixedList<CEntity>::Node* GetWorldNode() const { return m_worldNode; }
    void SetWorldLink(CWorld* world, CFixedList<CEntity>::Node* node)
    {
        m_world = world;
        m_worldNode = node;
    }
    CFixedList<CEntity>::Node* GetPoolNode() const { return m_poolNode; }
    void SetPoolNode(CFixedList<CEntity>::Node* node) { m_poolNode = node; }
    void SetBrain(CBrain* brain) { m_brain = brain; }
    void SetClassMask(uint32_t mask) { m_classMask = mask; }
    void SetConfig(CConfigNode* config) { m_config = config; }

  protected:
    /// What Start does the first time (base: the brain's Start when there is a brain).
    virtual void OnStart();

  private:
    char* m_name = nullptr;
    CFixedList<CEntity>::Node* m_poolNode = nullptr;
    CFixedList<CEntity>::Node* m_worldNode = nullptr;
    CBrain* m_brain = nullptr;
    uint32_t m_classMask = 0;
    void* m_userData;
    CConfigNode* m_config = nullptr;
    CWorld* m_world = nullptr;
    CFixedList<CTeam>* m_teams = nullptr;
    CVec3 m_position;
    CVec3 m_angles;
    CVec3 m_direction;
    float m_speed = 0.0f;
    uint32_t m_flags = 0;
    CEntityAttribute** m_attributes = nullptr;
    int32_t m_attributeCount = 0;
    bool m_started = false;
};

/// Copy of the world's entity definition of that name (key "Entity" under "Entities"), its
/// "Brain" resolved into full agent and service definitions; null when a definition is missing.
CConfigNode* CopyEntityConfig(const CWorld* world, const char* definitionName);
/// Creates an entity of the class named by config's "Class" (with its brain when "Brain" names
/// a known brain class; then "ActionClass" is required). name null: "_0", "_1", ... The entity
/// is in no world until added. Null on any failure (nothing is left behind).
CEntity* CreateEntityFromConfig(const char* name, CConfigNode* config, uint32_t classMask, void* hostObject);
/// Removes the entity from its world, unlinks it from the runtime's pool, deletes it; true.
bool DestroyEntity(CEntity* entity);

} // namespace Zelk
