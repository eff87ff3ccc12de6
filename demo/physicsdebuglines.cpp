#include "demo/physicsdebuglines.h"

#include <algorithm>
#include <cmath>

#include "framework/screenquad.h"
#include "framework/vectorops.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "physics/core/contact/contact.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/convexhull.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"
#include "physics/core/volume/trilist.h"

namespace {

constexpr uint32_t kStaticColour = 0xFFC0C0C0;
constexpr uint32_t kAwakeColour = 0xFF40FF40;
constexpr uint32_t kSleepingColour = 0xFF4080FF;
constexpr uint32_t kInactiveColour = 0xFF808080;
constexpr uint32_t kContactColour = 0xFFFFFF00;
constexpr uint32_t kJointColour = 0xFFFF40FF;
constexpr uint32_t kAxisColours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
constexpr float kContactNormalLength = 0.25f;
constexpr float kContactCross = 0.05f;
constexpr float kJointAxisLength = 0.3f;
constexpr float kNullCross = 0.2f;
constexpr float kPlaneHalfSize = 10.0f;
constexpr int32_t kPlaneLines = 11;
constexpr float kTwoPi = 6.2831853f;
constexpr uint32_t kCullNone = 1;
constexpr uint32_t kCullBack = 2;

struct ContextWalk
{
    CPhysicsDebugLines* lines;
    OlpMgr* manager;
};

OlpObj* AddObject(OlpObj* object, void* data)
{
    auto* walk = static_cast<ContextWalk*>(data);
    uint32_t colour = kInactiveColour;
    if (OlpMgrIsObjectActive(walk->manager, object))
        colour = OlpMgrIsObjectAwake(walk->manager, object) ? kAwakeColour : kSleepingColour;
    for (uint16_t p = 0; p < object->partCount; ++p) {
        const OlpObjPart& part = object->parts[p];
        const Matrix* pose = part.dyn != nullptr ? OlpDynGetPose(part.dyn) : part.sourceMatrix;
        if (part.volume != nullptr)
            walk->lines->AddVolume(part.volume, pose, colour);
    }
    return object;
}

int32_t AddStatic(OlpVolume* volume, void* data)
{
    static_cast<ContextWalk*>(data)->lines->AddVolume(volume, nullptr, kStaticColour);
    return 1;
}

OlpJoint* AddJoint(OlpJoint* joint, void* data)
{
    auto* walk = static_cast<ContextWalk*>(data);
    OlpJointAnchor anchors[2];
    for (int32_t end = 0; end < 2; ++end) {
        OlpJointGetAnchor(joint, end, 1, &anchors[end]);
        for (int32_t axis = 0; axis < 3; ++axis)
            walk->lines->AddSegment(
                anchors[end].position,
                V3dAdd(anchors[end].position, V3dScaled(anchors[end].axes[axis], kJointAxisLength)),
                kAxisColours[axis]);
    }
    walk->lines->AddSegment(anchors[0].position, anchors[1].position, kJointColour);
    return joint;
}

} // namespace

void CPhysicsDebugLines::AddSegment(const V3d& a, const V3d& b, uint32_t colour)
{
    m_vertices.push_back({a.x, a.y, a.z, 0.0f, 0.0f, 0.0f, colour, 0.0f, 0.0f});
    m_vertices.push_back({b.x, b.y, b.z, 0.0f, 0.0f, 0.0f, colour, 0.0f, 0.0f});
}

void CPhysicsDebugLines::AddLocalSegment(const V3d& a, const V3d& b, const Matrix* frame, uint32_t colour)
{
    if (frame == nullptr) {
        AddSegment(a, b, colour);
        return;
    }
    V3d wa, wb;
    V3dTransformPoint(&wa, &a, frame);
    V3dTransformPoint(&wb, &b, frame);
    AddSegment(wa, wb, colour);
}

void CPhysicsDebugLines::AddRing(const V3d& centre, const V3d& u, const V3d& v, float radius,
                                 const Matrix* frame, uint32_t colour)
{
    V3d previous = V3dAdd(centre, V3dScaled(u, radius));
    for (int32_t i = 1; i <= kRingSegments; ++i) {
        const float angle = kTwoPi * float(i) / float(kRingSegments);
        const V3d next = V3dAdd(
            centre, V3dAdd(V3dScaled(u, radius * std::cos(angle)), V3dScaled(v, radius * std::sin(angle))));
        AddLocalSegment(previous, next, frame, colour);
        previous = next;
    }
}

