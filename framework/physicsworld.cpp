// The physics world's section, world loading, per-world cameras, drawing and teardown.
#include "framework/physicsworld.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/cameramanager.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/interactiveobject.h"
#include "framework/physicshelpers.h"
#include "framework/physicsscene.h"
#include "framework/sceneobject.h"
#include "framework/standardapplication.h"
#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/shared/skel/win/shellpath.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/context/contextparams.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/trilist.h"

namespace {

/// The slide coefficient of the dynamic collision triangles.
constexpr float kDynamicSlide = 10.0f;

/// The most bodies or joints a configuration may ask the context for: more
/// would only be a request to exhaust memory.
constexpr int32_t kMaxPhysicsCount = 4096;
/// The strongest gravity, per axis, in world units per second squared.
constexpr float kLargestGravity = 1000.0f;

uint32_t PhysicsCount(int32_t value)
{
    return uint32_t(std::clamp(value, 0, kMaxPhysicsCount));
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
    DestroyTables();
    DestroyRegisteredObjects();
    DestroyLights();
    for (int32_t index = 0; index < m_worldCount; ++index) {
        WorldDestroy(m_worlds[index]);
        m_worlds[index] = nullptr;
    }
    m_worldCount = 0;
    if (m_context) {
        // The worlds' triangle lists and whatever else is left in it.
        RemoveContextContents(m_context);
        OlpContextDestroy(m_context);
        m_context = nullptr;
    }
    if (Framework().physicsWorld == this) {
        Framework().physicsWorld = nullptr;
        ConnectCameraPick(false);
        s_sphereQueryMode = kSphereAll;
    }
}

bool CPhysicsWorld::OnStart(const char* element, const char** attributes)
{
    if (m_subReader)
        return m_subReader->OnStart(element, attributes);
    if (std::strcmp(element, "PhysicsGlobalSettings") == 0) {
        m_inGlobalSettings = true;
        return true;
    }
    // The dynamic collision geometry is read inside the settings and outside.
    if (OpenCollisionElement(element))
        return true;
    if (m_inGlobalSettings)
        return ReadGlobalSetting(element, attributes);
    if (std::strcmp(element, "World") == 0)
        return ReadWorld(attributes);
    return true;
}

bool CPhysicsWorld::ReadGlobalSetting(const char* element, const char** attributes)
{
    // Read into a copy: a value refused by CheckGlobalSetting is not kept.
    PhysicsWorldSettings s = m_settings;
    struct Element
    {
        const char* name;
        AttributeSlot slots[6];
        int32_t count;
    };
    const Element elements[] = {
        {"Bodies",
         {{"maxRegistered", "MaxRegistered", nullptr, &s.maxRegisteredBodies},
          {"maxActive", "MaxActive", nullptr, &s.maxActiveBodies}},
         2},
        {"Joints", {{"max", "Max", nullptr, &s.maxFreeJoints}}, 1},
        {"Stick",
         {{"inAir", "InAir", &s.stickInAir, nullptr}, {"onGround", "OnGround", &s.stickOnGround, nullptr}},
         2},
        {"BBox",
         {{"x1", "x1", &s.boxUpper.x, nullptr},
          {"y1", "y1", &s.boxUpper.y, nullptr},
          {"z1", "z1", &s.boxUpper.z, nullptr},
          {"x2", "x2", &s.boxLower.x, nullptr},
          {"y2", "y2", &s.boxLower.y, nullptr},
          {"z2", "z2", &s.boxLower.z, nullptr}},
         6},
        {"Gravity",
         {{"x", "x", &s.gravity.x, nullptr},
          {"y", "y", &s.gravity.y, nullptr},
          {"z", "z", &s.gravity.z, nullptr}},
         3},
        {"MobileBounce", {{"value", "value", &s.mobileBounce, nullptr}}, 1},
        {"MobileSlide", {{"value", "value", &s.mobileSlide, nullptr}}, 1},
        {"SolidSlide", {{"value", "value", &s.solidSlide, nullptr}}, 1},
    };
    for (const Element& e : elements) {
        if (std::strcmp(element, e.name) != 0)
            continue;
        if (!ReadAttributeSlots(attributes, e.name, e.slots, e.count)) {
            m_settings = s; // the values before the missing one stay
            return false;
        }
        if (!CheckGlobalSetting(s, e.slots, e.count, attributes))
            return false;
        m_settings = s;
        return true;
    }
    return true;
}

// Counts beyond what the context serves, and a gravity that throws every
// body out of the level in one frame, are refused with their attribute.
bool CPhysicsWorld::CheckGlobalSetting(const PhysicsWorldSettings& read, const AttributeSlot* slots,
                                       int32_t count, const char** attributes)
{
    for (int32_t place = 0; place < count; ++place) {
        const AttributeSlot& slot = slots[place];
        const char* value = AttributePair(attributes, place)[1];
        if (slot.integer && (*slot.integer < 0 || *slot.integer > kMaxPhysicsCount)) {
            ConfigRefuseValue(slot.name, value, "is not a count from 0 to 4096");
            return false;
        }
        const bool gravity =
            slot.real == &read.gravity.x || slot.real == &read.gravity.y || slot.real == &read.gravity.z;
        if (gravity && std::fabs(*slot.real) > kLargestGravity) {
            ConfigRefuseValue(slot.name, value,
                              "is not a gravity from -1000 to 1000 units per second squared");
            return false;
        }
    }
    return true;
}

bool CPhysicsWorld::ReadWorld(const char** attributes)
{
    // A "World" without attributes ends its list at once: no name to compare.
    const char** file = AttributePair(attributes, 0);
    if (!file || !file[0] || std::strcmp(file[0], "filename") != 0 || !file[1])
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
    Stream* worldStream = OpenChunk(path, kChunkWorld);
    if (worldStream) {
        world = WorldStreamRead(worldStream);
        StreamClose(worldStream, nullptr);
    }
    if (!world) {
        // A level that does not load leaves every frame empty: as much an
        // error as a file that is not there.
        char text[512];
        std::snprintf(text, sizeof text, "Can not load world in file %s\n it holds no whole world", fileName);
        CStandardApplication::ReportEngineError(text);
        ShellFreePath(path);
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
    if (!m_context && !CreateContext()) {
        ShellFreePath(path);
        return false; // the world stays, drawn but not simulated
    }
    // The world's triangles collide in place, through its collision trees.
    if (OlpVolume* volume = OlpTrilistCreate(world, kOlpTrilistWorld)) {
        OlpVolumeSetSlide(volume, m_settings.solidSlide);
        if (!OlpContextAddObject(m_context, volume, 0))
            OlpVolumeDestroy(volume);
    }
    if (m_mainCamera) {
        // A world loaded after the camera was set gets its camera too.
        m_worldCameras[slot] = CCameraManager::CreateWorldCamera(*m_mainCamera);
        if (m_worldCameras[slot])
            WorldAddCamera(world, m_worldCameras[slot]->GetCamera());
    }
    LoadWorldClumps(path);
    ShellFreePath(path);
    return true;
}

void CPhysicsWorld::LoadWorldClumps(const char* path)
{
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, path);
    if (!stream)
        return;
    while (StreamFindChunk(stream, kChunkClump, nullptr, nullptr)) {
        auto* object = new CSceneObject;
        // A damaged clump leaves the stream at no known chunk: the rest is
        // not read.
        if (!object->ReadClump(stream)) {
            delete object;
            break;
        }
        object->SetCollidable(true);
        RegisterObject(object);
    }
    StreamClose(stream, nullptr);
}

bool CPhysicsWorld::RegisterObject(CSceneObject* object)
{
    if (!object || m_worldCount == 0)
        return false;
    auto entry = std::find(m_registered.begin(), m_registered.end(), object);
    if (entry == m_registered.end()) {
        entry = std::find(m_registered.begin(), m_registered.end(), nullptr);
        if (entry != m_registered.end()) {
            *entry = object;
        } else {
            if (int32_t(m_registered.size()) == m_registeredCapacity) {
                m_registeredCapacity += kRegisteredGrowth;
                m_registered.reserve(size_t(m_registeredCapacity));
            }
            m_registered.push_back(object);
        }
        object->m_registered = false;
    }
    return RefreshObject(object);
}

bool CPhysicsWorld::RefreshObject(CSceneObject* object)
{
    if (!object || std::find(m_registered.begin(), m_registered.end(), object) == m_registered.end())
        return false;
    Clump* clump = object->GetClump();
    if (!clump)
        return true; // nothing to place until it has a clump
    World* first = m_worlds[0];
    if (!object->IsInWorld()) {
        if (object->m_registered)
            WorldRemoveClump(first, clump);
        object->m_registered = false;
        return true;
    }
    // Removed and added again, so that the world sees the clump where it now is.
    if (object->m_registered)
        WorldRemoveClump(first, clump);
    WorldAddClump(first, clump);
    object->m_registered = true;
    return true;
}

bool CPhysicsWorld::UnregisterObject(CSceneObject* object)
{
    if (!object)
        return false;
    if (object->m_registered && object->GetClump())
        WorldRemoveClump(m_worlds[0], object->GetClump());
    object->m_registered = false;
    const auto entry = std::find(m_registered.begin(), m_registered.end(), object);
    if (entry != m_registered.end())
        *entry = nullptr; // the used length stays
    return true;
}

CSceneObject* CPhysicsWorld::GetRegistered(int32_t index) const
{
    return index >= 0 && index < GetRegisteredCount() ? m_registered[size_t(index)] : nullptr;
}

void CPhysicsWorld::DestroyRegisteredObjects()
{
    for (CSceneObject* object : m_registered) {
        if (!object)
            continue;
        // The world's own now, with the body that moves it.
        OlpBody* body = object->GetPhysicsObject();
        UnregisterObject(object);
        object->Unload();
        delete object;
        if (body)
            OlpBodyDestroy(body);
    }
    m_registered.clear();
    m_registered.shrink_to_fit();
    m_registeredCapacity = 0;
}

bool CPhysicsWorld::CreateContext()
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, PhysicsCount(m_settings.maxRegisteredBodies),
                         PhysicsCount(m_settings.maxActiveBodies));
    OlpContextParamsSetFreeJoints(&params, PhysicsCount(m_settings.maxFreeJoints));
    const V3d& upper = m_settings.boxUpper;
    const V3d& lower = m_settings.boxLower;
    const float box[6] = {upper.x, upper.y, upper.z, lower.x, lower.y, lower.z};
    m_context = OlpContextCreate(&params, 1.0f, box);
    if (!m_context)
        return false;
    OlpBodyRegisterType(m_context);
    OlpPipeline* pipeline = OlpContextGetPipeline(m_context);
    const float gravity[3] = {m_settings.gravity.x, m_settings.gravity.y, m_settings.gravity.z};
    OlpPipelineSetGravity(pipeline, gravity);
    OlpPipelineSetMaxPosIterations(pipeline, kPhysicsPositionMoves);
    OlpPipelineSetMaxVelIterations(pipeline, kPhysicsVelocityMoves);
    return true;
}

