// What the host gives the AI middleware, and the settings built from it.
//
// The host fills one AiHostInterface (its limits and the functions through
// which the AI reaches the outside world) and passes it to AiEngineInitialize.
// The runtime copies it and builds AiRuntimeSettings, which every AI class
// reads; collision and drawing calls go through the adapters below, which turn
// CVec3 arguments into plain float triples (x, y, z) for the host.
// The fields keep the order of the 28-word block; pointer slots are pointer-sized.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>

namespace Zelk {

// ---- Host functions ------------------------------------------------------------
// p and q point at three floats x, y, z. ignore and flags are passed through
// unchanged from the middleware's callers (an entity to ignore, a mode).

using AiAllocateFn = void* (*)(std::size_t size);
using AiReallocateFn = void* (*)(void* p, std::size_t size);
using AiFreeFn = void (*)(void* p);
/// Current time in seconds; never goes backwards.
using AiClockFn = float (*)(void* user);
/// Distance along from->to to the first hit (length when nothing is hit; a negative answer
/// also means no hit); writes the hit's surface normal into normal[3].
using AiRayCastFn = float (*)(const float* from, const float* to, const void* ignore, int flags, float length,
                              float* normal);
/// 1 when the segment is free, 0 when blocked.
using AiSegmentTestFn = int (*)(const float* from, const float* to, const void* ignore, int flags);
/// 1 when a body of that radius can move from p to q, 0 when not.
using AiSweptTestFn = int (*)(const float* from, const float* to, float radius, const void* ignore,
                              int flags);
/// Debug drawing; colour components 0..255.
using AiDrawLineFn = int (*)(const float* p, const float* q, int red, int green, int blue);
using AiDrawPointFn = int (*)(const float* p, int red, int green, int blue);
/// Files: open(name, mode like "rb") -> handle or null; close; end-of-file test (non-zero at
/// the end); read line (fgets-like: buffer, size, handle -> buffer or null); write and read
/// (buffer, item size, count, handle) -> items transferred; seek (origin 0, 1, 2) -> 0 or -1.
using AiFileOpenFn = void* (*)(const char* name, const char* mode);
using AiFileCloseFn = int (*)(void* file);
using AiFileEofFn = int (*)(void* file);
using AiFileReadLineFn = char* (*)(char* buffer, int size, void* file);
using AiFileWriteFn = std::size_t (*)(const void* buffer, std::size_t size, std::size_t count, void* file);
using AiFileReadFn = std::size_t (*)(void* buffer, std::size_t size, std::size_t count, void* file);
using AiFileSeekFn = int (*)(void* file, long offset, int origin);

/// The host-callback block (words 0 to 27).
struct AiHostInterface
{
    uint32_t maxEntities;            // 0: entity limit (size of the runtime's entity pool)
    AiAllocateFn allocate;           // 1: required
    AiReallocateFn reallocate;       // 2: carried, never called
    AiFreeFn free;                   // 3: required
    AiAllocNoticeFn allocateNotice;  // 4: optional
    AiReleaseNoticeFn releaseNotice; // 5: optional
    uint32_t allocatorTableCapacity; // 6: children of the default allocator
    AiClockFn clock;                 // 7: required
    void* clockUser;                 // 8
    AiRayCastFn rayCast;             // 9: optional (no hit without it)
    AiSegmentTestFn segmentTest;     // 10: optional (clear without it)
    AiSweptTestFn sweptTest;         // 11: optional (free without it)
    void* reserved[7];               // 12 to 18: never read
    AiDrawLineFn drawLine;           // 19: optional
    AiDrawPointFn drawPoint;         // 20: optional
    AiFileOpenFn fileOpen;           // 21 to 27: optional; without them files cannot be read
    AiFileCloseFn fileClose;
    AiFileEofFn fileEof;
    AiFileReadLineFn fileReadLine;
    AiFileWriteFn fileWrite;
    AiFileReadFn fileRead;
    AiFileSeekFn fileSeek;
};

/// Result of a ray cast: fraction along the segment (0..1), hit point, surface normal.
struct CHitRecord
{
    float fraction = 1.0f;
    CVec3 point;
    CVec3 normal;
};

using AiRayCastAdapter = bool (*)(const CVec3& from, const CVec3& to, const void* ignore, int flags,
                                  CHitRecord* hit);
using AiVisibleAdapter = bool (*)(const CVec3& from, const CVec3& to, const void* ignore, int flags);
using AiCanGoAdapter = bool (*)(const CVec3& from, const CVec3& to, float radius, const void* ignore,
                                int flags);
using AiDrawLineAdapter = int (*)(const CVec3& p, const CVec3& q, int red, int green, int blue);
using AiDrawPointAdapter = int (*)(const CVec3& p, int red, int green, int blue);

/// The runtime's settings (words 0 to 26), read by every AI class.
struct AiRuntimeSettings
{
    uint32_t entityLimit = 100;             // 0
    uint32_t worldLimit = 1;                // 1
    AiClockFn clock = nullptr;              // 2
    void* clockUser = nullptr;              // 3
    AiAllocateFn allocate = nullptr;        // 4
    AiReallocateFn reallocate = nullptr;    // 5
    AiFreeFn free = nullptr;                // 6
    uint32_t reserved7 = 1;                 // 7
    AiRayCastAdapter rayCast = nullptr;     // 8
    AiVisibleAdapter isVisible = nullptr;   // 9
    AiCanGoAdapter canGo = nullptr;         // 10
    void* reserved11[7] = {};               // 11 to 17
    AiDrawLineAdapter drawLine = nullptr;   // 18
    AiDrawPointAdapter drawPoint = nullptr; // 19
    AiFileOpenFn fileOpen = nullptr;        // 20 to 26
    AiFileCloseFn fileClose = nullptr;
    AiFileEofFn fileEof = nullptr;
    AiFileReadLineFn fileReadLine = nullptr;
    AiFileWriteFn fileWrite = nullptr;
    AiFileReadFn fileRead = nullptr;
    AiFileSeekFn fileSeek = nullptr;
};

/// The runtime's global settings (defaults, entity limit 100, before start).
const AiRuntimeSettings& AiGetSettings();
/// The runtime's copy of the host block; null before start and after termination.
const AiHostInterface* AiGetHostInterface();
/// The host clock in seconds; 0 without a clock.
float AiClockNow();

// ---- Adapters (what the settings hold once started) ----------------------------

/// Casts from->to through the host. No hit (host answer at or beyond the length, negative, or
/// no host function): fraction 1, point = to, normal 0. Otherwise fraction = d / length,
/// point = from + (to - from) * fraction, normal as written by the host. True on a hit.
bool HostRayCast(const CVec3& from, const CVec3& to, const void* ignore, int flags, CHitRecord* hit);
/// The host's segment test; true (clear) without a host function.
bool HostIsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags);
/// The host's swept test with that radius; true without a host function.
bool HostCanGo(const CVec3& from, const CVec3& to, float radius, const void* ignore, int flags);
/// Debug drawing through the host; 0 (nothing drawn) without a host function.
int HostDrawLine(const CVec3& p, const CVec3& q, int red, int green, int blue);
int HostDrawPoint(const CVec3& p, int red, int green, int blue);

} // namespace Zelk
