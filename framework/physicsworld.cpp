// The physics world's section, world loading, per-world cameras, drawing and teardown.
#include "framework/physicsworld.h"

#include <cstdio>
#include <cstring>

#include "framework/cameramanager.h"
#include "framework/framework.h"
#include "framework/standardapplication.h"
#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "graphics/toolkit2d/imagetexdict.h"

namespace {

/// One float or int attribute of a "PhysicsGlobalSettings" element: its
/// place, its name and the message shown when that place does not hold it.
struct SettingAttribute
{
    const char* name;
    const char* missing;
    float* real;
    int32_t* integer;
};

bool ReadSettingAttributes(const char** attributes, const SettingAttribute* table, int32_t count)
{
    // In place order; the first missing attribute stops the element.
    for (int32_t place = 0; place < count; ++place) {
        const SettingAttribute& entry = table[place];
        const char** pair = AttributePair(attributes, place);
        const bool found = entry.real ? ReadFloatAttribute(entry.name, pair, entry.real)
                                      : ReadIntAttribute(entry.name, pair, entry.integer);
        if (!found) {
            CStandardApplication::ReportEngineError(entry.missing);
            return false;
        }
    }
    return true;
}

/// A stream on `path` positioned after the header of its first chunk of
/// `type`; null (the stream closed) when there is none.
Stream* OpenChunk(const char* path, uint32_t type)
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path);
    if (!stream)
        return nullptr;
    if (StreamFindChunk(stream, type, nullptr, nullptr))
        return stream;
    StreamClose(stream, nullptr);
    return nullptr;
}

} // namespace

CPhysicsWorld::CPhysicsWorld()
{
    Framework().physicsWorld = this;
    ConnectCameraPick(true);
}

CPhysicsWorld::~CPhysicsWorld()
{
    if (m_mainCamera)
        RemoveCamera(m_mainCamera);
    for (int32_t index = 0; index < m_worldCount; ++index) {
        WorldDestroy(m_worlds[index]);
        m_worlds[index] = nullptr;
    }
    m_worldCount = 0;
    if (Framework().physicsWorld == this) {
        Framework().physicsWorld = nullptr;
        ConnectCameraPick(false);
    }
}

bool CPhysicsWorld::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "PhysicsGlobalSettings") == 0) {
        m_inGlobalSettings = true;
        return true;
    }
    if (m_inGlobalSettings)
        return ReadGlobalSetting(element, attributes);
    if (std::strcmp(element, "World") == 0)
        return ReadWorld(attributes);
    return true;
}

bool CPhysicsWorld::OnEnd(const char* element)
{
    if (std::strcmp(element, "PhysicsGlobalSettings") == 0)
        m_inGlobalSettings = false;
    return true;
}

bool CPhysicsWorld::ReadGlobalSetting(const char* element, const char** attributes)
{
    PhysicsWorldSettings& s = m_settings;
    if (std::strcmp(element, "Bodies") == 0) {
        const SettingAttribute table[] = {
            {"maxRegistered",
             "'MaxRegistered' attribute not found in 'Bodies' section.\nPlease update your XML file", nullptr,
             &s.maxRegisteredBodies},
            {"maxActive", "'MaxActive' attribute not found in 'Bodies' section.\nPlease update your XML file",
             nullptr, &s.maxActiveBodies},
        };
        return ReadSettingAttributes(attributes, table, 2);
    }
    if (std::strcmp(element, "Joints") == 0) {
        const SettingAttribute table[] = {
            {"max", "'Max' attribute not found in 'Joints' section.\nPlease update your XML file", nullptr,
             &s.maxFreeJoints},
        };
        return ReadSettingAttributes(attributes, table, 1);
    }
    if (std::strcmp(element, "Stick") == 0) {
        const SettingAttribute table[] = {
            {"inAir", "'InAir' attribute not found in 'Stick' section.\nPlease update your XML file",
             &s.stickInAir, nullptr},
            {"onGround", "'OnGround' attribute not found in 'Stick' section.\nPlease update your XML file",
             &s.stickOnGround, nullptr},
        };
        return ReadSettingAttributes(attributes, table, 2);
    }
    if (std::strcmp(element, "BBox") == 0) {
        const SettingAttribute table[] = {
            {"x1", "'x1' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxUpper.x,
             nullptr},
            {"y1", "'y1' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxUpper.y,
             nullptr},
            {"z1", "'z1' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxUpper.z,
             nullptr},
            {"x2", "'x2' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxLower.x,
             nullptr},
            {"y2", "'y2' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxLower.y,
             nullptr},
            {"z2", "'z2' attribute not found in 'BBox' section.\nPlease update your XML file", &s.boxLower.z,
             nullptr},
        };
        return ReadSettingAttributes(attributes, table, 6);
    }
    if (std::strcmp(element, "Gravity") == 0) {
        const SettingAttribute table[] = {
            {"x", "'x' attribute not found in 'Gravity' section.\nPlease update your XML file", &s.gravity.x,
             nullptr},
            {"y", "'y' attribute not found in 'Gravity' section.\nPlease update your XML file", &s.gravity.y,
             nullptr},
            {"z", "'z' attribute not found in 'Gravity' section.\nPlease update your XML file", &s.gravity.z,
             nullptr},
        };
        return ReadSettingAttributes(attributes, table, 3);
    }
    struct SingleValue
    {
        const char* element;
        const char* missing;
        float* value;
    };
    const SingleValue singles[] = {
        {"MobileBounce",
         "'value' attribute not found in 'MobileBounce' section.\nPlease update your XML file",
         &s.mobileBounce},
        {"MobileSlide", "'value' attribute not found in 'MobileSlide' section.\nPlease update your XML file",
         &s.mobileSlide},
        {"SolidSlide", "'value' attribute not found in 'SolidSlide' section.\nPlease update your XML file",
         &s.solidSlide},
    };
    for (const SingleValue& single : singles) {
        if (std::strcmp(element, single.element) == 0) {
            const SettingAttribute entry = {"value", single.missing, single.value, nullptr};
            return ReadSettingAttributes(attributes, &entry, 1);
        }
    }
    return true;
}

