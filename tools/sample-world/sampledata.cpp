// The sample data set: textures, the level's world and the models.
#include "tools/sample-world/sampledata.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>

#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"
#include "graphics/toolkit2d/png.h"
#include "tools/common/toolfiles.h"
#include "tools/escort-run/escort_level.h"
#include "tools/scenebuild/modelbuild.h"
#include "tools/worldbuild/collisionbuild.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

constexpr int32_t kTextureSize = 64;

struct Box
{
    V3d inf;
    V3d sup;
};

void Fill(Image* image, uint8_t (*colour)(int32_t x, int32_t y, int channel))
{
    for (int32_t y = 0; y < image->height; ++y) {
        uint8_t* row = image->pixels + size_t(y) * size_t(image->stride);
        for (int32_t x = 0; x < image->width; ++x) {
            for (int c = 0; c < 4; ++c) {
                row[4 * x + c] = colour(x, y, c);
            }
        }
    }
}

Material* TexturedMaterial(const char* name, RGBA colour)
{
    Material* material = MaterialCreate();
    Texture* texture = material ? TextureCreate(nullptr) : nullptr;
    if (!texture) {
        return material;
    }
    TextureSetName(texture, name);
    MaterialSetTexture(material, texture);
    TextureDestroy(texture);
    material->colour = colour;
    return material;
}

// Pre-lit brightness: full at the top of a wall, darker towards the floor.
RGBA PreLit(float height)
{
    const uint8_t level = uint8_t(170 + 85 * std::clamp(height / kSampleWallHeight, 0.0f, 1.0f));
    return {level, level, level, 255};
}

// Appends a quad of corners a, b, c, d (clockwise seen from the side the
// normal points to) with one normal and texture coordinates u along a-b,
// v along a-d.
void AddQuad(WorldSoup& soup, const V3d corners[4], const V3d& normal, float width, float height,
             uint16_t material)
{
    const uint32_t first = uint32_t(soup.positions.size());
    const TexCoords uv[4] = {{0, height}, {width, height}, {width, 0}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        soup.positions.push_back(corners[i]);
        soup.normals.push_back(normal);
        soup.uv.push_back(uv[i]);
        soup.preLit.push_back(PreLit(corners[i].y));
    }
    // Wound so that each triangle's (V1 - V0) x (V2 - V0) is the normal:
    // the side that segment queries and culling take for the front.
    soup.triangles.push_back({{first, first + 2, first + 1}, material});
    soup.triangles.push_back({{first, first + 3, first + 2}, material});
}

// A box standing on the floor: its four sides and its top.
void AddBox(WorldSoup& soup, const Box& box, uint16_t material)
{
    const V3d& l = box.inf;
    const V3d& h = box.sup;
    const float dx = h.x - l.x;
    const float dy = h.y - l.y;
    const float dz = h.z - l.z;
    const V3d south[4] = {{l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, h.y, l.z}, {l.x, h.y, l.z}};
    const V3d north[4] = {{h.x, l.y, h.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {h.x, h.y, h.z}};
    const V3d west[4] = {{l.x, l.y, h.z}, {l.x, l.y, l.z}, {l.x, h.y, l.z}, {l.x, h.y, h.z}};
    const V3d east[4] = {{h.x, l.y, l.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z}};
    const V3d top[4] = {{l.x, h.y, l.z}, {h.x, h.y, l.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z}};
    AddQuad(soup, south, {0, 0, -1}, dx, dy, material);
    AddQuad(soup, north, {0, 0, 1}, dx, dy, material);
    AddQuad(soup, west, {-1, 0, 0}, dz, dy, material);
    AddQuad(soup, east, {1, 0, 0}, dz, dy, material);
    AddQuad(soup, top, {0, 1, 0}, dx, dz, material);
}

// A geometry of boxes (24 vertices and 12 triangles each) with normals and
// one texture set, every box on `material`.
Geometry* BoxesGeometry(std::initializer_list<Box> boxes, Material* material)
{
    WorldSoup soup;
    for (const Box& box : boxes) {
        AddBox(soup, box, 0);
        // A model's box is closed: add its bottom too.
        const V3d& l = box.inf;
        const V3d& h = box.sup;
        const V3d bottom[4] = {{l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, l.y, l.z}, {l.x, l.y, l.z}};
        AddQuad(soup, bottom, {0, -1, 0}, h.x - l.x, h.z - l.z, 0);
    }
    Geometry* geometry = GeometryCreate(int32_t(soup.positions.size()), int32_t(soup.triangles.size()),
                                        kGeometryNormals | kGeometryTextured | kGeometryLight);
    if (!geometry) {
        return nullptr;
    }
    MorphTarget& target = geometry->morphTargets[0];
    for (size_t v = 0; v < soup.positions.size(); ++v) {
        target.vertices[v] = soup.positions[v];
        target.normals[v] = soup.normals[v];
        geometry->texCoords[0][v] = soup.uv[v];
    }
    for (size_t t = 0; t < soup.triangles.size(); ++t) {
        const WorldSoupTriangle& triangle = soup.triangles[t];
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(triangle.vertex[0]),
                                         uint16_t(triangle.vertex[1]), uint16_t(triangle.vertex[2]));
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[t], material);
    }
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    return geometry;
}

