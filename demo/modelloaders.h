#pragma once
// The demo's small loaders: clumps, single atomics and BSP worlds from the
// "./Models/" folder (textures from "./Models/textures/"), and the sky dome.
// Every loader answers null when the file cannot be opened or lacks its
// chunk, and closes every stream it opened.

struct Atomic;
struct Clump;
struct OlpVolume;
struct Stream;
struct World;

/// "./Models/" + name + extension opened for reading, with the image path set
/// to "./Models/textures/"; null when it cannot be opened.
Stream* OpenModelStream(const char* name, const char* extension);
/// The clump of name ".dff"; null without the file or its clump chunk.
Clump* LoadClump(const char* name);
/// A clone of atomic number `index` (from 0, in the clump's atomic order) of
/// the clump name ".dff", which is destroyed; null when it has fewer atomics.
Atomic* LoadAtomic(const char* name, int index);
/// The world of name ".bsp"; null without the file or its world chunk.
World* LoadBspWorld(const char* name);
/// Atomic 0 of "sky1" on a new frame, textured "skydome.bmp" on every
/// material and added to `world`; null (nothing left behind) when the model
/// or the texture cannot be read.
Atomic* LoadSkyDome(World* world);
/// A grid volume with one cell per sector of `world`, in the world's sector
/// order, each cell a triangle list over its sector; the grid's cells are at
/// least `minimumCellSize` wide. Null for a world without sectors or when
/// memory runs out. Freed with OlpVolumeDestroy; the world must outlive it.
OlpVolume* CreateWorldGridVolume(World* world, float minimumCellSize);
/// The file `name` opened for writing; null when it cannot be created.
Stream* OpenOutputStream(const char* name);
