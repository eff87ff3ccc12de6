#pragma once
// Native data: a geometry's or a world sector's instanced data saved as it
// is (record, declaration, indices, vertex bytes) in one struct chunk of the
// stream extension 0x510, so that loading needs no instancing. A geometry is
// native when its format has kGeometryNative; a sector when its world's has.
//
// Stored form, little-endian: platform id 9, record size S (64 + 36 per
// mesh), the record field by field (pointer fields 4 bytes, written 0;
// materials as indices in the owner's list, 0xFFFFFFFF for none), the
// element count and elements (8 bytes each, end element included), the
// indices when there are any, then per stream its 16-byte record (buffer
// field 1 when vertex bytes follow) and vertex count x stride bytes.

#include <cstdint>

struct Geometry;
struct Stream;
struct World;
struct WorldSector;

/// Platform id of this renderer's native data.
constexpr uint32_t kNativePlatformD3D9 = 9;

/// Writes the native chunk of a native geometry (nothing, with success, for
/// another); the stream, or null when a buffer cannot be read or the write fails.
Stream* GeometryNativeStreamWrite(Stream* stream, const Geometry* geometry);
/// Reads the native chunk into the geometry's instanced data; the geometry,
/// or null with the entry destroyed (wrong version 0x80000004; wrong
/// platform, bad counts, sizes, types or indices, short data: no error of its own).
Geometry* GeometryNativeStreamRead(Stream* stream, Geometry* geometry);
/// Bytes of the chunk with its header; 0 for a geometry that is not native or not instanced.
uint32_t GeometryNativeStreamSize(const Geometry* geometry);

/// The same for a sector of the given world (the world's flags and material list).
Stream* WorldSectorNativeStreamWrite(Stream* stream, const WorldSector* sector, const World* world);
WorldSector* WorldSectorNativeStreamRead(Stream* stream, WorldSector* sector, const World* world);
uint32_t WorldSectorNativeStreamSize(const WorldSector* sector, const World* world);

/// The last step of the world extensions' attach: nothing to set up; 1.
int32_t NativeDataAttach();
