#pragma once
// The particle picture: three emitters of 50 particles in front of a camera
// cleared to a dark blue, each a spiral of particles rising, drawn with a soft
// streak texture with additive blending: quads on the left, point sprites
// (quads where the device cannot draw them) in the middle, and quads each
// turned by its own angle on the right. Used by the particles-demo program,
// its rendering test and the particle benchmarks.

#include <cstdint>

#include "platform/win32/win32.h"

struct Atomic;
struct Camera;
struct Texture;

constexpr int32_t kParticleSceneEmitters = 3;
constexpr int32_t kParticleSceneCount = 50;
/// Background colour of the clear (ARGB).
constexpr uint32_t kParticleSceneBackground = 0xFF101828;

struct ParticleScene
{
    Camera* camera;
    Texture* texture;
    Atomic* emitters[kParticleSceneEmitters]; ///< quads, sprites, rotating quads
};

/// Starts the engine on `window` with the caps profile `caps` ("minimal",
/// "full", ...), the scene library and the particle plug-in attached; false
/// when the profile is unknown or a step fails.
bool ParticleEngineStart(HWND window, const char* caps);
/// Stops and terminates the engine, and gives the adapters their defaults back.
void ParticleEngineStop();
/// Camera (on its own frame at the origin, looking down +z), texture and
/// emitters for a width x height raster; false on failure (nothing left behind).
bool ParticleSceneCreate(ParticleScene* scene, int32_t width, int32_t height);
void ParticleSceneDestroy(ParticleScene* scene);
/// Writes every particle's position and colour at time `t` seconds.
void ParticleSceneUpdate(ParticleScene* scene, float t);
/// Clears the camera and draws the emitters between begin and end update
/// (not presented); false when drawing failed.
bool ParticleSceneRender(ParticleScene* scene);