bool CPhysicsWorld::ReadWorld(const char** attributes)
{
    const char** file = AttributePair(attributes, 0);
    if (!file || std::strcmp(file[0], "filename") != 0 || !file[1])
        return false;
    int32_t flags = 0;
    if (!ReadIntAttribute("flags", AttributePair(attributes, 2), &flags)) {
        CStandardApplication::ReportEngineError(
            "'Flags' attribute not found in 'World' section.\nPlease update your XML file");
        return false;
    }
    return LoadWorld(file[1], flags);
}

bool CPhysicsWorld::LoadWorld(const char* fileName, int32_t renderMode)
{
    char* path = ShellMakeNativePath(fileName);
    if (!path)
        return false;
    ShellSetImagePathForFile(path);
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path);
    if (!stream || m_worldCount == kMaxWorlds) {
        if (stream)
            StreamClose(stream, nullptr);
        // A seventeenth world has no slot: it is reported like a missing file
        // rather than written past the table.
        char text[512];
        std::snprintf(text, sizeof text, "Can not load world in file %s\n please check your data", fileName);
        CStandardApplication::ReportEngineError(text);
        ShellFreePath(path);
        return false;
    }
    TexDictionary* previous = TexDictionaryGetCurrent();
    TexDictionary* dictionary = nullptr;
    if (StreamFindChunk(stream, kChunkImageTexDictionary, nullptr, nullptr)) {
        dictionary = ImageTexDictionaryRead(stream);
        if (dictionary)
            TexDictionarySetCurrent(dictionary);
    }
    StreamClose(stream, nullptr);

    World* world = nullptr;
    if (Stream* worldStream = OpenChunk(path, kChunkWorld)) {
        world = WorldStreamRead(worldStream);
        StreamClose(worldStream, nullptr);
    }
    ShellFreePath(path);
    if (!world) {
        // Nothing of the file stays: the dictionary would have no owner.
        if (dictionary) {
            TexDictionarySetCurrent(previous);
            TexDictionaryDestroy(dictionary);
        }
        return false;
    }
    // The dictionary stays current, so that models read later find the
    // level's textures, and gathers their textures too: it belongs to the
    // engine, which destroys every dictionary when it stops.
    const int32_t slot = m_worldCount;
    m_renderModes[slot] = renderMode;
    m_worlds[slot] = world;
    m_worldCount = slot + 1;
    if (m_mainCamera) {
        // A world loaded after the camera was set gets its camera too.
        m_worldCameras[slot] = CCameraManager::CreateWorldCamera(*m_mainCamera);
        if (m_worldCameras[slot])
            WorldAddCamera(world, m_worldCameras[slot]->GetCamera());
    }
    return true;
}

bool CPhysicsWorld::SetCamera(CCameraManager* main)
{
    if (m_mainCamera || !main)
        return false;
    m_mainCamera = main;
    for (int32_t index = 0; index < m_worldCount; ++index) {
        m_worldCameras[index] = CCameraManager::CreateWorldCamera(*main);
        if (m_worldCameras[index])
            WorldAddCamera(m_worlds[index], m_worldCameras[index]->GetCamera());
    }
    return true;
}

bool CPhysicsWorld::RemoveCamera(CCameraManager* main)
{
    if (!main || main != m_mainCamera)
        return false;
    for (int32_t index = 0; index < m_worldCount; ++index) {
        CCameraManager*& wrapper = m_worldCameras[index];
        if (!wrapper)
            continue;
        WorldRemoveCamera(m_worlds[index], wrapper->GetCamera());
        delete wrapper;
        wrapper = nullptr;
    }
    // The main camera stays recorded: a later SetCamera is refused.
    return true;
}

void CPhysicsWorld::RenderWorlds()
{
    if (!m_mainCamera || !m_mainCamera->GetCamera())
        return;
    for (int32_t index = 0; index < m_worldCount; ++index) {
        CCameraManager* wrapper = m_worldCameras[index];
        if (!wrapper || m_renderModes[index] == kRenderWireframe)
            continue;
        wrapper->CopyCameraSettings(m_mainCamera->GetCamera());
        if (!wrapper->BeginUpdate())
            continue;
        WorldRender(m_worlds[index]);
        wrapper->EndUpdate();
    }
}

World* CPhysicsWorld::GetWorld(int32_t index) const
{
    return index >= 0 && index < m_worldCount ? m_worlds[index] : nullptr;
}

int32_t CPhysicsWorld::GetRenderMode(int32_t index) const
{
    return index >= 0 && index < m_worldCount ? m_renderModes[index] : 0;
}
