#include "ai/navigation/path_way.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/nav_text.h"

#include <cstring>
#include <string>

namespace Zelk {

namespace {

CGlobalService* CreatePathWayManager()
{
    return new CPathWayManager();
}

// Point-record tags 1 to 4, in tag order.
constexpr const char* kModes[] = {"walk", "run", "jump", "crouch"};
constexpr uint8_t kTagEnd = 0;
constexpr uint8_t kTagFirstPoint = 1;
constexpr uint8_t kTagLastPoint = 4;
constexpr uint8_t kTagPause = 11;
constexpr uint8_t kTagRotate = 12;
constexpr uint8_t kTagOrient = 13;
constexpr uint8_t kTagRawAction = 14;
constexpr uint32_t kMaxNameLength = 255;

// Action records, in tag order from kTagPause.
constexpr const char* kActionWords[] = {"pause", "rotate", "orient"};

void CopyCut(char* out, size_t size, const char* text)
{
    std::memset(out, 0, size);
    if (text != nullptr)
        std::strncpy(out, text, size - 1);
}

// "<word> %f\n" in the "C" locale, as the action records are turned into text.
void FormatAction(char* out, size_t size, const char* word, float value)
{
    char number[64];
    NavFormatFixed(value, number, sizeof(number));
    const std::string text = std::string(word) + ' ' + number + '\n';
    CopyCut(out, size, text.c_str());
}

} // namespace

CGlobalServiceClassRecord CPathWayManager::s_classRecord("CPathWayManager", &CreatePathWayManager);

// ---- CWayPoint --------------------------------------------------------------------------

CWayPoint::CWayPoint()
{
    SetMode("walk");
}

CWayPoint::CWayPoint(const CVec3& p, const char* m, const char* a) : position(p)
{
    SetMode(m != nullptr ? m : "walk");
    SetAction(a);
}

void CWayPoint::SetMode(const char* m)
{
    CopyCut(mode, kModeSize, m);
}

void CWayPoint::SetAction(const char* a)
{
    CopyCut(action, kActionSize, a);
}

// ---- CPathWay: editing --------------------------------------------------------------------

CPathWay::CPathWay(const CPathWay& other) : CAiObject()
{
    *this = other;
}

CPathWay& CPathWay::operator=(const CPathWay& other)
{
    if (this != &other) {
        m_points = other.m_points;
        m_capacity = uint32_t(m_points.size());
        m_looped = other.m_looped;
        std::memcpy(m_name, other.m_name, kNameSize);
    }
    return *this;
}

void CPathWay::OnPointIndexChanged(int32_t, int32_t)
{
}

void CPathWay::SetName(const char* name)
{
    CopyCut(m_name, kNameSize, name);
}

const CWayPoint* CPathWay::GetPoint(int32_t index) const
{
    return index >= 0 && uint32_t(index) < m_points.size() ? &m_points[size_t(index)] : nullptr;
}

CWayPoint* CPathWay::GetPoint(int32_t index)
{
    return index >= 0 && uint32_t(index) < m_points.size() ? &m_points[size_t(index)] : nullptr;
}

bool CPathWay::InsertPoint(const CWayPoint& point, int32_t index)
{
    const int32_t count = int32_t(m_points.size());
    if (index == kAppend)
        index = count;
    if (index < 0 || index > count)
        return false;
    if (m_points.size() == m_capacity) {
        m_capacity += kGrowth;
        m_points.reserve(m_capacity);
    }
    for (int32_t i = count - 1; i >= index; --i)
        OnPointIndexChanged(i, i + 1);
    m_points.insert(m_points.begin() + index, point);
    return true;
}

bool CPathWay::AddPoint(const CVec3& position, const char* mode, int32_t index)
{
    return InsertPoint(CWayPoint(position, mode), index);
}

bool CPathWay::RemovePoint(int32_t index)
{
    if (GetPoint(index) == nullptr)
        return false;
    m_points.erase(m_points.begin() + index);
    for (int32_t i = index + 1; i <= int32_t(m_points.size()); ++i)
        OnPointIndexChanged(i, i - 1);
    return true;
}

bool CPathWay::MovePoint(int32_t from, int32_t to)
{
    if (GetPoint(from) == nullptr || GetPoint(to) == nullptr)
        return false;
    const CWayPoint moved = m_points[size_t(from)];
    RemovePoint(from);
    InsertPoint(moved, to);
    OnPointIndexChanged(from, to);
    return true;
}

bool CPathWay::SetPointPosition(const CVec3& position, int32_t index)
{
    CWayPoint* point = GetPoint(index);
    if (point == nullptr)
        return false;
    point->position = position;
    return true;
}

bool CPathWay::TranslatePoint(const CVec3& offset, int32_t index)
{
    CWayPoint* point = GetPoint(index);
    if (point == nullptr)
        return false;
    point->position += offset;
    return true;
}

void CPathWay::Translate(const CVec3& offset)
{
    for (CWayPoint& point : m_points)
        point.position += offset;
}

int32_t CPathWay::FindPointNear(const CVec3& position, float radius) const
{
    const float limit = radius * NavOneMeter();
    for (size_t i = 0; i < m_points.size(); ++i)
        if ((m_points[i].position - position).Length() < limit)
            return int32_t(i);
    return -1;
}

void CPathWay::Draw() const
{
    for (size_t i = 0; i < m_points.size(); ++i) {
        NavDrawPoint(m_points[i].position, 0, 255, 255);
        if (i + 1 < m_points.size())
            NavDrawLine(m_points[i].position, m_points[i + 1].position, 255, 255, 255);
    }
    if (m_looped && m_points.size() > 1)
        NavDrawLine(m_points.back().position, m_points.front().position, 255, 255, 255);
}

void CPathWay::Clear()
{
    m_points.clear();
    m_looped = false;
}

// ---- CPathWay: files ----------------------------------------------------------------------

bool CPathWay::ReadFromMemory(const uint8_t* data, size_t size)
{
    Clear();
    CNavByteReader reader(data, size);
    uint32_t nameLength = 0;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadU32(nameLength))
        return false;
    if (nameLength > kMaxNameLength)
        return reader.Fail(ENavError::BadCount, "path-way name longer than 255 characters");
    char name[kNameSize] = {};
    uint8_t looped = 0;
    if (!reader.ReadBytes(name, nameLength) || !reader.ReadBytes(&looped, 1))
        return false;

