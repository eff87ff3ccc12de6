#pragma once
// The device entry points of the native texture chunk (0x15): its size, its
// writer and its reader, which rebuilds the raster in the stored Direct3D
// format and copies every level in without conversion.

#include <cstdint>

/// (out int32 size, texture, -): the body size with its struct chunk header;
/// 0 for a texture without a raster (such a texture cannot be saved).
int32_t D3D9NativeTextureGetSize(void* size, void* texture, int32_t number);
/// (stream, texture, -): writes the body; 0 when the texture has no raster,
/// a lock fails or a write fails.
int32_t D3D9NativeTextureWrite(void* stream, void* texture, int32_t number);
/// (stream, out Texture*, -): reads a body into a new texture; 0 on any
/// failure (wrong platform or version, unsupported format, a description
/// the device would change, a level count or size that does not fit, a
/// short read), the partial raster destroyed.
int32_t D3D9NativeTextureRead(void* stream, void* texture, int32_t number);
