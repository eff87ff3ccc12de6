// Named data tables: the common shape of the world-level managers that keep
// named data objects (scripts, path ways, neural nets). The world's
// configuration loads each object from a raw-data block:
//
//   <Service "Ways"><Class>CPathWayManager</Class>
//     <PathWay "Patrol"><RawData>data/patrol.way</RawData></PathWay>
//   </Service>
//
// Names are shorter than 128 characters, compared exactly, and unique: a
// second object of the same name is refused, never replaced. Entries keep
// the order in which they were added.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/service.h"

#include <cstdint>

namespace Zelk {

// One named object of a table; owns the object.
class CNamedDataEntry : public CAiObject
{
  public:
    static constexpr uint32_t kNameCapacity = 128; // with the terminator

    CNamedDataEntry(const char* name, CAiObject* object);
    // Deletes the object.
    ~CNamedDataEntry() override;
    CNamedDataEntry(const CNamedDataEntry&) = delete;
    CNamedDataEntry& operator=(const CNamedDataEntry&) = delete;

    const char* GetName() const { return m_name; }
    CAiObject* GetObject() const { return m_object; }
    // Gives the object up without deleting it.
    CAiObject* Release();

  private:
    char m_name[kNameCapacity] = {};
    CAiObject* m_object;
};

class CNamedDataTable : public CGlobalService
{
  public:
    static constexpr uint32_t kInitialCapacity = 8;

    // entryKey: the configuration key of the entries ("Script", "PathWay", "NeuralNet").
    explicit CNamedDataTable(const char* entryKey);
    // Deletes every entry and its object.
    ~CNamedDataTable() override;
    CNamedDataTable(const CNamedDataTable&) = delete;
    CNamedDataTable& operator=(const CNamedDataTable&) = delete;

    // False for a null node or the first child that ReadParameter refuses.
    bool Init(CConfigNode* node) override;
    // Accepts a child with the entry key, a name (the element's name, else its value) and a
    // "RawData" child whose block loads; anything else is refused.
    bool ReadParameter(CConfigNode* child) override;

    // The object of that name (exact, case-sensitive); null when none.
    CAiObject* Find(const char* name) const;
    // Creates an object, lets it read the "RawData" node's block and adds it; false when the
    // name is null, too long or present, or the block is refused (nothing is kept).
    bool Load(const char* name, CConfigNode* rawData);
    // Adds the object under that name, taking ownership on success; false when either is
    // null or the name is too long or present (the caller keeps the object).
    bool Add(const char* name, CAiObject* object);
    // Forgets the entry of that name without deleting its object, which goes back to the
    // caller's responsibility; false when absent.
    bool Remove(const char* name);

    uint32_t GetCount() const { return m_count; }
    uint32_t GetCapacity() const { return m_capacity; }
    // Entry at index (in adding order); null beyond the count.
    const CNamedDataEntry* GetEntry(uint32_t index) const
    {
        return index < m_count ? m_entries[index] : nullptr;
    }
    const char* GetEntryKey() const { return m_entryKey; }

  protected:
    // A new empty object of the table's class; null when out of memory.
    virtual CAiObject* CreateObject() const = 0;
    // Fills the object from the "RawData" node's block; false when the block is refused.
    virtual bool ReadObject(CAiObject* object, CConfigNode* rawData) const = 0;

  private:
    bool Append(const char* name, CAiObject* object);
    int32_t IndexOf(const char* name) const;

    const char* m_entryKey;
    CNamedDataEntry** m_entries = nullptr;
    uint32_t m_count = 0;
    uint32_t m_capacity = 0;
};

} // namespace Zelk
