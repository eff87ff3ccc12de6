// A started runtime with the test host, and worlds made from configuration text.
#pragma once

#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/warning.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace Zelk {

inline const char* kTestWorldText = R"(<World "Test">
  <MaxEntity>8</MaxEntity>
  <MaxTeam>2</MaxTeam>
  <OneMeter>2</OneMeter>
  <Tpf>5</Tpf>
  <TimeMgt>
    <Aperiodic "CTestGotoAgent::Plan"><Priority>1</Priority><Tpf>2</Tpf><MaxCall>2</MaxCall></Aperiodic>
    <Aperiodic "NoMaxCall"><Priority>1</Priority><Tpf>2</Tpf></Aperiodic>
    <Periodic "Look"><Period>100</Period></Periodic>
    <Periodic "Rare"><Period>1000</Period></Periodic>
  </TimeMgt>
  <GlobalServices>
    <Service>Counter</Service>
    <Service>Broken</Service>
    <Service>Missing</Service>
    <Service>Counter</Service>
  </GlobalServices>
  <Services>
    <Service "Counter"><Class>CTestGlobalService</Class><Param>1</Param></Service>
    <Service "Broken"><Class>CTestGlobalService</Class><Fail>1</Fail></Service>
    <Service "Count"><Class>CTestCounterService</Class><Param>x</Param></Service>
    <Service "BadCount"><Class>CTestCounterService</Class><Fail>1</Fail></Service>
  </Services>
  <Agents>
    <Agent "Goto"><Class>CTestGotoAgent</Class><TargetX>10</TargetX><Speed>1</Speed></Agent>
  </Agents>
  <Brains>
    <Brain "Walker"><Class>CTestBrain</Class><Agent>Goto</Agent><Service>Count</Service></Brain>
    <Brain "Lost"><Class>CTestBrain</Class><Agent>Nowhere</Agent></Brain>
    <Brain "Mixed"><Class>CTestBrain</Class><Service>BadCount</Service><Agent>Goto</Agent><Service>Count</Service></Brain>
  </Brains>
  <Entities>
    <Entity "Guard"><Class>CTestEntity</Class><ActionClass>CTestActionClass</ActionClass><Brain>Walker</Brain></Entity>
    <Entity "Post"><Class>CTestEntity</Class><StartX>1</StartX></Entity>
    <Entity "NoActions"><Class>CTestEntity</Class><Brain>Walker</Brain></Entity>
    <Entity "Mixed"><Class>CTestEntity</Class><ActionClass>CTestActionClass</ActionClass><Brain>Mixed</Brain></Entity>
    <Entity "LostBrain"><Class>CTestEntity</Class><ActionClass>CTestActionClass</ActionClass><Brain>Lost</Brain></Entity>
  </Entities>
  <Teams>
    <Team "Blue"><Class>CTeam</Class></Team>
  </Teams>
</World>
)";

class WorldFixture : public ::testing::Test
{
  protected:
    void SetUp() override { Start(200); }
    void TearDown() override
    {
        Stop();
        EXPECT_EQ(m_host.GetLiveBlocks(), 0);
    }

    void Start(uint32_t maxEntities)
    {
        AiHostInterface block;
        m_host.Fill(block, maxEntities);
        ASSERT_EQ(AiEngineInitialize(&block), 1);
        AiSetWarningSink([](const char* text,
                            void* user) { static_cast<WorldFixture*>(user)->m_warnings.push_back(text); },
                         this);
    }
    void Stop()
    {
        if (CWorld* world = GetCurrentWorld()) {
            DestroyWorld(world);
        }
        delete m_root;
        m_root = nullptr;
        AiEngineTerminate();
        AiSetWarningSink(nullptr, nullptr);
    }

    /// Parses text into a fresh root (kept until the runtime stops) and creates the world.
    CWorld* MakeWorld(const std::string& text)
    {
        delete m_root;
        m_root = new CConfigNode;
        CConfigError error;
        EXPECT_TRUE(ParseConfigText(text.c_str(), text.size(), m_root, &error))
            << error.line << ": " << error.message;
        return CreateWorldFromConfig(m_root, &m_source);
    }

    /// The test world text with one line replaced (or removed when with is empty).
    static std::string Edited(const char* line, const char* with)
    {
        std::string text = kTestWorldText;
        std::size_t at = text.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        text.replace(at, std::strlen(line), with);
        return text;
    }

    CEntity* MakeEntity(CWorld* world, const char* definition, const char* name)
    {
        CConfigNode* config = CopyEntityConfig(world, definition);
        if (!config) {
            return nullptr;
        }
        CEntity* entity = CreateEntityFromConfig(name, config, AiGetClassMask(), nullptr);
        delete config;
        return entity;
    }

    CTestHost m_host;
    CTextConfigSource m_source;
    CConfigNode* m_root = nullptr;
    std::vector<std::string> m_warnings;
};

} // namespace Zelk
