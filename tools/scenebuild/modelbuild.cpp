// Models built in code.
#include "tools/scenebuild/modelbuild.h"

#include <initializer_list>

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"

namespace {

// Fills a quad (4 vertices, 2 triangles) into target `t` of `geometry`.
void FillQuad(Geometry* geometry, int32_t t, float height)
{
    MorphTarget& target = geometry->morphTargets[t];
    for (int v = 0; v < 4; ++v) {
        target.vertices[v] = {float(v & 1), float(v >> 1), height};
        if (target.normals) {
            target.normals[v] = {0.0f, 0.0f, 1.0f};
        }
    }
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
}

Geometry* Quad(uint32_t format, Material* first, Material* second)
{
    Geometry* geometry = GeometryCreate(4, 2, format);
    if (!geometry) {
        return nullptr;
    }
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 2, 1, 3);
    GeometryTriangleSetMaterial(geometry, &geometry->triangles[0], first);
    GeometryTriangleSetMaterial(geometry, &geometry->triangles[1], second);
    FillQuad(geometry, 0, 0.0f);
    return geometry;
}

} // namespace

Clump* ModelBuildSample()
{
    Clump* clump = ClumpCreate();
    Frame* root = FrameCreate();
    Frame* left = FrameCreate();
    Frame* right = FrameCreate();
    Material* material = MaterialCreate();
    Geometry* geometry = material ? Quad(kGeometryNormals, material, material) : nullptr;
    if (material) {
        MaterialRelease(material);
    }
    if (!clump || !root || !left || !right || !geometry || !GeometryUnlock(geometry)) {
        return nullptr;
    }
    const V3d offset = {4, 0, 0};
    FrameTranslate(right, &offset, kCombineReplace);
    FrameAddChild(root, left);
    FrameAddChild(left, right);
    ClumpSetFrame(clump, root);
    for (Frame* frame : {left, right}) {
        Atomic* atomic = AtomicCreate();
        AtomicSetGeometry(atomic, geometry, 0);
        AtomicSetFrame(atomic, frame);
        ClumpAddAtomic(clump, atomic);
    }
    GeometryRelease(geometry);
    Light* light = LightCreate(kLightPoint);
    const RGBAReal warm = {1.0f, 0.9f, 0.7f, 1.0f};
    LightSetColor(light, &warm);
    LightSetRadius(light, 9.0f);
    ObjectHasFrameSetFrame(&light->object, right);
    ClumpAddLight(clump, light);
    return clump;
}

Geometry* ModelBuildMorphing()
{
    Material* material = MaterialCreate();
    Geometry* geometry = Quad(kGeometryNormals, material, material);
    MaterialRelease(material);
    if (!geometry || GeometryAddMorphTarget(geometry) < 0) {
        return nullptr;
    }
    FillQuad(geometry, 1, 2.0f);
    return GeometryUnlock(geometry);
}

Geometry* ModelBuildPreLit()
{
    Material* plain = MaterialCreate();
    Material* textured = MaterialCreate();
    Texture* texture = TextureCreate(nullptr);
    TextureSetName(texture, "checker");
    MaterialSetTexture(textured, texture);
    TextureDestroy(texture);
    textured->colour = {200, 180, 160, 255};
    Geometry* geometry =
        Quad(kGeometryPreLit | kGeometryNormals | kGeometryTextured2 | kGeometryTriStrip, plain, textured);
    MaterialRelease(plain);
    MaterialRelease(textured);
    if (!geometry) {
        return nullptr;
    }
    for (int v = 0; v < 4; ++v) {
        geometry->preLitColours[v] = {uint8_t(60 * v), 128, 255, 255};
        geometry->texCoords[0][v] = {float(v & 1), float(v >> 1)};
        geometry->texCoords[1][v] = {0.5f * float(v & 1), 0.5f * float(v >> 1)};
    }
    return GeometryUnlock(geometry);
}

Geometry* ModelBuildGrid(int32_t triangles, int32_t materials)
{
    int32_t side = 1;
    while (2 * side * side < triangles) {
        ++side;
    }
    const int32_t vertices = (side + 1) * (side + 1);
    Geometry* geometry = GeometryCreate(vertices, 2 * side * side, kGeometryNormals | kGeometryTextured2);
    if (!geometry) {
        return nullptr;
    }
    Material* list[16];
    for (int32_t m = 0; m < materials && m < 16; ++m) {
        list[m] = MaterialCreate();
        list[m]->colour = {uint8_t(30 * m), 100, 200, 255};
    }
    MorphTarget& target = geometry->morphTargets[0];
    for (int32_t y = 0; y <= side; ++y) {
        for (int32_t x = 0; x <= side; ++x) {
            const int32_t v = y * (side + 1) + x;
            target.vertices[v] = {float(x), float(y), 0.0f};
            target.normals[v] = {0.0f, 0.0f, 1.0f};
            geometry->texCoords[0][v] = {float(x), float(y)};
            geometry->texCoords[1][v] = {float(x) / float(side), float(y) / float(side)};
        }
    }
    int32_t t = 0;
    for (int32_t y = 0; y < side; ++y) {
        Material* material = list[(y * materials / side) % materials];
        for (int32_t x = 0; x < side; ++x) {
            const uint16_t a = uint16_t(y * (side + 1) + x);
            const uint16_t b = uint16_t(a + 1);
            const uint16_t c = uint16_t(a + side + 1);
            const uint16_t d = uint16_t(c + 1);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], a, b, d);
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], a, d, c);
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[t++], material);
        }
    }
    for (int32_t m = 0; m < materials && m < 16; ++m) {
        MaterialRelease(list[m]);
    }
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    return geometry;
}

Clump* ModelBuildClumpOf(Geometry* geometry)
{
    Clump* clump = ClumpCreate();
    Frame* frame = FrameCreate();
    Atomic* atomic = AtomicCreate();
    if (!clump || !frame || !atomic) {
        return nullptr;
    }
    ClumpSetFrame(clump, frame);
    AtomicSetGeometry(atomic, geometry, 0);
    AtomicSetFrame(atomic, frame);
    ClumpAddAtomic(clump, atomic);
    return clump;
}
