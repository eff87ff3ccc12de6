#pragma once
// bench_physics_compare step ragdolls: the ragdoll heap through this
// engine, Bullet (btPoint2PointConstraint) and ODE (ball joints).

/// Prints the table of `steps` steps from the drop, each engine run
/// `rounds` times in interleaved rounds (steps per second over all of
/// them, the measures of the last); 0 on success.
int CompareRagdolls(int steps, int rounds);
