#pragma once
// State shared by the renderer's files (private to the renderer).

struct Pipeline;
struct PipelineNodeDefinition;

/// The renderer module's data in the running engine (the vertex-shader
/// cache, VertexShaderCacheDataSize bytes, zeroed at the engine's open).
void* RendererModuleData();
/// Gives every restore-list node back and destroys the list's free list.
void RendererRestoreListClose();
/// A pipeline of the one node, plug-in id 2; null on failure (nothing left behind).
Pipeline* RendererPipelineCreate(PipelineNodeDefinition* definition);
