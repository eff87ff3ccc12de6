// Particles: the plug-in, emitter creation with its data block, locking and
// the render hook that runs the emitter's callbacks.

#include "graphics/animation/particle.h"

#include <cstring>

#include "graphics/animation/particleinternal.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/instance.h"
#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneplugins.h"

namespace {

constexpr uint32_t kEmitterHint = kMemoryHintObject | kPluginIdParticles;
constexpr uint32_t kDataHint = kMemoryHintObject | kPluginIdParticles;
constexpr int32_t kRenderStateSrcBlend = 10;
constexpr int32_t kRenderStateDestBlend = 11;
constexpr int32_t kRenderStateVertexAlpha = 12;

/// Flags of the property arrays in slot order, and their bytes.
constexpr uint32_t kSlotFlags[kParticlePropertyCount] = {1, 8, 16, 4, 2, 64, 32, 128, 256};
constexpr uint32_t kSlotBytes[kParticlePropertyCount] = {12, 64, 12, 8, 4, 16, 4, 16, 32};
/// Per-particle flags and their emitter-wide twins.
constexpr uint32_t kTwins[][2] = {{kParticleMatrix, kParticleEmitterMatrix},
                                  {kParticleRotation, kParticleEmitterRotation},
                                  {kParticleCornerColours, kParticleEmitterCornerColours},
                                  {kParticleTexRect, kParticleEmitterTexRect},
                                  {kParticleCornerUVs, kParticleEmitterCornerUVs}};

int32_t gEngineOffset = -1;
int32_t gAtomicOffset = -1;

ParticleEmitter*& Slot(const Atomic* atomic)
{
    return *reinterpret_cast<ParticleEmitter**>(reinterpret_cast<uint8_t*>(const_cast<Atomic*>(atomic)) +
                                                gAtomicOffset);
}

/// The module data while the engine starts or stops.
ParticleModule* ModuleData()
{
    return static_cast<ParticleModule*>(EngineGetModuleData(gEngineOffset));
}

void* ModuleOpen(void* instance, int32_t, int32_t)
{
    ParticleModule* module = ModuleData();
    *module = {};
    const D3DCAPS9* caps = D3D9GetCaps();
    module->maxPointSize = caps ? caps->MaxPointSize : 1.0f;
    module->vertexPointSize = caps && (caps->FVFCaps & D3DFVFCAPS_PSIZE) != 0;
    return instance;
}

void* ModuleClose(void* instance, int32_t, int32_t)
{
    ParticleModule* module = ModuleData();
    if (module->indices) {
        D3D9ReleaseObject(module->indices);
    }
    *module = {};
    return instance;
}

void* AtomicConstruct(void* object, int32_t, int32_t)
{
    Slot(static_cast<Atomic*>(object)) = nullptr;
    return object;
}

void* AtomicDestruct(void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    ParticleEmitter* emitter = Slot(atomic);
    if (!emitter) {
        return object;
    }
    Geometry* geometry = atomic->geometry;
    if (Material* material = geometry ? MaterialListGetMaterial(&geometry->materials, 0) : nullptr) {
        MaterialSetTexture(material, nullptr);
    }
    if (!emitter->callBacks.allocate) {
        MemoryFree(emitter->allocation);
    }
    MemoryFree(emitter);
    Slot(atomic) = nullptr;
    return object;
}

/// A clone draws no particles of its own: the emitter stays with the source.
void* AtomicCopy(void* destination, const void*, int32_t, int32_t)
{
    Slot(static_cast<Atomic*>(destination)) = nullptr;
    return destination;
}

/// Lays the present properties out in the data block.
bool AllocateData(ParticleEmitter* emitter)
{
    const bool interleaved = (emitter->flags & kParticleInterleaved) != 0;
    uint32_t record = 0;
    for (int32_t slot = 0; slot < kParticlePropertyCount; ++slot) {
        if (emitter->flags & kSlotFlags[slot]) {
            record += kSlotBytes[slot];
            ++emitter->propertyCount;
        }
    }
    const uint64_t bytes = uint64_t(record) * uint64_t(emitter->maxParticles) + 16;
    if (bytes > 0x7FFFFFFF) {
        ErrorRaise(kPluginIdParticles, ErrorCode(kErrorOutOfMemory, uint32_t(bytes)));
        return false;
    }
    void* block = emitter->callBacks.allocate ? emitter->callBacks.allocate(emitter, uint32_t(bytes))
                                              : MemoryAllocate(size_t(bytes), kDataHint);
    if (!block) {
        ErrorRaise(kPluginIdParticles, ErrorCode(kErrorOutOfMemory, uint32_t(bytes)));
        return false;
    }
    emitter->allocation = block;
    std::memset(block, 0, size_t(bytes));
    auto* data = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t(15));
    emitter->data = data;
    emitter->strideOverride = interleaved ? int32_t(record) : 0;
    uint32_t offset = 0;
    for (int32_t slot = 0; slot < kParticlePropertyCount; ++slot) {
        if (!(emitter->flags & kSlotFlags[slot])) {
            continue;
        }
        if (interleaved) {
            emitter->arrays[slot] = {data + offset, int32_t(record)};
            offset += kSlotBytes[slot];
        } else {
            emitter->arrays[slot] = {data + offset, int32_t(kSlotBytes[slot])};
            offset += kSlotBytes[slot] * uint32_t(emitter->maxParticles);
        }
    }
    return true;
}

