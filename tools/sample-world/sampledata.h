#pragma once
// The sample data set of worlds, models and textures: the escort sample
// level extruded into a world (and a terrain), five models and three
// textures made in code, with collision trees,
// written through the engine's own writers. Deterministic: the same inputs
// give the same bytes. The engine must be started with the scene library
// attached.

#include <string>
#include <vector>

#include "tools/worldbuild/worldbuild.h"

struct Clump;
struct Image;
struct Material;

namespace Zelk {
struct CEscortLevel;
}

/// Height of the level's walls and pillars (metres).
constexpr float kSampleWallHeight = 3.0f;
/// Triangles a sector of the sample world holds at most before it is split.
constexpr uint32_t kSampleLeafTriangles = 256;

/// The three textures: "checker", "brick" and "glass" (a framed panel whose
/// inside has alpha 96), 64 x 64 RGBA; null for another name.
Image* SampleTextureImage(const std::string& name);

/// The materials of the sample data: the floor (checker), the walls (brick),
/// the pillars (glass); one reference each, released by the destructor.
struct SampleMaterials
{
    Material* floor = nullptr;
    Material* wall = nullptr;
    Material* glass = nullptr;
    SampleMaterials();
    ~SampleMaterials();
    SampleMaterials(const SampleMaterials&) = delete;
    SampleMaterials& operator=(const SampleMaterials&) = delete;
};

/// The level extruded: a floor of 1 m tiles over its area, every box a wall
/// (pillars, boxes of at most 2.5 m a side, in glass) from the floor to
/// kSampleWallHeight, with normals, one texture set (1 unit a metre) and
/// pre-lit colours darker towards the floor.
WorldSoup SampleLevelSoup(const Zelk::CEscortLevel& level, const SampleMaterials& materials);

/// The models, each a clump of one atomic on one frame: "crate" (1 m cube),
/// "lift" (a 2 x 2 m platform), "button", "soldier" (an unskinned stand-in of
/// boxes, 1.8 m tall) and "morph" (a box whose second morph target is twice
/// as tall). Null for another name or on failure.
Clump* SampleModel(const std::string& name, const SampleMaterials& materials);
/// The model names, in writing order.
const std::vector<std::string>& SampleModelNames();

/// The terrain world: 100 x 100 cells of sin x cos heights over 200 m.
constexpr int32_t kSampleTerrainTriangles = 20000;
constexpr float kSampleTerrainSize = 200.0f;

/// Writes "<dir>/level.bsp", "<dir>/<model>.dff" for every model and
/// "<dir>/<texture>.png" for the three textures from the level file (and
/// with `terrain` "<dir>/terrain.bsp"), worlds and models with collision
/// trees; false with a message on failure.
bool SampleDataWrite(const std::string& levelFile, const std::string& dir, bool terrain, std::string* error);
