// wardels-probe: the demo program with a look inside, for the scripted-run
// tests. It runs exactly as "wardels" does (same application, data root,
// OLAI_* variables) and writes what the application holds to the file named
// by OLAI_PROBE_REPORT:
//
//   frame <n> vip <x> <z> escorts <d0> <d1> ...
//       after each frame: the VIP's character position and each escort
//       character's horizontal distance to it (world units)
//   escort <i> at <x> <z> target <x> <z> goal <g> slot <s> holding <0|1> watches <c...>
//       at the end, before the application terminates: each escort's
//       character position, the guard point its agent walks to, its path
//       finder's goal distance, its slot in the escort team (-1: none) and
//       the access-way clusters it watches
//   cluster <c> slot <s>
//       each cluster of the VIP's access-ways node and the slot covering it
//   hash <h>
//       a hash of the final state (positions and headings bit by bit, slots)
//   node <x> <z>
//       after the first frame: each node of the graph the escorts' path
//       finders walk
//   at <n> <x> <z> <x> <z> ...
//       after each frame: every character's position, the VIP first
//   shots <n> bullets <b> bursts <g> <r> camera <mode> flash <0|1>
//       after each frame: the VIP's bullets in flight, the grey and red
//       impact bursts under way (each burst lasts 2 s; the first weapon made
//       starts all sixteen at the origin), the camera mode (1 Free,
//       2 Follow, 3 FPS, 4 Path, 5 Fixed) and whether the VIP's muzzle fire
//       model is shown (it flickers: placed on the hand, or hidden far below)
//   bodies <n> <name> <x> <y> <z> <asleep> ...
//       after each frame: every dynamic model of the level (config.xml's
//       "Physics" instances) by its kind's name, its body's position and
//       whether the body sleeps (1) or is awake (0)
//   doors <n> <turn> <turn> ...
//       after each frame: each door's leaves' turns about their hinges from
//       closed (radians, signed)
//   lifts <n> <y> <state> ...
//       after each frame: each lift platform's height and state (0 waiting at
//       the bottom, 1 at the top, 2 down, 3 up)
//   grab <n> <0|1>
//       after each frame: whether a left CTRL drag holds a body
//
// With OLAI_PROBE_FRAMES=<folder> every 30th presented frame is also kept
// there as frame-<n>.png (n = 30, 60, ...), opaque as the window shows it,
// and so is each frame OLAI_PROBE_KEEP lists (numbers separated by commas).
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/entity.h"
#include "ai/testhost/state_hash.h"
#include "demo/characterbinding.h"
#include "demo/wardelapplication.h"
#include "framework/bullet.h"
#include "framework/cameramanager.h"
#include "framework/door.h"
#include "framework/dynamicmodels.h"
#include "framework/framework.h"
#include "framework/impactparticles.h"
#include "framework/lift.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/weapon.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/atomic.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "platform/d3d9/d3d9control.h"

