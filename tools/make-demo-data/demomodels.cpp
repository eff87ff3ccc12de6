#include "tools/make-demo-data/demomodels.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "tools/common/toolfiles.h"
#include "tools/sample-world/sampledata.h"
#include <cmath>
#include <cstdint>
#include <functional>

namespace {

constexpr float kUnitsPerMetre = 500.0f; // scene objects are placed at 0.002 x scale
constexpr float kPi = 3.14159265f;

struct Colour
{
    uint8_t r, g, b;
};

// Triangles gathered in code, each vertex with its own normal and texture coordinates.
struct Mesh
{
    struct Vertex
    {
        V3d position, normal;
        float u, v;
    };
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;

    uint16_t Add(V3d p, V3d n, float u = 0.0f, float v = 0.0f)
    {
        vertices.push_back({p, n, u, v});
        return uint16_t(vertices.size() - 1);
    }
    void Triangle(uint16_t a, uint16_t b, uint16_t c) { indices.insert(indices.end(), {a, b, c}); }
};

V3d Scaled(V3d v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

// The band of rings firstRing..lastRing (0 the top, `rings` the bottom) of a sphere
// of the given radius at c, faces outwards, or inwards when inside is set (normals
// pointing to the centre).
void AddSphere(Mesh& mesh, V3d c, float radius, int rings, int segments, int firstRing, int lastRing,
               bool inside)
{
    const uint16_t first = uint16_t(mesh.vertices.size());
    for (int i = firstRing; i <= lastRing; ++i) {
        const float polar = kPi * float(i) / float(rings);
        for (int j = 0; j <= segments; ++j) {
            const float azimuth = 2.0f * kPi * float(j) / float(segments);
            const V3d n = {std::sin(polar) * std::cos(azimuth), std::cos(polar),
                           std::sin(polar) * std::sin(azimuth)};
            const V3d p = {c.x + n.x * radius, c.y + n.y * radius, c.z + n.z * radius};
            mesh.Add(p, inside ? Scaled(n, -1.0f) : n, float(j) / float(segments),
                     float(i - firstRing) / float(lastRing - firstRing));
        }
    }
    for (int i = 0; i < lastRing - firstRing; ++i)
        for (int j = 0; j < segments; ++j) {
            const uint16_t a = uint16_t(first + i * (segments + 1) + j);
            const uint16_t b = uint16_t(a + segments + 1);
            if (inside) {
                mesh.Triangle(a, uint16_t(a + 1), b);
                mesh.Triangle(uint16_t(a + 1), uint16_t(b + 1), b);
            } else {
                mesh.Triangle(a, b, uint16_t(a + 1));
                mesh.Triangle(uint16_t(a + 1), b, uint16_t(b + 1));
            }
        }
}

// A cone standing on the disc of the given radius at c, its tip `height` above along +z.
void AddCone(Mesh& mesh, V3d c, float radius, float height, int segments)
{
    for (int j = 0; j < segments; ++j) {
        const float a0 = 2.0f * kPi * float(j) / float(segments);
        const float a1 = 2.0f * kPi * float(j + 1) / float(segments);
        const float am = 0.5f * (a0 + a1);
        const V3d n = {std::cos(am), std::sin(am), radius / height};
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        const V3d unit = Scaled(n, 1.0f / length);
        const uint16_t p0 = mesh.Add({c.x + radius * std::cos(a0), c.y + radius * std::sin(a0), c.z}, unit);
        const uint16_t p1 = mesh.Add({c.x + radius * std::cos(a1), c.y + radius * std::sin(a1), c.z}, unit);
        const uint16_t tip = mesh.Add({c.x, c.y, c.z + height}, unit);
        mesh.Triangle(p0, p1, tip);
    }
}

// The mesh as a geometry with one material of that colour (textured when texture is given).
Geometry* MakeGeometry(const Mesh& mesh, Colour colour, const char* texture)
{
    const uint32_t format = kGeometryNormals | kGeometryLight | kGeometryModulateMaterialColor |
                            (texture != nullptr ? kGeometryTextured : 0u);
    Geometry* geometry =
        GeometryCreate(int32_t(mesh.vertices.size()), int32_t(mesh.indices.size() / 3), format);
    Material* material = MaterialCreate();
    if (geometry == nullptr || material == nullptr) {
        if (material != nullptr)
            MaterialRelease(material);
        if (geometry != nullptr)
            GeometryRelease(geometry);
        return nullptr;
    }
    material->colour = {colour.r, colour.g, colour.b, 255};
    if (texture != nullptr) {
        Texture* t = TextureCreate(nullptr);
        TextureSetName(t, texture);
        MaterialSetTexture(material, t);
        TextureDestroy(t);
    }
    MorphTarget& target = geometry->morphTargets[0];
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        target.vertices[i] = mesh.vertices[i].position;
        target.normals[i] = mesh.vertices[i].normal;
        if (texture != nullptr)
            geometry->texCoords[0][i] = {mesh.vertices[i].u, mesh.vertices[i].v};
    }
    for (size_t t = 0; t < mesh.indices.size() / 3; ++t) {
        GeometryTriangle* triangle = &geometry->triangles[t];
        GeometryTriangleSetVertexIndices(geometry, triangle, mesh.indices[3 * t], mesh.indices[3 * t + 1],
                                         mesh.indices[3 * t + 2]);
        GeometryTriangleSetMaterial(geometry, triangle, material);
    }
    MaterialRelease(material);
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    return GeometryUnlock(geometry);
}

struct Part
{
    Mesh mesh;
    Colour colour;
    const char* texture = nullptr;
};

// A clump with one atomic per part, all on the clump's one frame.
Clump* MakeClump(const std::vector<Part>& parts)
{
    Clump* clump = ClumpCreate();
    Frame* frame = FrameCreate();
    if (clump == nullptr || frame == nullptr)
        return nullptr;
    ClumpSetFrame(clump, frame);
    for (const Part& part : parts) {
        Geometry* geometry = MakeGeometry(part.mesh, part.colour, part.texture);
        Atomic* atomic = geometry != nullptr ? AtomicCreate() : nullptr;
        if (atomic == nullptr) {
            if (geometry != nullptr)
                GeometryRelease(geometry);
            ClumpDestroy(clump);
            return nullptr;
        }
        AtomicSetGeometry(atomic, geometry, 0);
        GeometryRelease(geometry);
        AtomicSetFrame(atomic, frame);
        ClumpAddAtomic(clump, atomic);
    }
    return clump;
}

Part Ball(float radius, Colour colour)
{
    Part part{{}, colour};
    AddSphere(part.mesh, {0, 0, 0}, radius * kUnitsPerMetre, 8, 12, 0, 8, false);
    return part;
}

// A model of the sample data set (built in metres with its textured materials)
// made a demo model: scaled to 500 units a metre and given one plain colour (the
// demo's textures folder holds none of the sample textures).
Atomic* ScaleAndColour(Atomic* atomic, void* data)
{
    const Colour& colour = *static_cast<const Colour*>(data);
    Geometry* geometry = atomic->geometry;
    Matrix scale{};
    const V3d factor = {kUnitsPerMetre, kUnitsPerMetre, kUnitsPerMetre};
    MatrixScale(&scale, &factor, kCombineReplace);
    if (GeometryTransform(geometry, &scale) == nullptr)
        return nullptr;
    for (int32_t i = 0; i < geometry->materials.count; ++i) {
        Material* material = geometry->materials.materials[i];
        MaterialSetTexture(material, nullptr);
        material->colour = {colour.r, colour.g, colour.b, 255};
    }
    return atomic;
}

Clump* FromSample(const char* name, Colour colour)
{
    SampleMaterials materials;
    Clump* clump = SampleModel(name, materials);
    if (clump != nullptr && ClumpVisitAtomics(clump, &ScaleAndColour, &colour) == nullptr) {
        ClumpDestroy(clump);
        return nullptr;
    }
    return clump;
}

struct ModelRecipe
{
    const char* file;
    std::function<Clump*()> make;
};

std::vector<ModelRecipe> Recipes()
{
    const auto parts = [](std::vector<Part> list) { return [list] { return MakeClump(list); }; };
    return {
        // A body proxy's carrier: a small grey ball of the proxy's 0.4 m radius.
        {"models/world.dff", parts({Ball(0.4f, {128, 128, 128})})},
        // The muzzle fire, placed on the right hand bone, whose x axis is the
        // gun's: an orange cone along +x from the muzzle (0.6 m along x,
        // 0.11 m along z and 0.05 m along y of the hand, as the weapon reckons it).
        {"models/fire.dff",
         [] {
             Part part{{}, {255, 150, 30}};
             AddCone(part.mesh, {0, 0, 0}, 0.1f * kUnitsPerMetre, 0.4f * kUnitsPerMetre, 10);
             const V3d muzzle = Scaled({0.6f, 0.05f, 0.11f}, kUnitsPerMetre);
             for (Mesh::Vertex& v : part.mesh.vertices) {
                 // A quarter turn about y takes +z to +x.
                 v.position = {muzzle.x + v.position.z, muzzle.y + v.position.y, muzzle.z - v.position.x};
                 v.normal = {v.normal.z, v.normal.y, -v.normal.x};
             }
             return MakeClump({part});
         }},
        // The switch's four buttons (the sample button), dark and lit green and red.
        {"models/boutonvert.dff",
         [] {
             return FromSample("button", {0, 110, 0});
         }},
        {"models/boutonrouge.dff",
         [] {
             return FromSample("button", {110, 0, 0});
         }},
        {"models/boutonverton.dff",
         [] {
             return FromSample("button", {60, 255, 60});
         }},
        {"models/boutonrougeon.dff",
         [] {
             return FromSample("button", {255, 60, 60});
         }},
        // The lift's platform (2 m square) and the dynamic crate (a 1 m cube).
        {"models/lift.dff",
         [] {
             return FromSample("lift", {150, 140, 120});
         }},
        {"models/box.dff",
         [] {
             return FromSample("crate", {160, 110, 60});
         }},
        // The dynamic ball: 0.5 m radius, as the physics sphere.
        {"models/sphere.dff", parts({Ball(0.5f, {200, 200, 60})})},
        // The sky, in metres: atomic 0 is the dome (textured "skydome" inside a 150 m
        // half sphere), atomic 1 the ground's half below the horizon. A loaded
        // clump lists its atomics in the reverse of the building order, so the
        // ground is built first.
        {"models/sky1.dff",
         [] {
             Part dome{{}, {255, 255, 255}, "skydome"};
             AddSphere(dome.mesh, {0, 0, 0}, 150.0f, 8, 16, 0, 4, true);
             Part ground{{}, {70, 90, 60}};
             AddSphere(ground.mesh, {0, 0, 0}, 150.0f, 8, 16, 4, 8, true);
             return MakeClump({ground, dome});
         }},
    };
}

} // namespace

const std::vector<std::string>& DemoModelNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const ModelRecipe& recipe : Recipes())
            n.push_back(recipe.file);
        return n;
    }();
    return names;
}

bool DemoModelsWrite(const std::string& root, std::string& error)
{
    for (const ModelRecipe& recipe : Recipes()) {
        Clump* clump = recipe.make();
        const std::vector<uint8_t> written =
            clump != nullptr
                ? StreamWrittenBytes([&](Stream* s) { return ClumpStreamWrite(clump, s) != nullptr; })
                : std::vector<uint8_t>{};
        if (clump != nullptr)
            ClumpDestroy(clump);
        if (written.empty() || !ToolWriteFile(root + "/" + recipe.file, written.data(), written.size())) {
            error = std::string(recipe.file) + ": cannot build or write the model";
            return false;
        }
    }
    return true;
}