void CPhysicsDebugLines::AddBox(const V3d& centre, const V3d& half, const Matrix* frame, uint32_t colour)
{
    const float h[3] = {half.x, half.y, half.z};
    for (int32_t edge = 0; edge < 12; ++edge) {
        // Four edges along each axis, at the four sign pairs of the other two.
        const int32_t axis = edge / 4, second = (axis + 1) % 3, third = (axis + 2) % 3;
        float a[3], b[3];
        a[axis] = -h[axis];
        b[axis] = h[axis];
        a[second] = b[second] = (edge & 1) ? h[second] : -h[second];
        a[third] = b[third] = (edge & 2) ? h[third] : -h[third];
        AddLocalSegment(V3dAdd(centre, {a[0], a[1], a[2]}), V3dAdd(centre, {b[0], b[1], b[2]}), frame,
                        colour);
    }
}

void CPhysicsDebugLines::AddTriangleList(const OlpVolume* volume, const Matrix* matrix, uint32_t colour)
{
    OlpBBox box;
    OlpTrilistCallback query = OlpTrilistGetCallback(volume);
    if (query == nullptr || OlpVolumeGetBBox(volume, matrix, 0, &box) == nullptr)
        return;
    m_triangles.resize(kTrilistTriangles);
    OlpTrilistQuery found{m_triangles.data(), 0, kTrilistTriangles, 0, nullptr};
    if (query(volume, matrix, &box, 0, &found) == nullptr)
        return;
    for (uint32_t i = 0; i < std::min(found.count, kTrilistTriangles); ++i) {
        const OlpTriangleData& t = m_triangles[i];
        AddSegment(t.a, t.b, colour);
        AddSegment(t.b, t.c, colour);
        AddSegment(t.c, t.a, colour);
    }
}

void CPhysicsDebugLines::AddVolume(const OlpVolume* volume, const Matrix* matrix, uint32_t colour)
{
    if (volume == nullptr || volume->descriptor == nullptr)
        return;
    Matrix storage;
    const Matrix* frame = OlpVolumeEffectiveFrame(volume, matrix, &storage);
    const V3d o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    switch (volume->descriptor->typeId) {
    case kOlpTypeNull:
        AddLocalSegment(V3dScaled(x, -kNullCross), V3dScaled(x, kNullCross), frame, colour);
        AddLocalSegment(V3dScaled(y, -kNullCross), V3dScaled(y, kNullCross), frame, colour);
        AddLocalSegment(V3dScaled(z, -kNullCross), V3dScaled(z, kNullCross), frame, colour);
        break;
    case kOlpTypePlane: {
        // The plane's normal is its local z: a patch of its x-y plane and the normal.
        const float step = 2.0f * kPlaneHalfSize / float(kPlaneLines - 1);
        for (int32_t i = 0; i < kPlaneLines; ++i) {
            const float c = -kPlaneHalfSize + step * float(i);
            AddLocalSegment({c, -kPlaneHalfSize, 0}, {c, kPlaneHalfSize, 0}, frame, colour);
            AddLocalSegment({-kPlaneHalfSize, c, 0}, {kPlaneHalfSize, c, 0}, frame, colour);
        }
        AddLocalSegment(o, z, frame, colour);
        break;
    }
    case kOlpTypeSphere: {
        const float r = OlpSphereGetRadius(volume);
        AddRing(o, x, y, r, frame, colour);
        AddRing(o, y, z, r, frame, colour);
        AddRing(o, z, x, r, frame, colour);
        break;
    }
    case kOlpTypeCapsule:
    case kOlpTypeCylinder: {
        // Both stand along their local z.
        const bool capsule = volume->descriptor->typeId == kOlpTypeCapsule;
        const float r = capsule ? volume->margin : OlpCylinderGetRadius(volume);
        const float h = capsule ? OlpCapsuleGetHalfHeight(volume) : OlpCylinderGetHalfHeight(volume);
        const V3d top = V3dScaled(z, h), bottom = V3dScaled(z, -h);
        AddRing(top, x, y, r, frame, colour);
        AddRing(bottom, x, y, r, frame, colour);
        for (const V3d& side : {x, y, V3dScaled(x, -1.0f), V3dScaled(y, -1.0f)})
            AddLocalSegment(V3dAdd(bottom, V3dScaled(side, r)), V3dAdd(top, V3dScaled(side, r)), frame,
                            colour);
        if (capsule) {
            AddRing(top, x, z, r, frame, colour);
            AddRing(bottom, x, z, r, frame, colour);
        }
        break;
    }
    case kOlpTypeTriangle: {
        const OlpTriangleData* t = OlpTriangleGetData(volume);
        AddLocalSegment(t->a, t->b, frame, colour);
        AddLocalSegment(t->b, t->c, frame, colour);
        AddLocalSegment(t->c, t->a, frame, colour);
        break;
    }
    case kOlpTypeBox: {
        V3d half;
        OlpBoxGetHalfExtents(volume, &half);
        AddBox(o, half, frame, colour);
        break;
    }
    case kOlpTypeConvex:
        if (const OlpConvexHull* hull = OlpConvexGetHull(volume)) {
            for (uint32_t e = 0; e < hull->edgeCount; ++e) {
                const OlpHullEdge& edge = hull->edges[e];
                // Each edge appears as two half-edges: draw one of them.
                if (edge.from < edge.to && edge.to < hull->vertexCount)
                    AddLocalSegment(hull->vertices[edge.from], hull->vertices[edge.to], frame, colour);
            }
        }
        break;
    case kOlpTypeAggregate:
        if (OlpAggChildren* children = OlpAggregateGetChildren(volume)) {
            for (uint32_t i = 0; i < children->count; ++i)
                AddVolume(&children->children[i], frame, colour);
        }
        break;
    case kOlpTypeGrid: {
        auto* grid = const_cast<OlpVolume*>(volume);
        for (uint32_t i = 0; i < OlpGridGetCellCount(grid); ++i)
            AddVolume(OlpGridGetCell(grid, i), frame, colour);
        break;
    }
    case kOlpTypeTrilist:
        AddTriangleList(volume, matrix, colour);
        break;
    default: {
        // A type of its own: its box in world terms.
        OlpBBox box;
        if (OlpVolumeGetBBox(volume, matrix, 1, &box) != nullptr)
            AddBox(V3dScaled(V3dAdd(box.max, box.min), 0.5f), V3dScaled(V3dSub(box.max, box.min), 0.5f),
                   nullptr, colour);
        break;
    }
    }
}

