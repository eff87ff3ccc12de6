#include "framework/sceneobject.h"

#include <cstdio>
#include <cstring>

#include "framework/framework.h"
#include "framework/marker.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "framework/vectorops.h"
#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

Atomic* KeepFirst(Atomic* atomic, void* data)
{
    *static_cast<Atomic**>(data) = atomic;
    return nullptr;
}

Atomic* KeepLast(Atomic* atomic, void* data)
{
    *static_cast<Atomic**>(data) = atomic;
    return atomic;
}

/// Three thin solids from `base` along the unit axes of `m`, in `colours`.
void DrawAxes(const Matrix& m, const V3d& base, float length, const uint32_t colours[3])
{
    const V3d axes[3] = {V3dUnit(m.right), V3dUnit(m.up), V3dUnit(m.at)};
    Im3DVertex vertices[3 * kMarkerVertices] = {};
    for (int k = 0; k < 3; ++k) {
        Im3DVertex* solid = vertices + k * kMarkerVertices;
        MarkerBuild(solid, base, axes[k], axes[(k + 1) % 3], axes[(k + 2) % 3], length, length * 0.02f, 1.0f);
        MarkerSetColour(solid, kMarkerVertices, colours[k]);
    }
    MarkerDraw(vertices, 3 * kMarkerVertices);
}

} // namespace

CSceneObject::CSceneObject() = default;

CSceneObject::~CSceneObject()
{
    // The base's own release: a derived class has unloaded its parts by now.
    CSceneObject::Unload();
}

void CSceneObject::SetName(const char* name)
{
    if (!name)
        name = "Noname";
    std::snprintf(m_name, sizeof m_name, "%s", name);
}

bool CSceneObject::LoadClump(const char* fileName)
{
    char* path = ShellMakeNativePath(fileName);
    Stream* stream = nullptr;
    if (path) {
        ShellSetImagePathForFile(path);
        stream = StreamOpen(kStreamFileName, kStreamRead, path);
        ShellFreePath(path);
    }
    bool read = false;
    if (stream) {
        read = StreamFindChunk(stream, kChunkClump, nullptr, nullptr) && ReadClump(stream);
        StreamClose(stream, nullptr);
    }
    if (!read) {
        char text[512];
        std::snprintf(text, sizeof text, "Can not load clump in file %s\n please check your data",
                      fileName ? fileName : "");
        CStandardApplication::ReportEngineError(text);
    }
    return read;
}

bool CSceneObject::ReadClump(Stream* stream)
{
    Clump* clump = ClumpStreamRead(stream);
    if (!clump)
        return false;
    if (m_clump)
        Unload();
    m_clump = clump;
    return true;
}

bool CSceneObject::Unload()
{
    // Also when its clump is out of the world: the world's table must not
    // keep an object that goes.
    if (Framework().physicsWorld)
        Framework().physicsWorld->UnregisterObject(this);
    m_registered = false;
    if (m_clump) {
        ClumpDestroy(m_clump);
        m_clump = nullptr;
    }
    return true;
}

Frame* CSceneObject::GetFrame() const
{
    return m_clump ? ClumpGetFrame(m_clump) : nullptr;
}

Atomic* CSceneObject::GetFirstAtomic() const
{
    Atomic* atomic = nullptr;
    if (m_clump)
        ClumpVisitAtomics(m_clump, KeepFirst, &atomic);
    return atomic;
}

const Sphere* CSceneObject::GetBoundingSphere() const
{
    Atomic* atomic = nullptr;
    if (m_clump)
        ClumpVisitAtomics(m_clump, KeepLast, &atomic);
    return atomic ? AtomicWorldBoundingSphere(atomic) : nullptr;
}

void CSceneObject::Render()
{
    if (m_clump)
        ClumpRender(m_clump);
}

void CSceneObject::SetPosition(const V3d& position)
{
    Frame* frame = GetFrame();
    if (!frame)
        return;
    FrameGetMatrix(frame)->pos = position;
    FrameUpdateObjects(frame);
}

void CSceneObject::SetScale(float scale)
{
    m_scale = scale;
    Frame* frame = GetFrame();
    if (!frame)
        return;
    const float s = scale * kScaleUnit;
    const V3d factors = {s, s, s};
    FrameScale(frame, &factors, kCombinePreConcat);
}

void CSceneObject::SetHeading(float degrees)
{
    Frame* frame = GetFrame();
    if (!frame)
        return;
    const V3d position = FrameGetMatrix(frame)->pos;
    const V3d yAxis = {0.0f, 1.0f, 0.0f};
    FrameRotate(frame, &yAxis, degrees, kCombineReplace);
    const float s = m_scale * kScaleUnit;
    const V3d factors = {s, s, s};
    FrameScale(frame, &factors, kCombinePreConcat);
    FrameGetMatrix(frame)->pos = position;
    FrameUpdateObjects(frame);
}

void CSceneObject::SetInWorld(bool inWorld)
{
    m_inWorld = inWorld;
    if (CPhysicsWorld* worlds = Framework().physicsWorld)
        worlds->RefreshObject(this);
}

void CSceneObject::RenderDebug()
{
    Frame* frame = GetFrame();
    if (!frame)
        return;
    const Matrix& ltm = *FrameGetLTM(frame);
    const uint32_t axisColours[3] = {0x80FF0000u, 0x8000FF00u, 0x800000FFu};
    DrawAxes(ltm, ltm.pos, m_scale * 0.5f, axisColours);
    if (const Sphere* sphere = GetBoundingSphere()) {
        const uint32_t sphereColours[3] = {0x80FFFF00u, 0x80FFFF00u, 0x80FFFF00u};
        DrawAxes(ltm, sphere->centre, sphere->radius * m_scale, sphereColours);
    }
}
