#pragma once
// Name objects: fixed-size names of up to 32 characters, from the name
// module's free list (the engine must be started), with a chunk form of
// their own: a name chunk (0x29) holds an int32 1 and a string chunk; an
// empty-name chunk (0x2A) has no body.

#include <cstdint>

struct Stream;

constexpr int32_t kNameMaxLength = 32;

struct Name
{
    char text[kNameMaxLength + 1];
};

/// Free-list entries per block and blocks to preallocate; call before EngineInit.
void NameSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
/// An empty name, or null (engine not started, out of memory).
Name* NameCreate();
/// Gives the name back; null is accepted. Returns true.
bool NameDestroy(Name* name);
/// Copies `text` (null empties the name); a text of 32 characters or more is
/// refused (null, kErrorNameTooLong) and the name is unchanged.
Name* NameSet(Name* name, const char* text);
const char* NameGet(const Name* name);
/// Body size of the name's chunk: its string chunk's size + 16.
uint32_t NameStreamGetSize(const Name* name);
/// Writes the name chunk; the name or null.
const Name* NameStreamWrite(const Name* name, Stream* stream);
/// Writes an empty-name chunk; `value` or null.
const void* NameStreamWriteEmpty(const void* value, Stream* stream);
/// Reads a name chunk's body (the caller found chunk 0x29): a new name of at
/// most 32 characters, or null (the object is destroyed again).
Name* NameStreamRead(Stream* stream);
