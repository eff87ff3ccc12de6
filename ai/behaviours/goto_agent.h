// The go-to agent: walks its entity to a destination point that the host sets,
// through the brain's path finder, and reports arrival. Before any destination
// is set it walks to (0, 0, 0).
//
// Configuration: nothing but "Class" "CGotoAgent". Needs a path finder (IPathFinder).
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class IPathFinder;

class CGotoAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CGotoAgent(CBrain* brain) : CAgent(brain) {}

    /// Parameters (none is accepted), then false without a path finder.
    bool Init(CConfigNode* node) override;
    /// Refuses every key.
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Always true.
    bool CanRun() override { return true; }
    /// One move towards the destination; false without a path finder or when no way was found.
    bool Think() override;
    /// True when the path finder was found.
    bool HasPathFinder() const { return m_pathFinder != nullptr; }

    /// The new destination (world units); the arrived flag clears only when it differs
    /// from the current one in some coordinate.
    void SetDestination(const CVec3& point);
    const CVec3& GetDestination() const { return m_destination; }
    /// The path finder's remaining distance (world units); -1 when it has no path, or
    /// without a path finder.
    float GetPathStatus() const;
    bool HasArrived() const { return m_arrived != 0; }

  private:
    IPathFinder* m_pathFinder = nullptr;
    uint8_t m_arrived = 0;
    CVec3 m_destination;
};

} // namespace Zelk
