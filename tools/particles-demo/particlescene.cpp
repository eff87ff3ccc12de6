#include "tools/particles-demo/particlescene.h"

#include <cmath>
#include <cstring>

#include "graphics/animation/particle.h"
#include "graphics/core/camera.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/toolkit2d/renderstatesave.h"
#include "platform/d3d9/testing/capsprofiles.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

constexpr int32_t kTextureSize = 16;
constexpr float kDepth = 8.0f;
constexpr float kSpacing = 2.2f;
constexpr int32_t kBlendSourceAlpha = 5;
constexpr int32_t kBlendOne = 2;
constexpr int32_t kRenderStateZWrite = 8;

/// A white streak (an ellipse three times as wide as high) whose alpha falls
/// from the centre to the rim, so that turned quads show their angle.
Texture* MakeDisc()
{
    Raster* raster = RasterCreate(kTextureSize, kTextureSize, 32, kRasterTypeTexture | kRasterFormat8888);
    if (!raster) {
        return nullptr;
    }
    uint8_t* pixels = RasterLock(raster, 0, kRasterLockWrite);
    if (!pixels) {
        RasterDestroy(raster);
        return nullptr;
    }
    const float half = 0.5f * float(kTextureSize);
    for (int32_t y = 0; y < kTextureSize; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + y * raster->stride);
        for (int32_t x = 0; x < kTextureSize; ++x) {
            const float dx = (float(x) + 0.5f - half) / half, dy = 3.0f * (float(y) + 0.5f - half) / half;
            const float fall = 1.0f - std::sqrt(dx * dx + dy * dy);
            const auto alpha = uint32_t(fall <= 0.0f ? 0.0f : 255.0f * fall);
            row[x] = alpha << 24 | 0xFFFFFF;
        }
    }
    RasterUnlock(raster);
    Texture* texture = TextureCreate(raster);
    if (!texture) {
        RasterDestroy(raster);
    }
    return texture;
}

Atomic* MakeEmitter(uint32_t flags, uint32_t value, Texture* texture)
{
    Atomic* atomic = ParticleEmitterCreate(kParticleSceneCount, flags, value);
    if (!atomic) {
        return nullptr;
    }
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    emitter->size[0] = emitter->size[1] = 0.3f;
    emitter->vertexAlpha = 1;
    emitter->srcBlend = kBlendSourceAlpha;
    emitter->destBlend = kBlendOne;
    MaterialSetTexture(MaterialListGetMaterial(&atomic->geometry->materials, 0), texture);
    return atomic;
}

} // namespace

bool ParticleEngineStart(HWND window, const char* caps)
{
    return D3D9UseCapsProfile(caps) &&
           SmokeEngineStartWith(window, [] { return WorldLibraryAttach() != 0 && ParticlePluginAttach(); });
}

void ParticleEngineStop()
{
    SmokeEngineStop();
    D3D9ResetAdapters();
}

bool ParticleSceneCreate(ParticleScene* scene, int32_t width, int32_t height)
{
    *scene = {};
    scene->camera = SmokeCameraCreate(width, height);
    scene->texture = MakeDisc();
    const uint32_t flags[kParticleSceneEmitters] = {
        kParticleColour | kParticleEmitterTexRect, kParticleColour,
        kParticleColour | kParticleRotation | kParticleEmitterTexRect};
    const uint32_t values[kParticleSceneEmitters] = {0, kParticleValuePointSprites, 0};
    bool ok = scene->camera && scene->texture;
    for (int32_t i = 0; ok && i < kParticleSceneEmitters; ++i) {
        scene->emitters[i] = MakeEmitter(flags[i], values[i], scene->texture);
        ok = scene->emitters[i] != nullptr;
    }
    if (!ok) {
        ParticleSceneDestroy(scene);
        return false;
    }
    ParticleSceneUpdate(scene, 0.0f);
    return true;
}

void ParticleSceneDestroy(ParticleScene* scene)
{
    for (Atomic*& emitter : scene->emitters) {
        if (emitter) {
            ParticleAtomicDestroy(emitter);
            emitter = nullptr;
        }
    }
    if (scene->texture) {
        TextureDestroy(scene->texture);
    }
    SmokeCameraDestroy(scene->camera);
    *scene = {};
}

void ParticleSceneUpdate(ParticleScene* scene, float t)
{
    for (int32_t e = 0; e < kParticleSceneEmitters; ++e) {
        Atomic* atomic = scene->emitters[e];
        ParticleArray positions, colours, angles;
        ParticleEmitterLock(atomic, &positions, kParticlePosition, kParticleLockWrite);
        ParticleEmitterLock(atomic, &colours, kParticleColour, kParticleLockWrite);
        const bool rotating =
            ParticleEmitterLock(atomic, &angles, kParticleRotation, kParticleLockWrite) != 0;
        // World +x is the screen's left: the first emitter goes there.
        const float centre = kSpacing * float(1 - e);
        for (int32_t i = 0; i < kParticleSceneCount; ++i) {
            const float f = float(i) / float(kParticleSceneCount);
            const float angle = 0.55f * float(i) + 1.5f * t;
            const float radius = 0.25f + 0.6f * f;
            const float p[3] = {centre + radius * std::cos(angle), -1.6f + 3.2f * f,
                                kDepth + radius * std::sin(angle)};
            std::memcpy(static_cast<uint8_t*>(positions.data) + i * positions.stride, p, sizeof(p));
            // Warm at the bottom to cool at the top, the emitters in their own hues.
            const uint8_t rgba[4] = {uint8_t(255 - 150 * f), uint8_t(e == 1 ? 220 : 80 + 120 * f),
                                     uint8_t(60 + 190 * f), 200};
            std::memcpy(static_cast<uint8_t*>(colours.data) + i * colours.stride, rgba, 4);
            if (rotating) {
                const float turn = 3.0f * f + t;
                std::memcpy(static_cast<uint8_t*>(angles.data) + i * angles.stride, &turn, 4);
            }
        }
        ParticleEmitterUnlock(atomic);
        ParticleAtomicGetEmitter(atomic)->liveParticles = kParticleSceneCount;
    }
}

bool ParticleSceneRender(ParticleScene* scene)
{
    const uint8_t background[4] = {0x10, 0x18, 0x28, 0xFF};
    if (!CameraClear(scene->camera, background, 3) || !CameraBeginUpdate(scene->camera)) {
        return false;
    }
    // Glowing particles add up: none hides another.
    RenderStateSetValue(kRenderStateZWrite, 0);
    bool ok = true;
    for (Atomic* atomic : scene->emitters) {
        ok = atomic->renderCallBack(atomic) == atomic && ok;
    }
    RenderStateSetValue(kRenderStateZWrite, 1);
    CameraEndUpdate(scene->camera);
    return ok;
}
