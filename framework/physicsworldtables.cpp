// The physics world's tables: the interactive objects, the dynamic collision
// triangles and planes (read from their elements, stored with their twins,
// updated every step and fed to the simulation), and the lights made in
// every world from each light description.
#include <cstring>

#include "framework/cameramanager.h"
#include "framework/collisionplane.h"
#include "framework/collisiontriangle.h"
#include "framework/framework.h"
#include "framework/interactiveobject.h"
#include "framework/light.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "framework/switch.h"
#include "framework/vectorops.h"
#include "graphics/scene/worldmembers.h"
#include "physics/core/volume/trilist.h"

namespace {

/// The full-table message of each interactive kind, in InteractiveKind order.
const char* const kTooMany[] = {
    "Too much jump helpers.\nPlease increase MAX_JUMP_HELPERS value",
    "Too much switches.\nPlease increase MAX_SWITCHES value",
    "Too much laser beams.\nPlease increase MAX_LASER_BEAMS value",
    "Too much teleporters.\nPlease increase MAX_TELEPORTERS value",
    "Too much lifts.\nPlease increase MAX_LIFTS value",
    "Too much bumpers.\nPlease increase MAX_BUMPERS value",
    "Too much doors.\nPlease increase MAX_DOORS value",
};
static_assert(sizeof kTooMany / sizeof kTooMany[0] == CPhysicsWorld::kInteractiveKinds, "one message a kind");

/// Deletes the first `count` entries of `table` and empties it.
template <typename T> void DeleteAll(T** table, int32_t& count)
{
    for (int32_t i = 0; i < count; ++i) {
        delete table[i];
        table[i] = nullptr;
    }
    count = 0;
}

/// The edge flags of a dynamic triangle record: no face normal, so that
/// both sides collide.
constexpr uint32_t kDynamicTriangleTag = 14;

} // namespace

bool CPhysicsWorld::AddInteractive(InteractiveKind kind, CInteractiveObject* object)
{
    if (!object)
        return false;
    int32_t& count = m_interactiveCount[kind];
    if (count == kMaxInteractive) {
        CStandardApplication::ReportEngineError(kTooMany[kind]);
        return false;
    }
    m_interactive[kind][count++] = object;
    return true;
}

CInteractiveObject* CPhysicsWorld::GetInteractive(InteractiveKind kind, int32_t index) const
{
    return kind >= 0 && kind < kInteractiveKinds && index >= 0 && index < m_interactiveCount[kind]
               ? m_interactive[kind][index]
               : nullptr;
}

CSwitch* CPhysicsWorld::GetSwitch(int32_t index) const
{
    return static_cast<CSwitch*>(GetInteractive(kSwitches, index));
}

bool CPhysicsWorld::AddCollisionTriangle(CCollisionTriangle* triangle)
{
    if (!triangle)
        return false;
    if (m_triangleCount == kMaxCollisionTriangles) {
        CStandardApplication::ReportEngineError(
            "Too much dynamic collision triangles.\nPlease increase MAX_COLLISION_TRIANGLES value");
        return false;
    }
    m_triangles[m_triangleCount++] = triangle;
    // Its twin of the other winding, so that both faces stop what meets them.
    if (m_triangleCount < kMaxCollisionTriangles)
        m_triangles[m_triangleCount++] = CCollisionTriangle::CreateTwin(*triangle);
    return true;
}

bool CPhysicsWorld::AddCollisionPlane(CCollisionPlane* plane)
{
    if (!plane)
        return false;
    if (m_planeCount == kMaxCollisionPlanes) {
        CStandardApplication::ReportEngineError(
            "Too much dynamic collision planes.\nPlease increase MAX_COLLISION_PLANES value");
        return false;
    }
    m_planes[m_planeCount++] = plane;
    if (plane->IsTwoSided() && m_planeCount < kMaxCollisionPlanes) {
        // The pair faces both ways.
        CCollisionPlane* copy = CCollisionPlane::CreateCopy(*plane);
        const V3d& n = plane->GetNormal();
        plane->SetNormal({-n.x, -n.y, -n.z});
        m_planes[m_planeCount++] = copy;
    }
    return true;
}

CCollisionTriangle* CPhysicsWorld::GetCollisionTriangle(int32_t index) const
{
    return index >= 0 && index < m_triangleCount ? m_triangles[index] : nullptr;
}

CCollisionPlane* CPhysicsWorld::GetCollisionPlane(int32_t index) const
{
    return index >= 0 && index < m_planeCount ? m_planes[index] : nullptr;
}

bool CPhysicsWorld::OpenCollisionElement(const char* element)
{
    if (std::strcmp(element, "CollisionPlane") == 0) {
        m_pendingPlane = new CCollisionPlane;
        m_subReader = m_pendingPlane;
        return true;
    }
    if (std::strcmp(element, "CollisionTriangle") == 0) {
        m_pendingTriangle = new CCollisionTriangle;
        m_subReader = m_pendingTriangle;
        return true;
    }
    return false;
}

