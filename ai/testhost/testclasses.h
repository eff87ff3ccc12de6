// AI classes for tests and headless runs, registered like any host's classes:
//  - "CTestEntity" (entity class): a point body; Update moves it along its
//    direction at its speed for one frame step. Configuration: "StartX",
//    "StartY", "StartZ", "StartHeading" (degrees).
//  - "CTestActionClass" (action class): holds every action of the runtime;
//    Apply turns the entity to the decided heading (CActionRotate) and sets its
//    speed (CActionSpeed).
//  - "CTestBrain" (brain): runs every agent that can run, in order, and merges
//    the decisions of those that decided; true when one did.
//  - "CTestGotoAgent" (agent): heads for ("TargetX", "TargetY", "TargetZ") at
//    "Speed" metres per second until within "ArriveDistance" metres; when the
//    time manager lists the aperiodic task "CTestGotoAgent::Plan" it plans only
//    when admitted.
//  - "CTestCounterService" (brain service) and "CTestGlobalService" (world
//    service) count their starts and updates and refuse their definition when
//    "Fail" is 1; the world service reads the raw data of a "RawData" child.
// Every thought and decision is reported to the trace sink, when one is set.
#pragma once

#include "ai/runtime/action.h"
#include "ai/runtime/agent.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/service.h"

#include <cstdint>

namespace Zelk {

/// Receives one line of trace (without a line end).
using TestTraceSink = void (*)(const char* line, void* user);
void SetTestTrace(TestTraceSink sink, void* user);
/// Seconds one frame moves a test entity (default 1/30).
void SetTestFrameStep(float seconds);
float GetTestFrameStep();

class CTestEntity : public CEntity
{
  public:
    static CEntityClassRecord s_classRecord;
    CTestEntity(const char* name, void* hostObject) : CEntity(name, hostObject) {}
    bool Init(CConfigNode* config) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Update() override;
    int GetUpdateCount() const { return m_updates; }

  private:
    int m_updates = 0;
};

class CTestActionClass : public CActionSet
{
  public:
    static CActionClassRecord s_classRecord;
    CTestActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Apply(CEntity* entity) override;
    int GetApplyCount() const { return m_applies; }

  private:
    int m_applies = 0;
};

class CTestBrain : public CBrain
{
  public:
    static CBrainClassRecord s_classRecord;
    CTestBrain(CEntity* entity, const CActionClassRecord* actionClass) : CBrain(entity, actionClass) {}
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    bool Think() override;
    int GetStartCount() const { return m_starts; }
    int GetThinkCount() const { return m_thinks; }

  protected:
    void OnStart() override;

  private:
    int m_starts = 0;
    int m_thinks = 0;
};

class CTestGotoAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;
    explicit CTestGotoAgent(CBrain* brain) : CAgent(brain) {}
    bool ReadParameter(CConfigNode* node) override;
    void Start() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    bool CanRun() override { return true; }
    bool Think() override;
    int GetStartCount() const { return m_starts; }

  private:
    CVec3 m_target;
    float m_speed = 1.0f;
    float m_arrive = 0.5f;
    int32_t m_planTask = -1;
    int m_starts = 0;
};

class CTestCounterService : public CService
{
  public:
    static CServiceClassRecord s_classRecord;
    explicit CTestCounterService(CBrain* brain) : CService(brain) {}
    /// Refuses its definition when it holds "Fail" 1.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    void Start() override { ++m_starts; }
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    int GetStartCount() const { return m_starts; }

  private:
    bool m_fail = false;
    int m_starts = 0;
};

class CTestGlobalService : public CGlobalService
{
  public:
    static CGlobalServiceClassRecord s_classRecord;
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    void Start() override { ++m_starts; }
    void Update() override { ++m_updates; }
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    int GetStartCount() const { return m_starts; }
    int GetUpdateCount() const { return m_updates; }
    /// Bytes of its raw data and their sum (0 and 0 without raw data).
    uint32_t GetRawSize() const { return m_rawSize; }
    uint32_t GetRawSum() const { return m_rawSum; }
    bool HasReadRaw() const { return m_rawRead; }

  private:
    bool m_fail = false;
    int m_starts = 0;
    int m_updates = 0;
    uint32_t m_rawSize = 0;
    uint32_t m_rawSum = 0;
    bool m_rawRead = false;
};

} // namespace Zelk
