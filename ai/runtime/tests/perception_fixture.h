// A started runtime over the test host's box world with a sound manager and a
// brain that carries an entity manager, and helpers to place entities and run
// frames. The host's segment test is counted, so that throttling shows.
#pragma once

#include "world_fixture.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/sound_manager.h"

namespace Zelk {

// "@MAXCALL@" is replaced by the common-info task's admissions per frame.
inline const char* kPerceptionWorldText = R"(<World "Perception">
  <MaxEntity>8</MaxEntity>
  <MaxTeam>2</MaxTeam>
  <OneMeter>1</OneMeter>
  <Tpf>5</Tpf>
  <TimeMgt>
    <Aperiodic "Zelk::CEntityManager::ComputeCommonInfo"><Priority>1</Priority><Tpf>5</Tpf><MaxCall>@MAXCALL@</MaxCall></Aperiodic>
  </TimeMgt>
  <GlobalServices>
    <Service>Sounds</Service>
  </GlobalServices>
  <Services>
    <Service "Sounds"><Class>CSoundManager</Class></Service>
    <Service "Eyes"><Class>CEntityManager</Class><ComputeInfoDelay>0.1</ComputeInfoDelay><ComputeCommonInfoDelay>0.5</ComputeCommonInfoDelay></Service>
  </Services>
  <Brains>
    <Brain "Seer"><Class>CTestBrain</Class><Service>Eyes</Service></Brain>
  </Brains>
  <Entities>
    <Entity "Watcher"><Class>CTestEntity</Class><ActionClass>CTestActionClass</ActionClass><Brain>Seer</Brain></Entity>
    <Entity "Body"><Class>CTestEntity</Class></Entity>
  </Entities>
</World>
)";

class PerceptionFixture : public WorldFixture
{
  protected:
    void SetUp() override
    {
        AiHostInterface block;
        m_host.Fill(block, 200);
        s_segmentTest = block.segmentTest;
        s_segmentTests = 0;
        block.segmentTest = &CountingSegmentTest;
        ASSERT_EQ(AiEngineInitialize(&block), 1);
        AiSetWarningSink(
            [](const char* text, void* user) {
                static_cast<PerceptionFixture*>(user)->m_warnings.push_back(text);
            },
            this);
    }

    /// Creates the world with that many admissions of the common-info task per frame.
    CWorld* MakePerceptionWorld(int maxCall = 100)
    {
        std::string text = kPerceptionWorldText;
        text.replace(text.find("@MAXCALL@"), 9, std::to_string(maxCall));
        m_world = MakeWorld(text);
        return m_world;
    }

    /// An entity of that definition at position, added to the world.
    CEntity* Place(const char* definition, const char* name, const CVec3& position)
    {
        CEntity* entity = MakeEntity(m_world, definition, name);
        if (!entity) {
            ADD_FAILURE() << name;
            return nullptr;
        }
        entity->SetPosition(position);
        EXPECT_TRUE(m_world->AddEntity(entity));
        return entity;
    }

    static void SetSide(CEntity* entity, int32_t side)
    {
        entity->CreateAttribute<CEntityTeamSide>()->SetValue(side);
    }

    static CEntityManager* ManagerOf(CEntity* entity)
    {
        return static_cast<CEntityManager*>(entity->GetBrain()->FindService(&CEntityManager::s_classRecord));
    }

    CSoundManager* Sounds() const
    {
        return static_cast<CSoundManager*>(m_world->FindGlobalService(&CSoundManager::s_classRecord));
    }

    /// Advances the host clock and runs one AI frame.
    void Frame(float seconds = 0.2f)
    {
        m_host.Advance(seconds);
        AiUpdateWorld(m_world);
    }

    static int CountingSegmentTest(const float* from, const float* to, const void* ignore, int flags)
    {
        ++s_segmentTests;
        return s_segmentTest(from, to, ignore, flags);
    }

    static inline AiSegmentTestFn s_segmentTest = nullptr;
    static inline int s_segmentTests = 0;
    CWorld* m_world = nullptr;
};

} // namespace Zelk
