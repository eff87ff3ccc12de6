// physics-viewer: a physics context of its own over the demo's level, with
// crates and balls dropped on it and a crate swinging from a joint, drawn
// with their collision volumes, contacts and joints as lines.
//
// Run from the data root (the models come from "./Models/"). Space shows the
// menu (render mode, contacts, pause, single step, iteration counts and the
// solver's limits); "." pauses while held, "=" hides the sky, "w" the
// models; the left button drags the view round; Escape quits.
#include <cmath>
#include <vector>

#include "demo/modelloaders.h"
#include "demo/physicsdebuglines.h"
#include "demo/physicsviewer.h"
#include "framework/bodydefinitions.h"
#include "framework/light.h"
#include "framework/physicsscene.h"
#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/context/context.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/volume.h"
#include "tools/cli/tool_shell.h"
#include "tools/viewershell/viewershell.h"

namespace {

constexpr float kStep = 0.02f;          // seconds per frame
constexpr float kGridCellSize = 2.0f;   // smallest cell of the level's grid
constexpr float kOrbitDistance = 16.0f; // camera to target
constexpr float kDegreesPerRate = 0.5f; // view turn per unit of rate and frame
constexpr float kCrateHalf = 0.5f;
constexpr float kBallRadius = 0.5f;
constexpr float kModelScale = 0.002f; // the demo's models are 500 units a metre

struct TestObject
{
    Atomic* atomic = nullptr;
    Frame* frame = nullptr;
    OlpBody* body = nullptr;
};

struct Viewer
{
    Camera* camera = nullptr;
    Charset* charset = nullptr;
    World* world = nullptr;
    Atomic* sky = nullptr;
    OlpVolume* level = nullptr;  // the world as a grid of sector triangle lists
    OlpVolume* anchor = nullptr; // the fixed side of the swinging crate's joint
    OlpJoint* joint = nullptr;
    std::vector<TestObject> objects;
    CLight ambient, sun;
    CPhysicsDebugLines lines;
    V3d target{0.0f, 1.0f, 0.0f};
};

Viewer gViewer;

void SetRendered(Atomic* atomic, bool on)
{
    uint8_t& flags = atomic->object.object.flags;
    flags = on ? uint8_t(flags | kAtomicRender) : uint8_t(flags & ~kAtomicRender);
}

OlpContext* CreateViewerContext()
{
    OlpContext* context = PhysicsCreateDemoContext(1.0f);
    if (context == nullptr)
        return nullptr;
    const float gravity[3] = {0.0f, -10.0f, 0.0f};
    OlpPipelineSetGravity(OlpContextGetPipeline(context), gravity);
    return context;
}

// A model with a body of `def` at `position`, simulated and drawn.
TestObject* AddObject(const char* model, OlpBodyDef* def, const V3d& position)
{
    TestObject object;
    object.atomic = LoadAtomic(model, 0);
    if (object.atomic != nullptr) {
        // The clone's geometry is its own: the loaded clump is gone.
        Matrix scale{};
        const V3d factor{kModelScale, kModelScale, kModelScale};
        MatrixScale(&scale, &factor, kCombineReplace);
        GeometryTransform(object.atomic->geometry, &scale);
    }
    object.frame = FrameCreate();
    object.body = def != nullptr ? OlpBodyCreate(def) : nullptr;
    if (object.atomic == nullptr || object.frame == nullptr || object.body == nullptr) {
        if (object.atomic)
            AtomicDestroy(object.atomic);
        if (object.frame)
            FrameDestroy(object.frame);
        if (object.body)
            OlpBodyDestroy(object.body);
        return nullptr;
    }
    FrameTranslate(object.frame, &position, kCombineReplace);
    AtomicSetFrame(object.atomic, object.frame);
    WorldAddAtomic(gViewer.world, object.atomic);
    OlpBodyAttach(object.atomic, object.body);
    OlpMgrAddObject(OlpContextGetMgr(PhysicsView().context), &object.body->base, kOlpMgrAnyId,
                    kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
    gViewer.objects.push_back(object);
    return &gViewer.objects.back();
}

// A crate hanging from a point above it, free to swing.
void AddPendulum(OlpBodyDef* crate, const V3d& pivot)
{
    const V3d hanging{pivot.x + 1.5f, pivot.y - 1.5f, pivot.z};
    TestObject* object = AddObject("box", crate, hanging);
    gViewer.anchor = OlpNullCreate();
    OlpJointDef* def = OlpJointDefCreate();
    if (object == nullptr || gViewer.anchor == nullptr || def == nullptr) {
        if (def != nullptr)
            OlpJointDefRelease(def);
        return;
    }
    Matrix at{};
    at.right = {1, 0, 0};
    at.up = {0, 1, 0};
    at.at = {0, 0, 1};
    at.pos = pivot;
    OlpVolumeSetFrame(gViewer.anchor, &at);
    // Each end's frame is given in that end's own terms.
    const V3d onCrate{pivot.x - hanging.x, pivot.y - hanging.y, pivot.z - hanging.z};
    const V3d onAnchor{0.0f, 0.0f, 0.0f};
    OlpJointFrameSetPosition(&def->frames[0], &onCrate);
    OlpJointFrameSetPosition(&def->frames[1], &onAnchor);
    OlpJointEnd crateEnd, anchorEnd;
    OlpJointEndSet(&crateEnd, &object->body->base, 0);
    OlpJointEndSetVolume(&anchorEnd, gViewer.anchor);
    OlpMgr* mgr = OlpContextGetMgr(PhysicsView().context);
    gViewer.joint = OlpJointCreate(mgr, def, &anchorEnd, &crateEnd);
    OlpJointDefRelease(def);
    if (gViewer.joint != nullptr && OlpMgrAddJoint(mgr, gViewer.joint, kOlpMgrAnyId) == nullptr) {
        OlpJointRelease(gViewer.joint);
        gViewer.joint = nullptr;
    }
}

// The level's textures travel in its file, ahead of the world; the
// dictionary stays current (the engine destroys it when it stops).
void LoadLevelTextures()
{
    Stream* stream = OpenModelStream("wardels", ".bsp");
    if (stream == nullptr)
        return;
    if (StreamFindChunk(stream, kChunkImageTexDictionary, nullptr, nullptr)) {
        if (TexDictionary* dictionary = ImageTexDictionaryRead(stream))
            TexDictionarySetCurrent(dictionary);
    }
    StreamClose(stream, nullptr);
}

void LoadScene()
{
    LoadLevelTextures();
    gViewer.world = LoadBspWorld("wardels");
    if (gViewer.world == nullptr) {
        ShellDebugMessage(0, "physics-viewer: ./Models/wardels.bsp not found");
        return;
    }
    WorldAddCamera(gViewer.world, gViewer.camera);
    const V3d sunFrom{10.0f, 30.0f, -20.0f}, origin{0.0f, 0.0f, 0.0f};
    const float dim[4] = {0.4f, 0.4f, 0.4f, 1.0f}, bright[4] = {0.8f, 0.8f, 0.75f, 1.0f};
    for (CLight* light : {&gViewer.ambient, &gViewer.sun}) {
        const bool sun = light == &gViewer.sun;
        if (light->Create(sun ? CLight::kDirectional : CLight::kAmbient, &sunFrom, &origin)) {
            light->SetColour(sun ? bright : dim);
            WorldAddLight(gViewer.world, light->GetLight());
        }
    }
    gViewer.sky = LoadSkyDome(gViewer.world);
    OlpContext* context = PhysicsView().context;
    gViewer.level = CreateWorldGridVolume(gViewer.world, kGridCellSize);
    if (gViewer.level != nullptr && OlpContextAddObject(context, gViewer.level, 0) == nullptr) {
        OlpVolumeDestroy(gViewer.level);
        gViewer.level = nullptr;
    }
    gViewer.objects.reserve(8);
    OlpBodyDef* crate = CreateBoxBodyDefinition(kCrateHalf, kCrateHalf, kCrateHalf, 20.0f, 1.0f, 0.2f);
    OlpBodyDef* ball = CreateSphereBodyDefinition(kBallRadius, 30.0f, 1.0f, 0.5f);
    for (int i = 0; i < 3; ++i)
        AddObject("box", crate, {0.0f, 0.6f + 1.2f * float(i), 0.0f});
    AddObject("sphere", ball, {-2.0f, 4.0f, 0.3f});
    AddObject("sphere", ball, {2.0f, 6.0f, -0.3f});
    AddPendulum(crate, {-3.0f, 5.0f, 3.0f});
    for (OlpBodyDef* def : {crate, ball}) {
        if (def != nullptr)
            OlpBodyDefRelease(def);
    }
}

void UnloadScene()
{
    OlpContext* context = PhysicsView().context;
    if (gViewer.joint != nullptr)
        OlpJointRelease(gViewer.joint);
    for (TestObject& object : gViewer.objects) {
        OlpBodyDestroy(object.body); // leaves the manager too
        WorldRemoveAtomic(gViewer.world, object.atomic);
        AtomicDestroy(object.atomic);
        FrameDestroy(object.frame);
    }
    gViewer.objects.clear();
    if (gViewer.anchor != nullptr)
        OlpVolumeDestroy(gViewer.anchor);
    if (gViewer.level != nullptr) {
        OlpContextRemoveObject(context, gViewer.level);
        OlpVolumeDestroy(gViewer.level);
    }
    if (gViewer.sky != nullptr) {
        Frame* frame = AtomicGetFrame(gViewer.sky);
        WorldRemoveAtomic(gViewer.world, gViewer.sky);
        AtomicDestroy(gViewer.sky);
        FrameDestroy(frame);
    }
    if (gViewer.world != nullptr) {
        for (CLight* light : {&gViewer.ambient, &gViewer.sun}) {
            if (light->GetLight() != nullptr)
                WorldRemoveLight(gViewer.world, light->GetLight());
            light->Destroy();
        }
        WorldRemoveCamera(gViewer.world, gViewer.camera);
        WorldDestroy(gViewer.world);
    }
    gViewer.joint = nullptr;
    gViewer.anchor = gViewer.level = nullptr;
    gViewer.sky = nullptr;
    gViewer.world = nullptr;
}

// The view turns round the target and pans with it; mouse rates last one
// frame, the sticks' as long as they are held.
void MoveView()
{
    PhysicsViewState& view = PhysicsView();
    const float factor = view.speedFactor * kDegreesPerRate;
    ShellCameraPan(gViewer.camera, &gViewer.target, view.yawRate * factor);
    ShellCameraTilt(gViewer.camera, &gViewer.target, view.pitchRate * factor);
    const V3d pan{view.pan[0] + view.rightStick[0], view.pan[1] + view.rightStick[1], view.pan[2]};
    if (pan.x != 0.0f || pan.y != 0.0f || pan.z != 0.0f) {
        const Matrix* m = FrameGetLTM(CameraGetFrame(gViewer.camera));
        const V3d move{pan.x * view.speedFactor, pan.y * view.speedFactor, pan.z * view.speedFactor};
        ShellCameraMove(gViewer.camera, &move);
        gViewer.target.x += m->right.x * move.x + m->up.x * move.y + m->at.x * move.z;
        gViewer.target.y += m->right.y * move.x + m->up.y * move.y + m->at.y * move.z;
        gViewer.target.z += m->right.z * move.x + m->up.z * move.y + m->at.z * move.z;
    }
    view.yawRate = -2.0f * view.leftStick[0];
    view.pitchRate = 2.0f * view.leftStick[1];
    view.pan[0] = view.pan[1] = view.pan[2] = 0.0f;
}

void StepPhysics()
{
    PhysicsViewState& view = PhysicsView();
    if (view.context == nullptr || (view.pause && !view.singleStep))
        return;
    view.singleStep = 0;
    OlpPipelineStep(OlpContextGetPipeline(view.context), kStep);
}

void DrawLines()
{
    const PhysicsViewState& view = PhysicsView();
    CPhysicsDebugLines::Content content;
    content.contacts = view.drawContacts != 0;
    switch (view.renderMode) {
    case kPhysicsViewFaces:
        content.objects = content.statics = content.joints = false;
        break;
    case kPhysicsViewWorldEdges:
        content.objects = content.joints = false;
        break;
    case kPhysicsViewAtomEdges:
        content.statics = false;
        break;
    default:
        break;
    }
    gViewer.lines.AddContext(view.context, content);
    gViewer.lines.Draw();
}

// Before the frame: the step, the view, and what is shown.
void Update()
{
    StepPhysics();
    MoveView();
    const PhysicsViewState& view = PhysicsView();
    if (gViewer.sky != nullptr)
        SetRendered(gViewer.sky, view.displayFlags[0] != 0);
    for (TestObject& object : gViewer.objects)
        SetRendered(object.atomic, view.displayFlags[2] != 0);
}

void Draw(Camera*)
{
    const PhysicsViewState& view = PhysicsView();
    if (gViewer.world != nullptr && view.displayFlags[1])
        WorldRender(gViewer.world);
    DrawLines();
    PrintIterations(view.showIterations ? gViewer.charset : nullptr);
}

bool Start(Camera* camera)
{
    gViewer.camera = camera;
    Frame* frame = CameraGetFrame(camera);
    const V3d back{0.0f, 0.0f, -kOrbitDistance};
    FrameTranslate(frame, &back, kCombineReplace);
    FrameTranslate(frame, &gViewer.target, kCombinePostConcat);
    ShellCameraTilt(camera, &gViewer.target, 35.0f);

    PhysicsViewReset();
    PhysicsView().context = CreateViewerContext();
    if (PhysicsView().context == nullptr)
        return false;
    PhysicsViewReadLimits();
    const uint8_t white[4] = {255, 255, 255, 255}, clear[4] = {0, 0, 0, 0};
    gViewer.charset = CharsetCreate(white, clear);
    if (!PhysicsViewAddMenu())
        return false;
    LoadScene();
    ShellAttachInputDevice(ShellDevicePad, PhysicsViewPadHandler);
    return true;
}

void Stop()
{
    UnloadScene();
    if (gViewer.charset != nullptr)
        CharsetDestroy(gViewer.charset);
    gViewer.charset = nullptr;
    if (PhysicsView().context != nullptr)
        OlpContextDestroy(PhysicsView().context);
    PhysicsViewReset();
    gViewer.camera = nullptr;
}

bool AttachPlugins()
{
    D3D9SceneRendererInstall();
    return WorldLibraryAttach() && CollisionPluginAttach() && OlpBodyPluginAttach();
}

const ViewerProgram kProgram = {
    "physics-viewer", 500.0f, {40, 40, 60, 255},          AttachPlugins,           Start, Stop,
    Update,           Draw,   PhysicsViewKeyboardHandler, PhysicsViewMouseHandler,
};

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return ViewerHandleEvent(kProgram, event, param);
}

int main(int argc, char** argv)
{
    ToolCli::App app("Crates and balls dropped on the sample level, drawn with their volumes, contacts and "
                     "joints; run in the data root.",
                     "physics-viewer");
    return ToolCli::ShellMain(app, argc, argv);
}
