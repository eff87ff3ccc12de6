#pragma once
// Fixed-function transforms, lights and material of the Direct3D 9 device,
// and the frustum containment tests. Transforms and lights are cached: a
// value equal to the one the device accepted last is not sent again, and a
// value the device refused is not kept.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

struct BBox;
struct Camera;
struct Matrix;
struct Sphere;

/// Transform state below 260 (asserted); null means identity. 1 when
/// unchanged or accepted.
int32_t D3D9SetTransform(uint32_t state, const D3DMATRIX* matrix);
/// The cached matrix (identity for an empty slot); nothing for a null out.
void D3D9GetTransform(uint32_t state, D3DMATRIX* matrix);
/// World transform from an engine matrix (rows widened to 4 x 4); null or an
/// identity-flagged matrix sets identity.
int32_t D3D9SetWorldMatrix(const Matrix* matrix);

/// Light `index` unless an equal light is cached there; 1 when skipped or accepted.
int32_t D3D9SetLightCached(uint32_t index, const D3DLIGHT9* light);
int32_t D3D9SetLight(uint32_t index, const D3DLIGHT9* light);
/// Copy of the cached light (zeroed beyond the cache).
void D3D9GetLight(uint32_t index, D3DLIGHT9* light);
/// 1 beyond the cache, when unchanged or accepted.
int32_t D3D9EnableLightCached(uint32_t index, uint32_t enable);
/// Index of the first equal cached light, -1 when none.
int32_t D3D9FindLight(const D3DLIGHT9* light);
/// Type, diffuse rgb and the fields that matter for the type, bit for bit.
bool D3D9LightsEqual(const D3DLIGHT9* a, const D3DLIGHT9* b);
/// Number of cached lights.
uint32_t D3D9GetLightCount();

/// Surface coefficients of an object (scene renderer).
struct D3D9SurfaceProperties
{
    float ambient;
    float specular;
    float diffuse;
};
constexpr uint32_t kD3D9GeometryPrelit = 0x08;
constexpr uint32_t kD3D9GeometryModulate = 0x40;
/// Material from the coefficients, colour (RGBA bytes) and geometry flags
/// with the ambient light colour; 1 when unchanged or accepted.
int32_t D3D9SetSurfaceProperties(const D3D9SurfaceProperties* surface, const uint8_t colour[4],
                                 uint32_t flags);
/// The ambient light colour (r, g, b) that the scene renderer's lighting writes.
float* D3D9GetAmbientLight();

/// 1 when the sphere lies wholly inside all six frustum planes.
int32_t CameraFrustumTestSphereInside(const Camera* camera, const Sphere* sphere);
/// 1 when the box lies wholly inside all six frustum planes.
int32_t CameraFrustumTestBox(const Camera* camera, const BBox* box);
