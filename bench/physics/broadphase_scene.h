#pragma once
// The broad-phase benchmark's fixed work: N boxes of 0.5 to 1.5 m in a
// cube sized for about one overlap per box, and a seeded sequence of
// steps in each of which 5 % of the boxes move by up to 0.3 m.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "physics/core/utils/bbox.h"

struct BroadphaseScene
{
    float half;                                                   ///< the world cube's half size
    std::vector<OlpBBox> boxes;                                   ///< the boxes at the start
    std::vector<std::vector<std::pair<uint32_t, OlpBBox>>> steps; ///< per step, the moved boxes
};

BroadphaseScene MakeBroadphaseScene(uint32_t count, uint32_t stepCount);
/// Pairs of overlapping boxes (touching counts) by brute force, each once.
uint32_t BruteForcePairs(const std::vector<OlpBBox>& boxes);

struct OlpFarfield;
struct OlpPairLists;

/// This engine's far field over a scene (margin 0, so that pairs are the
/// exact overlaps): the boxes inserted, ready for the steps.
class FarfieldRun
{
  public:
    explicit FarfieldRun(const BroadphaseScene& scene);
    ~FarfieldRun();
    FarfieldRun(const FarfieldRun&) = delete;
    FarfieldRun& operator=(const FarfieldRun&) = delete;
    /// Applies step s (its moved boxes re-inserted).
    void Step(const BroadphaseScene& scene, size_t s);
    /// The number of pairs now (each once).
    uint32_t PairCount() const;

  private:
    void* lists_;
    void* grid_;
    OlpPairLists* pairs_;
    OlpFarfield* table_;
    uint32_t count_;
};
