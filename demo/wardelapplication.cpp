#include "demo/wardelapplication.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "ai/behaviours/wardel_team.h"
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/runtime.h"
#include "demo/aiclock.h"
#include "demo/aidebuglines.h"
#include "demo/aihostcallbacks.h"
#include "demo/aiworldqueries.h"
#include "demo/characterbinding.h"
#include "demo/registrations.h"
#include "demo/wardelqueries.h"
#include "framework/cameramanager.h"
#include "framework/character.h"
#include "framework/font.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/physicsworld.h"
#include "graphics/core/stream.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "graphics/shared/skel/win/shellwin.h"

namespace {

constexpr const char* kTitle = "OLAI - Wardels";
constexpr int32_t kNotInGameExit = -1;
constexpr int32_t kNoPlayerExit = -2;
constexpr float kTextHeight = 0.03f;
constexpr uint8_t kSky[4] = {88, 88, 110, 255};
/// The overlay lines' left edge, unless they would pass the view's right
/// edge, and their least distance from either edge (2-D units).
constexpr float kTextX = 0.55f;
constexpr float kTextMargin = 0.02f;
/// How far the two lines move up while the framework's pointer hints show.
constexpr float kAboveHints = 0.11f;
constexpr int32_t kMaxEscorts = CCharacter::kMaxCharacters - 1;

WardelCharacterFactory gCharacterFactory = &CCharacterBinding::Create;

/// Fails the start-up: the demo cannot run without what it refuses, so the
/// message goes to the framework's error box, which stops the frames (and
/// ends an unattended run, failing).
bool Refuse(const char* message)
{
    char text[1024];
    std::snprintf(text, sizeof text, "Wardels: %s", message);
    CStandardApplication::ReportEngineError(text);
    return false;
}

bool IsElement(const char* element, const char* name)
{
    return std::strcmp(element, name) == 0;
}

/// The three coordinates "x", "y", "z" of the first three attributes.
bool ReadPosition(const char** attributes, V3d* position)
{
    return ReadFloatAttribute("x", AttributePair(attributes, 0), &position->x) &&
           ReadFloatAttribute("y", AttributePair(attributes, 1), &position->y) &&
           ReadFloatAttribute("z", AttributePair(attributes, 2), &position->z);
}

/// The first attribute's value when it is named "value", else null.
const char* FirstValue(const char** attributes)
{
    const char** pair = AttributePair(attributes, 0);
    return pair != nullptr && pair[0] != nullptr && std::strcmp(pair[0], "value") == 0 ? pair[1] : nullptr;
}

} // namespace

CWardelApplication::CWardelApplication(const char* configFile) : CStandardApplication(configFile)
{
    std::snprintf(m_title, sizeof m_title, "%s", kTitle);
}

CWardelApplication::~CWardelApplication()
{
    delete[] m_escorts;
}

CWardelApplication* CWardelApplication::GetApplication()
{
    static CWardelApplication application("config.xml");
    return &application;
}

void CWardelApplication::SetCharacterFactory(WardelCharacterFactory factory)
{
    gCharacterFactory = factory != nullptr ? factory : &CCharacterBinding::Create;
}

CWardelCharacter* CWardelApplication::GetEscort(int32_t index) const
{
    return m_escorts != nullptr && index >= 0 && index < m_escortCount ? m_escorts[index] : nullptr;
}

