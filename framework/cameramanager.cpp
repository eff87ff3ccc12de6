// The camera manager's life, switching, per-frame camera calls, screen quads
// and drawing. The mode steps are in cameramodes.cpp, the "Camera" section in
// cameraconfig.cpp.
#include "framework/cameramanager.h"

#include <cstdio>

#include "framework/cameratarget.h"
#include "framework/font.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/marker.h"
#include "framework/screenquad.h"
#include "framework/standardapplication.h"
#include "framework/vectorops.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/scene/intersection.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellpath.h"

namespace {

CameraPickQueries gPickQueries = {nullptr};

/// Where the main camera starts, before "Free" places it.
constexpr V3d kStartPosition = {7.46f, 8.72f, -2.64f};
constexpr V3d kYAxis = {0.0f, 1.0f, 0.0f};
/// Clear colour and depth.
constexpr int32_t kClearColourAndDepth = 3;
/// The view window half width at distance 1 (tan 45 degrees) and the aspect.
constexpr float kViewWindow = 1.0f;
constexpr float kAspect = 1.3333334f;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kPickMarkerColour = 0xB040FF40;

} // namespace

CCameraManager::CCameraManager(float scale) : m_scale(scale), m_followDistance(10.0f * scale)
{
}

CCameraManager::~CCameraManager()
{
    Release();
}

CCameraManager* CCameraManager::CreateWorldCamera(const CCameraManager& main)
{
    if (!main.m_camera)
        return nullptr;
    Camera* clone = CameraClone(main.m_camera);
    if (!clone)
        return nullptr;
    auto* world = new CCameraManager(main.m_scale);
    // Every other field zero or none.
    world->m_sequenceCount = 0;
    world->m_followPitch = 0.0f;
    world->m_background[0] = world->m_background[1] = world->m_background[2] = 0;
    world->m_nearClip = main.m_nearClip;
    world->m_farClip = main.m_farClip;
    world->m_mode = main.m_mode;
    world->m_previousMode = main.m_previousMode;
    world->m_followDistance = main.m_followDistance;
    world->m_camera = clone;
    world->m_cameraIsClone = true;
    return world;
}

void CCameraManager::SetPickQueries(const CameraPickQueries* queries)
{
    gPickQueries = queries ? *queries : CameraPickQueries{nullptr};
}

bool CCameraManager::CreateCamera(int32_t width, int32_t height, bool withDepth)
{
    m_camera = ShellCameraCreate(width, height, withDepth);
    if (!m_camera)
        return false;
    CameraSetNearClipPlane(m_camera, m_nearClip);
    CameraSetFarClipPlane(m_camera, m_farClip);
    Frame* frame = CameraGetFrame(m_camera);
    FrameSetIdentity(frame);
    FrameTranslate(frame, &kStartPosition, kCombineReplace);
    FrameRotate(frame, &kYAxis, 180.0f, kCombinePreConcat);
    PublishState();

    char* path = ShellMakeNativePath("MODELS/TEXTURES/");
    ImageSetPath(path ? path : "MODELS/TEXTURES/");
    ShellFreePath(path);
    m_targetTexture = TextureRead("TARGET.BMP", nullptr);
    if (!m_targetTexture) {
        CStandardApplication::ReportEngineError("Texture not found : 'TARGET.BMP'");
        return false;
    }
    BuildScreenQuads();
    return m_path.Load();
}

bool CCameraManager::Release()
{
    if (m_camera) {
        if (m_cameraIsClone)
            CameraDestroy(m_camera); // the frame and rasters are the main camera's
        else
            ShellCameraDestroy(m_camera);
        m_camera = nullptr;
    }
    if (m_targetTexture) {
        TextureDestroy(m_targetTexture);
        m_targetTexture = nullptr;
    }
    m_path.Destroy();
    for (int32_t i = 0; i < m_fixedCount; ++i) {
        FrameDestroy(m_fixed[i].frame);
        m_fixed[i].frame = nullptr;
    }
    m_fixedCount = 0;
    return true;
}

void CCameraManager::Update(float dt)
{
    bool ran = true;
    switch (m_mode) {
    case kFree:
        ran = FreeStep();
        break;
    case kFollow:
        ran = FollowStep();
        break;
    case kFps:
        ran = FpsStep();
        break;
    case kPath:
        ran = PathStep(dt);
        break;
    case kFixed:
        ran = FixedStep();
        break;
    default:
        break;
    }
    if (ran)
        m_previousMode = m_mode;
    PublishState();
}

