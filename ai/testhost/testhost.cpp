#include "ai/testhost/testhost.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace Zelk {

namespace {

CTestHost* g_active = nullptr;

CVec3 ToVec(const float* p)
{
    return CVec3(p[0], p[1], p[2]);
}

// Slab test of the segment from + t * d, t in [0, 1], against a box; the entry
// fraction and the normal of the entered face. A segment starting inside is not a hit.
bool SegmentBox(const CVec3& from, const CVec3& d, const CVec3& mn, const CVec3& mx, float* t, CVec3* normal)
{
    float tmin = 0.0f, tmax = 1.0f;
    int axis = -1;
    float sign = 0.0f;
    const float o[3] = {from.x, from.y, from.z};
    const float v[3] = {d.x, d.y, d.z};
    const float lo[3] = {mn.x, mn.y, mn.z};
    const float hi[3] = {mx.x, mx.y, mx.z};
    for (int i = 0; i < 3; ++i) {
        if (v[i] == 0.0f) {
            if (o[i] < lo[i] || o[i] > hi[i]) {
                return false;
            }
            continue;
        }
        float t1 = (lo[i] - o[i]) / v[i];
        float t2 = (hi[i] - o[i]) / v[i];
        float s = -1.0f;
        if (t1 > t2) {
            std::swap(t1, t2);
            s = 1.0f;
        }
        if (t1 > tmin) {
            tmin = t1;
            axis = i;
            sign = s;
        }
        tmax = t2 < tmax ? t2 : tmax;
        if (tmin > tmax) {
            return false;
        }
    }
    if (axis < 0) {
        return false; // starts inside
    }
    float n[3] = {0.0f, 0.0f, 0.0f};
    n[axis] = sign;
    *t = tmin;
    *normal = CVec3(n[0], n[1], n[2]);
    return true;
}

} // namespace

CTestHost::CTestHost() = default;

CTestHost::~CTestHost()
{
    if (g_active == this) {
        g_active = nullptr;
    }
}

CTestHost* CTestHost::Active()
{
    return g_active;
}

void CTestHost::Fill(AiHostInterface& host, uint32_t maxEntities)
{
    g_active = this;
    host = AiHostInterface{};
    host.maxEntities = maxEntities;
    host.allocate = &Allocate;
    host.reallocate = &Reallocate;
    host.free = &Free;
    host.allocatorTableCapacity = 10;
    host.clock = &Clock;
    host.clockUser = this;
    host.rayCast = &RayCast;
    host.segmentTest = &SegmentTest;
    host.sweptTest = &SweptTest;
    host.drawLine = &DrawLine;
    host.drawPoint = &DrawPoint;
    host.fileOpen = &TestFileOpen;
    host.fileClose = &TestFileClose;
    host.fileEof = &TestFileEof;
    host.fileReadLine = &TestFileReadLine;
    host.fileWrite = &TestFileWrite;
    host.fileRead = &TestFileRead;
    host.fileSeek = &TestFileSeek;
}

void CTestHost::SetGround(float height)
{
    m_hasGround = true;
    m_ground = height;
}

void CTestHost::AddBox(const CVec3& min, const CVec3& max)
{
    m_boxes.push_back(CTestBox{min, max});
}

void CTestHost::ClearDrawing()
{
    m_lines.clear();
    m_points.clear();
}

bool CTestHost::Intersect(const CVec3& from, const CVec3& to, bool withGround, float inflate, float* fraction,
                          CVec3* normal) const
{
    CVec3 d = to - from;
    bool hit = false;
    float best = 2.0f;
    CVec3 bestNormal;
    if (withGround && m_hasGround) {
        float a = from.y - m_ground, b = to.y - m_ground;
        if ((a > 0.0f && b <= 0.0f) || (a < 0.0f && b >= 0.0f)) {
            best = a / (a - b);
            bestNormal = CVec3(0.0f, a > 0.0f ? 1.0f : -1.0f, 0.0f);
            hit = true;
        }
    }
    CVec3 grow(inflate, inflate, inflate);
    for (const CTestBox& box : m_boxes) {
        float t;
        CVec3 n;
        if (SegmentBox(from, d, box.min - grow, box.max + grow, &t, &n) && t < best) {
            best = t;
            bestNormal = n;
            hit = true;
        }
    }
    if (hit) {
        *fraction = best;
        *normal = bestNormal;
    }
    return hit;
}

void* CTestHost::Allocate(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (p && Active()) {
        ++Active()->m_liveBlocks;
    }
    return p;
}

void* CTestHost::Reallocate(void* p, std::size_t size)
{
    return std::realloc(p, size);
}

void CTestHost::Free(void* p)
{
    if (p && Active()) {
        --Active()->m_liveBlocks;
    }
    std::free(p);
}

float CTestHost::Clock(void* user)
{
    auto* host = static_cast<CTestHost*>(user);
    float now = host->m_time;
    host->m_time += host->m_clockStep;
    ++host->m_clockReads;
    return now;
}

float CTestHost::RayCast(const float* from, const float* to, const void*, int flags, float length,
                         float* normal)
{
    normal[0] = normal[1] = normal[2] = 0.0f;
    CTestHost* host = Active();
    if (!host || host->m_rayUnavailable) {
        return -1.0f;
    }
    CVec3 a = ToVec(from), b = ToVec(to);
    float answer = 0.0f;
    if (host->m_rayOverride && host->m_rayOverride(a, b, flags, length, &answer)) {
        return answer;
    }
    if (a == b) {
        return 0.0f;
    }
    float t;
    CVec3 n;
    if (!host->Intersect(a, b, true, 0.0f, &t, &n)) {
        return length;
    }
    normal[0] = n.x;
    normal[1] = n.y;
    normal[2] = n.z;
    return t * length;
}

int CTestHost::SegmentTest(const float* from, const float* to, const void*, int)
{
    CTestHost* host = Active();
    CVec3 a = ToVec(from), b = ToVec(to);
    float t;
    CVec3 n;
    return !host || a == b || !host->Intersect(a, b, true, 0.0f, &t, &n) ? 1 : 0;
}

int CTestHost::SweptTest(const float* from, const float* to, float radius, const void*, int)
{
    CTestHost* host = Active();
    CVec3 a = ToVec(from), b = ToVec(to);
    float t;
    CVec3 n;
    // Boxes grown by the radius; the ground does not stop a walking body.
    return !host || a == b || !host->Intersect(a, b, false, radius, &t, &n) ? 1 : 0;
}

int CTestHost::DrawLine(const float* p, const float* q, int red, int green, int blue)
{
    if (CTestHost* host = Active()) {
        host->m_lines.push_back(CTestLine{ToVec(p), ToVec(q), red, green, blue});
    }
    return 1;
}

int CTestHost::DrawPoint(const float* p, int red, int green, int blue)
{
    if (CTestHost* host = Active()) {
        host->m_points.push_back(CTestPoint{ToVec(p), red, green, blue});
    }
    return 1;
}

} // namespace Zelk
