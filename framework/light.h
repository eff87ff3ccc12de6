#pragma once
// CLight: the framework's description and owner of one scene light, an
// ambient light or a directional light shining from a position towards a
// target. A "Light" section of "config.xml" fills one (as its receiver); the
// framework's initialisation makes two default lights with Create and
// SetColour. Every function that makes engine objects needs the engine
// started with the scene library attached.
#include <cstdint>

#include "framework/configsection.h"
#include "graphics/core/vector.h"

struct Frame;
struct Light;

class CLight : public CConfigSection
{
  public:
    static constexpr int32_t kAmbient = 0;
    static constexpr int32_t kDirectional = 1;

    CLight() = default;
    /// A light made from a description: its kind (position and target for a
    /// directional one) and, when a light exists, its colour with alpha 1.0.
    explicit CLight(const CLight& description);
    CLight& operator=(const CLight&) = delete;
    /// Destroys what it still owns.
    ~CLight() override;

    /// Kind 0: an ambient light; kind 1: a directional light on a new frame
    /// placed at `position` looking at `target`; other kinds make nothing.
    /// True when a light exists afterwards.
    bool Create(int32_t kind, const V3d* position, const V3d* target);
    /// Stores (r, g, b, a) and gives the engine (r, g, b, 1.0); 0 without a
    /// light, else 1. The caller's values are not changed.
    int32_t SetColour(const float colour[4]);
    /// Destroys the engine light and its frame (each when present); 1.
    int32_t Destroy();

    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }

    Light* GetLight() const { return m_light; }
    Frame* GetFrame() const { return m_frame; }
    int32_t GetKind() const { return m_kind; }
    const float* GetColour() const { return m_colour; }

  private:
    bool ReadColour(const char** attributes);
    bool ReadPoint(const char** attributes, V3d* point);

    float m_colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int32_t m_kind = 0;
    Light* m_light = nullptr;
    Frame* m_frame = nullptr;
    V3d m_position = {0.0f, 0.0f, 0.0f};
    V3d m_target = {0.0f, 0.0f, 0.0f};
    bool m_readAmbient = false;
    bool m_readDirectional = false;
};