Clump* ModelOf(Geometry* geometry)
{
    if (!geometry || !GeometryUnlock(geometry) || !GeometryBuildCollision(geometry, kCollisionBuildLeaf)) {
        if (geometry) {
            GeometryRelease(geometry);
        }
        return nullptr;
    }
    Clump* clump = ModelBuildClumpOf(geometry);
    GeometryRelease(geometry);
    return clump;
}

Clump* Soldier(Material* material)
{
    return ModelOf(BoxesGeometry({{{-0.2f, 0.0f, -0.1f}, {-0.02f, 0.85f, 0.1f}},
                                  {{0.02f, 0.0f, -0.1f}, {0.2f, 0.85f, 0.1f}},
                                  {{-0.25f, 0.85f, -0.15f}, {0.25f, 1.5f, 0.15f}},
                                  {{-0.4f, 0.8f, -0.08f}, {-0.26f, 1.45f, 0.08f}},
                                  {{0.26f, 0.8f, -0.08f}, {0.4f, 1.45f, 0.08f}},
                                  {{-0.12f, 1.52f, -0.12f}, {0.12f, 1.8f, 0.12f}}},
                                 material));
}

// A box whose second morph target is twice as tall.
Clump* Morph(Material* material)
{
    Geometry* geometry = BoxesGeometry({{{-0.5f, 0.0f, -0.5f}, {0.5f, 1.0f, 0.5f}}}, material);
    if (!geometry || GeometryAddMorphTarget(geometry) < 0) {
        if (geometry) {
            GeometryRelease(geometry);
        }
        return nullptr;
    }
    const MorphTarget& low = geometry->morphTargets[0];
    MorphTarget& high = geometry->morphTargets[1];
    for (int32_t v = 0; v < geometry->numVertices; ++v) {
        high.vertices[v] = {low.vertices[v].x, 2.0f * low.vertices[v].y, low.vertices[v].z};
        high.normals[v] = low.normals[v];
    }
    MorphTargetCalcBoundingSphere(&high, &high.boundingSphere);
    return ModelOf(geometry);
}

template <typename Write> bool WriteStream(const std::string& path, Write write)
{
    const std::vector<uint8_t> bytes = StreamWrittenBytes(write);
    return !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
}

