#pragma once
// Material effects: a material may carry a bump map, an environment map, a
// second (dual) texture and a transform of its texture coordinates in two
// effect slots; atomics and world sectors carry an effects-on word. All three
// are saved with their objects in the scene streams (extension 0x120).

#include <cstdint>

#include "graphics/d3d9/renderer/vertexshadertext.h"

struct Atomic;
struct Frame;
struct Material;
struct Matrix;
struct Texture;
struct WorldSector;

/// Plug-in id of the material effects and of their stream sub-chunks.
constexpr uint32_t kPluginIdMaterialEffects = 0x120;

/// Effect types and the slot kinds each gives (slot 0, slot 1). The first
/// five are the generated vertex shaders' texture effects of the same
/// value; the shaders' forms of the two transforms are
/// kVertexShaderTexEffectUvTransform and kVertexShaderTexEffectDualUvTransform.
enum EffectType : uint32_t
{
    EffectTypeNull = kVertexShaderTexEffectNone,             ///< none, none
    EffectTypeBumpMap = kVertexShaderTexEffectBumpMap,       ///< bump, none
    EffectTypeEnvMap = kVertexShaderTexEffectEnvMap,         ///< environment, none
    EffectTypeBumpEnvMap = kVertexShaderTexEffectBumpEnvMap, ///< bump, environment
    EffectTypeDual = kVertexShaderTexEffectDual,             ///< dual, none
    EffectTypeUvTransform = 5,                               ///< transform, none
    EffectTypeDualUvTransform = 6,                           ///< transform, dual
};

/// Slot kinds (there is no kind 3).
constexpr uint32_t kEffectSlotNone = 0;
constexpr uint32_t kEffectSlotBumpMap = 1;
constexpr uint32_t kEffectSlotEnvMap = 2;
constexpr uint32_t kEffectSlotDual = 4;
constexpr uint32_t kEffectSlotUvTransform = 5;

struct EffectBumpMap
{
    Frame* frame;      ///< not owned; null: the current camera's frame
    Texture* combined; ///< owned: base colour with the bump height in alpha
    Texture* bump;     ///< owned: the height texture
    float coefficient; ///< kept negated: callers see minus this field
    float invWidth;    ///< 1 / combined raster width, 0 without one
};

struct EffectEnvMap
{
    Frame* frame;     ///< not owned; null: none
    Texture* texture; ///< owned
    float coefficient;
    uint32_t frameBufferAlpha;
};

struct EffectDual
{
    Texture* texture; ///< owned
    uint32_t sourceBlend;
    uint32_t destinationBlend;
};

struct EffectUvTransform
{
    Matrix* baseMatrix; ///< not owned
    Matrix* dualMatrix; ///< not owned
};

struct EffectSlot
{
    union {
        EffectBumpMap bumpMap;
        EffectEnvMap envMap;
        EffectDual dual;
        EffectUvTransform uvTransform;
    };
    uint32_t kind; ///< kEffectSlot...
};

struct MaterialEffects
{
    EffectSlot slots[2];
    uint32_t type; ///< EffectType
};

/// Registers the engine module and the material, atomic and world-sector
/// extensions with their streams; false at the first failed registration.
bool EffectsPluginAttach();

/// Sets the effect type: a changed (or zero) type clears the record first
/// (textures released); types 4 and 6 reset the dual blends to (5, 6). Null
/// when the record cannot be allocated.
Material* MaterialEffectsSetType(Material* material, uint32_t type);
/// The effect type; 0 without a record.
uint32_t MaterialEffectsGetType(const Material* material);
/// True for types 1 and 3.
bool MaterialEffectsIsBumpMapped(const Material* material);
/// The material's record, or null.
MaterialEffects* MaterialEffectsGet(const Material* material);
/// Releases the record's textures and zero-fills it (type 0, no slots).
void MaterialEffectsClear(MaterialEffects* effects);

// Setters and getters act on the slot of their kind; without a record or
// such a slot they change nothing and answer null (or 0).

/// Sets the bump texture (see MaterialEffectsSetBumpMapTexture), then frame and coefficient.
Material* MaterialEffectsSetupBumpMap(Material* material, Texture* bumpTexture, Frame* frame,
                                      float coefficient);
/// Stores the bump texture and finds or builds the combined texture (named by
/// TextureNameInterleave, looked up in and added to the current dictionary).
/// Null when it cannot be built (the bump texture stays).
Material* MaterialEffectsSetBumpMapTexture(Material* material, Texture* bumpTexture);
void MaterialEffectsSetBumpMapFrame(Material* material, Frame* frame);
void MaterialEffectsSetBumpMapCoefficient(Material* material, float coefficient);
/// The combined texture.
Texture* MaterialEffectsGetBumpMapTexture(const Material* material);
Texture* MaterialEffectsGetBumpMapBumpTexture(const Material* material);
Frame* MaterialEffectsGetBumpMapFrame(const Material* material);
float MaterialEffectsGetBumpMapCoefficient(const Material* material);

/// Null also when `texture` is null.
Material* MaterialEffectsSetupEnvMap(Material* material, Texture* texture, Frame* frame,
                                     uint32_t frameBufferAlpha, float coefficient);
/// Null also when `texture` is null.
Material* MaterialEffectsSetEnvMapTexture(Material* material, Texture* texture);
Material* MaterialEffectsSetEnvMapFrame(Material* material, Frame* frame);
Material* MaterialEffectsSetEnvMapFrameBufferAlpha(Material* material, uint32_t frameBufferAlpha);
Material* MaterialEffectsSetEnvMapCoefficient(Material* material, float coefficient);
Texture* MaterialEffectsGetEnvMapTexture(const Material* material);
Frame* MaterialEffectsGetEnvMapFrame(const Material* material);
uint32_t MaterialEffectsGetEnvMapFrameBufferAlpha(const Material* material);
float MaterialEffectsGetEnvMapCoefficient(const Material* material);

/// Null also when `texture` is null.
Material* MaterialEffectsSetupDualTexture(Material* material, Texture* texture, uint32_t sourceBlend,
                                          uint32_t destinationBlend);
/// Null also when `texture` is null.
Material* MaterialEffectsSetDualTexture(Material* material, Texture* texture);
/// Blend modes are D3DBLEND numbers (1 zero .. 11 source alpha saturated).
Material* MaterialEffectsSetDualBlendModes(Material* material, uint32_t sourceBlend,
                                           uint32_t destinationBlend);
/// Fills both (0 without a dual slot); false without one.
bool MaterialEffectsGetDualBlendModes(const Material* material, uint32_t* sourceBlend,
                                      uint32_t* destinationBlend);
Texture* MaterialEffectsGetDualTexture(const Material* material);

void MaterialEffectsSetUvTransformMatrices(Material* material, Matrix* baseMatrix, Matrix* dualMatrix);
/// Fills each non-null out-parameter; false (nothing filled) without a transform slot.
bool MaterialEffectsGetUvTransformMatrices(const Material* material, Matrix** baseMatrix,
                                           Matrix** dualMatrix);

/// Switches the atomic to the effects pipeline and sets its effects-on word
/// (once; it is never cleared). Null when the plug-in is not open.
Atomic* AtomicEnableEffects(Atomic* atomic);
/// The atomic's effects-on word.
bool AtomicEffectsEnabled(const Atomic* atomic);
/// The same for a world sector.
WorldSector* WorldSectorEnableEffects(WorldSector* sector);
/// The sector's effects-on word.
bool WorldSectorEffectsEnabled(const WorldSector* sector);
