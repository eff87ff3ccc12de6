// The follower agent: keeps its entity at a distance and an angle from a leader
// entity, walking there through the brain's path finder. Where a wall stands
// between the leader and the follow point the distance is shortened to the wall
// minus half the follower's width; that ray test runs as the time-manager task
// "CFollowerAgent::ComputeRealDistance", at most every 0.1 s, and only while the
// leader moved or a setting changed since the last test.
//
// Configuration: "DistFromEntity" (metres, default 1), "AngleFromEntity" (degrees
// from the leader's heading, default 180: behind it), "EntityToFollow" (entity
// name). The leader is looked up once, when the parameter is read: a leader
// added to the world later is never found, and the agent then never runs.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class CEntity;
class CEntityWidth;
class IPathFinder;

class CFollowerAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CFollowerAgent(CBrain* brain) : CAgent(brain) {}

    /// Defaults, parameters; false without a path finder or without the task.
    bool Init(CConfigNode* node) override;
    /// The three keys above; a key without value or any other key: false.
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// A leader is set and the distance is not negative.
    bool CanRun() override;
    /// One move towards the follow point; false without leader, path finder or way.
    bool Think() override;
    bool HasPathFinder() const { return m_pathFinder != nullptr; }
    bool HasTask() const { return m_task != -1; }
    /// Recomputes the follow point when the leader moved or a setting changed.
    void ComputeTarget();
    /// Shortens the distance along dir (unit, horizontal) at the first wall when the
    /// time manager admits the test; otherwise the previous distance stays.
    void ComputeRealDistance(const CVec3& dir);

    /// Distance in metres (x OneMeter).
    void SetDistFromEntity(float metres);
    /// Angle from the leader's heading, degrees.
    void SetAngleFromEntity(float degrees);
    /// Distance in metres.
    float GetDistFromEntity() const;
    /// The path finder's arrived flag (false without one).
    bool HasArrived() const;

    const CVec3& GetTarget() const { return m_target; }
    float GetRealDistance() const { return m_realDistance; }
    CEntity* GetLeader() const { return m_leader; }

  private:
    IPathFinder* m_pathFinder = nullptr;
    CEntityWidth* m_width = nullptr;
    CVec3 m_target;
    CVec3 m_lastLeaderPosition;
    int32_t m_task = -1;
    float m_nextTestTime = 0.0f;
    float m_realDistance = 0.0f;
    uint8_t m_valid = 0;
    CEntity* m_leader = nullptr;
    float m_distance = 0.0f;
    float m_angle = 180.0f;
};

} // namespace Zelk
