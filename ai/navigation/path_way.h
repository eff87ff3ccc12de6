// Path ways: named, ordered lists of way points that a behaviour follows.
// Each point has a position, a movement mode ("walk", "run", "jump",
// "crouch") and an optional action text ("pause 2.000000", "rotate 90.000000",
// "orient -45.000000" or free text). CPathWayManager keeps the world's path
// ways, loaded from raw-data blocks (entry key "PathWay"), and finds them by name.
//
// Path-way file ("Varnoth Path Way", little-endian): the magic without
// terminator, version 1 (u32), the name's length N (u32, at most 255) and N
// characters, the looped flag (u8), then records of a tag byte and its
// payload until tag 0: tags 1 to 4 start a new point (x, y, z floats) with
// mode walk, run, jump, crouch; tags 11, 12, 13 set the current point's
// action to "pause", "rotate", "orient" with a float; tag 14 sets it to 64
// raw bytes; tags 5 to 10 and 15 to 255 carry nothing and are skipped.
#pragma once

#include "ai/navigation/named_data_table.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CConfigNode;

struct CWayPoint
{
    static constexpr size_t kModeSize = 8;    // with the terminator
    static constexpr size_t kActionSize = 64; // with the terminator

    // Position (0, 0, 0), mode "walk", no action.
    CWayPoint();
    // mode and action are cut to fit (null: "walk" and no action).
    CWayPoint(const CVec3& position, const char* mode, const char* action = nullptr);
    void SetMode(const char* mode);
    void SetAction(const char* action);

    CVec3 position;
    char mode[kModeSize] = {};
    char action[kActionSize] = {};
};

class CPathWay : public CAiObject
{
  public:
    static constexpr char kMagic[] = "Varnoth Path Way";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;
    static constexpr size_t kNameSize = 256; // with the terminator
    static constexpr uint32_t kGrowth = 5;   // points added to the capacity when full
    static constexpr int32_t kAppend = -2;   // index that InsertPoint and AddPoint take as "at the end"

    CPathWay() = default;
    // Copies name, flag and points; the copy's capacity is its count.
    CPathWay(const CPathWay& other);
    CPathWay& operator=(const CPathWay& other);
    ~CPathWay() override = default;

    // Called for every point whose index changes through an insertion, a removal or a move.
    virtual void OnPointIndexChanged(int32_t oldIndex, int32_t newIndex);
    virtual void SetLooped(bool looped) { m_looped = looped; }

    // Inserts a copy of point at index (kAppend: at the end); false for any other negative
    // index or one above the count.
    bool InsertPoint(const CWayPoint& point, int32_t index);
    // A point with that position and mode and no action, inserted as by InsertPoint.
    bool AddPoint(const CVec3& position, const char* mode, int32_t index = kAppend);
    // False for an index outside [0, count).
    bool RemovePoint(int32_t index);
    bool MovePoint(int32_t from, int32_t to);
    bool SetPointPosition(const CVec3& position, int32_t index);
    bool TranslatePoint(const CVec3& offset, int32_t index);
    void Translate(const CVec3& offset);
    // Index of the first point nearer than radius metres (x OneMeter) to position; -1 when none.
    int32_t FindPointNear(const CVec3& position, float radius) const;
    // Draws the points (cyan) and the lines joining them (white) through the host.
    void Draw() const;

    uint32_t GetPointCount() const { return uint32_t(m_points.size()); }
    uint32_t GetCapacity() const { return m_capacity; }
    const CWayPoint* GetPoint(int32_t index) const;
    CWayPoint* GetPoint(int32_t index);
    bool IsLooped() const { return m_looped; }
    const char* GetName() const { return m_name; }
    // Cut to 255 characters.
    void SetName(const char* name);

    // The file format above. Reading replaces the path way (left empty on failure) and fails
    // on a wrong magic or version, a name longer than 255 characters or data that ends before
    // tag 0; action records before the first point are lost. Writing fails for a point whose
    // mode is none of the four.
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromRawData(CConfigNode* rawData);
    bool WriteToMemory(std::vector<uint8_t>& out) const;
    bool WriteToFile(const char* fileName) const;

  private:
    void Clear();

    std::vector<CWayPoint> m_points;
    uint32_t m_capacity = 0;
    bool m_looped = false;
    char m_name[kNameSize] = {};
};

class CPathWayManager : public CNamedDataTable
{
  public:
    static CGlobalServiceClassRecord s_classRecord;

    CPathWayManager() : CNamedDataTable("PathWay") {}
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    // The path way of that name; null when none.
    CPathWay* GetPathWay(const char* name) const { return static_cast<CPathWay*>(Find(name)); }

  protected:
    CAiObject* CreateObject() const override { return new CPathWay(); }
    bool ReadObject(CAiObject* object, CConfigNode* rawData) const override
    {
        return static_cast<CPathWay*>(object)->ReadFromRawData(rawData);
    }
};

} // namespace Zelk
