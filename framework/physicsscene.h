#pragma once
// Physics scenes built from code, for viewers and tests: a context of the
// demo's own capacities, a ground plane with its render grid, and a joint
// that pins two objects together at a point.
//
// Ownership: the context from PhysicsCreateDemoContext is the caller's
// (RemoveContextContents, then OlpContextDestroy); the plane volume belongs
// to the context once added (RemoveContextContents destroys it); the grid
// atomic is the caller's (PhysicsShapeGeometryDestroy); the joint is its
// manager's (OlpMgrRemoveJoint and OlpJointRelease to take it out early).
#include <cstdint>

#include "graphics/core/vector.h"

struct Atomic;
struct OlpContext;
struct OlpJoint;
struct OlpObj;
struct OlpVolume;
struct World;

/// The solver's move limits (position pass, velocity pass) of the
/// framework's physics world and of the demo context. The engine's own,
/// 100 and 300, are one budget for all the islands of a step, which crowded
/// scenes exhaust: see the README's physics limits for the measurements.
constexpr uint32_t kPhysicsPositionMoves = 1000;
constexpr uint32_t kPhysicsVelocityMoves = 1000;

/// Joint definition flags of the framework's joints and of the demo's.
constexpr uint32_t kPhysicsJointFlagsFramework = 62;
constexpr uint32_t kPhysicsJointFlagsDemo = 56;

/// A context over the box from -1000 to 1000 on each axis with the default
/// parameters, room for 200 bodies (100 active), 100 ragdolls (50 active)
/// and 20 free joints, lengths scaled by `scale` (> 0); the body and ragdoll
/// types are registered. Gravity is the caller's. Null when it cannot be made.
OlpContext* PhysicsCreateDemoContext(float scale);

/// A ground at y = 0: a plane volume facing +y (bounce 1) added to `context`
/// as a static volume, and, when `world` is given, a 5 x 5 vertex grid of
/// 50-unit cells (4 x 4 cells, 200 units across) in the world to show it,
/// answered in `grid` (may be null). The plane, or null when it cannot be
/// made or added (nothing is left behind).
OlpVolume* PhysicsCreateGroundPlane(OlpContext* context, World* world, Atomic** grid);

/// A joint of `flags` (kPhysicsJointFlagsFramework or ...Demo) between
/// part 0 of `a` and part 0 of `b`, both registered in one manager, whose
/// two frames sit at the world point `at` (each given in its part's own
/// space, so that the joint holds the parts as they are now). Added to the
/// manager; null when an object is not registered, the two managers differ
/// or the manager is full.
OlpJoint* PhysicsCreateJoint(OlpObj* a, OlpObj* b, const V3d& at, uint32_t flags);
