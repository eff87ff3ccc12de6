#pragma once
// Body definitions of the framework's dynamic models, lift and doors: a
// sphere or a box volume with its bounce and slide, the part's mass spread
// over it.

struct OlpBodyDef;

/// A new definition (one reference) of a sphere of `radius` with `mass`,
/// friction `slide` and restitution `bounce`; null when memory runs out.
OlpBodyDef* CreateSphereBodyDefinition(float radius, float mass, float slide, float bounce);
/// As CreateSphereBodyDefinition for a box of half extents (halfX, halfY,
/// halfZ) with margin 0.001.
OlpBodyDef* CreateBoxBodyDefinition(float halfX, float halfY, float halfZ, float mass, float slide,
                                    float bounce);
/// A new definition (one reference) of a box of half extents (halfX, halfY,
/// halfZ) with `margin`, the default bounce and slide, whose mass is its
/// volume (density 1) with a full inertia tensor; null when memory runs out.
OlpBodyDef* CreateBoxBody(float halfX, float halfY, float halfZ, float margin);
/// As CreateBoxBody for a sphere of `radius` (margin 0).
OlpBodyDef* CreateSphereBody(float radius);
/// As CreateBoxBody for a capsule of `radius` round a core of half height
/// `halfHeight` along its z axis.
OlpBodyDef* CreateCapsuleBody(float radius, float halfHeight);
