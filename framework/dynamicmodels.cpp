#include "framework/dynamicmodels.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "framework/bodydefinitions.h"
#include "framework/bodymodel.h"
#include "framework/cameramanager.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/marker.h"
#include "framework/physicshelpers.h"
#include "framework/physicsworld.h"
#include "framework/sceneobject.h"
#include "framework/standardapplication.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "physics/core/body/body.h"
#include "physics/core/body/bodydef.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "platform/win32/debugout.h"

namespace {

CDynamicModels* gInstance = nullptr;

// The sphere kind's fixed body.
constexpr float kSphereRadius = 0.5f;
constexpr float kSphereMass = 30.0f;
constexpr float kSphereSlide = 1.0f;
constexpr float kSphereBounce = 0.5f;
constexpr float kDegreesToRadians = 0.0055555557f * 3.141592f;
// The arrow's head: its length and half width; the shaft's half width.
constexpr float kHeadLength = 0.3f;
constexpr float kHeadHalfWidth = 0.2f;
constexpr float kShaftHalfWidth = 0.04f;

bool ReadFloats(const char** attributes, int32_t first, const char* const* keys, float* const* values,
                int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!ReadFloatAttribute(keys[i], AttributePair(attributes, first + i), values[i]))
            return false;
    }
    return true;
}

// The frame that the grabbed object's body moves.
Frame* BodyFrame(CSceneObject* object)
{
    Atomic* atomic = object->GetFirstAtomic();
    return atomic ? AtomicGetFrame(atomic) : nullptr;
}

} // namespace

CDynamicModels* CDynamicModels::Instance()
{
    if (!gInstance)
        gInstance = new (std::nothrow) CDynamicModels;
    return gInstance;
}

CDynamicModels* CDynamicModels::Existing()
{
    return gInstance;
}

void CDynamicModels::Destroy()
{
    delete gInstance;
    gInstance = nullptr;
}

CDynamicModels::~CDynamicModels()
{
    // A file cut short inside "Instances" leaves definitions behind.
    for (int32_t i = 0; i < m_kindCount; ++i) {
        if (m_kinds[i].definition)
            OlpBodyDefRelease(m_kinds[i].definition);
    }
}

bool CDynamicModels::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Models") == 0) {
        m_inModels = true;
        return true;
    }
    if (std::strcmp(element, "Instances") == 0) {
        m_inInstances = true;
        return true;
    }
    if (m_inModels && std::strcmp(element, "Sphere") == 0)
        return ReadSphere(attributes);
    if (m_inModels && std::strcmp(element, "Box") == 0)
        return ReadBox(attributes);
    if (m_inInstances && std::strcmp(element, "Instance") == 0)
        return ReadInstance(attributes);
    return true;
}

bool CDynamicModels::OnEnd(const char* element)
{
    if (std::strcmp(element, "Models") == 0) {
        m_inModels = false;
    } else if (std::strcmp(element, "Instances") == 0) {
        // The bodies keep their own references.
        for (int32_t i = 0; i < m_kindCount; ++i) {
            if (m_kinds[i].definition)
                OlpBodyDefRelease(m_kinds[i].definition);
            m_kinds[i].definition = nullptr;
        }
        m_inInstances = false;
    }
    return true;
}

CDynamicModels::Kind* CDynamicModels::ReadKindHeader(const char** attributes)
{
    const char* name = ReadTextAttribute("name", AttributePair(attributes, 0));
    const char* file = ReadTextAttribute("clumpFilename", AttributePair(attributes, 1));
    if (!name || !file)
        return nullptr;
    if (m_kindCount == kMaxKinds) {
        CStandardApplication::ReportEngineError(
            "Too much dynamic model kinds.\nPlease increase MAX_DYNAMIC_MODELS value");
        return nullptr;
    }
    Kind* kind = &m_kinds[m_kindCount];
    std::snprintf(kind->name, sizeof kind->name, "%s", name);
    std::snprintf(kind->clumpFilename, sizeof kind->clumpFilename, "%s", file);
    kind->definition = nullptr;
    return kind;
}

bool CDynamicModels::ReadSphere(const char** attributes)
{
    Kind* kind = ReadKindHeader(attributes);
    if (!kind)
        return false;
    kind->definition = CreateSphereBodyDefinition(kSphereRadius, kSphereMass, kSphereSlide, kSphereBounce);
    ++m_kindCount;
    return true;
}

bool CDynamicModels::ReadBox(const char** attributes)
{
    float dx = 0.0f, dy = 0.0f, dz = 0.0f, mass = 0.0f, slide = 0.0f, bounce = 0.0f;
    const char* const keys[] = {"dx", "dy", "dz", "mass", "slide", "bounce"};
    float* const values[] = {&dx, &dy, &dz, &mass, &slide, &bounce};
    // Everything is read before the table takes the kind.
    if (!ReadTextAttribute("name", AttributePair(attributes, 0)) ||
        !ReadTextAttribute("clumpFilename", AttributePair(attributes, 1)) ||
        !ReadFloats(attributes, 2, keys, values, 6))
        return false;
    Kind* kind = ReadKindHeader(attributes);
    if (!kind)
        return false;
    kind->definition = CreateBoxBodyDefinition(dx, dy, dz, mass, slide, bounce);
    ++m_kindCount;
    return true;
}