uint32_t EngineRenderState(int32_t state, uint32_t fallback)
{
    const DeviceBlock& device = EngineGetInstance()->device;
    uint32_t value = fallback;
    if (device.renderStateGet) {
        device.renderStateGet(state, &value);
    }
    return value;
}

void SetDefaults(ParticleEmitter* emitter)
{
    emitter->srcBlend = EngineRenderState(kRenderStateSrcBlend, 5);
    emitter->destBlend = EngineRenderState(kRenderStateDestBlend, 6);
    emitter->vertexAlpha = EngineRenderState(kRenderStateVertexAlpha, 0);
    emitter->matrix = {};
    emitter->matrix.right.x = emitter->matrix.up.y = emitter->matrix.at.z = 1.0f;
    emitter->matrix.flags = kMatrixFlagsAll;
    for (auto& colour : emitter->colours) {
        colour[0] = colour[1] = colour[2] = 0;
        colour[3] = 255;
    }
    emitter->size[0] = emitter->size[1] = 1.0f;
    emitter->scale[0] = emitter->scale[1] = 1.0f;
    emitter->rotation = 0.0f;
    const float rect[4] = {0, 0, 1, 1};
    std::memcpy(emitter->texRect, rect, sizeof(rect));
    const float corners[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    std::memcpy(emitter->cornerUVs, corners, sizeof(corners));
}

/// The hook that replaces the atomic's render callback.
Atomic* RenderHook(Atomic* atomic)
{
    ParticleEmitter* emitter = Slot(atomic);
    const int32_t live = ParticleLiveCount(emitter);
    if (live < 1) {
        return atomic;
    }
    if (emitter->callBacks.update) {
        emitter->callBacks.update(atomic, emitter->arrays, live, emitter->changed);
        emitter->changed = 0;
    }
    if (emitter->callBacks.prepare && emitter->callBacks.prepare(atomic, emitter->arrays, live) != 1) {
        return atomic;
    }
    return emitter->savedRender ? emitter->savedRender(atomic) : atomic;
}

} // namespace

ParticleModule* ParticleModuleGet()
{
    if (gEngineOffset < 0 || EngineGetState() != kEngineStateStarted) {
        return nullptr;
    }
    return ModuleData();
}

uint32_t ParticlePropertyBytes(int32_t slot)
{
    return slot >= 0 && slot < kParticlePropertyCount ? kSlotBytes[slot] : 0;
}

int32_t ParticlePropertySlot(uint32_t property)
{
    for (int32_t slot = 0; slot < kParticlePropertyCount; ++slot) {
        if (kSlotFlags[slot] == property) {
            return slot;
        }
    }
    return -1;
}

int32_t ParticleLiveCount(const ParticleEmitter* emitter)
{
    const int32_t live = emitter->liveParticles;
    return live < 0 ? 0 : live > emitter->maxParticles ? emitter->maxParticles : live;
}

bool ParticlePluginAttach()
{
    gEngineOffset = EngineAttachPlugin(sizeof(ParticleModule), kPluginIdParticles, ModuleOpen, ModuleClose);
    gAtomicOffset = AtomicRegisterPlugin(sizeof(ParticleEmitter*), kPluginIdParticles, AtomicConstruct,
                                         AtomicDestruct, AtomicCopy);
    return gEngineOffset >= 0 && gAtomicOffset >= 0;
}

