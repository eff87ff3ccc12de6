#include "tools/physics-probe/physicsprobe.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "framework/bodydefinitions.h"
#include "framework/cameramanager.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/inputmanager.h"
#include "framework/physicshelpers.h"
#include "framework/physicsshape.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/standardapplication.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/world.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/toolkit2d/charset.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "tools/cfgcheck/configcheck.h"

namespace {

constexpr float kStep = 0.02f;
constexpr float kReportEvery = 0.1f;
constexpr float kLongest = 5.0f;
constexpr float kBoxHalf = 0.25f;
constexpr float kDropHeight = 2.0f;
/// At rest: slower than this (units per second) for kRestTime.
constexpr float kRestSpeed = 0.05f;
constexpr float kRestTime = 0.2f;

/// The game: nothing of its own.
class ProbeApplication : public CStandardApplication
{
  public:
    using CStandardApplication::CStandardApplication;
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "physics-probe"; }
};

void Printf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Printf(std::string* out, const char* format, ...)
{
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    *out += line;
}

struct SectorCount
{
    int32_t sectors = 0;
    int32_t triangles = 0;
};

WorldSector* CountSector(WorldSector* sector, void* data)
{
    auto* count = static_cast<SectorCount*>(data);
    ++count->sectors;
    count->triangles += sector->numTriangles;
    return sector;
}

void ReportWorlds(const CPhysicsWorld& worlds, std::string* out)
{
    for (int32_t i = 0; i < worlds.GetWorldCount(); ++i) {
        World* world = worlds.GetWorld(i);
        SectorCount count;
        WorldForAllSectors(world, CountSector, &count);
        const BBox& box = world->boundingBox;
        Printf(out, "world %d: %d sectors, %d triangles, %d clumps, box (%g, %g, %g) to (%g, %g, %g)\n", i,
               count.sectors, count.triangles, world->numClumps, box.inf.x, box.inf.y, box.inf.z, box.sup.x,
               box.sup.y, box.sup.z);
    }
    int32_t registered = 0, collidable = 0;
    for (int32_t i = 0; i < worlds.GetRegisteredCount(); ++i) {
        if (const CSceneObject* object = worlds.GetRegistered(i)) {
            ++registered;
            collidable += object->IsCollidable();
        }
    }
    Printf(out, "registered objects: %d (%d collidable)\n", registered, collidable);
}

/// The queries around `centre`; answers the floor point below it (or the centre).
V3d ReportQueries(const CPhysicsWorld& worlds, const V3d& centre, float reach, std::string* out)
{
    const V3d above = {centre.x, centre.y + reach, centre.z};
    const V3d below = {centre.x, centre.y - reach, centre.z};
    float fraction = 0.0f;
    V3d normal = {};
    V3d floor = centre;
    if (worlds.TestSegment(&above, &below, false, &fraction, &normal, nullptr)) {
        floor = {above.x, above.y + (below.y - above.y) * fraction, above.z};
        Printf(out, "segment down from (%g, %g, %g): floor at y = %.3f, normal (%.2f, %.2f, %.2f)\n", above.x,
               above.y, above.z, floor.y, normal.x, normal.y, normal.z);
    } else {
        Printf(out, "segment down from (%g, %g, %g): nothing\n", above.x, above.y, above.z);
    }
    const V3d eye = {floor.x, floor.y + 1.5f, floor.z};
    const V3d directions[] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const V3d& d : directions) {
        const V3d end = {eye.x + d.x * reach, eye.y, eye.z + d.z * reach};
        const bool hit = worlds.TestSegment(&eye, &end, false, &fraction, &normal, nullptr) != 0;
        const bool blocked = worlds.TestCorridor(&eye, &end, 0.5f, false);
        if (hit)
            Printf(out, "segment along (%g, %g, %g): wall at %.3f, corridor of radius 0.5 %s\n", d.x, d.y,
                   d.z, fraction * reach, blocked ? "blocked" : "free");
        else
            Printf(out, "segment along (%g, %g, %g): nothing, corridor of radius 0.5 %s\n", d.x, d.y, d.z,
                   blocked ? "blocked" : "free");
    }
    SphereQueryResult result = {};
    const char* const modes[] = {"any", "floors", "walls"};
    for (int32_t mode = 0; mode < 3; ++mode) {
        CPhysicsWorld::SetSphereQueryMode(mode);
        if (worlds.SphereQuery(floor.x, floor.y + 0.2f, floor.z, 0.35f, &result))
            Printf(out, "sphere (%s) at the floor: contact at %.3f, normal (%.2f, %.2f, %.2f)\n", modes[mode],
                   result.distance, result.normal.x, result.normal.y, result.normal.z);
        else
            Printf(out, "sphere (%s) at the floor: nothing\n", modes[mode]);
    }
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    return floor;
}

