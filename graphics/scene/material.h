#pragma once
// Materials: the surface of a set of triangles (an optional texture, a
// colour, the pipeline that draws it and three lighting factors). Materials
// are reference counted and shared by the material lists of geometries and
// worlds; they are saved as chunk 0x07 inside a material list. Every
// function needs the engine started with the scene library attached.

#include <cstdint>

#include "graphics/scene/scenetypes.h"

struct Pipeline;
struct Stream;
struct Texture;

struct Material
{
    Texture* texture;   ///< one reference held; null for none
    RGBA colour;        ///< 255, 255, 255, 255 at creation
    Pipeline* pipeline; ///< null: the renderer's default material pipeline
    SurfaceProperties surfaceProperties;
    int16_t refCount;
    // Material plug-in data follows (MaterialRegisterPlugin).
};

/// The 28-byte struct of a saved material, as the chunk-info reader gives it.
struct MaterialChunkInfo
{
    int32_t flags;
    RGBA colour;
    int32_t unused;
    int32_t textured; ///< 1 when a texture chunk follows
    SurfaceProperties surfaceProperties;
};

/// New material: no texture, white, no pipeline, the default surface
/// properties, one reference; null when out of memory or a plug-in fails.
Material* MaterialCreate();
/// New material with one reference sharing the texture (one more reference
/// on it), colour, pipeline and surface properties; null on failure.
Material* MaterialClone(const Material* material);
/// Drops one reference; the last one runs the plug-in destructors, releases
/// the texture and frees the record. 1.
int32_t MaterialRelease(Material* material);
/// References the new texture before releasing the old (so setting the same
/// texture keeps its count); null clears. The material.
Material* MaterialSetTexture(Material* material, Texture* texture);
/// Surface properties of materials created from now on; null restores 1, 1, 1.
void MaterialSetDefaultSurfaceProperties(const SurfaceProperties* properties);
/// True when drawing the material needs blending: colour alpha below 255 or
/// a texture whose raster format carries alpha. A null material is opaque.
bool MaterialIsTransparent(const Material* material);

/// Bytes of the chunk 0x07 body: 40 (struct) + the texture chunk (body + 12)
/// when textured + the extension body + 12.
uint32_t MaterialStreamGetSize(const Material* material);
/// Writes chunk 0x07 (header included); the material or null.
const Material* MaterialStreamWrite(const Material* material, Stream* stream);
/// Reads a chunk 0x07 body (the caller found the chunk): a new material, or
/// null with the first error recorded (kErrorBadVersion, kErrorRead). A
/// struct of 16 bytes or less gives surface properties 1, 1, 1; a longer one
/// than 28 bytes is read up to 28 and skipped. A texture that cannot be
/// found leaves the material untextured.
Material* MaterialStreamRead(Stream* stream);
/// Reads the next struct chunk into `info` (zeroed first; a struct of 16
/// bytes or less gives surface properties 1, 1, 1) and skips the rest;
/// `size` gets the struct size + 12. The info, or null.
MaterialChunkInfo* MaterialStreamReadChunkInfo(Stream* stream, MaterialChunkInfo* info, int32_t* size);
