#pragma once
// Seed inputs of the scene fuzz targets, made through the scene library's
// own writers. The engine must be started (SceneEngineStart).

#include <cstdint>
#include <string>
#include <vector>

struct SceneCorpusFile
{
    std::string target; ///< fuzz target folder under fuzz/, e.g. "scene_mesh"
    std::string name;   ///< file name in its corpus/
    std::vector<uint8_t> bytes;
};

/// Every seed, in a fixed order; empty when a writer failed.
std::vector<SceneCorpusFile> SceneCorpusFiles();

/// The mesh target's input: a 4-byte prefix {owner vertex count (u16),
/// material count (0-7), 1 for a native owner} before the payload.
constexpr size_t kMeshFuzzPrefix = 4;

/// The collision target's input: a 4-byte prefix {owner triangle count
/// (u16), 0 for a geometry or 1 for a sector, 0} before the payload.
constexpr size_t kCollisionFuzzPrefix = 4;
