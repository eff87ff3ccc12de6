#pragma once
// The shapes benchmark's fixed work: one volume of each primitive type and
// fixed tables of unit directions and segments, made from a seeded
// generator so that every program and every run uses the same ones.

#include <vector>

#include "physics/core/volume/volume.h"

struct ShapeCase
{
    const char* name;
    OlpVolume* volume;
    // The same shape's dimensions, for a peer engine.
    float radius;     ///< sphere, capsule, cylinder
    float halfHeight; ///< capsule, cylinder (along z)
    V3d halfExtents;  ///< box
};

struct ShapeSegment
{
    V3d start;
    V3d end;
};

/// Sphere r 1, capsule r 0.5 h 1, box (1, 0.5, 0.75), cylinder r 0.8 h 1,
/// all with margin 0 beyond their radii. Destroy with DestroyShapeCases.
std::vector<ShapeCase> MakeShapeCases();
void DestroyShapeCases(std::vector<ShapeCase>& cases);
/// 1024 unit directions.
const std::vector<V3d>& ShapeDirections();
/// 1024 segments from a sphere of radius 4 towards a box of half size 1.5.
const std::vector<ShapeSegment>& ShapeSegments();
