#pragma once
// The Direct3D 9 scene renderer's frame: its open (the scene library's last
// attach step), the renderer extension on geometries and world sectors, the
// list of objects whose vertex data must be written again after a device
// reset, the atomic and world-sector pipeline nodes with their callbacks, and
// the default pipelines.
//
// Use: D3D9SceneRendererInstall, then WorldLibraryAttach (which ends with
// D3D9SceneRendererOpen) before EngineOpen; the world module's open runs
// D3D9DefaultPipelinesOpen once the device exists, its close
// D3D9DefaultPipelinesClose.

#include <cstdint>

#include "graphics/d3d9/renderer/instanceddata.h"

struct Atomic;
struct Geometry;
struct Matrix;
struct Pipeline;
struct PipelineNode;
struct PipelineNodeDefinition;
struct WorldSector;

/// Plug-in id of the renderer's engine module and extension.
constexpr uint32_t kPluginIdD3D9Renderer = 0x50F;
/// Plug-in id written into the default pipelines.
constexpr uint32_t kPipelinePluginSceneRenderer = 2;

/// Extension-word bits: kinds of vertex data that change after instancing
/// (lock-flag values 0x2 .. 0x800, each kept in a dynamic stream), and the
/// request for a tangent element.
constexpr uint32_t kD3D9ExtensionDynamicMask = 0xFFE;
constexpr uint32_t kD3D9ExtensionTangents = 0x10000;

/// Refreshes an object's instanced data; 1 on success, 0 on failure.
using ReinstanceCallBack = int32_t (*)(void* object, ResourcesEntry* entry, InstanceCallBack instance);
/// Sets up the lights of an atomic or sector before it is drawn.
using LightingCallBack = void (*)(void* object);
/// Draws an instanced object; objectType kInstancedAtomic or kInstancedWorldSector,
/// flags the geometry's or world's format flags.
using RenderCallBack = void (*)(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags);

/// The callbacks kept in each node entry's private data, in this order.
struct AllInOneNodeData
{
    InstanceCallBack instance;
    ReinstanceCallBack reinstance;
    LightingCallBack lighting;
    RenderCallBack render;
};

/// Gives the scene library the renderer's entry points (open, default
/// pipelines, native data); call once before WorldLibraryAttach.
void D3D9SceneRendererInstall();
/// Light extension, then renderer extension; installs the device-restore hook
/// in every case. 1, or 0 when a registration failed.
int32_t D3D9SceneRendererOpen();
/// Engine module 0x50F and the 4-byte extension on geometries and sectors; 1/0.
int32_t D3D9ExtensionAttach();
/// Extension word (kD3D9Extension... bits) of a geometry or sector.
void D3D9GeometrySetExtension(Geometry* geometry, uint32_t word);
uint32_t D3D9GeometryGetExtension(const Geometry* geometry);
void D3D9WorldSectorSetExtension(WorldSector* sector, uint32_t word);
uint32_t D3D9WorldSectorGetExtension(const WorldSector* sector);

/// Puts a geometry on the device-restore list (at most once).
void D3D9RegisterDirtyObject(Geometry* object);
/// Takes it off again; nothing happens when it is absent.
void D3D9UnregisterDirtyObject(Geometry* object);
/// After a device reset: runs the previously installed callback, then sets
/// the lock flags of every listed geometry to 0xFFF.
void D3D9DeviceRestoreCallBack();
/// Geometries on the device-restore list.
uint32_t D3D9DirtyObjectCount();

/// The node definitions "nodeD3D9AtomicAllInOne.csl" and "nodeD3D9WorldSectorAllInOne.csl".
PipelineNodeDefinition* AtomicNodeGet();
PipelineNodeDefinition* SectorNodeGet();
/// Node inits: fill the private data with the default callbacks; 1.
int32_t AtomicNodeInit(PipelineNode* node);
int32_t SectorNodeInit(PipelineNode* node);

