// The five camera mode steps. Each answers true when it ran; a step that
// cannot run sets the previous and the current mode itself and answers false.
#include <algorithm>

#include "framework/cameramanager.h"
#include "framework/cameratarget.h"
#include "framework/framelookat.h"
#include "framework/inputmanager.h"
#include "framework/vectorops.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"

namespace {

constexpr V3d kXAxis = {1.0f, 0.0f, 0.0f};
constexpr V3d kYAxis = {0.0f, 1.0f, 0.0f};

/// Free camera: degrees per pixel of mouse motion, world units per pixel
/// (times the scale) for panning and zooming, and the pitch limit.
constexpr float kFreeTurn = 0.2f;
constexpr float kFreeMove = 0.1f;
constexpr float kFreePitchLimit = 89.0f;
/// Follow camera: world units per pixel (times the scale) of zoom.
constexpr float kFollowZoom = 0.04f;
/// First-person camera: degrees of turn per pixel, pitch limit, pitch below
/// which no turn is applied, eye height (times the scale).
constexpr float kFpsTurn = -0.5f;
constexpr float kFpsPitchLimit = 80.0f;
constexpr float kFpsPitchDeadZone = 0.01f;
constexpr float kFpsEyeHeight = 1.6f;
/// Path camera: the look-ahead along the spline, the speed and the point at
/// which it hands over to the first-person camera.
constexpr float kPathLookAhead = 0.02f;
constexpr float kPathSpeed = 0.025f * 20.0f;
constexpr float kPathEnd = 0.9f;

/// The matrix with its three axes made unit length.
Matrix NormalizedAxes(const Matrix& m)
{
    Matrix out = m;
    out.right = V3dUnit(m.right);
    out.up = V3dUnit(m.up);
    out.at = V3dUnit(m.at);
    return out;
}

} // namespace

bool CCameraManager::FallBackToFree()
{
    m_previousMode = m_mode;
    m_mode = kFree;
    return false;
}

void CCameraManager::RestoreTarget()
{
    if (m_target && !m_targetWasHidden && !m_target->IsInWorld())
        m_target->SetInWorld(true);
}

bool CCameraManager::FreeStep()
{
    RestoreTarget();
    Frame* frame = GetCameraFrame();
    CInputManager* input = CInputManager::Instance();
    const bool rotate = input->IsLeftButtonHeld();
    const bool zoom = input->IsRightButtonHeld();
    if (!frame || (!rotate && !zoom))
        return true;
    float dx = 0.0f, dy = 0.0f;
    input->TakeMouseDelta(&dx, &dy);
    if (dx == 0.0f && dy == 0.0f)
        return true;
    const Matrix* m = FrameGetMatrix(frame);
    if (!input->IsLeftControlHeld()) {
        if (rotate)
            FreeRotate(dy * kFreeTurn, dx * kFreeTurn);
    } else if (rotate) {
        const V3d pan = V3dAdd(V3dScaled(V3dUnit(m->right), dx * m_scale * kFreeMove),
                               V3dScaled(V3dUnit(m->up), dy * m_scale * kFreeMove));
        FrameTranslate(frame, &pan, kCombinePostConcat);
    }
    if (zoom) {
        const V3d forward = V3dScaled(V3dUnit(m->at), dy * m_scale * -kFreeMove);
        FrameTranslate(frame, &forward, kCombinePostConcat);
    }
    FrameUpdateObjects(frame);
    return true;
}

void CCameraManager::FreeRotate(float pitch, float yaw)
{
    // The accumulated pitch stays within the limits: the step is cut at them.
    const float step = std::clamp(m_freePitch + pitch, -kFreePitchLimit, kFreePitchLimit) - m_freePitch;
    m_freePitch += step;
    Frame* frame = GetCameraFrame();
    const V3d position = FrameGetMatrix(frame)->pos;
    const V3d toOrigin = V3dScaled(position, -1.0f);
    FrameTranslate(frame, &toOrigin, kCombinePostConcat);
    const V3d right = V3dUnit(FrameGetMatrix(frame)->right);
    FrameRotate(frame, &right, -step, kCombinePostConcat);
    FrameRotate(frame, &kYAxis, yaw, kCombinePostConcat);
    FrameTranslate(frame, &position, kCombinePostConcat);
}