bool CDynamicModels::ReadInstance(const char** attributes)
{
    const char* model = ReadTextAttribute("model", AttributePair(attributes, 0));
    if (!model)
        return false;
    const Kind* kind = nullptr;
    for (int32_t i = 0; i < m_kindCount && !kind; ++i) {
        if (std::strcmp(m_kinds[i].name, model) == 0)
            kind = &m_kinds[i];
    }
    V3d position{}, axis{};
    float angle = 0.0f;
    const char* const keys[] = {"px", "py", "pz", "ox", "oy", "oz", "angle"};
    float* const values[] = {&position.x, &position.y, &position.z, &axis.x, &axis.y, &axis.z, &angle};
    // Every attribute is read before anything is made, so that a missing one leaks nothing.
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (!kind || !kind->definition || !ReadFloats(attributes, 1, keys, values, 7) || !worlds ||
        !worlds->GetContext())
        return false;
    OlpBody* body = OlpBodyCreate(kind->definition);
    if (!body)
        return false;
    auto* object = new CSceneObject;
    object->SetName(model);
    if (!object->LoadClump(kind->clumpFilename) || !AttachBodyToModel(object, body, 1.0f)) {
        object->Unload();
        delete object;
        OlpBodyDestroy(body);
        return false;
    }
    // From here on the physics world owns the model and its body; the
    // pointer's pick finds it.
    object->SetCollidable(true);
    worlds->RegisterObject(object);
    OlpMgrAddObject(OlpContextGetMgr(worlds->GetContext()), &body->base, kOlpMgrAnyId,
                    kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
    PhysicsObjectSetPosition(&body->base, position.x, position.y, position.z);
    if (angle != 0.0f)
        PhysicsObjectRotate(&body->base, axis.x, axis.y, axis.z, angle * kDegreesToRadians);
    return true;
}

V3d CDynamicModels::PullForce(const V3d& grabPoint, const V3d& target)
{
    V3d force = V3dScaled(V3dSub(target, grabPoint), kPullStrength);
    const float length = std::sqrt(force.x * force.x + force.y * force.y + force.z * force.z);
    if (length > kMaxForce)
        force = V3dScaled(force, kMaxForce / length);
    return force;
}

void CDynamicModels::Release()
{
    m_grabbing = false;
    m_grabbedBody = nullptr;
    m_grabbedObject = nullptr;
}

void CDynamicModels::TryGrab()
{
    CCameraManager* cameras = Framework().cameraManager;
    V3d point{}, normal{};
    CSceneObject* object = nullptr;
    if (!cameras || !cameras->PickUnderPointer(&point, &normal, &object) || !object ||
        !object->GetPhysicsObject())
        return;
    Frame* frame = BodyFrame(object);
    if (!frame)
        return;
    m_grabbing = true;
    m_grabbedObject = object;
    m_grabbedBody = object->GetPhysicsObject();
    m_grabPoint = m_pullTarget = point;
    float x = 0.0f, y = 0.0f;
    if (CInputManager* input = CInputManager::Instance())
        input->GetPointerPosition(&x, &y);
    m_pointerAtGrab[0] = int32_t(x);
    m_pointerAtGrab[1] = int32_t(y);
    Matrix* inverse = MatrixCreate();
    if (inverse) {
        MatrixInvert(inverse, FrameGetLTM(frame));
        V3dTransformPoint(&m_localGrabPoint, &point, inverse);
        MatrixDestroy(inverse);
    }
}

void CDynamicModels::Pull()
{
    OlpObj* object = &m_grabbedBody->base;
    OlpMgr* mgr = object->manager;
    if (mgr && !OlpMgrIsObjectActive(mgr, object)) {
        OlpMgrActivateObject(mgr, object);
        OlpMgrSetObjectAwake(mgr, object, 1);
    }
    OlpDyn* dyn = object->parts[0].dyn;
    if (!dyn) {
        // The active bodies are all taken: an ordinary state, not an error.
        OutputDebugStringA("Dynamics not allocated\n");
        Release();
        return;
    }
    // The target follows the pointer; off every surface it stays where it was.
    CCameraManager* cameras = Framework().cameraManager;
    V3d point{}, normal{};
    if (cameras && cameras->PickUnderPointer(&point, &normal, nullptr))
        m_pullTarget = point;
    if (Frame* frame = BodyFrame(m_grabbedObject))
        V3dTransformPoint(&m_grabPoint, &m_localGrabPoint, FrameGetLTM(frame));
    const V3d force = PullForce(m_grabPoint, m_pullTarget);
    OlpDynAddForceAtPoint(dyn, &force, &m_grabPoint);
}

void CDynamicModels::Update(float)
{
    CInputManager* input = CInputManager::Instance();
    if (!input || !input->IsLeftControlHeld()) {
        Release();
        return;
    }
    if (!m_grabbing)
        TryGrab();
    else
        Pull();
}

bool CDynamicModels::BuildArrow(const V3d& from, const V3d& to, Im3DVertex out[kArrowVertices])
{
    const V3d span = V3dSub(to, from);
    const float length = std::sqrt(span.x * span.x + span.y * span.y + span.z * span.z);
    if (length <= 0.0f)
        return false;
    const V3d d = V3dScaled(span, 1.0f / length);
    // A vertical pull has no side from the up axis: take x instead.
    V3d s = V3dUnit(V3dCross({0.0f, 1.0f, 0.0f}, d));
    if (s.x == 0.0f && s.y == 0.0f && s.z == 0.0f)
        s = V3dUnit(V3dCross({1.0f, 0.0f, 0.0f}, d));
    const V3d t = V3dUnit(V3dCross(d, s));
    MarkerBuild(out, from, d, t, s, length - kHeadLength, kShaftHalfWidth, 1.0f);
    MarkerBuild(out + kMarkerVertices, to, d, t, s, -kHeadLength, kHeadHalfWidth, 0.0f);
    MarkerSetColour(out, kArrowVertices, kArrowColour);
    return true;
}

void CDynamicModels::Render()
{
    Im3DVertex arrow[kArrowVertices];
    if (m_grabbing && BuildArrow(m_grabPoint, m_pullTarget, arrow))
        MarkerDraw(arrow, kArrowVertices);
}
