// Skinned models built in code: bones as frames, tapered boxes as geometry.
#include "tools/charactergen/characterbuild.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/frame.h"
#include "graphics/core/image.h"
#include "graphics/core/matrix.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/png.h"

namespace {

/// Up to four (bone, weight) pairs, heaviest first.
struct Influence
{
    std::array<uint8_t, 4> bones{};
    std::array<float, 4> weights{};
};

Influence One(int32_t bone)
{
    Influence influence;
    influence.bones[0] = uint8_t(bone);
    influence.weights[0] = 1.0f;
    return influence;
}

Influence Two(int32_t a, int32_t b)
{
    Influence influence = One(a);
    influence.bones[1] = uint8_t(b);
    influence.weights[0] = influence.weights[1] = 0.5f;
    return influence;
}

/// A box tapering from `from` to `to` with rings of four corners at the
/// start, the middle and the end, each ring with its own influence.
struct Box
{
    V3d from;
    V3d to;
    float halfFrom;
    float halfTo;
    Influence rings[3];
};

constexpr int32_t kRings = 3;
constexpr int32_t kBoxVertices = 4 * kRings;
constexpr int32_t kBoxTriangles = 8 * (kRings - 1) + 4; // sides and two end caps

V3d Sub(V3d a, V3d b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3d Add(V3d a, V3d b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3d Scale(V3d a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
V3d Cross(V3d a, V3d b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3d Unit(V3d a)
{
    V3d out;
    V3dNormalize(&out, &a);
    return out;
}

/// Rest positions of the bones, relative to bone 0.
std::vector<V3d> RestPositions(const Skeleton& skeleton)
{
    std::vector<V3d> positions(skeleton.bones.size());
    for (size_t i = 1; i < skeleton.bones.size(); ++i) {
        const SkeletonBone& bone = skeleton.bones[i];
        positions[i] = Add(positions[size_t(bone.parent)], bone.offset);
    }
    return positions;
}

/// Fills one box's vertices and triangles from `vertex` and `triangle` on.
void WriteBox(Geometry* geometry, const Box& box, int32_t vertex, int32_t triangle, Material* material,
              float* weights, uint32_t* indices)
{
    const V3d axis = Unit(Sub(box.to, box.from));
    const V3d reference = std::fabs(axis.z) > 0.9f ? V3d{1, 0, 0} : V3d{0, 0, 1};
    const V3d u = Unit(Cross(axis, reference));
    const V3d w = Cross(axis, u);
    const float signs[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    MorphTarget& target = geometry->morphTargets[0];
    for (int32_t r = 0; r < kRings; ++r) {
        const float t = float(r) / float(kRings - 1);
        const V3d centre = Add(box.from, Scale(Sub(box.to, box.from), t));
        const float half = box.halfFrom + (box.halfTo - box.halfFrom) * t;
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t v = vertex + 4 * r + c;
            const V3d out = Add(Scale(u, signs[c][0]), Scale(w, signs[c][1]));
            target.vertices[v] = Add(centre, Scale(out, half));
            target.normals[v] = Unit(out);
            geometry->texCoords[0][v] = {0.125f + 0.25f * float(c), 0.25f + 0.5f * t};
            const Influence& influence = box.rings[r];
            indices[v] = 0;
            for (int32_t k = 0; k < 4; ++k) {
                weights[4 * v + k] = influence.weights[size_t(k)];
                indices[v] |= uint32_t(influence.bones[size_t(k)]) << (8 * k);
            }
        }
    }
    auto add = [&](int32_t a, int32_t b, int32_t c) {
        GeometryTriangle* tri = &geometry->triangles[triangle++];
        GeometryTriangleSetVertexIndices(geometry, tri, uint16_t(vertex + a), uint16_t(vertex + b),
                                         uint16_t(vertex + c));
        GeometryTriangleSetMaterial(geometry, tri, material);
    };
    for (int32_t r = 0; r + 1 < kRings; ++r) {
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t a = 4 * r + c, b = 4 * r + (c + 1) % 4;
            add(a, b + 4, b);
            add(a, a + 4, b + 4);
        }
    }
    const int32_t last = 4 * (kRings - 1);
    add(0, 1, 2);
    add(0, 2, 3);
    add(last, last + 2, last + 1);
    add(last, last + 3, last + 2);
}

/// A clump whose frame holds one atomic (the geometry of the boxes) and,
/// below it, the skeleton's frames (node id = bone index) with the
/// hierarchy on bone 0's frame.
Clump* BuildClump(const Skeleton& skeleton, const std::vector<Box>& boxes, const RGBA* solid)
{
    const int32_t bones = int32_t(skeleton.bones.size());
    const std::vector<uint32_t> flags = SkeletonNodeFlags(skeleton);
    std::vector<int32_t> ids(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) {
        ids[size_t(i)] = i;
    }
    Hierarchy* hierarchy =
        HierarchyCreate(bones, flags.data(), ids.data(), kHierarchyUpdateModelling, sizeof(HierInterpKey));
    if (!hierarchy) {
        return nullptr;
    }
    Clump* clump = ClumpCreate();
    std::vector<Frame*> frames(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) {
        Frame* frame = FrameCreate();
        frames[size_t(i)] = frame;
        const SkeletonBone& bone = skeleton.bones[size_t(i)];
        MatrixTranslate(FrameGetMatrix(frame), &bone.offset, kCombineReplace);
        FrameSetNodeId(frame, i);
        if (bone.parent >= 0) {
            FrameAddChild(frames[size_t(bone.parent)], frame);
        }
    }
    // The clump's frame places the character; the bones hang below it.
    Frame* root = FrameCreate();
    FrameAddChild(root, frames[0]);
    ClumpSetFrame(clump, root);
    FrameSetHierarchy(frames[0], hierarchy);
    HierarchyAttachFrames(hierarchy);

    const int32_t vertices = kBoxVertices * int32_t(boxes.size());
    Geometry* geometry = GeometryCreate(vertices, kBoxTriangles * int32_t(boxes.size()),
                                        kGeometryPositions | kGeometryNormals | kGeometryTextured |
                                            kGeometryLight | kGeometryModulateMaterialColor);
    Material* material = MaterialCreate();
    if (solid) {
        material->colour = *solid;
    } else {
        Texture* texture = TextureCreate(nullptr);
        TextureSetName(texture, kCharacterTextureName);
        MaterialSetTexture(material, texture);
        TextureDestroy(texture);
    }
    std::vector<float> weights(size_t(vertices) * 4);
    std::vector<uint32_t> indices(static_cast<size_t>(vertices));
    for (size_t b = 0; b < boxes.size(); ++b) {
        WriteBox(geometry, boxes[b], kBoxVertices * int32_t(b), kBoxTriangles * int32_t(b), material,
                 weights.data(), indices.data());
    }
    MaterialRelease(material);
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);

    // Inverse bind pose: each bone's rest position relative to bone 0 undone.
    const std::vector<V3d> rest = RestPositions(skeleton);
    std::vector<Matrix> bind(static_cast<size_t>(bones));
    for (int32_t i = 0; i < bones; ++i) {
        const V3d back = Scale(rest[size_t(i)], -1.0f);
        MatrixTranslate(&bind[size_t(i)], &back, kCombineReplace);
    }
    Skin* skin = SkinCreate(vertices, uint32_t(bones), weights.data(), indices.data(), bind.data());
    if (!skin || !GeometryUnlock(geometry)) {
        SkinDestroy(skin);
        GeometryRelease(geometry);
        ClumpDestroy(clump);
        return nullptr;
    }
    SkinGeometrySetSkin(geometry, skin);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    AtomicSetFrame(atomic, root);
    SkinAtomicSetHierarchy(atomic, hierarchy);
    SkinAtomicSetType(atomic, 1);
    ClumpAddAtomic(clump, atomic);
    return clump;
}

Skeleton Line(int32_t bones, V3d step)
{
    Skeleton skeleton;
    for (int32_t i = 0; i < bones; ++i) {
        skeleton.bones.push_back({"bone" + std::to_string(i), i - 1, i == 0 ? V3d{0, 0, 0} : step});
    }
    return skeleton;
}

/// The colour of the test models.
constexpr RGBA kPlainColour = {200, 190, 170, 255};

/// Half widths of a segment owned by `name`: torso, head and thighs broad, limbs narrow.
float HalfWidth(const std::string& name)
{
    const std::pair<const char*, float> widths[] = {
        {"Spine", 0.13f},    {"Chest", 0.14f},   {"Pelvis", 0.12f},   {"Backpack", 0.1f}, {"HeadTop", 0.09f},
        {"Head", 0.09f},     {"Neck", 0.05f},    {"Thigh", 0.075f},   {"Calf", 0.055f},   {"Foot", 0.045f},
        {"UpperArm", 0.05f}, {"Forearm", 0.04f}, {"Clavicle", 0.05f},
    };
    for (const auto& [part, width] : widths) {
        if (name.find(part) != std::string::npos) {
            return width;
        }
    }
    return 0.03f;
}

} // namespace

Clump* CharacterBuildSoldier(const Skeleton& metres, const CharacterLook& look)
{
    Skeleton skeleton = metres;
    for (SkeletonBone& bone : skeleton.bones) {
        bone.offset = Scale(bone.offset, look.unitsPerMetre);
    }
    const std::vector<V3d> rest = RestPositions(skeleton);
    const int32_t pelvis = SkeletonFind(skeleton, "Pelvis");
    const int32_t spine = SkeletonFind(skeleton, "Spine");
    std::vector<Box> boxes;
    // A segment from a bone's joint to its child's joint belongs to the bone;
    // the segment from the root (on the floor) to the pelvis is not drawn.
    for (size_t b = 1; b < skeleton.bones.size(); ++b) {
        const int32_t owner = skeleton.bones[b].parent;
        if (owner <= 0) {
            continue;
        }
        const int32_t above = skeleton.bones[size_t(owner)].parent;
        const std::string& name = skeleton.bones[size_t(owner)].name;
        Box box;
        box.from = rest[size_t(owner)];
        box.to = rest[b];
        box.halfFrom = HalfWidth(name) * look.unitsPerMetre;
        box.halfTo = box.halfFrom * 0.8f;
        box.rings[0] = above > 0 ? Two(owner, above) : One(owner);
        box.rings[1] = One(owner);
        box.rings[2] = Two(owner, int32_t(b));
        if (above == pelvis && name.find("Thigh") != std::string::npos && spine > 0) {
            // The hips follow the thigh, the pelvis, the spine and the root.
            Influence& hip = box.rings[0];
            hip.bones = {uint8_t(owner), uint8_t(pelvis), uint8_t(spine), 0};
            hip.weights = {0.4f, 0.3f, 0.2f, 0.1f};
        }
        boxes.push_back(box);
    }
    return BuildClump(skeleton, boxes, look.solid ? &look.colour : nullptr);
}

Clump* CharacterBuildBar()
{
    Box box = {{0, 0, 0}, {2, 0, 0}, 0.1f, 0.1f, {One(0), Two(0, 1), One(1)}};
    return BuildClump(Line(2, {1, 0, 0}), {box}, &kPlainColour);
}

Clump* CharacterBuildChain()
{
    constexpr int32_t kBones = 40;
    std::vector<Box> boxes;
    for (int32_t b = 0; b < kBones; b += 2) {
        const float y = 0.1f * float(b);
        boxes.push_back({{0, y, 0}, {0, y + 0.1f, 0}, 0.05f, 0.04f, {One(b), One(b), One(b)}});
    }
    Clump* clump = BuildClump(Line(kBones, {0, 0.1f, 0}), boxes, &kPlainColour);
    if (!clump) {
        return nullptr;
    }
    Atomic* atomic = nullptr;
    ClumpVisitAtomics(
        clump, [](Atomic* a, void* data) { return *static_cast<Atomic**>(data) = a; }, &atomic);
    Skin* skin = SkinGeometryGetSkin(atomic->geometry);
    const uint32_t used = skin->numUsedBones;
    if (!SkinSetSplitData(skin, used, kBones, 1, used)) {
        ClumpDestroy(clump);
        return nullptr;
    }
    std::fill(skin->splitData, skin->splitData + kBones, uint8_t(0xFF));
    for (uint32_t i = 0; i < used; ++i) {
        skin->splitData[skin->usedBones[i]] = uint8_t(i);
        skin->runTable[2 * i] = skin->usedBones[i];
        skin->runTable[2 * i + 1] = 1;
    }
    skin->meshTable[0] = 0;
    skin->meshTable[1] = uint8_t(used);
    return clump;
}

bool CharacterWriteTexture(const char* path)
{
    const int32_t size = 2 * kCharacterTextureSize;
    Image* image = ImageCreate(size, size, 32);
    if (!image || !ImageAllocatePixels(image)) {
        ImageDestroy(image);
        return false;
    }
    // Olive cloth with darker patches and a light band across the middle.
    for (int32_t y = 0; y < size; ++y) {
        uint8_t* row = image->pixels + size_t(y) * size_t(image->stride);
        for (int32_t x = 0; x < size; ++x) {
            const bool patch = ((x / 16) + (y / 16) * 3) % 5 == 0;
            const bool band = y >= size / 2 - 4 && y < size / 2 + 4;
            const uint8_t shade = band ? 40 : patch ? 0 : 20;
            row[4 * x] = uint8_t(90 + shade);
            row[4 * x + 1] = uint8_t(110 + shade);
            row[4 * x + 2] = uint8_t(60 + shade);
            row[4 * x + 3] = 255;
        }
    }
    const bool ok = PngWrite(image, path) != nullptr;
    ImageDestroy(image);
    return ok;
}
