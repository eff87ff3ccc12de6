// Reading "config.xml": expat delivers element starts and ends; the
// application object dispatches top-level elements and hands everything
// inside an open section to that section's receiver.
#include <expat.h>

#include <cstdio>
#include <cstring>

#include "framework/bumper.h"
#include "framework/cameramanager.h"
#include "framework/characterprofile.h"
#include "framework/door.h"
#include "framework/dynamicmodels.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/inputmanager.h"
#include "framework/jumphelper.h"
#include "framework/laserbeam.h"
#include "framework/lift.h"
#include "framework/light.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "framework/switch.h"
#include "framework/teleporter.h"
#include "graphics/core/resources.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/win32/debugout.h"

namespace {

constexpr size_t kBlockSize = 1024;
/// The largest resource arena a configuration may ask for (256 MiB).
constexpr uint32_t kMaxArenaSize = 256u << 20;
/// The smallest "Scale": below it a level of a kilometre is under a metre.
constexpr float kSmallestScale = 0.001f;

void XMLCALL StartHandler(void* user, const XML_Char* name, const XML_Char** attributes)
{
    static_cast<CStandardApplication*>(user)->StartElement(name, attributes);
}

void XMLCALL EndHandler(void* user, const XML_Char* name)
{
    static_cast<CStandardApplication*>(user)->EndElement(name);
}

} // namespace

// The top-level elements and their readers; any other name is passed over.
// "Worlds" makes the physics world, whose section also reads
// "PhysicsGlobalSettings", "CollisionTriangle" and "CollisionPlane"; the
// interactive objects, single elements, are added to that world, and
// "Physics" (dynamic models), "Light", "Camera" and "Character" need it too.
// "GraphicsGlobalSettings" reads the arena size; "Hud", "Input" and
// "Application" (the game's elements) open receivers of their own. "Audio"
// is swallowed with everything inside it.
const CStandardApplication::TopLevelElement CStandardApplication::kTopLevelElements[] = {
    {"GraphicsGlobalSettings", &CStandardApplication::OpenGraphicsSettings},
    {"Worlds", &CStandardApplication::OpenWorlds},
    {"Debug", &CStandardApplication::ReadDebug},
    {"Scale", &CStandardApplication::ReadScale},
    {"JumpHelper", &CStandardApplication::ReadFurniture<CJumpHelper, &CPhysicsWorld::AddJumpHelper>},
    {"Switch", &CStandardApplication::ReadFurniture<CSwitch, &CPhysicsWorld::AddSwitch>},
    {"LaserBeam", &CStandardApplication::ReadFurniture<CLaserBeam, &CPhysicsWorld::AddLaserBeam>},
    {"Teleporter", &CStandardApplication::ReadFurniture<CTeleporter, &CPhysicsWorld::AddTeleporter>},
    {"Lift", &CStandardApplication::ReadFurniture<CLift, &CPhysicsWorld::AddLift>},
    {"Bumper", &CStandardApplication::ReadFurniture<CBumper, &CPhysicsWorld::AddBumper>},
    {"Door", &CStandardApplication::ReadFurniture<CDoor, &CPhysicsWorld::AddDoor>},
    {"Hud", &CStandardApplication::OpenHud},
    {"Input", &CStandardApplication::OpenInput},
    {"Physics", &CStandardApplication::OpenDynamicModels},
    {"Light", &CStandardApplication::OpenLight},
    {"Camera", &CStandardApplication::OpenCamera},
    {"Character", &CStandardApplication::OpenCharacter},
    {"Audio", &CStandardApplication::OpenIgnoredSection},
    {"Application", &CStandardApplication::OpenApplication},
};

void CStandardApplication::LoadConfiguration()
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        return;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, StartHandler, EndHandler);
    std::FILE* file = std::fopen(m_configFile, "rb");
    if (!file) {
        ReportEngineError("Configuration file not found\n config.xml should be added in root directory");
        XML_ParserFree(parser);
        return;
    }
    m_depth = 0;
    ConfigSetReadingPlace(m_configFile, nullptr);
    char block[kBlockSize];
    for (;;) {
        const size_t read = std::fread(block, 1, sizeof block, file);
        const bool last = read < sizeof block;
        // A malformed file stops the reading; what was read stays in effect.
        if (XML_Parse(parser, block, int(read), last) == XML_STATUS_ERROR || last)
            break;
    }
    std::fclose(file);
    XML_ParserFree(parser);
    ConfigSetReadingPlace(nullptr, nullptr);
    // A file cut short leaves sections open: close them without their ends.
    delete m_lastLight;
    m_lastLight = nullptr;
    m_receiver = nullptr;
    m_sectionDepth = 0;
    m_graphicsSettingsDepth = 0;
    m_sectionIsApplication = false;
}

