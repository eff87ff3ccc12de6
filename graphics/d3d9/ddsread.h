#pragma once
// Reading ".dds" files into rasters and textures. A file whose pixel format
// the device accepts (at a size the device keeps) is copied level by level
// into a texture of that format; any other is decoded from level 0 into a
// 32-bit image and written into a raster the device accepts, whose further
// levels the device generates.

struct Raster;
struct Stream;
struct Texture;

/// The raster of the DDS file at the stream's position, or null for a bad
/// header, an unsupported layout, a file shorter than its header says, or a
/// raster the device refuses. Records no error of its own.
Raster* D3D9RasterReadDDS(Stream* stream);
/// Finds name + ".dds" along the image search path (or the name alone when
/// it is absolute or the path is empty), reads it and wraps the raster in a
/// texture named `name`. Null when no file is found or the read fails.
Texture* D3D9TextureReadDDS(const char* name);