void CCameraManager::NextCamera()
{
    // One pass at most: a sequence of Fixed entries without fixed cameras
    // (or an empty sequence) has no entry to stop at and gives Free.
    for (int32_t tried = 0; tried < m_sequenceCount; ++tried) {
        m_sequenceEntry = (m_sequenceEntry + 1) % m_sequenceCount;
        if (m_sequence[m_sequenceEntry] != kFixed || m_fixedCount > 0) {
            SetMode(m_sequence[m_sequenceEntry]);
            return;
        }
    }
    SetMode(kFree);
}

void CCameraManager::NextFixedCamera()
{
    if (m_fixedCount <= 0)
        return;
    m_currentFixed = (m_currentFixed + 1) % m_fixedCount;
    SetMode(kFixed);
}

void CCameraManager::PreviousFixedCamera()
{
    if (m_fixedCount <= 0)
        return;
    m_currentFixed = m_currentFixed - 1 < 0 ? m_fixedCount - 1 : m_currentFixed - 1;
    SetMode(kFixed);
}

void CCameraManager::SetMode(int32_t mode)
{
    m_mode = mode;
    PublishState();
}

void CCameraManager::SetBackgroundColour(const uint8_t rgba[4])
{
    for (int i = 0; i < 4; ++i)
        m_background[i] = rgba[i];
}

void CCameraManager::SetTarget(CCameraTarget* target)
{
    m_target = target;
    // A target that is not in the world now was hidden on purpose: no mode
    // adds or removes it.
    m_targetWasHidden = target && !target->IsInWorld();
}

void CCameraManager::Clear()
{
    if (m_camera)
        CameraClear(m_camera, m_background, kClearColourAndDepth);
}

bool CCameraManager::BeginUpdate()
{
    return m_camera && CameraBeginUpdate(m_camera) != nullptr;
}

void CCameraManager::EndUpdate()
{
    if (m_camera)
        CameraEndUpdate(m_camera);
}

void CCameraManager::ShowRaster()
{
    if (m_camera)
        ShellCameraShowRaster(m_camera);
}

Frame* CCameraManager::GetCameraFrame() const
{
    return m_camera ? CameraGetFrame(m_camera) : nullptr;
}

void CCameraManager::PublishState() const
{
    const Raster* raster = m_camera ? m_camera->frameBuffer : nullptr;
    CInputManager::Instance()->SetCameraState(true, m_mode, raster ? raster->width : 0,
                                              raster ? raster->height : 0);
}

void CCameraManager::BuildScreenQuads()
{
    const Raster* raster = m_camera ? m_camera->frameBuffer : nullptr;
    if (!raster)
        return;
    const float w = float(raster->width);
    const float h = float(raster->height);
    const float cx = float(int32_t(w * 0.5f));
    const float cy = float(int32_t(h * 0.5f));
    const float z = ScreenNearZ();
    // Screen quads are parallel to the screen, so any positive reciprocal z
    // serves: these sprites use near clip - 0.1, which is 0 (nothing drawn)
    // at the default near clip of 0.1, where they take the near clip itself.
    const float recipZ = ScreenRecipZ(m_nearClip - 0.1f, m_nearClip);
    ScreenQuadSet(m_targetVertices, cx - 1.0f, cy - 1.0f, 2.0f, 2.0f, z, recipZ, kWhite);
    if (m_overlayOffset.x == 0.0f && m_overlayOffset.y == 0.0f) {
        ScreenQuadSet(m_overlayVertices, 0.0f, 0.0f, w, h, z, recipZ, kWhite);
    } else {
        const float x1 = w * m_overlaySize.x;
        const float y1 = h * m_overlaySize.y;
        ScreenQuadSet(m_overlayVertices, x1 - m_overlayOffset.x, y1 - m_overlayOffset.y, m_overlayOffset.x,
                      m_overlayOffset.y, z, recipZ, kWhite);
    }
}

void CCameraManager::OnResize(const ShellCameraRect* rect)
{
    if (!m_camera)
        return;
    ShellCameraSize(m_camera, rect, kViewWindow, kAspect);
    BuildScreenQuads();
    PublishState();
}

void CCameraManager::SetOverlay(bool enabled, Texture* texture, const V2d& size, const V2d& offset)
{
    m_overlayEnabled = enabled;
    m_overlayTexture = texture;
    m_overlaySize = size;
    m_overlayOffset = offset;
    if (enabled)
        BuildScreenQuads();
}

