#pragma once
// CWardelApplication: the Wardels demo. The user steers the VIP
// ("BlueSoldier", AI entity "Player") while escorts ("RedSoldier", AI
// entities "Soldier0", "Soldier1", ... of the configuration "Guard") place
// themselves so that every way of access to the VIP is covered; F1 shows the
// covered area.
//
// Its keys, inside "Application" of "config.xml" (attributes by position):
//   <Player> <InitialPosition x y z/> </Player>     the VIP's start
//   <Bots number="n"> <InitialPosition x y z/> </Bots>   the escorts' start
//   <AiPathData value="data/wardels.ais"/>           the AI data (under 256 characters)
//   <AiMode value="InGame"/>                          required: without it the
//                                                     program ends with exit code -1
// Escort i starts at the bots position moved by 0.125 (i + 1)(i + 2) in x and
// 0.125 i (i + 1) in z. AI data without the entity configuration "Player"
// ends the program with exit code -2.
#include <cstdint>

#include "demo/wardelcharacter.h"
#include "framework/standardapplication.h"
#include "graphics/core/vector.h"

namespace Zelk {
class CConfigNode;
class CTeam;
class CWorld;
} // namespace Zelk

class CWardelApplication : public CStandardApplication
{
  public:
    static constexpr int32_t kTextSize = 256;
    /// Bytes of the AI world's heap.
    static constexpr uint32_t kAiHeapSize = 10000000;
    /// The escorts' and the VIP's heading at the start (degrees).
    static constexpr float kStartHeading = 100.0f;

    explicit CWardelApplication(const char* configFile);
    ~CWardelApplication() override;

    /// The demo's application, made with "config.xml" on first use.
    static CWardelApplication* GetApplication();
    /// Makes the characters (null: framework characters, the default).
    static void SetCharacterFactory(WardelCharacterFactory factory);

    bool OnXmlStartElement(const char* element, const char** attributes) override;
    bool OnXmlEndElement(const char* element) override;
    /// Starts the AI with the physics world's queries, loads the AI data and
    /// creates the escort team, the VIP and the escorts with their AI
    /// entities; false (the demo runs on without AI) when a step fails.
    bool OnInitialize() override;
    /// F1 toggles the covered area; then the AI frame, every escort and the VIP. 1.
    bool OnUpdate(float step) override;
    /// The AI's debug lines, the VIP's shots and the two help lines.
    void OnRender() override;
    /// Removes the escort team and every character; the AI world stays. 1.
    bool OnTerminate() override;
    const char* GetTitle() override { return m_title; }

    const V3d& GetPlayerPosition() const { return m_playerPosition; }
    /// The bots position; after initialisation, the last escort's start.
    const V3d& GetBotsPosition() const { return m_botsPosition; }
    int32_t GetEscortCount() const { return m_escortCount; }
    /// Escort `index`, null outside the escorts or without an escort array.
    CWardelCharacter* GetEscort(int32_t index) const;
    CWardelCharacter* GetVip() const { return m_vip; }
    Zelk::CTeam* GetEscortTeam() const { return m_escortTeam; }
    Zelk::CWorld* GetAiWorld() const { return m_aiWorld; }
    const char* GetAiPathData() const { return m_aiPathData; }
    bool IsInGame() const { return m_inGame != 0; }

  private:
    bool StartAi();
    bool LoadAiData();
    bool CreateVip();
    bool CreateEscorts();
    /// A new character placed with `profile` at `position`, registered; null on failure.
    CWardelCharacter* MakeCharacter(const char* profile, const V3d& position, bool player);
    void RemoveCharacter(CWardelCharacter*& character);

    char m_title[kTextSize];
    Zelk::CConfigNode* m_aiConfig = nullptr;
    Zelk::CWorld* m_aiWorld = nullptr;
    V3d m_playerPosition{0.0f, 0.0f, 0.0f};
    V3d m_botsPosition{0.0f, 0.0f, 0.0f};
    CWardelCharacter** m_escorts = nullptr;
    int32_t m_escortCount = 0;
    CWardelCharacter* m_vip = nullptr;
    Zelk::CTeam* m_escortTeam = nullptr;
    char m_aiPathData[kTextSize] = {};
    int32_t m_inGame = 0;
    bool m_insidePlayer = false;
    bool m_insideBots = false;
};
