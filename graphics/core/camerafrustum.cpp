// The camera's frame-sync callback: view matrix, frustum planes and corners,
// and the frustum's bounding box; and the sphere test against the planes.

#include "graphics/core/camera.h"

#include <cstring>

namespace {

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

V3d Add(const V3d& a, const V3d& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

V3d Scale(const V3d& v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

V3d Negate(const V3d& v)
{
    return {-v.x, -v.y, -v.z};
}

uint8_t SignClear(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return (bits >> 31) ? 0 : 1;
}

void SetPlane(FrustumPlane* plane, const V3d& normal, const V3d& through)
{
    plane->normal = normal;
    plane->distance = Dot(normal, through);
    plane->signs[0] = SignClear(normal.x);
    plane->signs[1] = SignClear(normal.y);
    plane->signs[2] = SignClear(normal.z);
}

V3d UnitSide(const V3d& normal)
{
    V3d unit;
    V3dNormalizeFast(&unit, &normal);
    return unit;
}

// The six planes from the eight corners: far (normal at), near (-at), then
// the four sides through the near/far corner pairs, normals pointing out.
void BuildPlanes(Camera* camera, const V3d& at)
{
    const V3d* c = camera->frustumCorners;
    const V3d* nearCorner = c;
    const V3d* farCorner = c + 4;
    FrustumPlane* planes = camera->frustumPlanes;
    SetPlane(&planes[0], at, farCorner[0]);
    SetPlane(&planes[1], Negate(at), nearCorner[0]);
    SetPlane(&planes[2], UnitSide(Cross(Sub(nearCorner[1], farCorner[1]), Sub(farCorner[2], farCorner[1]))),
             nearCorner[1]);
    SetPlane(&planes[3], UnitSide(Cross(Sub(farCorner[0], farCorner[1]), Sub(nearCorner[1], farCorner[1]))),
             nearCorner[1]);
    SetPlane(&planes[4], UnitSide(Cross(Sub(nearCorner[3], farCorner[3]), Sub(farCorner[0], farCorner[3]))),
             nearCorner[3]);
    SetPlane(&planes[5], UnitSide(Cross(Sub(farCorner[2], farCorner[3]), Sub(nearCorner[3], farCorner[3]))),
             nearCorner[3]);
}

// Columns c0, c1, c2 and translations t0, t1, t2 into the row-vector matrix.
void SetColumns(Matrix* m, const V3d& c0, float t0, const V3d& c1, float t1, const V3d& c2, float t2)
{
    *m = Matrix{};
    m->right = {c0.x, c1.x, c2.x};
    m->up = {c0.y, c1.y, c2.y};
    m->at = {c0.z, c1.z, c2.z};
    m->pos = {t0, t1, t2};
}

// Screen x and y divided by depth run 0..1 across the view window; the
// offset shears the view so that it has no effect at depth 1.
void BuildPerspective(Camera* camera, const Matrix& world)
{
    const V3d &R = world.right, &U = world.up, &A = world.at, &P = world.pos;
    const V2d& w = camera->viewWindow;
    const V2d& o = camera->viewOffset;
    float kx = 0.5f + 0.5f * o.x * camera->recipViewWindow.x;
    float ky = 0.5f - 0.5f * o.y * camera->recipViewWindow.y;
    V3d c0 = Sub(Scale(A, kx), Scale(R, 0.5f * camera->recipViewWindow.x));
    V3d c1 = Sub(Scale(A, ky), Scale(U, 0.5f * camera->recipViewWindow.y));
    SetColumns(&camera->viewMatrix, c0, 0.5f - Dot(P, c0) - kx, c1, 0.5f - Dot(P, c1) - ky, A, -Dot(P, A));
    MatrixOptimize(&camera->viewMatrix, nullptr);

    V3d directions[4] = {Add(A, Add(Scale(R, w.x), Scale(U, w.y))), Add(A, Sub(Scale(U, w.y), Scale(R, w.x))),
                         Sub(A, Add(Scale(R, w.x), Scale(U, w.y))),
                         Add(A, Sub(Scale(R, w.x), Scale(U, w.y)))};
    V3d shift = Sub(Scale(U, o.y), Scale(R, o.x));
    V3d eye = Add(P, shift);
    for (int i = 0; i < 4; ++i) {
        V3d towards = Sub(directions[i], shift);
        camera->frustumCorners[i] = Add(eye, Scale(towards, camera->nearPlane));
        camera->frustumCorners[i + 4] = Add(eye, Scale(towards, camera->farPlane));
    }
    BuildPlanes(camera, A);
}

// Screen x and y run 0..1 across the view window at every depth; the offset
// shears the window centre by (1 - depth) * (-offset.x, offset.y).
void BuildParallel(Camera* camera, const Matrix& world)
{
    const V3d &R = world.right, &U = world.up, &A = world.at, &P = world.pos;
    const V2d& w = camera->viewWindow;
    const V2d& o = camera->viewOffset;
    const V2d& r = camera->recipViewWindow;
    V3d c0 = Add(Scale(R, -0.5f * r.x), Scale(A, 0.5f * o.x * r.x));
    V3d c1 = Sub(Scale(U, -0.5f * r.y), Scale(A, 0.5f * o.y * r.y));
    SetColumns(&camera->viewMatrix, c0, 0.5f - 0.5f * o.x * r.x - Dot(P, c0), c1,
               0.5f + 0.5f * o.y * r.y - Dot(P, c1), A, -Dot(P, A));
    MatrixOptimize(&camera->viewMatrix, nullptr);

    const float signs[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    V3d local[8];
    for (int plane = 0; plane < 2; ++plane) {
        float z = plane == 0 ? camera->nearPlane : camera->farPlane;
        for (int i = 0; i < 4; ++i) {
            local[plane * 4 + i] = {(1.0f - z) * -o.x + signs[i][0] * w.x,
                                    (1.0f - z) * o.y + signs[i][1] * w.y, z};
        }
    }
    V3dTransformPoints(camera->frustumCorners, local, 8, &world);
    BuildPlanes(camera, A);
}

} // namespace

void CameraSync(void* object)
{
    auto* camera = static_cast<Camera*>(object);
    Frame* frame = CameraGetFrame(camera);
    if (!frame) {
        return;
    }
    const Matrix& world = *FrameGetLTM(frame);
    if (camera->projection == kCameraParallel) {
        BuildParallel(camera, world);
    } else {
        BuildPerspective(camera, world);
    }
    BBoxCalculate(&camera->frustumBoundBox, camera->frustumCorners, 8);
}

int32_t CameraFrustumTestSphere(const Camera* camera, const Sphere* sphere)
{
    int32_t result = 2;
    for (const FrustumPlane& plane : camera->frustumPlanes) {
        float s = Dot(plane.normal, sphere->centre) - plane.distance;
        if (s > sphere->radius) {
            return 0;
        }
        if (s > -sphere->radius) {
            result = 1;
        }
    }
    return result;
}