uint32_t ParticleNormaliseFlags(uint32_t flags)
{
    uint32_t out = flags;
    for (const auto& twin : kTwins) {
        if ((flags & twin[0]) && (flags & twin[1])) {
            out &= ~twin[1];
        }
    }
    if (flags & kParticleMatrix) {
        out &= ~(kParticlePosition | kParticleSize | kParticleRotation);
    }
    if (!(flags & kParticleMatrix) && !(flags & kParticlePosition)) {
        out |= kParticlePosition;
    }
    if (!(flags & (kParticleSeparate | kParticleInterleaved))) {
        out |= kParticleSeparate;
    }
    return out;
}

Atomic* ParticleEmitterCreate(int32_t maxParticles, uint32_t flags, uint32_t value)
{
    const ParticleCallBacks callBacks = ParticleBuiltInCallBacks();
    return ParticleAtomicCreate(maxParticles, ParticleNormaliseFlags(flags), value, &callBacks);
}

Atomic* ParticleAtomicCreate(int32_t maxParticles, uint32_t flags, uint32_t value,
                             const ParticleCallBacks* callBacks)
{
    if (gAtomicOffset < 0 || maxParticles < 1 || !callBacks || !callBacks->build) {
        ErrorRaise(kPluginIdParticles, ErrorCode(kErrorBadArgument));
        return nullptr;
    }
    Atomic* atomic = AtomicCreate();
    if (!atomic) {
        return nullptr;
    }
    auto* emitter =
        static_cast<ParticleEmitter*>(MemoryAllocateZeroed(1, sizeof(ParticleEmitter), kEmitterHint));
    if (!emitter) {
        ErrorRaise(kPluginIdParticles, ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(ParticleEmitter))));
        AtomicDestroy(atomic);
        return nullptr;
    }
    emitter->maxParticles = maxParticles;
    emitter->flags = flags;
    emitter->value = value;
    emitter->callBacks = *callBacks;
    emitter->changed = ~0u;
    emitter->savedRender = atomic->renderCallBack;
    atomic->renderCallBack = RenderHook;
    Slot(atomic) = emitter;
    if (!AllocateData(emitter)) {
        AtomicDestroy(atomic);
        return nullptr;
    }
    SetDefaults(emitter);
    if (emitter->callBacks.build(atomic, emitter) != 1) {
        AtomicDestroy(atomic);
        return nullptr;
    }
    Geometry* geometry = atomic->geometry;
    if (Material* material = geometry ? MaterialListGetMaterial(&geometry->materials, 0) : nullptr) {
        MaterialSetTexture(material, nullptr);
    }
    return atomic;
}

int32_t ParticleAtomicDestroy(Atomic* atomic)
{
    return AtomicDestroy(atomic);
}

bool ParticleAtomicHasEmitter(const Atomic* atomic)
{
    return ParticleAtomicGetEmitter(atomic) != nullptr;
}

ParticleEmitter* ParticleAtomicGetEmitter(const Atomic* atomic)
{
    return atomic && gAtomicOffset >= 0 ? Slot(atomic) : nullptr;
}

int32_t ParticleEmitterLock(Atomic* atomic, ParticleArray* out, uint32_t property, uint32_t mode)
{
    *out = {nullptr, 0};
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    const int32_t slot = ParticlePropertySlot(property);
    if (!emitter || slot < 0 || !emitter->arrays[slot].data) {
        return 0;
    }
    *out = emitter->arrays[slot];
    if (emitter->strideOverride != 0) {
        out->stride = emitter->strideOverride;
    }
    if (mode & kParticleLockWrite) {
        emitter->dirty |= property | mode;
    }
    return 1;
}

int32_t ParticleEmitterUnlock(Atomic* atomic)
{
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    if (!emitter) {
        return 0;
    }
    emitter->changed |= emitter->dirty;
    emitter->dirty = 0;
    return 1;
}

float ParticleDeviceMaxPointSize()
{
    const ParticleModule* module = ParticleModuleGet();
    return module ? module->maxPointSize : 1.0f;
}

bool ParticleDeviceVertexPointSize()
{
    const ParticleModule* module = ParticleModuleGet();
    return module && module->vertexPointSize;
}

Material* ParticleMaterialCreate()
{
    Material* material = MaterialCreate();
    if (material) {
        material->surfaceProperties = {0.3f, 1.0f, 1.0f};
    }
    return material;
}
