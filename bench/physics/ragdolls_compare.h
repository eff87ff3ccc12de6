#pragma once
// bench_physics_compare step ragdolls: the ragdoll heap through this
// engine, Bullet (btPoint2PointConstraint) and ODE (ball joints).

/// Prints the table; 0 on success.
int CompareRagdolls();
