#pragma once
// CPhysicsWorld: the framework's owner of the level's static worlds. It reads
// the "Worlds" section of "config.xml" (the "PhysicsGlobalSettings" values
// and one "World" element per world file), loads each world file with its
// texture dictionary, its world and its clumps, keeps the table of
// registered scene objects whose clumps stand in the first world, gives each
// world a camera made from the main camera, renders the worlds once per
// frame before the main camera draws, answers segment and corridor queries
// against the worlds' triangles and the collidable registered objects (the
// camera manager's pick goes through them while the world exists), and
// destroys everything again.
//
// Usage: the configuration reader constructs it at "Worlds" and hands it the
// section; the framework sets the main camera after the configuration, the
// frame calls RenderWorlds, and the framework's terminate removes the camera
// and deletes the world before the engine stops.
//
// The world owns every interactive object, collision triangle and collision
// plane that an adder accepts (a refused one stays with the caller), and the
// lights it makes from light descriptions; the descriptions stay with their
// makers.
//
// Ownership of registered scene objects: one owner each. The world owns the
// objects it makes (the clumps of world files) and those handed over to it by
// leaving them registered (the characters' body proxies, the dynamic models'
// instances): whatever is still registered when the world is destroyed is
// unloaded and deleted by it, and its body (its physics object, made by
// OlpBodyCreate) destroyed. Every other owner (characters, switches, lifts,
// weapons) unloads its object, which unregisters it, before deleting it and
// before the world goes.
#include <cstdint>
#include <vector>

#include "framework/configsection.h"
#include "graphics/core/vector.h"

struct Matrix;
struct OlpBBox;
struct OlpContext;
struct OlpTrilistQuery;
struct OlpVolume;
struct World;
struct WorldSector;
struct AttributeSlot;
class CCameraManager;
class CCollisionPlane;
class CCollisionTriangle;
class CFont;
class CInteractiveObject;
class CLight;
class CSceneObject;
class CSwitch;

/// The values of "PhysicsGlobalSettings".
struct PhysicsWorldSettings
{
    V3d gravity{0.0f, -10.0f, 0.0f};
    V3d boxUpper{1000.0f, 1000.0f, 1000.0f};    ///< "BBox" x1, y1, z1
    V3d boxLower{-1000.0f, -1000.0f, -1000.0f}; ///< "BBox" x2, y2, z2
    float solidSlide = 10.0f;                   ///< slide coefficient of the worlds' triangles
    int32_t maxRegisteredBodies = 200;
    int32_t maxActiveBodies = 100;
    int32_t maxFreeJoints = 20;
    float stickInAir = 5.0f;
    float stickOnGround = 0.1f;
    float mobileSlide = 1.0f;
    float mobileBounce = 0.0f;
};

/// What the last query went through.
struct PhysicsQueryStats
{
    int32_t geometries = 0; ///< geometries tested
    int32_t objects = 0;    ///< registered objects tested
    int32_t touched = 0;    ///< objects whose bounding sphere the query touched
};

/// What SphereQuery keeps: the chosen triangle and its contact.
struct SphereQueryResult
{
    float distance; ///< from the centre to the contact point
    int32_t hit;    ///< 1 when a triangle was kept
    V3d normal;     ///< the kept triangle's unit normal (world space)
    V3d point;      ///< the triangle's point nearest to the centre
    V3d triangle[3];
    float bestProduct;     ///< facing mode: the kept normal . direction (1 before)
    int32_t triangleCount; ///< facing mode: 1 when a triangle was kept
    V3d triangles[1][3];   ///< facing mode: the kept triangle
};

class CPhysicsWorld : public CConfigSection
{
  public:
    /// The most worlds one configuration loads.
    static constexpr int32_t kMaxWorlds = 16;
    /// Entries added to the registered-object table each time it is full.
    static constexpr int32_t kRegisteredGrowth = 64;
    /// The most objects of each interactive kind.
    static constexpr int32_t kMaxInteractive = 16;
    static constexpr int32_t kMaxCollisionTriangles = 128;
    static constexpr int32_t kMaxCollisionPlanes = 32;
    /// The interactive kinds, in the order of their updates.
    enum InteractiveKind : int32_t
    {
        kJumpHelpers,
        kSwitches,
        kLaserBeams,
        kTeleporters,
        kLifts,
        kBumpers,
        kDoors,
        kInteractiveKinds,
    };
    /// How a world is drawn ("World" flags).
    enum RenderMode : int32_t
    {
        kRenderPlain = 0,
        kRenderWireframe = 1, ///< the collision wireframe only
        kRenderBoth = 2,
    };