/// Callback accessors of an all-in-one node entry (setters return the node).
PipelineNode* AllInOneNodeSetInstanceCallBack(PipelineNode* node, InstanceCallBack callBack);
InstanceCallBack AllInOneNodeGetInstanceCallBack(PipelineNode* node);
PipelineNode* AllInOneNodeSetReinstanceCallBack(PipelineNode* node, ReinstanceCallBack callBack);
ReinstanceCallBack AllInOneNodeGetReinstanceCallBack(PipelineNode* node);
PipelineNode* AllInOneNodeSetLightingCallBack(PipelineNode* node, LightingCallBack callBack);
LightingCallBack AllInOneNodeGetLightingCallBack(PipelineNode* node);
PipelineNode* AllInOneNodeSetRenderCallBack(PipelineNode* node, RenderCallBack callBack);
RenderCallBack AllInOneNodeGetRenderCallBack(PipelineNode* node);

/// A pipeline of the one atomic (sector) node, plug-in id 2; null on failure.
Pipeline* DefaultAtomicPipelineCreate();
Pipeline* DefaultSectorPipelineCreate();
/// Creates both default pipelines and makes them current; 1, or 0 (both closed again).
int32_t D3D9DefaultPipelinesOpen();
/// Empties the restore list and destroys both default pipelines.
void D3D9DefaultPipelinesClose();
/// A pipeline becomes the current one of its kind; null restores the default.
void AtomicSetDefaultPipeline(Pipeline* pipeline);
void WorldSectorSetDefaultPipeline(Pipeline* pipeline);
/// The same for the third kind of slots (no default pipeline and no user in
/// the engine); the pipeline now current.
Pipeline* ThirdKindSetDefaultPipeline(Pipeline* pipeline);

/// The atomic node's body, instance and reinstance callbacks.
int32_t AtomicNodeBody(PipelineNode* node, const struct PipelineExecution* execution);
int32_t AtomicInstance(void* atomic, InstancedData* data, int32_t reinstance);
int32_t AtomicReinstance(void* atomic, ResourcesEntry* entry, InstanceCallBack instance);
/// The render callback of the atomic, sector and skinned-atomic nodes: binds
/// the entry's buffers and declaration and draws every mesh through the
/// fixed-function pipeline (objectType kInstancedAtomic or a sector; flags the
/// geometry's or world's format flags). Unlit objects without pre-lit colours
/// are drawn opaque black.
void DefaultRender(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags);
/// D3DRS_CLIPPING 0 when the object lies wholly inside the current camera's
/// frustum (an atomic's world bounding sphere, a sector's box), else 1 (also
/// without a camera).
void AtomicSetClipping(void* object, int32_t objectType);

/// The atomic's instanced data, found, refreshed (`reinstance`, may be
/// null) or built (`instance`) as the atomic node does. Null when there is
/// nothing to draw (*ok 1: no vertices or meshes, or instanced to be saved
/// only) or when building failed (*ok 0, error recorded).
ResourcesEntry* AtomicInstancedDataGet(Atomic* atomic, InstanceCallBack instance,
                                       ReinstanceCallBack reinstance, int32_t* ok);
/// The same for a world sector of the current world.
ResourcesEntry* SectorInstancedDataGet(WorldSector* sector, InstanceCallBack instance, int32_t* ok);
/// Binds an instanced object's index buffer, streams and declaration through the caches.
void InstancedDataBind(const InstancedData* data);
/// Draws one mesh of bound instanced data: sets the mesh's vertex shader,
/// flushes the queued states, then draws indexed when the data has an index
/// buffer.
void InstancedMeshDraw(const InstancedData* data, const InstancedMesh& mesh);
/// True when a world matrix stretches normals: not flagged identity or
/// orthonormal, and an axis whose squared length lies outside [0.9, 1.1].
bool D3D9MatrixScalesNormals(const Matrix* matrix);

/// The sector node's body and instance callback.
int32_t SectorNodeBody(PipelineNode* node, const struct PipelineExecution* execution);
int32_t SectorInstance(void* sector, InstancedData* data, int32_t reinstance);
