#pragma once
// The scene library (materials, meshes, geometries, atomics, clumps,
// lights, worlds) joins the engine in one call, WorldLibraryAttach, made
// after EngineInit and before EngineOpen. It registers the library's engine
// modules, which open at EngineStart in registration order and close at
// EngineStop in reverse, and its extensions on other object types.
//
// Lifetime of forgotten objects: stopping the engine destroys every light,
// atomic and clump still allocated; geometries and materials live as long
// as references to them exist, and their memory goes with the engine.

#include <cstdint>

/// Registers the scene library's modules and extensions, then runs the
/// installed renderer's open (rendererhooks.h): 1, or 0 when any
/// registration or the renderer's open failed (every module registration is
/// still attempted; the extensions are then not registered). After
/// EngineOpen it fails with kErrorPluginRefused.
int32_t WorldLibraryAttach();
/// Registers the clump-link extension (id 0x10) on cameras, then on lights:
/// 1, or 0 when a registration failed.
int32_t FrameObjectLinksAttach();

/// Free-list sizing of the scene objects: entries per block and blocks to
/// preallocate (> 0 each, else ignored); take effect at the next engine
/// start. Defaults: materials 256/1, atomics 128/1, clumps 128/1, lights
/// 32/1, atomic ties 256/1, light ties 32/1.
void MaterialSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void AtomicSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void ClumpSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void LightSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void AtomicTieSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void LightTieSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