bool CWardelApplication::OnXmlStartElement(const char* element, const char** attributes)
{
    if (IsElement(element, "Player")) {
        m_insidePlayer = true;
        return true;
    }
    if (IsElement(element, "Bots")) {
        m_insideBots = true;
        int32_t count = m_escortCount;
        if (!ReadIntAttribute("number", AttributePair(attributes, 0), &count))
            return false;
        // Every escort is a character of the framework's table, beside the VIP.
        if (count < 0 || count > kMaxEscorts) {
            ConfigRefuseValue("number", AttributePair(attributes, 0)[1],
                              "is not a number of escorts from 0 to 255 (the framework's characters beside "
                              "the VIP)");
            return false;
        }
        m_escortCount = count;
        return true;
    }
    if (IsElement(element, "InitialPosition")) {
        if (m_insidePlayer)
            return ReadPosition(attributes, &m_playerPosition);
        if (m_insideBots)
            return ReadPosition(attributes, &m_botsPosition);
        return true;
    }
    if (IsElement(element, "AiPathData")) {
        const char* value = FirstValue(attributes);
        if (value == nullptr || std::strlen(value) >= sizeof m_aiPathData)
            return false;
        std::snprintf(m_aiPathData, sizeof m_aiPathData, "%s", value);
        return true;
    }
    if (IsElement(element, "AiMode")) {
        m_inGame = 1;
        const char* value = FirstValue(attributes);
        return value != nullptr && std::strcmp(value, "InGame") == 0;
    }
    return true;
}

bool CWardelApplication::OnXmlEndElement(const char* element)
{
    if (IsElement(element, "Player"))
        m_insidePlayer = false;
    else if (IsElement(element, "Bots"))
        m_insideBots = false;
    return true;
}

bool CWardelApplication::StartAi()
{
    if (!CheckDemoClassesRegistered() || !AiRegisterModules())
        return Refuse("the AI classes are not all registered");
    Zelk::AiHostInterface host;
    AiHostCallbacks(&host);
    host.rayCast = &PhysicsWorldRayCast;
    host.segmentTest = &PhysicsWorldSegmentClear;
    host.sweptTest = &PhysicsWorldCanGo;
    TimerCalibrate();
    if (Zelk::AiEngineInitialize(&host) != 1)
        return Refuse("the AI runtime does not start");
    Zelk::AiSetPositionHook(&CharacterPlaceHook);
    Zelk::AiSetSegmentHook(&CharacterTurnHook);
    Zelk::AiSetPointFilterHook(&KeepEveryPoint);

    World* worlds[kAiMaxCollisionWorlds] = {};
    int32_t count = 0;
    if (const CPhysicsWorld* physics = Framework().physicsWorld) {
        count = physics->GetWorldCount();
        for (int32_t i = 0; i < count && i < kAiMaxCollisionWorlds; ++i)
            worlds[i] = physics->GetWorld(i);
    }
    SetAiCollisionWorlds(worlds, count);
    return true;
}

bool CWardelApplication::LoadAiData()
{
    if (m_aiPathData[0] == '\0')
        return Refuse("the configuration names no AI data (\"AiPathData\")");
    char* path = ShellMakeNativePath(m_aiPathData);
    Stream* stream = path != nullptr ? StreamOpen(kStreamFileName, kStreamRead, path) : nullptr;
    ShellFreePath(path);
    char text[768];
    if (stream == nullptr) {
        std::snprintf(text, sizeof text, "the AI data %s cannot be opened", m_aiPathData);
        return Refuse(text);
    }
    m_aiConfig = Zelk::AiLoadConfigStream(stream);
    if (const char* damage = Zelk::AiGetAisReader()->GetLastError(); *damage != '\0') {
        StreamClose(stream, nullptr);
        std::snprintf(text, sizeof text, "the AI data %s is damaged: %s", m_aiPathData, damage);
        return Refuse(text);
    }
    m_aiWorld = Zelk::AiCreateWorld(m_aiConfig, kAiHeapSize);
    StreamClose(stream, nullptr);
    if (m_aiWorld == nullptr) {
        std::snprintf(text, sizeof text, "the AI data %s makes no AI world", m_aiPathData);
        return Refuse(text);
    }
    if (const char* leftOut = Zelk::AiGetWorldLeftOutService(m_aiWorld); *leftOut != '\0') {
        std::snprintf(text, sizeof text, "the AI data %s is refused: %s", m_aiPathData, leftOut);
        return Refuse(text);
    }
    if (DebugLinesInit(Zelk::AiGetWorldOneMeter(m_aiWorld)) != 1)
        ShellReportWarning("Can't initialise debug rendering system");
    return true;
}

