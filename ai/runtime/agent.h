// Agents: the behaviours that a brain runs. Each is created by the name under
// "Class" of an "Agent" child of the brain's configuration, initialised from
// that child, and writes its decisions into its own action set, which has the
// class of the brain's; the brain merges what it takes.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"

namespace Zelk {

class CActionSet;
class CBrain;
class CConfigNode;

/// The base of behaviours.
class CAgent : public CAiObject
{
  public:
    /// Creates the agent's own action set of the brain's action class.
    explicit CAgent(CBrain* brain);
    ~CAgent() override;
    CAgent(const CAgent&) = delete;
    CAgent& operator=(const CAgent&) = delete;

    /// Passes every child except "Class" to ReadParameter; the first refusal fails.
    virtual bool Init(CConfigNode* node);
    /// One parameter (base: refuses).
    virtual bool ReadParameter(CConfigNode* node);
    /// Called once when the world starts (base: nothing).
    virtual void Start() {}
    virtual const CClassRecord* GetClassRecord() const = 0;
    /// True when the agent wants to act now.
    virtual bool CanRun() = 0;
    /// Decides into the agent's action set; true when it decided something.
    virtual bool Think() = 0;

    CBrain* GetBrain() const { return m_brain; }
    CActionSet* GetActionSet() const { return m_actions; }

  private:
    CActionSet* m_actions = nullptr;
    CBrain* m_brain;
};

} // namespace Zelk
