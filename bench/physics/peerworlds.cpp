#include "bench/physics/peerworlds.h"

btTransform BulletPose(const Matrix& m)
{
    btMatrix3x3 basis(m.right.x, m.up.x, m.at.x, m.right.y, m.up.y, m.at.y, m.right.z, m.up.z, m.at.z);
    return btTransform(basis, btVector3(m.pos.x, m.pos.y, m.pos.z));
}

Matrix FromBullet(const btTransform& t)
{
    const btMatrix3x3& b = t.getBasis();
    Matrix m{};
    m.right = {b[0][0], b[1][0], b[2][0]};
    m.up = {b[0][1], b[1][1], b[2][1]};
    m.at = {b[0][2], b[1][2], b[2][2]};
    m.pos = {t.getOrigin().x(), t.getOrigin().y(), t.getOrigin().z()};
    return m;
}

OdeWorld OpenOdeWorld(dReal mu)
{
    dInitODE2(0);
    OdeWorld w{dWorldCreate(), dJointGroupCreate(0), mu};
    dWorldSetGravity(w.world, 0, -10, 0);
    dWorldSetQuickStepNumIterations(w.world, 20);
    return w;
}

void OdeNear(void* data, dGeomID a, dGeomID b)
{
    void* owner = dGeomGetData(a);
    if (owner != nullptr && owner == dGeomGetData(b)) {
        return;
    }
    auto* w = static_cast<OdeWorld*>(data);
    dContact contact[4];
    const int n = dCollide(a, b, 4, &contact[0].geom, sizeof(dContact));
    for (int i = 0; i < n; ++i) {
        contact[i].surface.mode = 0;
        contact[i].surface.mu = w->mu;
        dJointID joint = dJointCreateContact(w->world, w->contacts, &contact[i]);
        dJointAttach(joint, dGeomGetBody(a), dGeomGetBody(b));
    }
}

void OdeStep(OdeWorld& w, dSpaceID space, dReal step)
{
    dSpaceCollide(space, &w, OdeNear);
    dWorldQuickStep(w.world, step);
    dJointGroupEmpty(w.contacts);
}

Matrix OdePose(dBodyID body)
{
    const dReal* p = dBodyGetPosition(body);
    const dReal* m = dBodyGetRotation(body); // rows of three, padded to four
    Matrix pose{};
    pose.right = {float(m[0]), float(m[4]), float(m[8])};
    pose.up = {float(m[1]), float(m[5]), float(m[9])};
    pose.at = {float(m[2]), float(m[6]), float(m[10])};
    pose.pos = {float(p[0]), float(p[1]), float(p[2])};
    return pose;
}

void CloseOdeWorld(OdeWorld& w, dSpaceID space, dTriMeshDataID mesh)
{
    dJointGroupDestroy(w.contacts);
    dSpaceDestroy(space);
    if (mesh != nullptr) {
        dGeomTriMeshDataDestroy(mesh);
    }
    dWorldDestroy(w.world);
    dCloseODE();
}

OdeConvex OdeConvexOf(const OlpConvexHull* hull)
{
    OdeConvex c;
    for (uint32_t v = 0; v < hull->vertexCount; ++v) {
        c.points.insert(c.points.end(), {hull->vertices[v].x, hull->vertices[v].y, hull->vertices[v].z});
    }
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        const V3d n = hull->faceNormals[f];
        const V3d p = hull->vertices[hull->edges[hull->faceEdgeStart[f]].from];
        c.planes.insert(c.planes.end(), {n.x, n.y, n.z, n.x * p.x + n.y * p.y + n.z * p.z});
        c.polygons.push_back(hull->faceEdgeStart[f + 1] - hull->faceEdgeStart[f]);
        for (uint32_t e = hull->faceEdgeStart[f]; e < hull->faceEdgeStart[f + 1]; ++e) {
            c.polygons.push_back(hull->edges[e].from);
        }
    }
    return c;
}

dGeomID OdeConvexGeom(dSpaceID space, OdeConvex& convex)
{
    return dCreateConvex(space, convex.planes.data(), static_cast<unsigned int>(convex.planes.size() / 4),
                         convex.points.data(), static_cast<unsigned int>(convex.points.size() / 3),
                         convex.polygons.data());
}
