#pragma once
// The root of one physics simulation: the owned object manager and
// pipeline, a fixed table of static collision volumes (world geometry that
// every moving island is tested against), each with one word of user data,
// and the per-object-type stream handlers that the object types install
// when they register. Nothing grows after creation.

#include <cstdint>

#include "physics/core/context/contextparams.h"
#include "physics/core/volume/volume.h"

struct OlpContext;
struct OlpMgr;
struct OlpPipeline;
struct OlpSerialCtx;

/// Writes an object type's shared definition through a serialiser context
/// (which only measures without a stream); non-zero on success.
using OlpObjectDefWriter = int32_t (*)(OlpSerialCtx* ctx, const void* definition);
/// Reads an object type's definition through a serialiser context into a
/// new definition stored in `out`; non-zero on success.
using OlpObjectDefReader = int32_t (*)(OlpSerialCtx* ctx, void** out);

struct OlpObjectTypeHandlers
{
    OlpObjectDefWriter write;
    OlpObjectDefReader read;
};

struct OlpContext
{
    OlpMgr* manager;
    OlpPipeline* pipeline; ///< created after the manager, destroyed before it
    OlpVolume** volumes;   ///< capacity slots, null = free
    uint32_t used;         ///< highest used slot + 1 (empty slots before it count)
    uint32_t capacity;
    uintptr_t* userData; ///< parallel to the volumes
    uint32_t typeCount;
    OlpObjectTypeHandlers* handlers; ///< typeCount entries, by object type id
};

/// Visits one static volume; return 0 to stop the walk.
using OlpContextVolumeVisitor = int32_t (*)(OlpVolume* volume, void* data);

/// A new context sized from `params`; `scale` is the world's unit and `box`
/// its bounds (maximum x, y, z then minimum x, y, z). Null when memory runs
/// out or the manager refuses the capacities.
OlpContext* OlpContextCreate(const OlpContextParams* params, float scale, const float box[6]);
/// Initialises a context record in place; null (with nothing left allocated)
/// when memory runs out.
OlpContext* OlpContextInit(OlpContext* context, const OlpContextParams* params, float scale,
                           const float box[6]);
/// Frees the context's tables (not the volumes in it); 1.
int32_t OlpContextDeinit(OlpContext* context);
/// Deinitialises and frees a context from OlpContextCreate; 1.
int32_t OlpContextDestroy(OlpContext* context);

/// Adds a static volume in the first free slot; null when the table is full.
OlpContext* OlpContextAddObject(OlpContext* context, OlpVolume* volume, uintptr_t userData);
/// Removes a static volume; 1, or 0 when it is not in the table.
int32_t OlpContextRemoveObject(OlpContext* context, const OlpVolume* volume);
/// Calls `visitor` for each static volume in slot order until it answers 0.
OlpContext* OlpContextForAllObjects(OlpContext* context, OlpContextVolumeVisitor visitor, void* data);
/// Sets a static volume's user data; 1, or 0 when it is not in the table.
int32_t OlpContextSetObjectUserData(OlpContext* context, const OlpVolume* volume, uintptr_t value);
/// A static volume's user data; 0 when it is not in the table.
uintptr_t OlpContextGetObjectUserData(const OlpContext* context, const OlpVolume* volume);

/// The context's simulation pipeline.
OlpPipeline* OlpContextGetPipeline(const OlpContext* context);
/// The context's object manager.
OlpMgr* OlpContextGetMgr(const OlpContext* context);

/// Installs an object type's stream handlers under `typeId`; 1, or 0 when
/// the id is not below the context's type count.
int32_t OlpContextRegisterObjectType(OlpContext* context, uint32_t typeId, OlpObjectDefWriter writer,
                                     OlpObjectDefReader reader);
