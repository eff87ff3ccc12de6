#pragma once
// Material lists: the growable array of material references that a
// geometry or a world holds; meshes and saved meshes name materials by
// their index in it. Every entry holds one reference on its material; one
// material may stand at several indices. Saved as chunk 0x08, in which a
// material met before is written as the index of its nearest earlier entry.

#include <cstdint>

struct Material;
struct Stream;

struct MaterialList
{
    Material** materials;
    int32_t count;
    int32_t capacity;
};

/// Step by which MaterialListAppendMaterial grows a full list.
constexpr int32_t kMaterialListGrowth = 20;

/// All fields zero; the list.
MaterialList* MaterialListInitialize(MaterialList* list);
/// Releases every entry, frees the array, zeroes the fields; the list.
MaterialList* MaterialListDeinitialize(MaterialList* list);
/// A block of `count` material pointers, or null (kErrorOutOfMemory).
Material** MaterialListAllocArray(int32_t count);
/// Copies count, capacity and entries (one more reference each) into an
/// initialised `destination`; null (kErrorOutOfMemory) when out of memory.
MaterialList* MaterialListCopy(MaterialList* destination, const MaterialList* source);
/// Grows the array to at least `capacity` entries; null when out of memory.
MaterialList* MaterialListSetSize(MaterialList* list, int32_t capacity);
/// The material at `index`, or null when the index is outside the list.
Material* MaterialListGetMaterial(const MaterialList* list, int32_t index);
/// Appends the material with one more reference, growing by 20 when full;
/// its index, or -1 (kErrorOutOfMemory).
int32_t MaterialListAppendMaterial(MaterialList* list, Material* material);
/// The highest index holding the material, or -1.
int32_t MaterialListFindMaterial(const MaterialList* list, const Material* material);

/// Bytes of the chunk 0x08 body: 16 + 4 per entry + (12 + body) per material written.
uint32_t MaterialListStreamGetSize(const MaterialList* list);
/// Writes chunk 0x08 (header included); true on success.
bool MaterialListStreamWrite(const MaterialList* list, Stream* stream);
/// Reads a chunk 0x08 body into an initialised empty `list`; the list, or
/// null with the list empty and the first error recorded. The count must fit
/// the struct chunk; a back-reference must name an earlier entry.
MaterialList* MaterialListStreamRead(Stream* stream, MaterialList* list);