    /// Every value at its default; stores the instance in the framework's globals.
    CPhysicsWorld();
    /// Releases the per-world cameras, the registered objects (see above) and
    /// the worlds (the texture dictionaries stay with the engine); empties
    /// the framework's global.
    ~CPhysicsWorld() override;
    CPhysicsWorld(const CPhysicsWorld&) = delete;
    CPhysicsWorld& operator=(const CPhysicsWorld&) = delete;

    /// The section's element starts; false (after its error box, where the
    /// element has one) for a malformed element or a world that does not load.
    bool OnStart(const char* element, const char** attributes) override;
    /// The section's element ends; true.
    bool OnEnd(const char* element) override;

    /// Loads the world of `fileName` ('\' or '/' separators) drawn by
    /// `renderMode`: error box and false when the file cannot be opened or
    /// all kMaxWorlds slots are used; false without a box when the
    /// file holds no world.
    bool LoadWorld(const char* fileName, int32_t renderMode);

    /// Registers `object`: its clump joins the first world while it wants to
    /// be in the world. An emptied entry is reused, else the table grows by 64
    /// entries. False (nothing changed) before the first world is loaded.
    bool RegisterObject(CSceneObject* object);
    /// Takes `object` out of the table and its clump out of the first world;
    /// false for null, true otherwise (also when it was not registered).
    bool UnregisterObject(CSceneObject* object);
    /// Puts the clump of a registered `object` into the first world or takes
    /// it out, as its in-world flag says; false when it is not registered.
    bool RefreshObject(CSceneObject* object);
    /// The table's used length (entries may be null after an unregistration).
    int32_t GetRegisteredCount() const { return int32_t(m_registered.size()); }
    /// The table's capacity: a multiple of 64.
    int32_t GetRegisteredCapacity() const { return m_registeredCapacity; }
    /// Entry `index` (0 to GetRegisteredCount() - 1), null when empty or outside.
    CSceneObject* GetRegistered(int32_t index) const;

    /// Each adder stores the object (owned from then on) and answers true;
    /// a full table shows "Too much <kind>.\nPlease increase MAX_<KIND>
    /// value" and answers false, the caller keeping the object.
    bool AddJumpHelper(CInteractiveObject* object) { return AddInteractive(kJumpHelpers, object); }
    bool AddSwitch(CInteractiveObject* object) { return AddInteractive(kSwitches, object); }
    bool AddLaserBeam(CInteractiveObject* object) { return AddInteractive(kLaserBeams, object); }
    bool AddTeleporter(CInteractiveObject* object) { return AddInteractive(kTeleporters, object); }
    bool AddLift(CInteractiveObject* object) { return AddInteractive(kLifts, object); }
    bool AddBumper(CInteractiveObject* object) { return AddInteractive(kBumpers, object); }
    bool AddDoor(CInteractiveObject* object) { return AddInteractive(kDoors, object); }
    /// Stores the triangle and, while room remains, its twin of the other
    /// winding (made here).
    bool AddCollisionTriangle(CCollisionTriangle* triangle);
    /// Stores the plane and, when it is two-sided and room remains, a copy
    /// facing the other way (made here; the stored plane's Normal is negated).
    bool AddCollisionPlane(CCollisionPlane* plane);
    int32_t GetInteractiveCount(InteractiveKind kind) const { return m_interactiveCount[kind]; }
    CInteractiveObject* GetInteractive(InteractiveKind kind, int32_t index) const;
    int32_t GetSwitchCount() const { return m_interactiveCount[kSwitches]; }
    /// Switch `index` (0 to GetSwitchCount() - 1), in the order read; null outside.
    CSwitch* GetSwitch(int32_t index) const;
    int32_t GetCollisionTriangleCount() const { return m_triangleCount; }
    CCollisionTriangle* GetCollisionTriangle(int32_t index) const;
    int32_t GetCollisionPlaneCount() const { return m_planeCount; }
    CCollisionPlane* GetCollisionPlane(int32_t index) const;