void CPhysicsWorld::Step(float dt)
{
    // The dynamic triangles join the simulation once there is one.
    if (m_dynamicVolumePending && m_context) {
        m_dynamicVolumePending = false;
        m_dynamicVolume = OlpTrilistCreate(nullptr, kOlpTrilistUnbounded);
        if (m_dynamicVolume) {
            OlpTrilistSetCallback(m_dynamicVolume, CollectDynamicTriangles);
            OlpVolumeSetSlide(m_dynamicVolume, kDynamicSlide);
            if (!OlpContextAddObject(m_context, m_dynamicVolume, 0)) {
                OlpVolumeDestroy(m_dynamicVolume);
                m_dynamicVolume = nullptr;
            }
        }
    }
    for (int32_t kind : {kJumpHelpers, kSwitches}) {
        for (int32_t i = 0; i < m_interactiveCount[kind]; ++i)
            m_interactive[kind][i]->Update(dt);
    }
    if (CInputManager::Instance()->IsClicked())
        ToggleClickedSwitches();
    UpdateObjects(dt);
    if (!m_context)
        return;
    // Very short steps make the solver stiff: the simulation never steps below 0.01 s.
    const float step = std::max(dt, 0.01f);
    OlpPipeline* pipeline = OlpContextGetPipeline(m_context);
    OlpPipelineSetTimeStep(pipeline, step); // the continuous collision reads the step from here
    OlpPipelineStep(pipeline, step);
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

CCameraManager* CPhysicsWorld::GetWorldCamera(int32_t index) const
{
    return index >= 0 && index < m_worldCount ? m_worldCameras[index] : nullptr;
}

World* CPhysicsWorld::GetWorld(int32_t index) const
{
    return index >= 0 && index < m_worldCount ? m_worlds[index] : nullptr;
}

int32_t CPhysicsWorld::GetRenderMode(int32_t index) const
{
    return index >= 0 && index < m_worldCount ? m_renderModes[index] : 0;
}
