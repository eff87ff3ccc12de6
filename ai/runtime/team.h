// Teams: groups of entities. The base class "CTeam" is registered and usable
// as it is; host teams derive from it and read their parameters in ReadParameter.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/fixed_list.h"
#include "ai/runtime/registries.h"

#include <cstdint>

namespace Zelk {

class CConfigNode;
class CEntity;

class CTeam : public CAiObject
{
  public:
    static CTeamClassRecord s_classRecord;

    /// A team of at most memberCapacity members; name is copied.
    CTeam(uint32_t memberCapacity, const char* name);
    /// Removes every member.
    ~CTeam() override;
    CTeam(const CTeam&) = delete;
    CTeam& operator=(const CTeam&) = delete;

    virtual const CClassRecord* GetClassRecord() const { return &s_classRecord; }
    /// False when the member list is full (or the entity is a member); else appends and joins.
    virtual bool AddMember(CEntity* entity);
    /// The entity leaves the team; nothing when it is not a member.
    virtual void RemoveMember(CEntity* entity);
    virtual void SetFlag(uint8_t flag) { m_flag = flag; }
    /// Passes every child except "Class" to ReadParameter; null node: true.
    virtual bool Init(CConfigNode* node);
    /// One parameter (base: refuses).
    virtual bool ReadParameter(CConfigNode* node);

    const char* GetName() const { return m_name; }
    uint8_t GetFlag() const { return m_flag; }
    const CFixedList<CEntity>& GetMembers() const { return m_members; }
    bool HasMember(const CEntity* entity) const;
    /// Identifier in the world's team list; -1 when in no world.
    int32_t GetId() const;

    // Bookkeeping of the world (not for hosts).
    CFixedList<CTeam>::Node* GetWorldNode() const { return m_worldNode; }
    void SetWorldNode(CFixedList<CTeam>::Node* node) { m_worldNode = node; }

  private:
    char* m_name;
    CFixedList<CEntity> m_members;
    CFixedList<CTeam>::Node* m_worldNode = nullptr;
    uint8_t m_flag = 0;
};

/// A copy of the world's team definition of that name (key "Team" under "Teams"), or null.
CConfigNode* CopyTeamConfig(const class CWorld* world, const char* teamName);
/// Creates a team of the class named by config's "Class" in the current world; null when
/// there is no world, no team list, the list is full, or the class or Init refuses.
CTeam* CreateTeam(CConfigNode* config, uint32_t memberCapacity, const char* name);
/// Every member leaves; the team leaves the current world's list and is deleted.
void DestroyTeam(CTeam* team);

} // namespace Zelk
