#pragma once
// bench_physics_compare step convex1764-world: the convex-on-world scene
// through this engine (triangle list over the built world), Bullet
// (btBvhTriangleMeshShape, btConvexHullShape) and ODE (trimesh, convex).
// The engine must be started with ConvexWorldEngineStart.

/// Prints the table; 0 on success.
int CompareConvexWorld();
