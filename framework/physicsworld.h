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
// Ownership of registered scene objects: one owner each. The world owns the
// objects it makes (the clumps of world files) and those handed over to it by
// leaving them registered (the characters' body proxies, the dynamic models'
// instances): whatever is still registered when the world is destroyed is
// unloaded and deleted by it. Every other owner (characters, switches, lifts,
// weapons) unloads its object, which unregisters it, before deleting it and
// before the world goes.
#include <cstdint>
#include <vector>

#include "framework/configsection.h"
#include "graphics/core/vector.h"

struct World;
struct OlpContext;
struct OlpVolume;
class CCameraManager;
class CSceneObject;

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

class CPhysicsWorld : public CConfigSection
{
  public:
    /// The most worlds one configuration loads.
    static constexpr int32_t kMaxWorlds = 16;
    /// Entries added to the registered-object table each time it is full.
    static constexpr int32_t kRegisteredGrowth = 64;
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

    /// One simulation frame of `dt` seconds (a shorter step than 0.01 s is
    /// simulated as 0.01 s); nothing before the first world makes the context.
    void Step(float dt);

    /// Gives every world a camera made from `main`; false when a main camera is already set.
    bool SetCamera(CCameraManager* main);
    /// Takes the per-world cameras away; false unless `main` is the main camera.
    bool RemoveCamera(CCameraManager* main);
    /// Draws every world through its camera, before the main camera's update.
    void RenderWorlds();

    /// Non-zero when the segment from-to meets a triangle of a world or of a
    /// collidable registered object. With a distance output the nearest hit
    /// is kept: its fraction of the segment (0 to 1; 100000 without a hit)
    /// and, when asked, the triangle's unit normal in world space (zero
    /// without a hit); without one the first hit answers. `outObject` (may be
    /// null) receives the registered object of the kept hit, null for a
    /// world. From equal to to: 0.
    int32_t TestSegment(const V3d* from, const V3d* to, bool skipDynamic, float* outDistance, V3d* outNormal,
                        CSceneObject** outObject) const;
    /// True when one of 96 segments parallel to from-to, on six rings of up
    /// to `radius` around it, is blocked; the axis itself is not tested.
    bool TestCorridor(const V3d* from, const V3d* to, float radius, bool skipDynamic) const;

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
    bool ReadGlobalSetting(const char* element, const char** attributes);
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
    OlpVolume* m_worldVolumes[kMaxWorlds] = {}; ///< each world's triangles in the context
    OlpContext* m_context = nullptr;
    int32_t m_renderModes[kMaxWorlds] = {};
    CCameraManager* m_worldCameras[kMaxWorlds] = {};
    int32_t m_worldCount = 0;
    CCameraManager* m_mainCamera = nullptr;
    /// What the last query went through (the statistics line).
    mutable PhysicsQueryStats m_stats;
    std::vector<CSceneObject*> m_registered; ///< its size is the used length
    int32_t m_registeredCapacity = 0;
};
