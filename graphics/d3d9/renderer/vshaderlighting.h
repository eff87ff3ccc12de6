// The lighting callback of the generated-shader path.
#pragma once

#include <cstdint>

#include "graphics/d3d9/renderer/vertexshader.h"

/// Cone register values (x slope, y offset) of a spot whose cone angle has
/// `cosine`: hard edged (or soft with cosine >= 0.999) 999.99994 and
/// -cosine x 999.99994, else 1 / (1 - c) and -c / (1 - c).
void D3D9VertexShaderSpotCone(bool soft, float cosine, float* x, float* y);
/// Writes the ambient and light registers of an atomic (kind 1) or a world
/// sector from `constants` (register c4) on, in object space (the world
/// matrix must be set first), and the light counts (at most 15 per kind)
/// into *descriptor; the register behind the last one written.
float (*D3D9VertexShaderLightingCallback(void* object, int32_t kind, float (*constants)[4],
                                         VertexShaderDescriptor* descriptor))[4];