// A world built from a soup with collision trees, written as the builder
// makes it: a world read back here would lose its textures, which are found
// by name only where the images are.
bool WriteWorld(const WorldSoup& soup, WorldBuildLimits limits, const std::string& path, std::string* error)
{
    limits.collisionLeaf = kCollisionBuildLeaf;
    const std::vector<uint8_t> bytes = WorldBuildBytes(soup, limits);
    if (bytes.empty() || !ToolWriteFile(path, bytes.data(), bytes.size())) {
        *error = "cannot build or write " + path;
        return false;
    }
    return true;
}

} // namespace

Image* SampleTextureImage(const std::string& name)
{
    uint8_t (*colour)(int32_t, int32_t, int) = nullptr;
    if (name == "checker") {
        colour = [](int32_t x, int32_t y, int c) -> uint8_t {
            const bool light = ((x / 8) + (y / 8)) % 2 == 0;
            return c == 3 ? 255 : light ? 200 : 90;
        };
    } else if (name == "brick") {
        colour = [](int32_t x, int32_t y, int c) -> uint8_t {
            // Rows of 16 x 8 bricks, every other row shifted by half a brick.
            const int32_t shifted = x + ((y / 8) % 2) * 8;
            const bool mortar = y % 8 == 0 || shifted % 16 == 0;
            const uint8_t brick[4] = {160, 60, 40, 255};
            const uint8_t joint[4] = {200, 195, 185, 255};
            return mortar ? joint[c] : uint8_t(brick[c] - (c < 3 ? (shifted * 7 + y * 3) % 24 : 0));
        };
    } else if (name == "glass") {
        colour = [](int32_t x, int32_t y, int c) -> uint8_t {
            const bool frame = x < 4 || y < 4 || x >= kTextureSize - 4 || y >= kTextureSize - 4;
            const uint8_t pane[4] = {180, 215, 240, 96};
            const uint8_t metal[4] = {90, 100, 110, 255};
            return frame ? metal[c] : pane[c];
        };
    } else {
        return nullptr;
    }
    Image* image = ImageCreate(kTextureSize, kTextureSize, 32);
    if (!image || !ImageAllocatePixels(image)) {
        if (image) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    Fill(image, colour);
    return image;
}

SampleMaterials::SampleMaterials()
    : floor(TexturedMaterial("checker", {255, 255, 255, 255})),
      wall(TexturedMaterial("brick", {255, 255, 255, 255})),
      glass(TexturedMaterial("glass", {255, 255, 255, 96}))
{
}

SampleMaterials::~SampleMaterials()
{
    for (Material* material : {floor, wall, glass}) {
        if (material) {
            MaterialRelease(material);
        }
    }
}

WorldSoup SampleLevelSoup(const Zelk::CEscortLevel& level, const SampleMaterials& materials)
{
    WorldSoup soup;
    soup.format = kGeometryNormals | kGeometryTextured | kGeometryPreLit | kGeometryLight;
    soup.materials = {materials.floor, materials.wall, materials.glass};
    // The floor in tiles of at most a metre, so the tree has something to split.
    const int32_t columns = std::max(1, int32_t(std::ceil(level.maxX - level.minX)));
    const int32_t rows = std::max(1, int32_t(std::ceil(level.maxZ - level.minZ)));
    const float stepX = (level.maxX - level.minX) / float(columns);
    const float stepZ = (level.maxZ - level.minZ) / float(rows);
    for (int32_t j = 0; j < rows; ++j) {
        for (int32_t i = 0; i < columns; ++i) {
            const float x0 = level.minX + stepX * float(i);
            const float z0 = level.minZ + stepZ * float(j);
            const float x1 = i + 1 == columns ? level.maxX : x0 + stepX;
            const float z1 = j + 1 == rows ? level.maxZ : z0 + stepZ;
            const V3d corners[4] = {{x0, 0, z0}, {x0, 0, z1}, {x1, 0, z1}, {x1, 0, z0}};
            const uint32_t first = uint32_t(soup.positions.size());
            for (const V3d& corner : corners) {
                soup.positions.push_back(corner);
                soup.normals.push_back({0, 1, 0});
                soup.uv.push_back({corner.x * 0.5f, corner.z * 0.5f});
                soup.preLit.push_back({200, 200, 200, 255});
            }
            soup.triangles.push_back({{first, first + 1, first + 2}, 0});
            soup.triangles.push_back({{first, first + 2, first + 3}, 0});
        }
    }
    for (size_t b = 0; b < level.boxMin.size(); ++b) {
        const Box box = {{level.boxMin[b].x, 0.0f, level.boxMin[b].z},
                         {level.boxMax[b].x, kSampleWallHeight, level.boxMax[b].z}};
        const bool pillar = box.sup.x - box.inf.x <= 2.5f && box.sup.z - box.inf.z <= 2.5f;
        AddBox(soup, box, pillar ? 2 : 1);
    }
    return soup;
}

const std::vector<std::string>& SampleModelNames()
{
    static const std::vector<std::string> names = {"crate", "lift", "button", "soldier", "morph"};
    return names;
}

Clump* SampleModel(const std::string& name, const SampleMaterials& materials)
{
    if (name == "crate") {
        return ModelOf(BoxesGeometry({{{-0.5f, 0.0f, -0.5f}, {0.5f, 1.0f, 0.5f}}}, materials.floor));
    }
    if (name == "lift") {
        return ModelOf(BoxesGeometry({{{-1.0f, -0.2f, -1.0f}, {1.0f, 0.0f, 1.0f}}}, materials.wall));
    }
    if (name == "button") {
        Material* red = MaterialCreate();
        if (!red) {
            return nullptr;
        }
        red->colour = {220, 40, 30, 255};
        Clump* clump = ModelOf(BoxesGeometry({{{-0.1f, 0.0f, -0.1f}, {0.1f, 0.05f, 0.1f}}}, red));
        MaterialRelease(red);
        return clump;
    }
    if (name == "soldier") {
        Material* green = MaterialCreate();
        if (!green) {
            return nullptr;
        }
        green->colour = {70, 110, 60, 255};
        Clump* clump = Soldier(green);
        MaterialRelease(green);
        return clump;
    }
    if (name == "morph") {
        return Morph(materials.glass);
    }
    return nullptr;
}

bool SampleDataWrite(const std::string& levelFile, const std::string& dir, bool terrain, std::string* error)
{
    Zelk::CEscortLevel level;
    if (!Zelk::EscortLevelLoad(levelFile.c_str(), level, *error)) {
        return false;
    }
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    const std::filesystem::path folder(dir);
    for (const char* name : {"checker", "brick", "glass"}) {
        Image* image = SampleTextureImage(name);
        const std::string path = (folder / (std::string(name) + ".png")).string();
        const bool written = image && WriteStream(path, [&](Stream* stream) {
                                 return PngStreamWrite(image, stream) != nullptr;
                             });
        if (image) {
            ImageDestroy(image);
        }
        if (!written) {
            *error = "cannot write " + path;
            return false;
        }
    }
    SampleMaterials materials;
    WorldBuildLimits limits;
    limits.leafTriangles = kSampleLeafTriangles;
    if (!WriteWorld(SampleLevelSoup(level, materials), limits, (folder / "level.bsp").string(), error)) {
        return false;
    }
    if (terrain && !WriteWorld(WorldSoupTerrain(kSampleTerrainTriangles, kSampleTerrainSize,
                                                {materials.floor, materials.wall}),
                               limits, (folder / "terrain.bsp").string(), error)) {
        return false;
    }
    for (const std::string& name : SampleModelNames()) {
        Clump* clump = SampleModel(name, materials);
        const std::string path = (folder / (name + ".dff")).string();
        const bool written = clump && WriteStream(path, [&](Stream* stream) {
                                 return ClumpStreamWrite(clump, stream) != nullptr;
                             });
        if (clump) {
            ClumpDestroy(clump);
        }
        if (!written) {
            *error = "cannot build or write " + path;
            return false;
        }
    }
    return true;
}
