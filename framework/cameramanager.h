#pragma once
// CCameraManager: the one main camera through which every frame is drawn,
// moved in one of five modes: Free (the mouse turns, pans and zooms it),
// Follow (orbits the target character), FPS (at the target's eyes), Path
// (flies once along the spline "models\spindrel\spline.ols", then hands over
// to FPS) and Fixed (the cameras named in "config.xml"). It is the receiver
// of the "Camera" section, keeps the switch sequence that "c" steps through,
// clears, begins, ends and shows the camera each frame, draws its overlays
// (an optional overlay picture, the fixed camera's name, the first-person
// target sprite) and picks under the pointer.
//
// Usage: the configuration reader constructs it at "Camera" and calls
// CreateCamera (engine started, "MODELS/TEXTURES/TARGET.BMP" present); the
// frame calls Update, Clear, BeginUpdate, DrawOverlays, EndUpdate and
// ShowRaster; Release before the engine stops. It tells the input manager
// its mode and raster size whenever they change.
//
// Modes without what they need fall back to Free: Follow and FPS without a
// target, Path without its spline, Fixed without that fixed camera.
#include <cstdint>

#include "framework/configsection.h"
#include "framework/splinepath.h"
#include "graphics/core/vector.h"
#include "graphics/d3d9/d3d9im2d.h"

class CCameraTarget;
class CSceneObject;
class CFont;
struct Camera;
struct Frame;
struct Texture;
struct ShellCameraRect;

/// The world query behind CCameraManager::PickUnderPointer. Until the
/// physics world exists nothing is set and picks hit nothing.
struct CameraPickQueries
{
    /// The nearest hit of the segment start-end: the fraction along it (0 to
    /// 1), the surface normal and (when `object` is not null) the scene object
    /// hit, null for static geometry. False: no hit.
    bool (*testSegment)(const V3d* start, const V3d* end, float* fraction, V3d* normal,
                        CSceneObject** object);
};

class CCameraManager : public CConfigSection
{
  public:
    enum Mode : int32_t
    {
        kFree = 1,
        kFollow = 2,
        kFps = 3,
        kPath = 4,
        kFixed = 5,
    };
    static constexpr int32_t kMaxSequence = 8;
    static constexpr int32_t kMaxFixedCameras = 16;
    static constexpr int32_t kNameSize = 64;

    /// Defaults: near 0.1, far 3000, sequence Follow, FPS, Free, Fixed, mode
    /// Free, background (88, 88, 110, 0), follow pitch 40, distance 10 x scale.
    explicit CCameraManager(float scale);
    CCameraManager(const CCameraManager&) = delete;
    CCameraManager& operator=(const CCameraManager&) = delete;
    /// Releases what it still owns.
    ~CCameraManager() override;

    /// A camera for one of the physics world's worlds, made from the main
    /// manager: its scale, clip planes, modes and follow distance, and a
    /// clone of its camera (sharing its frame and rasters); null without a
    /// main camera or when the clone fails.
    static CCameraManager* CreateWorldCamera(const CCameraManager& main);
    /// Replaces the pick's world query (null: none, picks hit nothing).
    static void SetPickQueries(const CameraPickQueries* queries);

    /// The main camera, width x height pixels with a depth buffer when
    /// `withDepth`, at (7.46, 8.72, -2.64) turned 180 degrees about y; the
    /// target sprite "TARGET.BMP" (error box and false when missing) and the
    /// path spline. False when the camera cannot be made.
    bool CreateCamera(int32_t width, int32_t height, bool withDepth);
    /// Destroys the camera, the textures, the spline and the fixed cameras; true.
    bool Release();

    /// The "Camera" section; false (after its error box, where the element
    /// has one) for a malformed element.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char* element) override;

    /// One step of the current mode; `dt` in seconds.
    void Update(float dt);
    /// The next entry of the switch sequence, skipping Fixed entries while
    /// no fixed camera exists (Free when no entry qualifies).
    void NextCamera();
    /// The next / previous fixed camera (wrapping) and mode Fixed; nothing
    /// without fixed cameras.
    void NextFixedCamera();
    void PreviousFixedCamera();

    /// Clears colour and depth with the background colour.
    void Clear();
    /// The camera's begin update; false when it fails or without camera.
    bool BeginUpdate();
    void EndUpdate();
    /// Shows the camera raster in the main window.
    void ShowRaster();
    /// The camera's frame (null without camera).
    Frame* GetCameraFrame() const;
    Camera* GetCamera() const { return m_camera; }

    /// Between begin and end update: the overlay picture, and unless paused
    /// the fixed camera's name (with `font`) or the first-person target sprite.
    void DrawOverlays(CFont* font);
    /// The camera's position by mode and, above debug level 2, the pick marker.
    void DrawDebugText(CFont* font);
    /// The nearest hit of the pixel ray under the pointer (near to far clip):
    /// its point and normal, kept as the last pick, and (when `object` is not
    /// null) the scene object hit, null for static geometry. False when
    /// nothing is hit.
    bool PickUnderPointer(V3d* point, V3d* normal, CSceneObject** object);
    /// The window's new client rectangle: the camera resized (view window
    /// 1.0, aspect 4/3) and the screen quads rebuilt.
    void OnResize(const ShellCameraRect* rect);
    /// The overlay picture: `texture` (not owned) over fractions `size` of
    /// the raster, ending `offset` pixels from there ((0, 0): the whole raster).
    void SetOverlay(bool enabled, Texture* texture, const V2d& size, const V2d& offset);
    /// Gives the camera the other camera's clip planes, fog plane, frame
    /// matrix, projection, view offset and view window.
    void CopyCameraSettings(const Camera* other);

