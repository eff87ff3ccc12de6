// The physics object helpers: moving and turning bodies with their frames,
// render geometry of physics shapes, and emptying a context.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/bodydefinitions.h"
#include "framework/physicshelpers.h"
#include "framework/physicsshape.h"
#include "framework/tests/physicstesting.h"
#include "graphics/core/frame.h"
#include "graphics/core/texture.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/worldmembers.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/sphere.h"

namespace {

constexpr float kHalfPi = 1.5707963f;

float Length(const V3d& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

TEST_F(PhysicsQueries, MovedAndTurnedBodiesKeepTheirFramesInStep)
{
    OlpBodyDef* def = CreateBoxBody(0.5f, 0.5f, 0.5f, 0.0f);
    ASSERT_NE(def, nullptr);
    EXPECT_NEAR(def->part.mass, 1.0f, 1e-4f) << "a unit cube at density 1";
    OlpBody* body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    Atomic* atomic = PhysicsObjectCreateAtomic(body, Worlds()->GetWorld(0));
    ASSERT_NE(atomic, nullptr);
    EXPECT_EQ(OlpBodyGetFromAtomic(atomic), body);
    OlpMgr* manager = OlpContextGetMgr(Worlds()->GetContext());
    ASSERT_EQ(OlpMgrAddObject(manager, &body->base, kOlpMgrAnyId, 0), manager);
    EXPECT_FALSE(OlpMgrIsObjectActive(manager, &body->base));

    const Matrix* frame = FrameGetMatrix(AtomicGetFrame(atomic));
    PhysicsObjectSetPosition(&body->base, 2.0f, 1.0f, 3.0f);
    EXPECT_EQ(frame->pos.x, 2.0f);
    EXPECT_EQ(frame->pos.z, 3.0f);
    EXPECT_NEAR(AtomicWorldBoundingSphere(atomic)->centre.x, 2.0f, 1e-4f) << "the frame was marked changed";
    // A quarter turn about y: x goes to -z, the position stays.
    PhysicsObjectRotate(&body->base, 0.0f, 2.0f, 0.0f, kHalfPi);
    EXPECT_NEAR(frame->right.z, -1.0f, 1e-5f);
    EXPECT_NEAR(frame->at.x, 1.0f, 1e-5f);
    EXPECT_EQ(frame->pos.x, 2.0f);
    EXPECT_EQ(frame->pos.y, 1.0f);
    EXPECT_EQ(frame->pos.z, 3.0f);

    // A sleeping, inactive body is activated and woken where it is put.
    PhysicsBodySetPosition(body, 1.0f, 5.0f, -2.0f);
    ASSERT_TRUE(OlpMgrIsObjectActive(manager, &body->base));
    EXPECT_TRUE(OlpMgrIsObjectAwake(manager, &body->base));
    const Matrix* pose = OlpDynGetPose(body->base.parts[0].dyn);
    EXPECT_EQ(pose->pos.y, 5.0f);
    EXPECT_EQ(pose->pos.z, -2.0f);

    OlpBodyDestroy(body);
    PhysicsShapeGeometryDestroy(atomic);
}

TEST_F(PhysicsQueries, ShapesBecomeSmoothOrFlatHulls)
{
    int32_t directions = 0;
    const V3d* d = PhysicsShapeDirections(&directions);
    ASSERT_GT(directions, 40);
    ASSERT_LE(directions, 60);
    for (int32_t i = 0; i < directions; ++i)
        EXPECT_NEAR(Length(d[i]), 1.0f, 1e-5f);

    // A unit sphere (a point with a margin of 1): smooth, every vertex at
    // radius 1 with its normal along it.
    OlpVolume sphere;
    OlpSphereInit(&sphere, 1.0f);
    Atomic* ball = PhysicsShapeToGeometry(&sphere, nullptr, {10, 20, 30, 255});
    ASSERT_NE(ball, nullptr);
    const Geometry* g = ball->geometry;
    EXPECT_LE(g->numVertices, directions);
    EXPECT_GT(g->numVertices, directions - 4);
    for (int32_t v = 0; v < g->numVertices; ++v) {
        const V3d& p = g->morphTargets[0].vertices[v];
        EXPECT_NEAR(Length(p), 1.0f, 1e-4f);
        EXPECT_GT(Dot(p, g->morphTargets[0].normals[v]), 0.95f);
    }
    const Material* material = g->materials.materials[0];
    EXPECT_EQ(material->colour.green, 20);
    EXPECT_EQ(material->surfaceProperties.diffuse, 0.5f);
    PhysicsShapeGeometryDestroy(ball);

    // A box without margin: six flat faces of four corners each, wound so
    // that every triangle faces out.
    OlpVolume box;
    const V3d half = {1.0f, 2.0f, 3.0f};
    OlpBoxInit(&box, &half);
    Atomic* crate = PhysicsShapeToGeometry(&box, Worlds()->GetWorld(0), {255, 255, 255, 255});
    ASSERT_NE(crate, nullptr);
    EXPECT_EQ(AtomicGetWorld(crate), Worlds()->GetWorld(0));
    g = crate->geometry;
    EXPECT_EQ(g->numVertices, 24);
    EXPECT_EQ(g->numTriangles, 12);
    const V3d* p = g->morphTargets[0].vertices;
    for (int32_t t = 0; t < g->numTriangles; ++t) {
        const uint16_t* v = g->triangles[t].vertex;
        const V3d e1 = {p[v[1]].x - p[v[0]].x, p[v[1]].y - p[v[0]].y, p[v[1]].z - p[v[0]].z};
        const V3d e2 = {p[v[2]].x - p[v[0]].x, p[v[2]].y - p[v[0]].y, p[v[2]].z - p[v[0]].z};
        const V3d n = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        EXPECT_GT(Dot(n, p[v[0]]), 0.0f) << "triangle " << t;
        const V3d& normal = g->morphTargets[0].normals[v[0]];
        EXPECT_NEAR(std::fabs(normal.x) + std::fabs(normal.y) + std::fabs(normal.z), 1.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(p[v[0]].x), 1.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(p[v[0]].z), 3.0f, 1e-5f);
    }
    PhysicsShapeGeometryDestroy(crate);
}

TEST_F(PhysicsQueries, AggregatesHangTheirChildrenBelowAnInvisibleAtomic)
{
    OlpAggChildren* children = OlpAggChildrenCreate(2);
    ASSERT_NE(children, nullptr);
    const V3d half = {0.5f, 0.5f, 0.5f};
    OlpBoxInit(OlpAggChildrenGetChild(children, 0), &half);
    OlpSphereInit(OlpAggChildrenGetChild(children, 1), 0.5f);
    const V3d offset = {3.0f, 0.0f, 0.0f};
    MatrixTranslate(&OlpAggChildrenGetChild(children, 1)->frame, &offset, kCombineReplace);
    OlpAggChildrenUpdateBounds(children);
    OlpVolume* aggregate = OlpAggregateCreate(children);
    OlpAggChildrenRelease(children);

    Atomic* root = PhysicsShapeToGeometry(aggregate, Worlds()->GetWorld(0), {255, 0, 0, 255});
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(root->object.object.flags & kAtomicRender);
    Frame* frame = AtomicGetFrame(root);
    EXPECT_EQ(FrameCount(frame), 3);
    // The sphere's frame is placed where its volume is.
    std::vector<const Atomic*> pieces;
    FrameForAllChildren(
        frame,
        [](Frame* child, void* data) {
            FrameForAllObjects(
                child,
                [](void* object, void* list) {
                    static_cast<std::vector<const Atomic*>*>(list)->push_back(
                        static_cast<const Atomic*>(object));
                    return object;
                },
                data);
            return child;
        },
        &pieces);
    ASSERT_EQ(pieces.size(), 2u);
    float farthest = 0.0f;
    for (const Atomic* piece : pieces)
        farthest = std::fmax(farthest, AtomicWorldBoundingSphere(const_cast<Atomic*>(piece))->centre.x);
    EXPECT_NEAR(farthest, 3.0f, 0.01f);
    PhysicsShapeGeometryDestroy(root);
    OlpVolumeDestroy(aggregate);
}

TEST_F(PhysicsQueries, RemovingTheContentsEmptiesTheContext)
{
    OlpContext* context = Worlds()->GetContext();
    OlpMgr* manager = OlpContextGetMgr(context);
    OlpBodyDef* def = CreateSphereBodyDefinition(0.5f, 1.0f, 0.2f, 0.0f);
    OlpBody bodies[2];
    for (OlpBody& body : bodies) {
        ASSERT_NE(OlpBodyInit(&body, def), nullptr);
        ASSERT_EQ(OlpMgrAddObject(manager, &body.base, kOlpMgrAnyId, kOlpMgrAddDynamic | kOlpMgrAddActivate),
                  manager);
    }
    OlpBodyDefRelease(def);
    RemoveContextContents(context);
    int32_t objects = 0;
    OlpMgrForAllObjects(
        manager,
        [](OlpObj* object, void* count) {
            ++*static_cast<int32_t*>(count);
            return object;
        },
        &objects);
    EXPECT_EQ(objects, 0);
    int32_t volumes = 0;
    OlpContextForAllObjects(
        context,
        [](OlpVolume*, void* count) {
            ++*static_cast<int32_t*>(count);
            return 1;
        },
        &volumes);
    EXPECT_EQ(volumes, 0) << "the world's triangle list too";
    for (const OlpBody& body : bodies)
        EXPECT_EQ(body.base.manager, nullptr);
}

TEST_F(PhysicsQueries, MaterialsTakeColourAndTexture)
{
    OlpVolume sphere;
    OlpSphereInit(&sphere, 1.0f);
    Atomic* ball = PhysicsShapeToGeometry(&sphere, nullptr, {1, 2, 3, 4});
    ASSERT_NE(ball, nullptr);
    AtomicSetMaterialColour(ball, {200, 100, 50, 255});
    const Material* material = ball->geometry->materials.materials[0];
    EXPECT_EQ(material->colour.red, 200);
    EXPECT_EQ(material->surfaceProperties.ambient, 1.0f);
    EXPECT_EQ(material->surfaceProperties.specular, 1.0f);
    Texture* texture = TextureCreate(nullptr);
    ObjectSetGeometryTexture(ball, texture);
    EXPECT_EQ(material->texture, texture);
    TextureDestroy(texture);
    ObjectSetGeometryTexture(ball, nullptr);
    EXPECT_EQ(material->texture, nullptr);
    PhysicsShapeGeometryDestroy(ball);
}

} // namespace
