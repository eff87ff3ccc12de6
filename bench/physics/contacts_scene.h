#pragma once
// The contact benchmark's snapshots, laid out in code: 1000 unit boxes in
// 100 stacks of 10 resting on a plane (each box slightly sunk into the one
// below), and 1764 convex hulls (42 x 42, 16 hull shapes of 24-point clouds)
// placed just touching a 20,000-triangle height field held as a grid of
// triangle volumes. Each box or hull is a one-part object; the plane and
// the terrain are bare volumes. The pairs are the touching ones, as the far
// field would give them.

#include <memory>
#include <random>
#include <vector>

#include "physics/core/contact/batch.h"
#include "physics/core/object/object.h"
#include "physics/core/volume/convexhull.h"

struct ContactBody
{
    OlpObj object;
    OlpVolume volume;
    Matrix pose;
    int shape; ///< the hull shape (terrain scene), -1 for a box
};

struct ContactScene
{
    std::vector<std::unique_ptr<ContactBody>> bodies;
    OlpVolume* ground = nullptr; ///< the plane or the terrain grid
    std::vector<OlpBatchPair> pairs;
    std::vector<std::vector<V3d>> hullVertices; ///< per hull shape
    std::vector<OlpConvexHull*> hulls;
    std::vector<V3d> terrainVertices; ///< three per triangle
};

/// The box stacks on a plane.
std::unique_ptr<ContactScene> MakeStackScene();
/// The hulls on the height field.
std::unique_ptr<ContactScene> MakeTerrainScene();
void DestroyContactScene(ContactScene& scene);
/// The union box of a scene object's parts (the bare volume's own box).
bool ContactSceneBox(void* object, uint32_t selector, void* data, OlpBBox* out);
/// Height of the terrain at (x, y).
float ContactTerrainHeight(float x, float y);
/// The hull of 24 points drawn from `random` in a 0.5 x 0.4 x 0.3 m box
/// about the origin; null when the build fails.
OlpConvexHull* ContactRandomHull(std::mt19937& random);