    std::vector<CWayPoint> points;
    CWayPoint current;
    bool building = false; // a point record started the current point
    for (;;) {
        uint8_t tag = 0;
        if (!reader.ReadBytes(&tag, 1))
            return false;
        if (tag == kTagEnd)
            break;
        if (tag >= kTagFirstPoint && tag <= kTagLastPoint) {
            float xyz[3];
            if (!reader.ReadF32(xyz[0]) || !reader.ReadF32(xyz[1]) || !reader.ReadF32(xyz[2]))
                return false;
            if (building)
                points.push_back(current);
            current = CWayPoint(CVec3(xyz[0], xyz[1], xyz[2]), kModes[tag - kTagFirstPoint]);
            building = true;
        } else if (tag >= kTagPause && tag <= kTagOrient) {
            float value = 0.0f;
            if (!reader.ReadF32(value))
                return false;
            FormatAction(current.action, CWayPoint::kActionSize, kActionWords[tag - kTagPause], value);
        } else if (tag == kTagRawAction) {
            if (!reader.ReadBytes(current.action, CWayPoint::kActionSize))
                return false;
            current.action[CWayPoint::kActionSize - 1] = '\0'; // the stored text need not end in one
        }
    }
    if (building)
        points.push_back(current);

    m_points = std::move(points);
    m_capacity = uint32_t(m_points.size());
    m_looped = looped != 0;
    std::memcpy(m_name, name, kNameSize);
    return true;
}

bool CPathWay::ReadFromRawData(CConfigNode* rawData)
{
    std::vector<uint8_t> bytes;
    if (!NavReadRawData(rawData, bytes)) {
        Clear();
        return false;
    }
    return ReadFromMemory(bytes.data(), bytes.size());
}

bool CPathWay::WriteToMemory(std::vector<uint8_t>& out) const
{
    out.clear();
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    const size_t nameLength = std::strlen(m_name);
    writer.WriteU32(uint32_t(nameLength));
    writer.WriteBytes(m_name, nameLength);
    const uint8_t looped = m_looped ? 1 : 0;
    writer.WriteBytes(&looped, 1);
    for (const CWayPoint& point : m_points) {
        uint8_t tag = 0;
        for (uint8_t m = 0; m < 4; ++m)
            if (std::strcmp(point.mode, kModes[m]) == 0)
                tag = uint8_t(kTagFirstPoint + m);
        if (tag == 0) {
            NavSetError(ENavError::BadArgument, "way point with a mode none of walk, run, jump, crouch");
            return false;
        }
        writer.WriteBytes(&tag, 1);
        writer.WriteF32(point.position.x);
        writer.WriteF32(point.position.y);
        writer.WriteF32(point.position.z);
        // Exactly one action record: a known word with a number as such, anything else raw.
        char word[CWayPoint::kActionSize] = {};
        float value = 0.0f;
        uint8_t actionTag = kTagRawAction;
        if (NavParseWordAndNumber(point.action, word, sizeof(word), value))
            for (uint8_t w = 0; w < 3; ++w)
                if (std::strcmp(word, kActionWords[w]) == 0)
                    actionTag = uint8_t(kTagPause + w);
        writer.WriteBytes(&actionTag, 1);
        if (actionTag == kTagRawAction)
            writer.WriteBytes(point.action, CWayPoint::kActionSize);
        else
            writer.WriteF32(value);
    }
    writer.WriteBytes(&kTagEnd, 1);
    out = writer.Bytes();
    return true;
}

bool CPathWay::WriteToFile(const char* fileName) const
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

} // namespace Zelk
