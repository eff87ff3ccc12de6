// Reference counting and the process-wide count of live device objects.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace d3d9sw {

/// Adds delta to the count of live objects (D3D9LiveObjectCount).
void LiveObjectsAdd(long delta);

/// Implements AddRef/Release of one Direct3D interface; the object deletes
/// itself when the last reference goes.
template <class Interface> class Object : public Interface
{
  public:
    Object() { LiveObjectsAdd(1); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    ULONG RefCount() const { return refs_; }

  protected:
    ~Object() override { LiveObjectsAdd(-1); }

  private:
    ULONG refs_ = 1;
};

/// Replaces a held interface pointer, keeping one reference on the new one.
template <class T> void HoldRef(T*& slot, T* value)
{
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

} // namespace d3d9sw