bool CCameraManager::FollowStep()
{
    Frame* targetFrame = m_target ? m_target->GetCameraFrame() : nullptr;
    Frame* frame = GetCameraFrame();
    if (!targetFrame || !frame)
        return FallBackToFree();
    RestoreTarget();
    CInputManager* input = CInputManager::Instance();
    float dx = 0.0f, dy = 0.0f;
    if (input->IsLeftButtonHeld()) {
        input->TakeMouseDelta(&dx, &dy);
        m_followYaw -= dx;
        m_followPitch = std::clamp(m_followPitch + dy, m_minVAngle, m_maxVAngle);
    }
    if (input->IsRightButtonHeld()) {
        input->TakeMouseDelta(&dx, &dy);
        m_followDistance =
            std::clamp(m_followDistance + dy * m_scale * kFollowZoom, m_minDistance, m_maxDistance);
    }
    *FrameGetMatrix(frame) = NormalizedAxes(*FrameGetLTM(targetFrame));
    FrameRotate(frame, &kYAxis, m_followYaw, kCombinePreConcat);
    FrameRotate(frame, &kXAxis, m_followPitch, kCombinePreConcat);
    const Matrix* m = FrameGetMatrix(frame);
    const V3d back = V3dScaled(V3dUnit(m->at), -m_followDistance);
    FrameTranslate(frame, &back, kCombinePostConcat);
    const V3d raise = V3dScaled(V3dUnit(m->up), m_scale);
    FrameTranslate(frame, &raise, kCombinePostConcat);
    FrameUpdateObjects(frame);
    return true;
}

bool CCameraManager::FpsStep()
{
    Frame* targetFrame = m_target ? m_target->GetCameraFrame() : nullptr;
    Frame* frame = GetCameraFrame();
    if (!targetFrame || !frame)
        return FallBackToFree();
    const bool entering = m_previousMode != kFps;
    // The eyes are inside the target: it leaves the world while seen from there.
    if (!m_targetWasHidden && m_target->IsInWorld())
        m_target->SetInWorld(false);
    CInputManager* input = CInputManager::Instance();
    float dx = 0.0f, dy = 0.0f;
    if (!entering) {
        input->TakeMouseDelta(&dx, &dy);
        if (dx != 0.0f) {
            m_followYaw = dx * kFpsTurn;
            FrameRotate(targetFrame, &kYAxis, m_followYaw, kCombinePreConcat);
        }
    } else {
        input->RecentreCursor();
        input->TakeMouseDelta(&dx, &dy);
        dy = 0.0f;
    }
    Matrix m = NormalizedAxes(*FrameGetLTM(targetFrame));
    if (entering) {
        m.right = {-1.0f, 0.0f, 0.0f};
        m.up = {0.0f, 1.0f, 0.0f};
        m.at = {0.0f, 0.0f, -1.0f};
    }
    m_fpsPitch = std::clamp(m_fpsPitch + dy, -kFpsPitchLimit, kFpsPitchLimit);
    const V3d position = m.pos;
    const V3d toOrigin = V3dScaled(position, -1.0f);
    MatrixTranslate(&m, &toOrigin, kCombinePostConcat);
    if (m_fpsPitch < -kFpsPitchDeadZone || m_fpsPitch > kFpsPitchDeadZone) {
        const V3d right = m.right;
        MatrixRotate(&m, &right, m_fpsPitch, kCombinePostConcat);
    }
    MatrixTranslate(&m, &position, kCombinePostConcat);
    const V3d raise = V3dScaled(V3dUnit(m.up), kFpsEyeHeight * m_scale);
    MatrixTranslate(&m, &raise, kCombinePostConcat);
    MatrixOrthoNormalize(FrameGetMatrix(frame), &m);
    FrameUpdateObjects(frame);
    input->RecentreCursor();
    return true;
}

bool CCameraManager::PathStep(float dt)
{
    Frame* frame = GetCameraFrame();
    V3d p, q;
    if (!frame || !m_path.Evaluate(m_pathT, &p, nullptr) ||
        !m_path.Evaluate(m_pathT + kPathLookAhead, &q, nullptr))
        return FallBackToFree();
    FrameLookAt(frame, &p, &q);
    // The flight plays once: t is never reset, so choosing Path again hands
    // over at the next update.
    m_pathT += dt * kPathSpeed;
    if (m_pathT >= kPathEnd) {
        m_previousMode = kPath;
        m_mode = kFps;
        return false;
    }
    return true;
}

bool CCameraManager::FixedStep()
{
    Frame* frame = GetCameraFrame();
    if (m_currentFixed >= m_fixedCount || !frame) {
        m_previousMode = kFixed;
        m_mode = kFree;
        return false;
    }
    const Matrix m = NormalizedAxes(*FrameGetMatrix(m_fixed[m_currentFixed].frame));
    MatrixOrthoNormalize(FrameGetMatrix(frame), &m);
    FrameUpdateObjects(frame);
    return true;
}