namespace {

FILE* gReport = nullptr;
int gFrame = 0;
/// Presented frames between two kept pictures.
constexpr int kKeepEvery = 30;
/// The weapon hides its muzzle fire 1000 units below the origin.
constexpr float kFireHidden = -100.0f;

/// Whether OLAI_PROBE_KEEP lists frame `n`.
bool Listed(int n)
{
    const char* list = std::getenv("OLAI_PROBE_KEEP");
    for (const char* at = list; at != nullptr && *at != '\0';) {
        char* end = nullptr;
        const long value = std::strtol(at, &end, 10);
        if (end == at)
            return false;
        if (value == n)
            return true;
        at = *end == ',' ? end + 1 : end;
    }
    return false;
}

const V3d& PositionOf(const CWardelCharacter* character)
{
    return character->GetFrameMatrix()->pos;
}

/// The escort's AI entity: member `index` of the escort team (the members
/// join in escort order), or null.
Zelk::CEntity* EntityOf(const CWardelApplication& app, int32_t index)
{
    const Zelk::CTeam* team = app.GetEscortTeam();
    if (team == nullptr)
        return nullptr;
    auto member = team->GetMembers().Begin();
    for (int32_t i = 0; i < index && member.IsValid(); ++i)
        ++member;
    return member.Item();
}

void WriteFrame(const CWardelApplication& app)
{
    const CWardelCharacter* vip = app.GetVip();
    if (vip == nullptr)
        return;
    const V3d& at = PositionOf(vip);
    std::fprintf(gReport, "frame %d vip %.4f %.4f escorts", gFrame, double(at.x), double(at.z));
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        if (const CWardelCharacter* escort = app.GetEscort(i)) {
            const V3d& e = PositionOf(escort);
            std::fprintf(gReport, " %.4f", std::hypot(double(e.x - at.x), double(e.z - at.z)));
        }
    std::fputc('\n', gReport);
}

/// The graph escort 0's path finder walks, once.
void WriteNodes(const CWardelApplication& app)
{
    const Zelk::CEntity* entity = EntityOf(app, 0);
    const auto* brain =
        entity != nullptr ? static_cast<const Zelk::CSoldierBrain*>(entity->GetBrain()) : nullptr;
    const auto* finder =
        brain != nullptr
            ? static_cast<const Zelk::CPathFinder*>(brain->FindService(&Zelk::IPathFinder::s_classRecord))
            : nullptr;
    const Zelk::CSpatialGraph* graph = finder != nullptr ? finder->GetGraph() : nullptr;
    for (int32_t i = 0; graph != nullptr && i <= graph->GetHighestNodeIndex(); ++i)
        if (const Zelk::CGraphNode* node = graph->GetNode(i))
            std::fprintf(gReport, "node %.4f %.4f\n", double(node->GetPosition().x),
                         double(node->GetPosition().z));
}

void WriteCharacters(const CWardelApplication& app)
{
    std::fprintf(gReport, "at %d", gFrame);
    for (int32_t i = -1; i < app.GetEscortCount(); ++i)
        if (const CWardelCharacter* character = i < 0 ? app.GetVip() : app.GetEscort(i)) {
            const V3d& p = PositionOf(character);
            std::fprintf(gReport, " %.4f %.4f", double(p.x), double(p.z));
        }
    std::fputc('\n', gReport);
}

void WriteShots(const CWardelApplication& app)
{
    int bullets = 0;
    bool flash = false;
    // The demo's characters are bindings of framework characters.
    auto* vip = static_cast<CCharacterBinding*>(app.GetVip());
    if (const CWeapon* weapon = vip != nullptr ? vip->GetCharacter().GetWeapon() : nullptr) {
        for (int32_t i = 0; i < CWeapon::kBullets; ++i)
            bullets += weapon->GetBullet(i).IsAlive() ? 1 : 0;
        if (const CSceneObject* fire = weapon->GetFireModel(); fire != nullptr && fire->GetFrame() != nullptr)
            flash = FrameGetLTM(fire->GetFrame())->pos.y > kFireHidden;
    }
    int bursts[2] = {};
    for (ImpactKind kind : {kImpactWorld, kImpactCharacter})
        for (int32_t i = 0; i < 8; ++i)
            if (const CImpactParticles* system = GetImpactSystem(kind, i);
                system != nullptr && system->IsBursting())
                ++bursts[kind == kImpactWorld ? 0 : 1];
    const CCameraManager* cameras = Framework().cameraManager;
    std::fprintf(gReport, "shots %d bullets %d bursts %d %d camera %d flash %d\n", gFrame, bullets, bursts[0],
                 bursts[1], int(cameras != nullptr ? cameras->GetMode() : 0), flash ? 1 : 0);
}

/// Whether `name` is one of the "Physics" section's model kinds.
bool IsDynamicModel(const char* name)
{
    const CDynamicModels* models = CDynamicModels::Existing();
    for (int32_t k = 0; models != nullptr && name != nullptr && k < models->GetKindCount(); ++k)
        if (std::strcmp(models->GetKind(k).name, name) == 0)
            return true;
    return false;
}

void WriteLevelBodies()
{
    const CPhysicsWorld* worlds = Framework().physicsWorld;
    if (worlds == nullptr || worlds->GetContext() == nullptr)
        return;
    OlpMgr* manager = OlpContextGetMgr(worlds->GetContext());
    std::fprintf(gReport, "bodies %d", gFrame);
    for (int32_t i = 0; i < worlds->GetRegisteredCount(); ++i) {
        const CSceneObject* object = worlds->GetRegistered(i);
        const OlpBody* body = object != nullptr ? object->GetPhysicsObject() : nullptr;
        if (body == nullptr || !IsDynamicModel(object->GetName()))
            continue;
        // The model's atomic has a frame of its own that follows the body (a
        // sleeping body has no dynamics to ask).
        Atomic* atomic = object->GetFirstAtomic();
        Frame* frame = atomic != nullptr ? AtomicGetFrame(atomic) : nullptr;
        if (frame == nullptr)
            continue;
        const V3d& at = FrameGetLTM(frame)->pos;
        std::fprintf(gReport, " %s %.4f %.4f %.4f %d", object->GetName(), double(at.x), double(at.y),
                     double(at.z), OlpMgrIsObjectAwake(manager, &body->base) ? 0 : 1);
    }
    std::fprintf(gReport, "\ndoors %d", gFrame);
    for (int32_t i = 0; i < worlds->GetInteractiveCount(CPhysicsWorld::kDoors); ++i) {
        const auto* door = static_cast<const CDoor*>(worlds->GetInteractive(CPhysicsWorld::kDoors, i));
        for (int32_t leaf = 0; leaf < CDoor::kLeaves; ++leaf)
            if (const OlpBody* body = door->GetLeaf(leaf); body != nullptr && body->base.parts[0].dyn) {
                // The leaf's right axis turns about the vertical hinge.
                const Matrix* pose = OlpDynGetPose(body->base.parts[0].dyn);
                std::fprintf(gReport, " %.4f", double(std::atan2(-pose->right.z, pose->right.x)));
            }
    }
    std::fprintf(gReport, "\nlifts %d", gFrame);
    for (int32_t i = 0; i < worlds->GetInteractiveCount(CPhysicsWorld::kLifts); ++i) {
        const auto* lift = static_cast<const CLift*>(worlds->GetInteractive(CPhysicsWorld::kLifts, i));
        std::fprintf(gReport, " %.4f %d", double(lift->GetPosition().y), int(lift->GetState()));
    }
    const CDynamicModels* models = CDynamicModels::Existing();
    std::fprintf(gReport, "\ngrab %d %d\n", gFrame, models != nullptr && models->IsGrabbing() ? 1 : 0);
}

void WriteEscort(const CWardelApplication& app, const Zelk::CWardelTeam& team, int32_t index)
{
    const CWardelCharacter* escort = app.GetEscort(index);
    const Zelk::CEntity* entity = EntityOf(app, index);
    if (escort == nullptr || entity == nullptr)
        return;
    const auto* brain = static_cast<const Zelk::CSoldierBrain*>(entity->GetBrain());
    const Zelk::CWardelAgent* agent = brain->GetEscortAgent();
    const auto* finder =
        static_cast<const Zelk::IPathFinder*>(brain->FindService(&Zelk::IPathFinder::s_classRecord));
    const V3d& at = PositionOf(escort);
    const Zelk::CVec3& target = agent->GetTarget();
    std::fprintf(gReport, "escort %d at %.4f %.4f target %.4f %.4f goal %.4f slot %d holding %d watches",
                 int(index), double(at.x), double(at.z), double(target.x), double(target.z),
                 double(finder != nullptr ? finder->GetDistGoal() : 0.0f), int(team.GetMemberSlot(index)),
                 agent->IsHolding() ? 1 : 0);
    const uint16_t* watched = team.GetWatchedList(index);
    for (int32_t k = 0; k < Zelk::kMaxAccessWayClusters && watched[k] != Zelk::kNoCluster; ++k)
        std::fprintf(gReport, " %d", int(watched[k]));
    std::fputc('\n', gReport);
}

void WriteEnd(const CWardelApplication& app)
{
    const auto* team = static_cast<const Zelk::CWardelTeam*>(app.GetEscortTeam());
    if (team == nullptr || app.GetVip() == nullptr)
        return;
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        WriteEscort(app, *team, i);
    const Zelk::CGuardNodeRecord* record = team->GetCurrentRecord();
    for (int32_t c = 0; record != nullptr && c < Zelk::kMaxAccessWayClusters; ++c)
        if (record->clusters[c].InUse())
            std::fprintf(gReport, "cluster %d slot %d\n", int(c), int(team->GetSlotOfCluster(c)));

    Zelk::CStateHash hash;
    for (int32_t i = 0; i <= app.GetEscortCount(); ++i) {
        const CWardelCharacter* character = i < app.GetEscortCount() ? app.GetEscort(i) : app.GetVip();
        if (character == nullptr)
            continue;
        const Matrix* frame = character->GetFrameMatrix();
        hash.AddVec(Zelk::CVec3(frame->pos.x, frame->pos.y, frame->pos.z));
        hash.AddVec(Zelk::CVec3(frame->at.x, frame->at.y, frame->at.z));
    }
    for (int32_t i = 0; i < app.GetEscortCount(); ++i)
        hash.AddWord(uint32_t(team->GetMemberSlot(i)));
    std::fprintf(gReport, "hash %016" PRIx64 "\n", hash.Get());
}

/// Writes the frame just presented (the back buffer keeps it) to
/// <OLAI_PROBE_FRAMES>/frame-<n>.png every kKeepEvery frames and in the listed ones.
void KeepFrame()
{
    const char* folder = std::getenv("OLAI_PROBE_FRAMES");
    IDirect3DDevice9* device = D3D9GetDevice();
    if (folder == nullptr || *folder == '\0' || device == nullptr ||
        (gFrame % kKeepEvery != 0 && !Listed(gFrame)))
        return;
    IDirect3DSurface9* back = nullptr;
    if (device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK || back == nullptr)
        return;
    // Opaque, as the window shows it (blending leaves other alphas).
    D3DLOCKED_RECT locked{};
    D3DSURFACE_DESC desc{};
    if (back->GetDesc(&desc) == D3D_OK && back->LockRect(&locked, nullptr, 0) == D3D_OK) {
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                    size_t(y) * size_t(locked.Pitch));
            for (UINT x = 0; x < desc.Width; ++x)
                row[x] |= 0xFF000000u;
        }
        back->UnlockRect();
    }
    char path[1024];
    std::snprintf(path, sizeof path, "%s/frame-%d.png", folder, gFrame);
    if (!D3D9SurfaceWritePng(back, path))
        std::fprintf(stderr, "wardels-probe: cannot write %s\n", path);
    back->Release();
}

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* parameter)
{
    CWardelApplication* app = CWardelApplication::GetApplication();
    if (gReport == nullptr && event == ShellEventInitialise)
        if (const char* path = std::getenv("OLAI_PROBE_REPORT"))
            gReport = std::fopen(path, "w");
    if (gReport != nullptr && event == ShellEventStopEngine) {
        WriteEnd(*app);
        std::fclose(gReport);
        gReport = nullptr;
    }
    const ShellEventResult result = app->OnEvent(event, parameter);
    if (event == ShellEventIdle) {
        ++gFrame;
        if (gReport != nullptr) {
            WriteFrame(*app);
            WriteCharacters(*app);
            WriteShots(*app);
            WriteLevelBodies();
            if (gFrame == 1)
                WriteNodes(*app);
        }
        KeepFrame();
    }
    return result;
}
