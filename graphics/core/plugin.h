#pragma once
// Plug-in registries. A registry belongs to one object type (the engine
// instance, frames, cameras, rasters, textures, images, scene objects). A
// module registers a data size and an id and receives the offset of its data
// inside every object of that type; the registry then runs the modules'
// constructors, destructors and copy functions whenever such an object is
// made, destroyed or copied, and writes and reads the modules' data as an
// extension chunk (type 3) in the object's saved form.
//
// Offsets are multiples of 8 so that plug-in data may hold pointers; an
// object is allocated at the registry's objectSize.

#include <cstdint>

struct Stream;

using PluginConstructor = void* (*)(void* object, int32_t offset, int32_t size);
using PluginDestructor = void* (*)(void* object, int32_t offset, int32_t size);
using PluginCopy = void* (*)(void* destination, const void* source, int32_t offset, int32_t size);
/// Reads `length` bytes of the plug-in's data; the stream or null.
using PluginStreamRead = Stream* (*)(Stream* stream, int32_t length, void* object, int32_t offset,
                                     int32_t size);
/// Writes exactly `length` bytes (what the size callback answered); the stream or null.
using PluginStreamWrite = Stream* (*)(Stream* stream, int32_t length, const void* object, int32_t offset,
                                      int32_t size);
/// Bytes the plug-in would write for this object; 0 or less writes nothing.
using PluginStreamGetSize = int32_t (*)(const void* object, int32_t offset, int32_t size);
/// Runs after every extension read; non-zero for success.
using PluginAlwaysCallback = int32_t (*)(void* object, int32_t offset, int32_t size);
/// Receives the 32-bit value an object's saved form gives this plug-in; non-zero when handled.
using PluginRightsCallback = int32_t (*)(void* object, int32_t offset, int32_t size, uint32_t value);

struct PluginRegistry;

struct PluginEntry
{
    int32_t offset; ///< of the plug-in's data inside each object
    int32_t size;   ///< as asked for
    uint32_t pluginId;
    PluginStreamRead streamRead;
    PluginStreamWrite streamWrite;
    PluginStreamGetSize streamGetSize;
    PluginAlwaysCallback alwaysCallback;
    PluginRightsCallback rightsCallback;
    PluginConstructor constructor; ///< never null (identity when not given)
    PluginDestructor destructor;   ///< never null
    PluginCopy copy;               ///< never null
    PluginEntry* next;
    PluginEntry* prev;
    PluginRegistry* registry;
};

struct PluginRegistry
{
    int32_t objectSize; ///< base size plus every registered plug-in's data
    int32_t baseSize;   ///< the object's own size
    int32_t maxSize;    ///< 0: no limit
    uint32_t staticFlag;
    PluginEntry* first; ///< registration order
    PluginEntry* last;
};

/// A registry for objects whose own record is `baseSize` bytes, with no limit.
constexpr PluginRegistry PluginRegistryMake(int32_t baseSize)
{
    return PluginRegistry{baseSize, baseSize, 0, 0, nullptr, nullptr};
}

/// Entries per block and blocks to preallocate of the entry free list; call before EngineInit.
void PluginRegistrySetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
/// Creates the entry free list (EngineInit). False when out of memory.
bool PluginRegistryOpen();
/// Releases every entry of every registry, puts each registry back at its
/// base size with no plug-ins and destroys the entry free list (EngineTerm).
bool PluginRegistryClose();

/// Registers `size` bytes of data under `pluginId`; returns the data offset or
/// -1 (registries not open; engine open: kErrorPluginRefused; past the
/// maximum size; out of memory). A duplicate id answers its first offset
/// (raising kErrorPluginRefused), or -1 when it asks for more bytes than it got.
/// Null callbacks are replaced by ones that return their first argument.
int32_t PluginRegistryRegister(PluginRegistry* registry, int32_t size, uint32_t pluginId,
                               PluginConstructor constructor, PluginDestructor destructor, PluginCopy copy);
/// The plug-in's offset, or -1 when `pluginId` is not registered.
int32_t PluginRegistryGetOffset(const PluginRegistry* registry, uint32_t pluginId);
/// For object types with a fixed reserve for plug-in data: sets the maximum
/// object size to objectSize + bytes. False once a plug-in has registered.
bool PluginRegistrySetStaticPluginsSize(PluginRegistry* registry, int32_t bytes);

/// Runs the constructors in registration order; when one fails, the
/// destructors of those before it run, nearest first, and null is returned.
PluginRegistry* PluginRegistryConstruct(PluginRegistry* registry, void* object);
/// Runs the destructors, last registered first.
PluginRegistry* PluginRegistryDestruct(PluginRegistry* registry, void* object);
/// Runs the copy functions in registration order.
PluginRegistry* PluginRegistryCopy(PluginRegistry* registry, void* destination, const void* source);

/// Each answers the plug-in's offset, or -1 when the id is not registered.
int32_t PluginRegistryAddStream(PluginRegistry* registry, uint32_t pluginId, PluginStreamRead read,
                                PluginStreamWrite write, PluginStreamGetSize getSize);
int32_t PluginRegistryAddAlwaysCallback(PluginRegistry* registry, uint32_t pluginId,
                                        PluginAlwaysCallback always);
int32_t PluginRegistryAddRightsCallback(PluginRegistry* registry, uint32_t pluginId,
                                        PluginRightsCallback rights);
/// The registry when the plug-in's rights callback answers non-zero; null
/// otherwise (also when the id or its callback is missing).
PluginRegistry* PluginRegistryInvokeRights(PluginRegistry* registry, uint32_t pluginId, void* object,
                                           uint32_t value);

/// Bytes of the extension chunk's body for `object`: sum of (12 + n) over the
/// plug-ins whose size callback answers n > 0 (the chunk's own header excluded).
int32_t PluginRegistryStreamSize(const PluginRegistry* registry, const void* object);
/// Writes the extension chunk (type 3) of `object`; the registry or null.
PluginRegistry* PluginRegistryStreamWrite(const PluginRegistry* registry, Stream* stream, const void* object);
/// Finds and reads the extension chunk of `object`: each sub-chunk goes to
/// its plug-in's read callback (unknown ids are skipped), then every always
/// callback runs. Null on a malformed chunk or a failing callback.
PluginRegistry* PluginRegistryStreamRead(PluginRegistry* registry, Stream* stream, void* object);
/// Finds the extension chunk and skips it whole; the registry or null.
PluginRegistry* PluginRegistryStreamSkip(PluginRegistry* registry, Stream* stream);
