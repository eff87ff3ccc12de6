// The time manager: keeps the AI inside a share of each frame.
//
// What costs time inside a brain is split into named tasks; clients look a
// task's index up once by name and ask for admission before running it.
//  - A periodic task is due for an entity when its period has passed since the
//    entity last ran it (measured in frame-start times).
//  - An aperiodic task is admitted while the frame budget is not spent, the
//    task's own budget for the frame is not spent and it has not run its
//    maximum number of times this frame. A refused entity accumulates waiting
//    weight (the task's priority); at the next frame start entities are handed
//    out in decreasing order of priority factor x weight, after the entity whose
//    work was interrupted (SetCurrentEntity). Ties come in no particular order.
// A frame budget of 0 or below admits everything.
//
// One instance per process, created by the world from its configuration and
// destroyed with the world. All times are host clock values in seconds.
#pragma once

#include "ai/runtime/allocator.h"

#include <cstdint>

namespace Zelk {

class CConfigNode;
class CEntity;
class CTeam;

class CTimeManager : public CAiObject
{
  public:
    /// The instance; created on the first call with the capacities set by SetCapacities and
    /// the current world's entity and team limits. Null when out of memory.
    static CTimeManager* Get();
    /// The instance when it exists, else null (never creates it).
    static CTimeManager* Peek();
    /// Destroys the instance (the world does this when it is destroyed).
    static void Destroy();
    /// Capacities of the aperiodic and periodic task tables for the next instance.
    static void SetCapacities(int32_t aperiodic, int32_t periodic);

    ~CTimeManager() override;

    // ---- Set-up (while the world reads its configuration) ----
    /// Index of the new task, -1 when its table is full. Names are copied.
    int32_t AddAperiodicTask(const char* name);
    int32_t AddPeriodicTask(const char* name);
    /// Reads the "Aperiodic" and "Periodic" children of a "TimeMgt" node (null: nothing).
    void ReadTaskTable(const CConfigNode* timeMgt);
    void SetFrameBudget(float seconds) { m_frameBudget = seconds; }
    float GetFrameBudget() const { return m_frameBudget; }
    /// Ignored for an index outside the added tasks.
    void SetAperiodicPriority(int32_t task, float priority);
    void SetAperiodicBudget(int32_t task, float seconds);
    void SetAperiodicMaxCall(int32_t task, int32_t maxCall);
    void SetPeriodicPeriod(int32_t task, float seconds);

    // ---- Clients ----
    /// Index of the first task of that name (case-sensitive), -1 when none.
    int32_t FindAperiodicTask(const char* name) const;
    int32_t FindPeriodicTask(const char* name) const;
    int32_t GetAperiodicTaskCount() const { return m_aperiodicCount; }
    int32_t GetPeriodicTaskCount() const { return m_periodicCount; }
    /// True when entity may run the task now; then run it and call EndAperiodicTask.
    bool CanRunAperiodicTask(int32_t task, const CEntity* entity);
    /// Charges the time since the admission to the task.
    void EndAperiodicTask(int32_t task, const CEntity* entity);
    /// True (and marks it run) when the task's period has passed for the entity.
    bool IsPeriodicTaskDue(int32_t task, const CEntity* entity);
    void MarkPeriodicTaskRun(int32_t task, const CEntity* entity);
    /// Seconds the task may still use this frame (3.4028235e38 without a frame budget; 0 for
    /// an unknown task or when the frame or task budget is spent).
    float GetRemainingFrameTime(int32_t task) const;
    /// Records the entity whose work is interrupted: it is served first next frame.
    void SetCurrentEntity(const CEntity* entity);
    void SetEntityPriority(int32_t id, float factor);
    /// 0 for an identifier outside the world's range.
    float GetEntityPriority(int32_t id) const;
    /// Total waiting weight of an entity at the last frame start (0 outside the range).
    float GetEntityWaitingWeight(int32_t id) const;

    // Team variants: work done once for a whole team.
    bool CanRunTeamAperiodicTask(int32_t task, const CTeam* team);
    void EndTeamAperiodicTask(int32_t task, const CTeam* team);
    bool IsTeamPeriodicTaskDue(int32_t task, const CTeam* team);
    void MarkTeamPeriodicTaskRun(int32_t task, const CTeam* team);
    /// Work that belongs to no entity: no weights change.
    bool CanRunGlobalAperiodicTask(int32_t task);

    // ---- The world's frame ----
    /// Reads the clock, resets per-frame counters, sorts the entity order.
    void BeginFrame();
    /// The next identifier in this frame's order whose world node is in use; -1 at the end.
    int32_t NextEntity();
    void EndFrame() {}
    /// Clock value read at the last frame start.
    static float GetFrameStartTime();

  private:
    struct AperiodicTask
    {
        char* name;
        float budget;
        int32_t maxCall;
        float priority;
        float spent;
        int32_t calls;
    };
    struct PeriodicTask
    {
        char* name;
        float period;
    };
    struct EntityRecord
    {
        float* waiting; // per aperiodic task
        float totalWaiting;
        float priority;
        float* start;   // per aperiodic task
        float* lastRun; // per periodic task
    };
    struct TeamRecord
    {
        float* start;
        float* lastRun;
    };

    CTimeManager(int32_t aperiodicCapacity, int32_t periodicCapacity, uint32_t entityLimit,
                 uint32_t teamLimit);
    bool Allocate();
    bool ValidAperiodic(int32_t task) const { return task >= 0 && task < m_aperiodicCount; }
    bool ValidPeriodic(int32_t task) const { return task >= 0 && task < m_periodicCount; }
    int32_t EntityIndex(const CEntity* entity) const;
    int32_t TeamIndex(const CTeam* team) const;
    /// Steps shared by every aperiodic admission; now receives the clock when read.
    bool FrameExceeded(float* now);
    bool TaskHasRoom(int32_t task) const;
    bool IsEntityInUse(int32_t id) const;
    int Compare(int32_t a, int32_t b) const;

    int32_t m_aperiodicCapacity;
    int32_t m_periodicCapacity;
    uint32_t m_entityLimit;
    uint32_t m_teamLimit;
    int32_t m_aperiodicCount = 0;
    int32_t m_periodicCount = 0;
    float m_frameBudget = 0.01f;
    AperiodicTask* m_aperiodic = nullptr;
    PeriodicTask* m_periodic = nullptr;
    EntityRecord* m_entities = nullptr;
    TeamRecord* m_teams = nullptr;
    int32_t* m_order = nullptr;
    uint32_t m_cursor = 0;
    bool m_frameExceeded = false;
    int32_t m_currentEntity = -1; // interrupted this frame: sorted first at the next frame start
    float* m_arena = nullptr;     // every per-record float array
};

} // namespace Zelk
