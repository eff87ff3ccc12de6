#pragma once
// Ids of the scene library: its engine modules and extensions (which also
// name their memory hints and saved sub-chunks), the plug-in id and codes of
// its error records, and the chunk types of models and worlds.

#include <cstdint>

/// Plug-in id of the scene library's error records.
constexpr uint32_t kPluginIdScene = 2;

/// Engine modules, in the order WorldLibraryAttach registers them.
constexpr uint32_t kModuleIdMaterial = 0x501;
constexpr uint32_t kModuleIdMesh = 0x502;
constexpr uint32_t kModuleIdGeometry = 0x503;
constexpr uint32_t kModuleIdAtomic = 0x504;
constexpr uint32_t kModuleIdLight = 0x505;
constexpr uint32_t kModuleId50A = 0x50A;
constexpr uint32_t kModuleIdWorld = 0x507;
constexpr uint32_t kModuleId50B = 0x50B;

/// Extensions registered on other object types.
constexpr uint32_t kPluginIdClumpLink = 0x10;        ///< lights and cameras: their clump
constexpr uint32_t kPluginIdWorldExtension = 0x509;  ///< world membership
constexpr uint32_t kPluginIdMeshStream = 0x50E;      ///< saved meshes of geometries and sectors
constexpr uint32_t kPluginIdNativeData = 0x510;      ///< saved native data
constexpr uint32_t kPluginIdPipelineSelector = 0x1F; ///< which plug-in's pipeline an object used

/// Library error codes (plug-in id kPluginIdScene).
constexpr uint32_t kErrorSceneNotInWorld = 4;
constexpr uint32_t kErrorSceneCloneFailed = 5;
constexpr uint32_t kErrorSceneTooManyVertices = 6;

/// Chunk types of models and worlds.
constexpr uint32_t kChunkMaterial = 0x07;
constexpr uint32_t kChunkMaterialList = 0x08;
constexpr uint32_t kChunkWorldSector = 0x09;
constexpr uint32_t kChunkPlaneSector = 0x0A;
constexpr uint32_t kChunkWorld = 0x0B;
constexpr uint32_t kChunkGeometry = 0x0F;
constexpr uint32_t kChunkClump = 0x10;
constexpr uint32_t kChunkLight = 0x12;
constexpr uint32_t kChunkAtomic = 0x14;
constexpr uint32_t kChunkGeometryList = 0x1A;

/// Memory hints (kMemoryHint... lifetime class | object kind).
constexpr uint32_t kHintMaterial = 0x30007;
constexpr uint32_t kHintMaterialListArray = 0x1030008;
constexpr uint32_t kHintMaterialListScratch = 0x10501;
constexpr uint32_t kHintLight = 0x30012;
constexpr uint32_t kHintMeshHeader = 0x30502;
constexpr uint32_t kHintMeshBuildArray = 0x1030502;
constexpr uint32_t kHintMeshBuildScratch = 0x10502;
