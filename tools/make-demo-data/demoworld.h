#pragma once
// The demo's world file "models/wardels.bsp": the texture dictionary that
// texdict packs, then sample-world's world read back (its materials keeping
// their textures' names) and written again with the edge data of its triangles (extension 0x902: which
// faces and edges of the static triangles make contacts), so that bodies
// sliding over the level do not catch on the inner edges of its floor.
#include <string>

/// Registers what the world's reading and writing need (the edge data) on
/// the engine; call between EngineInit and EngineOpen. False on failure.
bool DemoWorldAttach();

/// Writes the world file at `out` from one texture dictionary chunk and one
/// world chunk; false with a message naming the file that is wrong.
bool DemoWorldWrite(const std::string& textures, const std::string& world, const std::string& out,
                    std::string& error);
