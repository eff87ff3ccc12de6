#pragma once
// CFpsCounter: the frame rate measured over blocks of 200 frames and the
// last 632 frame times. Created at its first use by the frame, destroyed by
// the terminate event.
#include <cstdint>

#include "graphics/d3d9/d3d9im2d.h"

class CFont;

class CFpsCounter
{
  public:
    static constexpr int32_t kBlock = 200;
    static constexpr int32_t kHistory = 632;

    /// The instance, created on the first call.
    static CFpsCounter* Instance();
    /// Deletes the instance.
    static void Destroy();

    /// One frame of `elapsed` seconds (the measured time, not the capped step).
    void Update(float elapsed);
    /// "FPS : %2.2f" once 200 frames were measured, else "FPS : [wait]".
    void FormatText(char* text, int32_t size) const;
    /// Prints the text at (0.75, 0.82), 0.04 high (nothing without a font);
    /// from debug level 2, between the current camera's begin and end update,
    /// also the graph: one vertical line per history entry (2000 pixels a
    /// second) along the raster's bottom right, and grey lines at 1/30 s and 1/15 s.
    void Draw(CFont* font);
    /// Fills the graph's line list for a width x height raster; its vertex
    /// count (2 x entries + 4), 0 for an empty history.
    int32_t BuildGraph(float width, float height, float nearClip);
    const Im2DVertex* GetGraph() const { return m_graph; }

    bool IsValid() const { return m_valid; }
    float GetFramesPerSecond() const { return m_framesPerSecond; }
    /// Entries in the history (at most 632).
    int32_t GetHistoryCount() const { return m_fill; }
    /// History entry i, oldest first (0 <= i < GetHistoryCount()).
    float GetHistory(int32_t i) const;

  private:
    CFpsCounter() = default;

    bool m_valid = false;
    int32_t m_count = 0;
    float m_accumulated = 0.0f;
    float m_framesPerSecond = 0.0f;
    float m_history[kHistory] = {};
    int32_t m_fill = 0;
    int32_t m_write = 0;
    Im2DVertex m_graph[2 * kHistory + 4] = {};
};