/// Drops a box onto `floor` from kDropHeight; true when it came to rest.
bool DropBox(CPhysicsWorld& worlds, const V3d& floor, std::string* out)
{
    OlpBodyDef* def = CreateBoxBody(kBoxHalf, kBoxHalf, kBoxHalf, 0.01f);
    OlpBody* body = def ? OlpBodyCreate(def) : nullptr;
    if (def)
        OlpBodyDefRelease(def);
    Atomic* atomic = body ? PhysicsObjectCreateAtomic(body, worlds.GetWorld(0)) : nullptr;
    OlpMgr* manager = OlpContextGetMgr(worlds.GetContext());
    constexpr uint32_t kDynamicAwake = 7;
    if (!atomic || !OlpMgrAddObject(manager, &body->base, 0xFFFFFFFFu, kDynamicAwake)) {
        *out += "the box could not be made\n";
        PhysicsShapeGeometryDestroy(atomic);
        if (body)
            OlpBodyDestroy(body);
        return false;
    }
    PhysicsObjectSetPosition(&body->base, floor.x, floor.y + kDropHeight + kBoxHalf, floor.z);
    const Matrix* frame = FrameGetMatrix(AtomicGetFrame(atomic));
    Printf(out, "box of half size %g dropped from y = %.3f\n", kBoxHalf, frame->pos.y);
    float still = 0.0f;
    bool rests = false;
    int32_t steps = 0;
    const int32_t stepsPerReport = int32_t(std::lround(kReportEvery / kStep));
    for (float time = kStep; time <= kLongest + 1e-4f && !rests; time += kStep) {
        worlds.Step(kStep);
        ++steps;
        float speed = 0.0f;
        if (OlpDyn* dyn = body->base.parts[0].dyn) {
            const V3d& v = OlpDynGetVelocity(dyn)->linear;
            speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        }
        still = speed < kRestSpeed || !OlpMgrIsObjectAwake(manager, &body->base) ? still + kStep : 0.0f;
        rests = still >= kRestTime;
        if (steps % stepsPerReport == 0 || rests)
            Printf(out, "t = %.2f s: y = %.3f\n", time, frame->pos.y);
        if (rests)
            Printf(out, "box at rest at y = %.3f (%.3f above the floor) after %.2f s\n", frame->pos.y,
                   frame->pos.y - floor.y, time);
    }
    if (!rests)
        Printf(out, "box not at rest after %g s\n", kLongest);
    OlpBodyDestroy(body);
    PhysicsShapeGeometryDestroy(atomic);
    return rests;
}

} // namespace

int PhysicsProbe(const char* config, std::string* out)
{
    if (!StartHeadlessEngine()) {
        *out += "the engine does not start\n";
        return 2;
    }
    Framework().halt = false;
    ProbeApplication application(config);
    application.LoadConfiguration();
    FrameworkGlobals& globals = Framework();
    CPhysicsWorld* worlds = globals.physicsWorld;
    int status = 2;
    if (!worlds || worlds->GetWorldCount() == 0 || !worlds->GetContext()) {
        *out += "no world was loaded\n";
    } else {
        ReportWorlds(*worlds, out);
        const BBox& box = worlds->GetWorld(0)->boundingBox;
        const V3d centre = {(box.inf.x + box.sup.x) * 0.5f, (box.inf.y + box.sup.y) * 0.5f,
                            (box.inf.z + box.sup.z) * 0.5f};
        const float reach =
            std::fmax(box.sup.x - box.inf.x, std::fmax(box.sup.y - box.inf.y, box.sup.z - box.inf.z));
        const V3d floor = ReportQueries(*worlds, centre, reach, out);
        status = DropBox(*worlds, floor, out) ? 0 : 1;
    }
    if (Charset* charset = application.GetCharset())
        CharsetDestroy(charset);
    delete globals.physicsWorld; // empties the global
    delete globals.cameraManager;
    globals.cameraManager = nullptr;
    delete globals.hud;
    globals.hud = nullptr;
    DestroyCharacterProfiles();
    CInputManager::DestroyInstance();
    ShellGetEngine()->destroyDictionaries();
    return status;
}
