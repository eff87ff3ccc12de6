#pragma once
// CSceneObject: the framework's wrapper of one clump. It loads the clump from
// a model file (or a stream already at a clump chunk), owns it, places, scales
// and turns it through the clump's frame, says whether it wants to be in the
// world and whether it takes part in the physics world's queries, and keeps
// the body that moves its frame.
//
// Lifecycle: construct, LoadClump (or ReadClump), register with the physics
// world (CPhysicsWorld::RegisterObject), place; Unload before deletion, which
// also takes the object out of the physics world. An object still registered
// when the physics world is destroyed is unloaded and deleted by the world
// (see physicsworld.h): characters, switches, lifts and weapons unload theirs
// first; body proxies and world-file clumps are left to it.
#include <cstdint>

#include "graphics/core/vector.h"

struct Atomic;
struct Clump;
struct Frame;
struct OlpBody;
struct Sphere;
struct Stream;

class CSceneObject
{
  public:
    /// The longest name kept; longer names are cut.
    static constexpr int32_t kMaxNameLength = 31;
    /// Model units per scale unit: SetScale(s) scales the frame by s x 0.002.
    static constexpr float kScaleUnit = 0.002f;

    CSceneObject();
    /// Takes the object out of the physics world and frees the clump when
    /// the owner did not Unload.
    virtual ~CSceneObject();
    CSceneObject(const CSceneObject&) = delete;
    CSceneObject& operator=(const CSceneObject&) = delete;

    /// Writes the position row of the frame's matrix (world units).
    virtual void SetPosition(const V3d& position);
    /// Loads the first clump of `fileName` ('\' or '/'), replacing any clump
    /// held. False, after the error box "Can not load clump in file %s\n please
    /// check your data", when the file does not open or holds no clump.
    virtual bool LoadClump(const char* fileName);
    /// The frame's three axes as thin solids, and those of the bounding
    /// sphere's centre (debug view of the physics world's statistics).
    virtual void RenderDebug();
    /// Takes the object out of the physics world's table (registered or
    /// not) and frees the clump; true.
    virtual bool Unload();

    /// Copies up to kMaxNameLength characters; null gives "Noname".
    void SetName(const char* name);
    const char* GetName() const { return m_name; }
    /// Reads the clump from `stream` positioned after a clump chunk's header
    /// (replacing any clump held); false when none could be read.
    bool ReadClump(Stream* stream);

    Clump* GetClump() const { return m_clump; }
    /// The clump's frame; null without clump.
    Frame* GetFrame() const;
    /// The first atomic of the clump in visiting order; null when none.
    Atomic* GetFirstAtomic() const;
    /// The world bounding sphere of the last atomic in visiting order; null
    /// without atomic.
    const Sphere* GetBoundingSphere() const;
    /// Renders the clump when there is one.
    void Render();

    /// Stores `scale` and scales the frame by scale x kScaleUnit after its
    /// current matrix: two calls multiply.
    void SetScale(float scale);
    float GetScale() const { return m_scale; }
    /// Turns the frame to `degrees` about the y axis (its rotation replaced,
    /// the stored scale applied again, the position kept).
    void SetHeading(float degrees);

    /// Whether the object wants its clump in the world; the physics world
    /// (when there is one) is told at once.
    void SetInWorld(bool inWorld);
    bool IsInWorld() const { return m_inWorld; }
    /// Whether the physics world's segment and sphere queries test the clump.
    void SetCollidable(bool collidable) { m_collidable = collidable; }
    bool IsCollidable() const { return m_collidable; }
    /// True while the clump is in the physics world's first world.
    bool IsRegistered() const { return m_registered; }

    /// The body that moves the frame (not owned); null when none.
    void SetPhysicsObject(OlpBody* body) { m_physicsObject = body; }
    OlpBody* GetPhysicsObject() const { return m_physicsObject; }

  private:
    friend class CPhysicsWorld; // the only writer of the registered flag

    char m_name[kMaxNameLength + 1] = "Noname";
    Clump* m_clump = nullptr;
    float m_scale = 1.0f;
    bool m_collidable = false;
    bool m_inWorld = true;
    bool m_registered = false;
    OlpBody* m_physicsObject = nullptr;
};