bool CPhysicsWorld::OnEnd(const char* element)
{
    if (m_subReader)
        m_subReader->OnEnd(element);
    if (std::strcmp(element, "CollisionPlane") == 0 && m_pendingPlane) {
        m_subReader = nullptr;
        if (!AddCollisionPlane(m_pendingPlane))
            delete m_pendingPlane; // refused: still the reader's
        m_pendingPlane = nullptr;
    } else if (std::strcmp(element, "CollisionTriangle") == 0 && m_pendingTriangle) {
        m_subReader = nullptr;
        if (!AddCollisionTriangle(m_pendingTriangle))
            delete m_pendingTriangle;
        m_pendingTriangle = nullptr;
    } else if (std::strcmp(element, "PhysicsGlobalSettings") == 0) {
        m_inGlobalSettings = false;
    }
    return true;
}

void CPhysicsWorld::UpdateObjects(float dt)
{
    for (int32_t i = 0; i < m_planeCount; ++i)
        m_planes[i]->Update(dt);
    for (int32_t i = 0; i < m_triangleCount; ++i)
        m_triangles[i]->Update(dt);
    for (int32_t kind = kLaserBeams; kind < kInteractiveKinds; ++kind) {
        for (int32_t i = 0; i < m_interactiveCount[kind]; ++i)
            m_interactive[kind][i]->Update(dt);
    }
}

void CPhysicsWorld::ToggleClickedSwitches()
{
    CCameraManager* cameras = Framework().cameraManager;
    V3d point, normal;
    if (!cameras || m_interactiveCount[kSwitches] == 0 ||
        !cameras->PickUnderPointer(&point, &normal, nullptr))
        return;
    for (int32_t i = 0; i < m_interactiveCount[kSwitches]; ++i) {
        CInteractiveObject* object = m_interactive[kSwitches][i];
        if (object->IsNear(point))
            object->Toggle();
    }
}

void CPhysicsWorld::DestroyTables()
{
    for (int32_t kind = 0; kind < kInteractiveKinds; ++kind) {
        for (int32_t i = 0; i < m_interactiveCount[kind]; ++i) {
            m_interactive[kind][i]->Shutdown();
            delete m_interactive[kind][i];
            m_interactive[kind][i] = nullptr;
        }
        m_interactiveCount[kind] = 0;
    }
    DeleteAll(m_planes, m_planeCount);
    DeleteAll(m_triangles, m_triangleCount);
    // The element of a file cut short.
    delete m_pendingPlane;
    m_pendingPlane = nullptr;
    delete m_pendingTriangle;
    m_pendingTriangle = nullptr;
    m_subReader = nullptr;
}

OlpTrilistQuery* CPhysicsWorld::CollectDynamicTriangles(const OlpVolume*, const Matrix*, const OlpBBox*,
                                                        uintptr_t, OlpTrilistQuery* query)
{
    query->count = 0;
    query->flags = 0;
    query->bits = nullptr;
    const CPhysicsWorld* worlds = Framework().physicsWorld;
    if (!worlds)
        return query;
    for (int32_t i = 0; i < worlds->m_triangleCount && query->count < query->capacity; ++i) {
        const CCollisionTriangle* triangle = worlds->m_triangles[i];
        if (triangle->IsDisabled())
            continue;
        OlpTriangleData& record = query->triangles[query->count++];
        record = {};
        record.a = triangle->GetPoint(0);
        record.b = triangle->GetPoint(1);
        record.c = triangle->GetPoint(2);
        V3d normal = V3dCross(V3dSub(record.b, record.a), V3dSub(record.c, record.a));
        V3dNormalize(&normal, &normal);
        record.normal = normal;
        record.planeOffset = V3dDot(normal, record.a);
        record.index = uint64_t(i);
        record.edgeFlags = kDynamicTriangleTag;
    }
    return query;
}

bool CPhysicsWorld::AddLight(const CLight* description)
{
    // A description that made no light (an unknown type) has nothing to copy.
    if (m_worldCount == 0 || !description || !description->GetLight())
        return false;
    LightRecord record = {};
    record.description = description;
    for (int32_t index = 0; index < m_worldCount; ++index) {
        auto* light = new CLight(*description);
        record.lights[index] = light;
        if (light->GetLight())
            WorldAddLight(m_worlds[index], light->GetLight());
    }
    m_lights.push_back(record);
    return true;
}

bool CPhysicsWorld::RemoveLight(const CLight* description)
{
    if (!description)
        return false;
    for (LightRecord& record : m_lights) {
        if (record.description != description)
            continue;
        for (int32_t index = 0; index < m_worldCount; ++index) {
            CLight*& light = record.lights[index];
            if (!light)
                continue;
            if (light->GetLight())
                WorldRemoveLight(m_worlds[index], light->GetLight());
            delete light;
            light = nullptr;
        }
        record.description = nullptr; // the record stays, empty
        return true;
    }
    return false;
}

int32_t CPhysicsWorld::GetLightCount() const
{
    int32_t count = 0;
    for (const LightRecord& record : m_lights)
        count += record.description != nullptr;
    return count;
}

const CLight* CPhysicsWorld::GetWorldLight(int32_t index, int32_t world) const
{
    if (world < 0 || world >= m_worldCount)
        return nullptr;
    for (const LightRecord& record : m_lights) {
        if (record.description && index-- == 0)
            return record.lights[world];
    }
    return nullptr;
}

void CPhysicsWorld::DestroyLights()
{
    for (LightRecord& record : m_lights) {
        for (int32_t index = 0; index < m_worldCount; ++index) {
            if (CLight* light = record.lights[index]) {
                if (light->GetLight())
                    WorldRemoveLight(m_worlds[index], light->GetLight());
                delete light;
            }
        }
    }
    m_lights.clear();
}
