// Constants of the generated vertex shaders: the current object's world
// matrix with its lazily derived inverse, direction and orthonormal forms,
// the transposed products uploaded as c0-c3 and texture transforms, lights
// brought into object space, and the colour, fog and morph registers.
#pragma once

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/d3d9/renderer/vertexshader.h"
#include "graphics/scene/scenetypes.h"
#include "platform/d3dx9/d3dx9math.h"

/// One constant register: four floats.
using VertexShaderRegister = float[4];
/// Registers in the renderer's constant buffer: every register a shader can
/// read, so the largest light block (up to c133) always fits.
inline constexpr uint32_t kVertexShaderConstantRegisters = 256;
/// The renderer's constant buffer, filled per object from c0 and sent to the device in one call.
VertexShaderRegister* D3D9VertexShaderConstantBuffer();

/// Records the object's world matrix (null = identity) and forgets the derived matrices.
void D3D9VertexShaderSetWorldMatrix(const Matrix* world);
/// out = transpose(world x view x projection) (view x projection cached until the camera changes).
void D3D9VertexShaderCalcWorldViewProjection(D3DXMATRIX* out);
/// The inverse world matrix (fourth column 0, 0, 0, 1); identity without a world.
void D3D9VertexShaderGetInverseWorld(D3DXMATRIX* out);
/// Inverse of a rotation plus translation: transposed rotation, negated rotated position.
void D3D9MatrixInvertOrthonormal(D3DXMATRIX* out, const D3DXMATRIX* in);
/// out = transpose(world x matrix) with last row 0, 0, 0, 1; transpose(matrix) without a world.
void D3D9VertexShaderTransposeWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix);
/// As D3D9VertexShaderTransposeWorldTimes with the world made orthonormal.
void D3D9VertexShaderTransposeOrthoWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix);
/// out = transpose(orthonormal world x view x matrix) with last row 0, 0, 0, 1.
void D3D9VertexShaderTransposeOrthoWorldViewTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix);
/// The transposed orthonormal world; identity with last column 0, 0, 0, 1 without a world.
void D3D9VertexShaderTransposeOrthoWorld(D3DXMATRIX* out);
/// Products for shaders written by applications (the generated ones do not use them):
/// out = transpose(world x view); transpose(view) without a world.
void D3D9VertexShaderTransposeWorldView(D3DXMATRIX* out);
/// out = world x view with fourth column 0, 0, 0, 1; the view without a world.
void D3D9VertexShaderWorldView(D3DXMATRIX* out);
/// out = world x matrix; the matrix without a world.
void D3D9VertexShaderWorldTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix);
/// out = transpose(world x view x matrix) with last row 0, 0, 0, 1.
void D3D9VertexShaderTransposeWorldViewTimes(D3DXMATRIX* out, const D3DXMATRIX* matrix);
/// out = transpose(projection).
void D3D9VertexShaderTransposeProjection(D3DXMATRIX* out);
/// A world direction in object space (through the direction matrix).
void D3D9VertexShaderLightDirection(const V3d* in, V3d* out);
/// A world point in object space (through the inverse world).
void D3D9VertexShaderLightPosition(const V3d* in, V3d* out);
/// A world radius in object space (scaled as a unit diagonal through the inverse world).
void D3D9VertexShaderLightRadius(float radius, float* out);

/// Multiplies in place the ambient register (registers[0], from c4) by
/// `ambient` and every light colour of the descriptor's lights by `diffuse`.
void D3D9VertexShaderScaleLightColors(float (*registers)[4], VertexShaderDescriptor descriptor, float ambient,
                                      float diffuse);
/// One register: the colour's bytes x 1/255.
void D3D9VertexShaderSetColorConstant(float* out, const RGBA* colour);
/// The fog register of an engine fog type (1 linear, 2 exponential, 3
/// exponential squared) from the current camera and D3DRS_FOGDENSITY;
/// false (nothing written) when the device has W fog or no camera is current.
bool D3D9VertexShaderSetFogConstants(float* out, uint32_t fogType);
/// The morph weights (t, 1 - t, 1, 0).
void D3D9VertexShaderSetMorphConstant(float* out, float t);
/// Two registers: the first two columns of a texture matrix.
void D3D9VertexShaderSetTexTransform(float (*out)[4], const D3DXMATRIX* matrix);
