#pragma once
// Textures made of others: a colour texture with a mask texture's brightness
// as alpha, the interleaved name that such combined textures get, and the
// optional texture chunk of objects that may or may not name a texture.

#include <cstddef>
#include <cstdint>

struct Stream;
struct Texture;

/// A new 32-bit texture: the colour texture's pixels (opaque white of the
/// mask's size without one) with alpha = the largest of the mask's R, G, B
/// (resampled to the colour's size). Mip-mapped with automatic levels when the
/// source raster is; filter from the source texture, addressing shared when
/// its U and V agree (else 0); named by TextureNameInterleave. Null with
/// {0x1B3, 0x80000016} without a mask or a mask raster.
Texture* TextureCreateFromColourAndMask(Texture* colour, Texture* mask);

/// The name of a texture combined from two: the characters of `first` and
/// `second` taken in turns (one of each per round; a name that has run out
/// gives nothing), stopping when both are used up or when a round ends with
/// 30 or more characters written, so the result holds at most 31 characters.
/// `out` has room for 32 bytes. (grass, mask) gives "gmraassks".
char* TextureNameInterleave(char* out, const char* first, const char* second);

/// Writes an i32 flag (1 when `texture` is not null), then the texture chunk.
Stream* TextureStreamWriteOptional(Stream* stream, Texture* texture);
/// Reads what TextureStreamWriteOptional wrote. A texture that cannot be found
/// gives *texture = null and success; any other failure gives null.
Stream* TextureStreamReadOptional(Stream* stream, Texture** texture);