    /// Makes one light from `description` in every world. False before the
    /// first world and for a description that made no light.
    bool AddLight(const CLight* description);
    /// Takes the lights made from `description` out of every world and
    /// destroys them; the description is forgotten (not deleted). False for
    /// one never added.
    bool RemoveLight(const CLight* description);
    /// The descriptions added and not removed.
    int32_t GetLightCount() const;
    /// The light made from description `index` (0 to GetLightCount() - 1) for
    /// world `world`; null outside.
    const CLight* GetWorldLight(int32_t index, int32_t world) const;

    /// One simulation frame of `dt` seconds: the dynamic triangle list
    /// joins the context (first step), the jump helpers and switches update,
    /// a click toggles the switches at the picked point, the collision planes
    /// and triangles and the other interactive objects update, and the
    /// pipeline steps (a shorter step than 0.01 s is simulated as 0.01 s).
    /// Nothing reaches the simulation before the first world makes the context.
    void Step(float dt);
    /// The simulation's triangle list fed with the dynamic collision
    /// triangles (null before the first step with a context).
    OlpVolume* GetDynamicTriangleVolume() const { return m_dynamicVolume; }
    /// The dynamic triangle list's query: appends a record (tag 14: no face
    /// normal, both sides collide) of each collision triangle that is not
    /// disabled, in table order, until the list is full.
    static OlpTrilistQuery* CollectDynamicTriangles(const OlpVolume* volume, const Matrix* matrix,
                                                    const OlpBBox* box, uintptr_t word,
                                                    OlpTrilistQuery* query);

    /// Gives every world a camera made from `main`; false when a main camera is already set.
    bool SetCamera(CCameraManager* main);
    /// Takes the per-world cameras away; false unless `main` is the main camera.
    bool RemoveCamera(CCameraManager* main);
    /// The camera of world `index` made by SetCamera; null outside, before
    /// SetCamera and after RemoveCamera.
    CCameraManager* GetWorldCamera(int32_t index) const;
    /// Draws every world through its camera, before the main camera's update,
    /// as its render mode says: plain (with the pointer hints over physical
    /// bodies and switches and, for the first world, the interactive
    /// objects' debug drawing), as the collision wireframe, or both.
    void RenderWorlds();
    /// True when the last RenderWorlds printed pointer hints (the lines at
    /// 0.15 and 0.2 of the view's height), so that a program's own lines can
    /// stay clear of them.
    bool PrintedPointerHints() const { return m_printedHints; }
    /// The statistics line of the last query; above debug level 2 also the
    /// debug drawing of every registered object and collision plane and triangle.
    void PrintStats(CFont* font);
    /// The sector render callback of the collision wireframe: every
    /// triangle's edges, drawn in batches of up to 5333 triangles.
    static WorldSector* RenderCollisionWireframe(WorldSector* sector);

    /// Non-zero when the segment from-to meets a triangle of a world, of the
    /// dynamic collision geometry (unless `skipDynamic`) or of a collidable
    /// registered object. With a distance output the nearest hit
    /// is kept: its fraction of the segment (0 to 1; 100000 without a hit)
    /// and, when asked, the triangle's unit normal in world space (zero
    /// without a hit); without one the first hit answers. `outObject` (may be
    /// null) receives the registered object of the kept hit, null for a
    /// world. From equal to to: 0.
    int32_t TestSegment(const V3d* from, const V3d* to, bool skipDynamic, float* outDistance, V3d* outNormal,
                        CSceneObject** outObject) const;
    /// True when the segment from-to meets the clump of the collidable
    /// `object` (its frame within 1000 of the origin along x): the nearest
    /// hit's fraction and world-space normal go to the outputs (each may be null).
    bool RayPickObject(CSceneObject* object, const V3d* from, const V3d* to, float* outDistance,
                       V3d* outNormal) const;
    /// True when one of 96 segments parallel to from-to, on six rings of up
    /// to `radius` around it, is blocked; the axis itself is not tested.
    bool TestCorridor(const V3d* from, const V3d* to, float radius, bool skipDynamic) const;

    /// Which triangles SphereQuery keeps, by their unit normal n.
    enum SphereQueryMode : int32_t
    {
        kSphereAll = 0,    ///< any, the nearest
        kSphereFloors = 1, ///< n.y > 0.01, the nearest
        kSphereWalls = 2,  ///< -0.9 < n.y < 0.9, the nearest
        kSphereFacing = 3, ///< -0.8 < n.y < 0.8 facing the direction, the most opposed
    };
    /// The triangle of the worlds, the collision planes, the collision
    /// triangles not disabled and the collidable registered objects near
    /// (x, y, z) (registered objects within 4 x scale bounding radii)
    /// touched by the sphere of `radius` that the mode keeps: nearest first,
    /// a higher n.y among equals. True when one was kept.
    bool SphereQuery(float x, float y, float z, float radius, SphereQueryResult* result) const;
    /// The mode of the following sphere queries (kSphereAll again once the
    /// framework's physics world is destroyed).
    static void SetSphereQueryMode(int32_t mode) { s_sphereQueryMode = mode; }
    /// The direction that the facing mode compares normals with.
    void SetSphereQueryDirection(const V3d& direction) { m_sphereQueryDirection = direction; }