CWardelCharacter* CWardelApplication::MakeCharacter(const char* profile, const V3d& position, bool player)
{
    CWardelCharacter* character = gCharacterFactory != nullptr ? gCharacterFactory() : nullptr;
    if (character == nullptr)
        return nullptr;
    character->ApplyProfile(profile, position);
    character->SetPosition(position);
    character->SetHeading(kStartHeading);
    character->SetMode(kModeRun);
    character->SetPlayerControlled(player);
    character->SetAnimate(true);
    if (!player)
        character->SetInWorld(true);
    character->Register();
    return character;
}

bool CWardelApplication::CreateVip()
{
    m_vip = MakeCharacter("BlueSoldier", m_playerPosition, true);
    if (m_vip == nullptr)
        return Refuse("no character can be made for the VIP");
    Zelk::CConfigNode* config = Zelk::AiCopyEntityConfig(m_aiWorld, "Player");
    if (config == nullptr) {
        FrameworkExitProcess(kNoPlayerExit);
        return Refuse("the AI data has no entity \"Player\"");
    }
    Zelk::CEntity* entity = Zelk::AiCreateEntityFromConfig("Player", config, Zelk::AiGetClassMask(),
                                                           static_cast<CAiCharacter*>(m_vip));
    Zelk::AiDeleteConfigNode(config);
    if (entity == nullptr || !Zelk::AiAddEntity(m_aiWorld, entity))
        return Refuse("the VIP's AI entity cannot be made");
    static_cast<Zelk::CWardelTeam*>(m_escortTeam)->SetVip(entity);
    return true;
}

bool CWardelApplication::CreateEscorts()
{
    Zelk::CConfigNode* guard = Zelk::AiCopyEntityConfig(m_aiWorld, "Guard");
    for (int32_t i = 0; i < m_escortCount; ++i) {
        // Each escort starts further out than the one before it.
        m_botsPosition.x += 0.25f * float(i + 1);
        m_botsPosition.z += 0.25f * float(i);
        m_escorts[i] = MakeCharacter("RedSoldier", m_botsPosition, false);
        if (m_escorts[i] == nullptr)
            continue;
        char name[32];
        std::snprintf(name, sizeof name, "Soldier%d", int(i));
        Zelk::CEntity* entity = Zelk::AiCreateEntityFromConfig(name, guard, Zelk::AiGetClassMask(),
                                                               static_cast<CAiCharacter*>(m_escorts[i]));
        if (Zelk::AiAddEntity(m_aiWorld, entity))
            Zelk::AiTeamAddMember(m_escortTeam, entity);
    }
    Zelk::AiDeleteConfigNode(guard);
    return true;
}

bool CWardelApplication::OnInitialize()
{
    SetHWND(ShellGetWindow());
    // The framework's slate sky, opaque: a kept frame (OLAI_SCREENSHOT) then
    // shows the sky the window shows, where alpha 0 reads as white.
    if (CCameraManager* cameras = Framework().cameraManager)
        cameras->SetBackgroundColour(kSky);
    if (!StartAi() || !LoadAiData())
        return false;
    if (m_escortCount > 0) {
        m_escorts = new (std::nothrow) CWardelCharacter*[size_t(m_escortCount)]();
        if (m_escorts == nullptr)
            return Refuse("no memory for the escorts");
    }
    Zelk::CConfigNode* teamConfig = Zelk::AiCopyTeamConfig(m_aiWorld, "WardelsTeam");
    if (teamConfig == nullptr)
        return Refuse("the AI data has no team \"WardelsTeam\"");
    m_escortTeam =
        Zelk::AiCreateTeam(teamConfig, uint32_t(m_escortCount > 0 ? m_escortCount : 0), "WardelsTeam");
    Zelk::AiDeleteConfigNode(teamConfig);
    if (m_escortTeam == nullptr || m_escortTeam->GetClassRecord() != &Zelk::CWardelTeam::s_classRecord) {
        char text[768];
        std::snprintf(text, sizeof text, "the AI data %s makes no escort team \"WardelsTeam\"", m_aiPathData);
        return Refuse(text);
    }
    if (m_inGame != 1) {
        FrameworkExitProcess(kNotInGameExit);
        return Refuse("the configuration has no \"AiMode\"");
    }
    if (!CreateVip() || !CreateEscorts())
        return false;
    Zelk::AiStartWorld(m_aiWorld);
    return true;
}