bool CStandardApplication::StartElement(const char* element, const char** attributes)
{
    ++m_depth;
    ConfigSetReadingPlace(m_configFile, element);
    if (m_graphicsSettingsDepth != 0) {
        if (std::strcmp(element, "RessourceArena") != 0)
            return true;
        int32_t size = int32_t(m_arenaSize);
        if (!ReadIntAttribute("size", AttributePair(attributes, 0), &size)) {
            ReportEngineError(
                "'size' attribute not found in 'RessourceArena' section.\nPlease update your XML file");
            return false;
        }
        // A size of 0 or below leaves the engine no cache (every resource
        // fails), one beyond kMaxArenaSize asks for most of the memory.
        if (size <= 0 || uint32_t(size) > kMaxArenaSize) {
            const char** pair = AttributePair(attributes, 0);
            ConfigRefuseValue("size", pair[1], "is not a size from 1 to 268435456 bytes");
            return false;
        }
        m_arenaSize = uint32_t(size);
        return true;
    }
    if (m_receiver) {
        m_receiver->OnStart(element, attributes);
        return true;
    }
    bool answer = true;
    for (const TopLevelElement& entry : kTopLevelElements) {
        if (std::strcmp(element, entry.name) == 0) {
            answer = (this->*entry.handle)(attributes);
            break;
        }
    }
    if (m_observer) {
        m_observer->OnDispatched(element, answer);
        if (m_receiver || m_graphicsSettingsDepth == m_depth)
            m_observer->OnSectionOpened(element);
    }
    if (m_receiver)
        m_receiver->OnStart(element, attributes);
    return answer;
}

bool CStandardApplication::EndElement(const char* element)
{
    if (m_depth == 0)
        return false; // the parser never ends more than it started
    const uint32_t depth = m_depth--;
    if (m_graphicsSettingsDepth == depth) {
        m_graphicsSettingsDepth = 0;
        if (m_observer)
            m_observer->OnSectionClosed(element);
        return true;
    }
    if (!m_receiver)
        return true;
    m_receiver->OnEnd(element);
    if (depth != m_sectionDepth)
        return true;
    // The end of the element that opened the section.
    if (m_sectionIsApplication) {
        // The game stays the receiver up to the end of the enclosing element,
        // so top-level elements after "Application" reach the game.
        m_sectionDepth = depth - 1;
        if (m_sectionDepth != 0)
            return true;
    }
    if (m_receiver == m_lastLight)
        CloseLight();
    m_receiver = nullptr;
    m_sectionDepth = 0;
    m_sectionIsApplication = false;
    if (m_observer)
        m_observer->OnSectionClosed(element);
    return true;
}

void CStandardApplication::OpenSection(CConfigSection* receiver)
{
    m_receiver = receiver;
    m_sectionDepth = m_depth;
    m_sectionIsApplication = receiver == &m_applicationSection;
}

bool CStandardApplication::OpenGraphicsSettings(const char**)
{
    m_graphicsSettingsDepth = m_depth;
    return true;
}

bool CStandardApplication::OpenWorlds(const char** attributes)
{
    if (m_charset) {
        // A second "Worlds" would make a second set of worlds and leak the first.
        ReportEngineError("Only one 'Worlds' section is allowed.\nPlease update your XML file");
        return OpenIgnoredSection(attributes);
    }
    ResourcesSetArenaSize(m_arenaSize);
    m_charset = CharsetCreate(m_charsetForeground, m_charsetBackground);
    if (!m_charset) {
        ShellReportError("Cannot create raster charset.");
        return false;
    }
    // The physics world reads the section's worlds and settings.
    CPhysicsWorld* worlds = new CPhysicsWorld();
    worlds->SetScale(m_scale);
    OpenSection(worlds);
    return true;
}

bool CStandardApplication::ReadDebug(const char** attributes)
{
    if (!ReadIntAttribute("level", AttributePair(attributes, 0), &Framework().debugLevel)) {
        ReportEngineError("'level' attribute not found in 'Debug' section.\nPlease update your XML file");
        return false;
    }
    return true;
}

bool CStandardApplication::ReadScale(const char** attributes)
{
    float scale = m_scale;
    if (!ReadFloatAttribute("value", AttributePair(attributes, 0), &scale))
        return false;
    // Every length of the level is multiplied by the scale: 0 or below
    // folds the level to a point or turns it inside out.
    if (!(scale >= kSmallestScale)) {
        ConfigRefuseValue("value", AttributePair(attributes, 0)[1], "is not a scale of 0.001 or more");
        return false;
    }
    m_scale = scale;
    return true;
}

