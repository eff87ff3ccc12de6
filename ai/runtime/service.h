// Services: per-brain services (such as the path finder), created from the
// "Service" children of a brain's configuration, and world-level services (the
// data managers), created by the world from "GlobalServices".
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"

namespace Zelk {

class CBrain;
class CConfigNode;

/// The base of per-brain services.
class CService : public CAiObject
{
  public:
    explicit CService(CBrain* brain) : m_brain(brain) {}
    ~CService() override = default;

    /// Passes every child except "Class" to ReadParameter; the first refusal fails.
    virtual bool Init(CConfigNode* node);
    /// One parameter (base: refuses).
    virtual bool ReadParameter(CConfigNode* node);
    /// Called once when the world starts (base: nothing).
    virtual void Start() {}
    virtual const CClassRecord* GetClassRecord() const = 0;

    CBrain* GetBrain() const { return m_brain; }

  private:
    CBrain* m_brain;
};

/// The interface of world-level services (the data managers).
class CGlobalService : public CAiObject
{
  public:
    ~CGlobalService() override = default;
    /// Passes every child except "Class" to ReadParameter; the first refusal fails.
    virtual bool Init(CConfigNode* node);
    /// One parameter (base: refuses).
    virtual bool ReadParameter(CConfigNode* node);
    /// Called once when the world starts (base: nothing).
    virtual void Start() {}
    /// Called every frame after the entities' Update (base: nothing).
    virtual void Update() {}
    virtual const CClassRecord* GetClassRecord() const = 0;
};

} // namespace Zelk