    /// The application's "Scale" value.
    void SetScale(float scale) { m_scale = scale; }
    float GetScale() const { return m_scale; }
    const PhysicsWorldSettings& GetSettings() const { return m_settings; }
    const PhysicsQueryStats& GetQueryStats() const { return m_stats; }
    /// The physics context, made with the first world (null before).
    OlpContext* GetContext() const { return m_context; }
    int32_t GetWorldCount() const { return m_worldCount; }
    /// World `index` (0 to GetWorldCount() - 1), null outside.
    World* GetWorld(int32_t index) const;
    int32_t GetRenderMode(int32_t index) const;

  private:
    struct LightRecord
    {
        CLight* lights[kMaxWorlds];
        const CLight* description; ///< null once removed
    };

    bool AddInteractive(InteractiveKind kind, CInteractiveObject* object);
    bool ReadGlobalSetting(const char* element, const char** attributes);
    /// Refuses a count or a gravity that was read but cannot be served.
    bool CheckGlobalSetting(const PhysicsWorldSettings& read, const AttributeSlot* slots, int32_t count,
                            const char** attributes);
    /// "CollisionPlane" or "CollisionTriangle" starts a pending object read by
    /// the following elements; false for another element.
    bool OpenCollisionElement(const char* element);
    /// Updates the collision geometry and the interactive objects after the
    /// jump helpers and switches, in their order.
    void UpdateObjects(float dt);
    /// A click toggles each switch at the point under the pointer.
    void ToggleClickedSwitches();
    /// Shuts down and deletes every interactive object, collision triangle and plane.
    void DestroyTables();
    /// Over the world drawn: what a click or a pull would do to what is under the pointer.
    void PrintPointerHints();
    void DestroyLights();
    bool ReadWorld(const char** attributes);
    /// The context from the settings, gravity set; false when it cannot be made.
    bool CreateContext();
    /// Makes a collidable scene object of each clump of the file at `path`.
    void LoadWorldClumps(const char* path);
    /// Unloads and deletes every object still registered; frees the table.
    void DestroyRegisteredObjects();
    /// Makes the camera manager's pick use TestSegment, or (false) nothing.
    static void ConnectCameraPick(bool connect);

    float m_scale = 1.0f;
    bool m_inGlobalSettings = false;
    PhysicsWorldSettings m_settings;
    World* m_worlds[kMaxWorlds] = {};
    OlpContext* m_context = nullptr;
    int32_t m_renderModes[kMaxWorlds] = {};
    CCameraManager* m_worldCameras[kMaxWorlds] = {};
    int32_t m_worldCount = 0;
    CCameraManager* m_mainCamera = nullptr;
    CConfigSection* m_subReader = nullptr; ///< the pending plane or triangle
    CCollisionPlane* m_pendingPlane = nullptr;
    CCollisionTriangle* m_pendingTriangle = nullptr;
    bool m_dynamicVolumePending = true;
    bool m_printedHints = false;
    OlpVolume* m_dynamicVolume = nullptr;
    CInteractiveObject* m_interactive[kInteractiveKinds][kMaxInteractive] = {};
    int32_t m_interactiveCount[kInteractiveKinds] = {};
    CCollisionTriangle* m_triangles[kMaxCollisionTriangles] = {};
    int32_t m_triangleCount = 0;
    CCollisionPlane* m_planes[kMaxCollisionPlanes] = {};
    int32_t m_planeCount = 0;
    std::vector<LightRecord> m_lights;
    static inline int32_t s_sphereQueryMode = kSphereAll;
    V3d m_sphereQueryDirection = {0.0f, 0.0f, 0.0f};
    /// What the last query went through (the statistics line).
    mutable PhysicsQueryStats m_stats;
    std::vector<CSceneObject*> m_registered; ///< its size is the used length
    int32_t m_registeredCapacity = 0;
};