void CPhysicsDebugLines::AddContext(OlpContext* context, const Content& content)
{
    if (context == nullptr)
        return;
    ContextWalk walk{this, OlpContextGetMgr(context)};
    if (content.statics)
        OlpContextForAllObjects(context, AddStatic, &walk);
    if (content.objects && walk.manager != nullptr)
        OlpMgrForAllObjects(walk.manager, AddObject, &walk);
    if (content.joints && walk.manager != nullptr)
        OlpMgrForAllJoints(walk.manager, AddJoint, &walk);
    const OlpPipeline* pipeline = OlpContextGetPipeline(context);
    if (!content.contacts || pipeline == nullptr)
        return;
    for (uint32_t c = 0; c < pipeline->contactCount; ++c) {
        const OlpContact& contact = pipeline->contacts[c];
        for (uint32_t i = 0; i < std::min<uint32_t>(contact.count, kOlpContactMaxPoints); ++i) {
            const V3d& p = contact.points[i].position;
            AddSegment(p, V3dAdd(p, V3dScaled(contact.normal, kContactNormalLength)), kContactColour);
            AddSegment(V3dAdd(p, {-kContactCross, 0, 0}), V3dAdd(p, {kContactCross, 0, 0}), kContactColour);
            AddSegment(V3dAdd(p, {0, 0, -kContactCross}), V3dAdd(p, {0, 0, kContactCross}), kContactColour);
        }
    }
}

int32_t CPhysicsDebugLines::Draw()
{
    int32_t batches = 0;
    ScreenSetState(kRenderStateCullMode, kCullNone);
    ScreenSetRaster(nullptr);
    for (size_t first = 0; first < m_vertices.size(); first += kBatchVertices) {
        const auto count = uint32_t(std::min<size_t>(kBatchVertices, m_vertices.size() - first));
        if (Im3DTransform(m_vertices.data() + first, count, nullptr, 0) != nullptr) {
            batches += Im3DRenderPrimitive(kIm3DLineList) != 0;
            Im3DEnd();
        }
    }
    ScreenSetState(kRenderStateCullMode, kCullBack);
    m_vertices.clear();
    return batches;
}
