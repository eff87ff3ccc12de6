#include "physics/core/body/bodyatomic.h"

#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/sceneplugins.h"

namespace {

OlpBody*& Slot(void* atomic, int32_t offset)
{
    return *reinterpret_cast<OlpBody**>(static_cast<uint8_t*>(atomic) + offset);
}

/// Cuts the body loose from whatever atomic holds it.
void Loosen(OlpBody* body)
{
    body->base.parts[0].sourceMatrix = nullptr;
    body->atomic = nullptr;
}

void* Construct(void* atomic, int32_t offset, int32_t)
{
    Slot(atomic, offset) = nullptr;
    return atomic;
}

// A body left on a destroyed atomic would write its pose into freed memory.
void* Destruct(void* atomic, int32_t offset, int32_t)
{
    if (OlpBody* body = Slot(atomic, offset)) {
        Loosen(body);
    }
    Slot(atomic, offset) = nullptr;
    return atomic;
}

// A clone starts without a body: one body drives one atomic.
void* Copy(void* destination, const void*, int32_t offset, int32_t)
{
    Slot(destination, offset) = nullptr;
    return destination;
}

OlpObjWriteBackOp gPlainWriteBack = nullptr;

int32_t WriteBackToAtomic(OlpObj* object)
{
    if (gPlainWriteBack(object) == 0) {
        return 0;
    }
    auto* atomic = static_cast<Atomic*>(reinterpret_cast<OlpBody*>(object)->atomic);
    if (atomic != nullptr) {
        if (Frame* frame = AtomicGetFrame(atomic)) {
            FrameUpdateObjects(frame);
        }
    }
    return 1;
}

} // namespace

int32_t OlpBodyPluginAttach()
{
    if (!OlpBodyPluginAttached() &&
        AtomicRegisterPlugin(sizeof(OlpBody*), kOlpBodyPluginId, Construct, Destruct, Copy) < 0) {
        return 0;
    }
    if (gOlpBodyType.writeBack != WriteBackToAtomic) {
        gPlainWriteBack = gOlpBodyType.writeBack;
        gOlpBodyType.writeBack = WriteBackToAtomic;
    }
    return 1;
}

bool OlpBodyPluginAttached()
{
    return AtomicGetPluginOffset(kOlpBodyPluginId) >= 0;
}

OlpBody* OlpBodyGetFromAtomic(const Atomic* atomic)
{
    const int32_t offset = AtomicGetPluginOffset(kOlpBodyPluginId);
    return offset >= 0 && atomic != nullptr ? Slot(const_cast<Atomic*>(atomic), offset) : nullptr;
}

Atomic* OlpBodyAttach(Atomic* atomic, OlpBody* body)
{
    const int32_t offset = AtomicGetPluginOffset(kOlpBodyPluginId);
    if (offset < 0 || atomic == nullptr) {
        return atomic;
    }
    OlpBody*& held = Slot(atomic, offset);
    if (held != nullptr && held != body) {
        Loosen(held);
    }
    held = nullptr;
    if (body != nullptr) {
        // A body moves from its old atomic to this one.
        if (body->atomic != nullptr && body->atomic != atomic) {
            Slot(body->atomic, offset) = nullptr;
        }
        Frame* frame = AtomicGetFrame(atomic);
        body->base.parts[0].sourceMatrix = frame != nullptr ? FrameGetMatrix(frame) : nullptr;
        OlpObjResetPartPose(&body->base, 0);
        body->atomic = atomic;
        held = body;
    }
    return atomic;
}
