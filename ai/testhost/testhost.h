// A host for the AI runtime without a game: a controllable clock, plain memory,
// POSIX files, a recorder for debug drawing and a box world (an optional ground
// plane and axis-aligned boxes) that answers ray casts, visibility and can-go
// queries. Used by the AI's tests and by headless programs.
//
// Host functions are plain functions, so one test host is active at a time: the
// one whose Fill ran last. Destroying the active host deactivates it.
#pragma once

#include "ai/runtime/host.h"

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace Zelk {

struct CTestBox
{
    CVec3 min;
    CVec3 max;
};

struct CTestLine
{
    CVec3 p;
    CVec3 q;
    int red, green, blue;
};

struct CTestPoint
{
    CVec3 p;
    int red, green, blue;
};

class CTestHost
{
  public:
    CTestHost();
    ~CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    /// Fills every word of host (entity limit maxEntities, allocator table 10) and makes
    /// this host the active one.
    void Fill(AiHostInterface& host, uint32_t maxEntities = 200);

    // Clock (seconds). Each read returns the current time, then advances it by the step.
    void SetTime(float seconds) { m_time = seconds; }
    void Advance(float seconds) { m_time += seconds; }
    void SetClockStep(float seconds) { m_clockStep = seconds; }
    float GetTime() const { return m_time; }
    unsigned GetClockReads() const { return m_clockReads; }

    // Memory: blocks handed out and not yet freed.
    long GetLiveBlocks() const { return m_liveBlocks; }

    // Box world.
    /// A ground plane y = height (blocks rays and sight from above and below; not can-go).
    void SetGround(float height);
    void ClearGround() { m_hasGround = false; }
    void AddBox(const CVec3& min, const CVec3& max);
    void ClearBoxes() { m_boxes.clear(); }
    /// Makes the ray cast answer -1 (a host without a physics world).
    void SetRayCastUnavailable(bool unavailable) { m_rayUnavailable = unavailable; }
    /// Answers ray casts first: returns true with the host's answer (a distance along the
    /// ray; the length means no hit, below 0 unavailable) or false to let the box world
    /// answer. Lets tests give answers a box world never gives. Empty: none.
    using RayCastOverride =
        std::function<bool(const CVec3& from, const CVec3& to, int flags, float length, float* answer)>;
    void SetRayCastOverride(RayCastOverride answer) { m_rayOverride = std::move(answer); }

    // Debug drawing recorder.
    const std::vector<CTestLine>& GetLines() const { return m_lines; }
    const std::vector<CTestPoint>& GetPoints() const { return m_points; }
    void ClearDrawing();

    /// Nearest hit of the segment from->to: true with the fraction (0..1) and normal.
    bool Intersect(const CVec3& from, const CVec3& to, bool withGround, float inflate, float* fraction,
                   CVec3* normal) const;

  private:
    static CTestHost* Active();
    static void* Allocate(std::size_t size);
    static void* Reallocate(void* p, std::size_t size);
    static void Free(void* p);
    static float Clock(void* user);
    static float RayCast(const float* from, const float* to, const void*, int, float length, float* normal);
    static int SegmentTest(const float* from, const float* to, const void*, int);
    static int SweptTest(const float* from, const float* to, float radius, const void*, int);
    static int DrawLine(const float* p, const float* q, int red, int green, int blue);
    static int DrawPoint(const float* p, int red, int green, int blue);

    float m_time = 0.0f;
    float m_clockStep = 0.0f;
    unsigned m_clockReads = 0;
    long m_liveBlocks = 0;
    bool m_hasGround = false;
    float m_ground = 0.0f;
    bool m_rayUnavailable = false;
    RayCastOverride m_rayOverride;
    std::vector<CTestBox> m_boxes;
    std::vector<CTestLine> m_lines;
    std::vector<CTestPoint> m_points;
};

// POSIX files for the host's file words. Text mode ("t" in the mode) strips '\r' from lines.
void* TestFileOpen(const char* name, const char* mode);
int TestFileClose(void* file);
int TestFileEof(void* file);
char* TestFileReadLine(char* buffer, int size, void* file);
std::size_t TestFileWrite(const void* buffer, std::size_t size, std::size_t count, void* file);
std::size_t TestFileRead(void* buffer, std::size_t size, std::size_t count, void* file);
/// 0 on success; -1 for an origin other than 0, 1, 2 or a failed seek.
int TestFileSeek(void* file, long offset, int origin);

} // namespace Zelk