bool CStandardApplication::OpenApplication(const char**)
{
    OpenSection(&m_applicationSection);
    return true;
}

bool CStandardApplication::OpenInput(const char**)
{
    OpenSection(CInputManager::Instance());
    return true;
}

bool CStandardApplication::OpenHud(const char** attributes)
{
    FrameworkGlobals& globals = Framework();
    if (globals.hud)
        return OpenIgnoredSection(attributes); // one start screen: a second would leak the first
    globals.hud = new CHud();
    globals.hud->LoadTextures();
    OpenSection(globals.hud);
    return true;
}

bool CStandardApplication::OpenCamera(const char** attributes)
{
    FrameworkGlobals& globals = Framework();
    if (!m_charset) { // no "Worlds" yet, so no physics world: nothing is made
        OpenIgnoredSection(attributes);
        return false;
    }
    if (globals.cameraManager) {
        // One main camera: a second section would leak the first.
        ReportEngineError("Only one 'Camera' section is allowed.\nPlease update your XML file");
        return OpenIgnoredSection(attributes);
    }
    globals.cameraManager = new CCameraManager(m_scale);
    const ShellSettings* settings = ShellGetSettings();
    globals.cameraManager->CreateCamera(settings->width, settings->height, true);
    OpenSection(globals.cameraManager);
    return true;
}

// A light, read by its own receiver and handed to the physics world at its
// end, which makes one light from it in every world.
bool CStandardApplication::OpenLight(const char** attributes)
{
    if (!Framework().physicsWorld) {
        OpenIgnoredSection(attributes);
        return false;
    }
    m_lastLight = new CLight();
    OpenSection(m_lastLight);
    return true;
}

void CStandardApplication::CloseLight()
{
    CPhysicsWorld* worlds = Framework().physicsWorld;
    // Refused (no world loaded, or a type that made no light): not kept.
    if (worlds && worlds->AddLight(m_lastLight))
        m_configuredLights.push_back(m_lastLight);
    else
        delete m_lastLight;
    m_lastLight = nullptr;
}

// A character profile, named by the first attribute, once "Worlds" has made
// the physics world.
bool CStandardApplication::OpenCharacter(const char** attributes)
{
    const char** pair = AttributePair(attributes, 0);
    if (!m_charset || !pair || !pair[0] || !pair[1] || std::strcmp(pair[0], "name") != 0)
        return OpenIgnoredSection(attributes);
    CCharacterProfile* profile = CCharacterProfile::Create(pair[1], m_scale);
    if (!profile) // the table is full: the section is passed over
        return OpenIgnoredSection(attributes);
    OpenSection(profile);
    return true;
}

// Made, loaded, read from the element's attributes, then kept by the physics
// world; one that does not load is dropped without a word (the failing load
// has said what it had to), one whose attributes are wrong stops the reading.
template <typename Kind, bool (CPhysicsWorld::*Add)(CInteractiveObject*)>
bool CStandardApplication::ReadFurniture(const char** attributes)
{
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (!worlds)
        return true; // no "Worlds" yet: nothing to place it in
    auto* object = new Kind;
    if (!object->Load()) {
        object->Shutdown();
        delete object;
        return true;
    }
    // The element's name is the one the table was looked up with.
    const char* element = nullptr;
    for (const TopLevelElement& entry : kTopLevelElements) {
        if (entry.handle == &CStandardApplication::ReadFurniture<Kind, Add>)
            element = entry.name;
    }
    if (!object->OnStart(element, attributes) || !(worlds->*Add)(object)) {
        object->Shutdown();
        delete object;
        return false;
    }
    return true;
}

bool CStandardApplication::OpenDynamicModels(const char** attributes)
{
    CDynamicModels* models = Framework().physicsWorld ? CDynamicModels::Instance() : nullptr;
    if (!models)
        return OpenIgnoredSection(attributes);
    OpenSection(models);
    return true;
}

bool CStandardApplication::OpenIgnoredSection(const char**)
{
    OpenSection(&m_ignoredSection);
    return true;
}

bool CStandardApplication::IgnoreElement(const char**)
{
    return true;
}

bool CStandardApplication::ApplicationSection::OnStart(const char* element, const char** attributes)
{
    return m_application->OnXmlStartElement(element, attributes);
}

bool CStandardApplication::ApplicationSection::OnEnd(const char* element)
{
    return m_application->OnXmlEndElement(element);
}
