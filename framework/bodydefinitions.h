#pragma once
// Body definitions of the framework's dynamic models and lift: a sphere or a
// box volume with its bounce and slide, the part's mass spread over it.

struct OlpBodyDef;

/// A new definition (one reference) of a sphere of `radius` with `mass`,
/// friction `slide` and restitution `bounce`; null when memory runs out.
OlpBodyDef* CreateSphereBodyDefinition(float radius, float mass, float slide, float bounce);
/// As CreateSphereBodyDefinition for a box of half extents (halfX, halfY,
/// halfZ) with margin 0.001.
OlpBodyDef* CreateBoxBodyDefinition(float halfX, float halfY, float halfZ, float mass, float slide,
                                    float bounce);