bool CWardelApplication::OnUpdate(float step)
{
    if (CInputManager::Instance()->TakeFunctionKey(1))
        Zelk::ShowCoverage = Zelk::ShowCoverage != 0 ? 0 : 1;
    DebugLinesReset();
    if (m_aiWorld != nullptr)
        Zelk::AiUpdateWorld(m_aiWorld);
    for (int32_t i = 0; m_escorts != nullptr && i < m_escortCount; ++i)
        if (m_escorts[i] != nullptr)
            m_escorts[i]->Update(step);
    if (m_vip != nullptr)
        m_vip->Update(step);
    return true;
}

void CWardelApplication::OnRender()
{
    DebugLinesFlush();
    if (m_vip != nullptr)
        m_vip->RenderShots();
    CFont* font = Framework().font;
    if (font == nullptr)
        return;
    const char* coverageText =
        Zelk::ShowCoverage != 0 ? "Press F1 to hide covered area" : "Press F1 to display covered area";
    const char* cameraText = "Use \"C\" key to switch fixed/free camera";
    // Both lines start at one x, moved left as far as the wider needs to end
    // inside the view.
    float x = kTextX;
    if (const float view = CFont::ViewWidth(); view > 0.0f) {
        const float widest =
            std::max(font->Width(coverageText, kTextHeight), font->Width(cameraText, kTextHeight));
        x = std::max(std::min(x, view - kTextMargin - widest), kTextMargin);
    }
    // Over a physical body or a switch the framework prints its pointer hints
    // across the same rows (0.15 to 0.24): the lines move up above them.
    const CPhysicsWorld* physics = Framework().physicsWorld;
    const float lift = physics != nullptr && physics->PrintedPointerHints() ? kAboveHints : 0.0f;
    const V2d coverage{x, 0.15f + lift}, camera{x, 0.18f + lift};
    font->Print(coverageText, &coverage, kTextHeight);
    font->Print(cameraText, &camera, kTextHeight);
}

void CWardelApplication::RemoveCharacter(CWardelCharacter*& character)
{
    if (character == nullptr)
        return;
    character->Unregister();
    character->Unload();
    delete character;
    character = nullptr;
}

bool CWardelApplication::OnTerminate()
{
    DebugLinesTerm();
    Zelk::AiDestroyTeam(m_escortTeam);
    m_escortTeam = nullptr;
    // The AI goes before the characters its entities stand for, and before
    // the engine whose memory it uses.
    if (m_aiWorld != nullptr)
        Zelk::AiDestroyWorld(m_aiWorld);
    m_aiWorld = nullptr;
    Zelk::AiDeleteConfigNode(m_aiConfig);
    m_aiConfig = nullptr;
    if (Zelk::AiIsInitialized())
        Zelk::AiEngineTerminate();
    ClearAiCollisionWorlds();
    for (int32_t i = 0; m_escorts != nullptr && i < m_escortCount; ++i)
        RemoveCharacter(m_escorts[i]);
    delete[] m_escorts;
    m_escorts = nullptr;
    RemoveCharacter(m_vip);
    return true;
}
