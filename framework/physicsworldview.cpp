// The physics world's view: each world drawn through its camera, plain, as
// the collision wireframe of its sectors or both; the pointer hints over
// physical bodies and switches; the debug drawing of the interactive
// objects; and the statistics line.
#include <cstdio>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/collisionplane.h"
#include "framework/collisiontriangle.h"
#include "framework/font.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/interactiveobject.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/screenquad.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/scene/world.h"

namespace {

/// The wireframe's vertex buffer: six vertices (three edges) a triangle.
constexpr int32_t kWireframeVertices = 32000;
constexpr int32_t kWireframeTriangles = kWireframeVertices / 6;
constexpr uint32_t kWireframeColour = 0x40404040u;
/// The lines lie just above the surfaces they outline.
constexpr float kWireframeLift = 0.01f;
constexpr float kHintSize = 0.04f;

/// The order in which the first world's interactive objects are drawn.
constexpr CPhysicsWorld::InteractiveKind kDrawOrder[] = {
    CPhysicsWorld::kLaserBeams,  CPhysicsWorld::kTeleporters, CPhysicsWorld::kSwitches,
    CPhysicsWorld::kLifts,       CPhysicsWorld::kBumpers,     CPhysicsWorld::kDoors,
    CPhysicsWorld::kJumpHelpers,
};

void DrawLines(Im3DVertex* vertices, int32_t count)
{
    if (Im3DTransform(vertices, uint32_t(count), nullptr, kIm3DNoVertexAlpha)) {
        Im3DRenderPrimitive(kIm3DLineList);
        Im3DEnd();
    }
}

void Print(const char* text, float x, float y)
{
    if (CFont* font = Framework().font) {
        const V2d at = {x, y};
        font->Print(text, &at, kHintSize);
    }
}

} // namespace

WorldSector* CPhysicsWorld::RenderCollisionWireframe(WorldSector* sector)
{
    // Allocated once and kept: the wireframe is drawn every frame.
    static std::vector<Im3DVertex> buffer(kWireframeVertices);
    ScreenSetRaster(nullptr);
    // The lines lie on the surfaces: equal depths pass while they are drawn.
    uint32_t depthTest = D3DCMP_LESSEQUAL;
    D3D9GetRenderState(D3DRS_ZFUNC, &depthTest);
    D3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    int32_t count = 0;
    for (int32_t t = 0; t < sector->numTriangles; ++t) {
        const uint16_t* v = sector->triangles[t].vertex;
        for (int32_t edge = 0; edge < 3; ++edge) {
            for (const uint16_t index : {v[edge], v[(edge + 1) % 3]}) {
                Im3DVertex& out = buffer[size_t(count++)];
                const V3d& p = sector->vertices[index];
                out = {};
                out.x = p.x;
                out.y = p.y + kWireframeLift;
                out.z = p.z;
                out.colour = kWireframeColour;
            }
        }
        // A large sector is drawn in batches of what the buffer holds.
        if (count == kWireframeTriangles * 6) {
            DrawLines(buffer.data(), count);
            count = 0;
        }
    }
    if (count > 0)
        DrawLines(buffer.data(), count);
    D3D9SetRenderState(D3DRS_ZFUNC, depthTest);
    return sector;
}

void CPhysicsWorld::RenderWorlds()
{
    m_printedHints = false;
    if (!m_mainCamera || !m_mainCamera->GetCamera())
        return;
    for (int32_t index = 0; index < m_worldCount; ++index) {
        CCameraManager* wrapper = m_worldCameras[index];
        const int32_t mode = m_renderModes[index];
        if (!wrapper)
            continue;
        if (mode != kRenderWireframe) {
            wrapper->CopyCameraSettings(m_mainCamera->GetCamera());
            if (wrapper->BeginUpdate()) {
                WorldRender(m_worlds[index]);
                if (!CInputManager::Instance()->IsClicked())
                    PrintPointerHints();
                if (index == 0) {
                    for (InteractiveKind kind : kDrawOrder) {
                        for (int32_t i = 0; i < m_interactiveCount[kind]; ++i)
                            m_interactive[kind][i]->RenderDebug();
                    }
                }
                wrapper->EndUpdate();
            }
        }
        if (mode == kRenderWireframe || mode == kRenderBoth) {
            WorldSetSectorRenderCallBack(m_worlds[index], RenderCollisionWireframe);
            wrapper->CopyCameraSettings(m_mainCamera->GetCamera());
            if (wrapper->BeginUpdate()) {
                WorldRender(m_worlds[index]);
                wrapper->EndUpdate();
            }
            WorldSetSectorRenderCallBack(m_worlds[index], nullptr);
        }
    }
}

void CPhysicsWorld::PrintPointerHints()
{
    V3d point, normal;
    CSceneObject* object = nullptr;
    if (!m_mainCamera->PickUnderPointer(&point, &normal, &object))
        return;
    if (object) {
        // A lift's platform moves on its own: no force is put on it.
        bool platform = false;
        for (int32_t i = 0; i < m_interactiveCount[kLifts]; ++i)
            platform = platform || m_interactive[kLifts][i]->GetPlatform() == object;
        if (!platform && object->GetPhysicsObject()) {
            Print("Press left CTRL and move mouse pointer to apply", 0.05f, 0.2f);
            Print("a force on this physical body", 0.05f, 0.15f);
            m_printedHints = true;
        }
        return;
    }
    for (int32_t i = 0; i < m_interactiveCount[kSwitches]; ++i) {
        const CInteractiveObject* button = m_interactive[kSwitches][i];
        const char* action = button->GetActionText();
        if (action && button->IsNear(point)) {
            char text[300];
            std::snprintf(text, sizeof text, "Click here to %s", action);
            Print(text, 0.05f, 0.15f);
            m_printedHints = true;
        }
    }
}

void CPhysicsWorld::PrintStats(CFont* font)
{
    if (font) {
        char text[128];
        std::snprintf(text, sizeof text, "%d worlds with %d clumps (%d active clumps, %d geometries)",
                      m_worldCount, m_stats.objects, m_stats.touched, m_stats.geometries);
        const V2d at = {0.025f, 0.78f};
        font->Print(text, &at, kHintSize);
    }
    if (Framework().debugLevel <= 2)
        return;
    for (CSceneObject* object : m_registered) {
        if (object)
            object->RenderDebug();
    }
    for (int32_t i = 0; i < m_planeCount; ++i)
        m_planes[i]->RenderDebug();
    for (int32_t i = 0; i < m_triangleCount; ++i)
        m_triangles[i]->RenderDebug();
}