void CCameraManager::CopyCameraSettings(const Camera* other)
{
    if (!m_camera || !other)
        return;
    CameraSetNearClipPlane(m_camera, other->nearPlane);
    CameraSetFarClipPlane(m_camera, other->farPlane);
    CameraSetFogDistance(m_camera, other->fogPlane);
    Frame* frame = CameraGetFrame(m_camera);
    Frame* otherFrame = CameraGetFrame(other);
    if (frame && otherFrame && frame != otherFrame) {
        *FrameGetMatrix(frame) = *FrameGetMatrix(otherFrame);
        FrameUpdateObjects(frame);
    }
    CameraSetProjection(m_camera, other->projection);
    CameraSetViewOffset(m_camera, &other->viewOffset);
    CameraSetViewWindow(m_camera, &other->viewWindow);
}

void CCameraManager::DrawOverlays(CFont* font)
{
    if (m_overlayEnabled && m_overlayTexture) {
        ScreenBeginOverlay();
        ScreenSetRaster(TextureGetRaster(m_overlayTexture));
        ScreenQuadDraw(m_overlayVertices);
        ScreenSetDepth(true);
    }
    if (Framework().paused)
        return;
    if (m_mode == kFixed && m_currentFixed < m_fixedCount) {
        if (font) {
            const V2d at = {0.025f, 0.82f};
            font->Print(m_fixed[m_currentFixed].name, &at, 0.04f);
        }
    } else if (m_mode == kFps) {
        ScreenSetDepth(false);
        ScreenSetRaster(m_targetTexture ? TextureGetRaster(m_targetTexture) : nullptr);
        ScreenQuadDraw(m_targetVertices);
        ScreenSetDepth(true);
    }
}

void CCameraManager::FormatDebugText(char* text, int32_t size) const
{
    const char* format = nullptr;
    switch (m_mode) {
    case kFollow:
        format = "Follow camera at %2.2f %2.2f %2.2f";
        break;
    case kFree:
        format = "Free camera at %2.2f %2.2f %2.2f";
        break;
    case kFps:
        format = "FPS camera at %2.2f %2.2f %2.2f";
        break;
    case kPath:
        format = "Path camera at %2.2f %2.2f %2.2f";
        break;
    default:
        break;
    }
    Frame* frame = GetCameraFrame();
    if (!format || !frame) {
        text[0] = '\0';
        return;
    }
    const V3d& p = FrameGetMatrix(frame)->pos;
    std::snprintf(text, size_t(size), format, double(p.x), double(p.y), double(p.z));
}

void CCameraManager::DrawDebugText(CFont* font)
{
    char text[128];
    FormatDebugText(text, sizeof text);
    if (font) {
        const V2d at = {0.025f, 0.82f};
        font->Print(text, &at, 0.04f);
    }
    if (Framework().debugLevel <= 2)
        return;
    V3d point, normal;
    PickUnderPointer(&point, &normal, nullptr);
    // Two unit vectors across the normal, from the world axis that lies
    // furthest from it.
    const V3d& n = m_pickNormal;
    const V3d axis = n.y >= 0.6f ? V3d{1.0f, 0.0f, 0.0f} : V3d{0.0f, 1.0f, 0.0f};
    const V3d s = V3dUnit(V3dCross(n, axis));
    const V3d t = V3dUnit(V3dCross(n, s));
    Im3DVertex marker[kMarkerVertices] = {};
    MarkerBuild(marker, m_pickPoint, n, s, t, 0.5f, 1.0f, 0.0f);
    MarkerSetColour(marker, kMarkerVertices, kPickMarkerColour);
    MarkerDraw(marker, kMarkerVertices);
}

bool CCameraManager::PickUnderPointer(V3d* point, V3d* normal, CSceneObject** object)
{
    if (!m_camera || !gPickQueries.testSegment)
        return false;
    V2d pixel;
    CInputManager::Instance()->GetPointerPosition(&pixel.x, &pixel.y);
    // The ray comes from the camera's view, which follows its frame only
    // when synchronised (the frame may have moved since the last draw).
    CameraSync(m_camera);
    IntersectionLine ray;
    CameraCalcPixelRay(m_camera, &ray, &pixel);
    float fraction = 0.0f;
    V3d hitNormal;
    if (!gPickQueries.testSegment(&ray.start, &ray.end, &fraction, &hitNormal, object))
        return false;
    m_pickPoint = V3dAdd(ray.start, V3dScaled(V3dSub(ray.end, ray.start), fraction));
    m_pickNormal = hitNormal;
    *point = m_pickPoint;
    *normal = m_pickNormal;
    return true;
}