    /// The character the follow and first-person modes use (null: none).
    void SetTarget(CCameraTarget* target);
    CCameraTarget* GetTarget() const { return m_target; }

    int32_t GetMode() const { return m_mode; }
    int32_t GetPreviousMode() const { return m_previousMode; }
    /// Sets the current mode (the start screen holds the camera in Free).
    void SetMode(int32_t mode);
    const uint8_t* GetBackgroundColour() const { return m_background; }
    void SetBackgroundColour(const uint8_t rgba[4]);

    int32_t GetSequenceCount() const { return m_sequenceCount; }
    int32_t GetSequenceEntry(int32_t i) const { return m_sequence[i]; }
    int32_t GetFixedCameraCount() const { return m_fixedCount; }
    int32_t GetCurrentFixedCamera() const { return m_currentFixed; }
    const char* GetFixedCameraName(int32_t i) const { return m_fixed[i].name; }
    Frame* GetFixedCameraFrame(int32_t i) const { return m_fixed[i].frame; }
    float GetNearClip() const { return m_nearClip; }
    float GetFarClip() const { return m_farClip; }
    float GetFieldOfView() const { return m_fov; }
    float GetFreePitch() const { return m_freePitch; }
    float GetFollowPitch() const { return m_followPitch; }
    float GetFollowYaw() const { return m_followYaw; }
    float GetFollowDistance() const { return m_followDistance; }
    float GetFpsPitch() const { return m_fpsPitch; }
    float GetPathParameter() const { return m_pathT; }
    bool HasSpline() const { return m_path.IsLoaded(); }
    /// The debug line of DrawDebugText ("Free camera at x y z", ...; empty in Fixed).
    void FormatDebugText(char* text, int32_t size) const;
    /// The target sprite's and the overlay's vertices (4 each).
    const Im2DVertex* GetTargetSprite() const { return m_targetVertices; }
    const Im2DVertex* GetOverlayQuad() const { return m_overlayVertices; }

  private:
    struct FixedCamera
    {
        Frame* frame;
        char name[kNameSize];
    };

    bool FreeStep();
    bool FollowStep();
    bool FpsStep();
    bool PathStep(float dt);
    bool FixedStep();
    /// Leaves a mode that cannot run for Free; false, as the failed step answers.
    bool FallBackToFree();
    /// Puts the target back into the world (unless it was hidden from the start).
    void RestoreTarget();
    void FreeRotate(float pitch, float yaw);
    void BuildScreenQuads();
    /// Tells the input manager the mode and the raster's size.
    void PublishState() const;

    bool ReadCameraElement(const char** attributes);
    bool ReadMode(const char** attributes, int32_t* mode, const char* message) const;
    bool ReadFollow(const char** attributes);
    bool ReadPoint(const char** attributes, const char* section, V3d* point) const;
    bool AddFixedCamera();
    bool ReadInitialPosition(const char** attributes);
    bool ReadInitialTarget(const char** attributes);

    float m_scale;
    float m_minVAngle = 0.0f;
    float m_maxVAngle = 0.0f;
    float m_minDistance = 0.0f;
    float m_maxDistance = 0.0f;
    float m_nearClip = 0.1f;
    float m_farClip = 3000.0f;
    float m_fov = 0.0f;
    int32_t m_sequence[kMaxSequence] = {kFollow, kFps, kFree, kFixed};
    int32_t m_sequenceCount = 4;
    int32_t m_sequenceEntry = 0;
    Camera* m_camera = nullptr;
    bool m_cameraIsClone = false; ///< a world camera: frame and rasters are the main camera's
    uint8_t m_background[4] = {88, 88, 110, 0};
    float m_fpsPitch = 0.0f;
    float m_freePitch = 0.0f;
    CCameraTarget* m_target = nullptr;
    bool m_targetWasHidden = false;
    float m_followYaw = 0.0f;
    float m_followPitch = 40.0f;
    float m_followDistance;
    CSplinePath m_path;
    float m_pathT = 0.0f;
    FixedCamera m_fixed[kMaxFixedCameras] = {};
    int32_t m_fixedCount = 0;
    int32_t m_currentFixed = 0;
    char m_parseName[kNameSize] = {};
    V3d m_parsePosition = {0.0f, 0.0f, 0.0f};
    V3d m_parseTarget = {0.0f, 0.0f, 0.0f};
    int32_t m_mode = kFree;
    int32_t m_previousMode = 0;
    bool m_insideFree = false;
    bool m_insideFixed = false;
    bool m_insideSequence = false;
    V3d m_pickPoint = {0.0f, 0.0f, 0.0f};
    V3d m_pickNormal = {0.0f, 0.0f, 0.0f};
    Texture* m_targetTexture = nullptr;
    Im2DVertex m_targetVertices[4] = {};
    V2d m_overlayOffset = {0.0f, 0.0f};
    V2d m_overlaySize = {0.0f, 0.0f};
    bool m_overlayEnabled = false;
    Texture* m_overlayTexture = nullptr;
    Im2DVertex m_overlayVertices[4] = {};
};
