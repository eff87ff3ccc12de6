#pragma once
// Small value types shared by the scene objects.

#include <cstdint>

/// A colour of four bytes, red first (materials, pre-lit vertices).
struct RGBA
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t alpha;
};

/// A colour of four floats, nominally 0 to 1 (lights).
struct RGBAReal
{
    float red;
    float green;
    float blue;
    float alpha;
};

/// How a surface answers light: factors of the ambient, specular and diffuse terms.
struct SurfaceProperties
{
    float ambient;
    float specular;
    float diffuse;
};

/// One vertex's texture coordinates.
struct TexCoords
{
    float u;
    float v;
};
