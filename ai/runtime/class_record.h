// Class records and class registries.
//
// Every concrete AI class describes itself by one static record: its name, the
// function that creates an object of it, its parent class's record and an
// optional class bit. A static initialiser enters the record into the registry
// of its kind before main runs; objects are then created by the name found
// under the key "Class" of a configuration node. The record is also the type
// identity of an object (GetClassRecord), and per-entity arrays (attributes,
// actions) are indexed by the record's index in its registry.
//
// One template serves every kind: a kind is a small struct naming its creator
// signature; TClassRecord<Kind> enters itself into ClassRegistry<Kind>().
#pragma once

#include <cstdint>

namespace Zelk {

class CClassRegistry;

class CClassRecord
{
  public:
    static constexpr int kMaxNameLength = 255;

    virtual ~CClassRecord();
    CClassRecord(const CClassRecord&) = delete;
    CClassRecord& operator=(const CClassRecord&) = delete;

    /// Slot in the registry; -1 when the registry was full or the name was refused.
    int GetIndex() const { return m_index; }
    const char* GetName() const { return m_name; }
    const CClassRecord* GetParent() const { return m_parent; }
    /// The class bit handed out at registration, 0 when none was asked for or left.
    uint32_t GetClassBit() const { return m_classBit; }
    /// True when this record is cls or reaches it through its parent links.
    bool IsA(const CClassRecord* cls) const;

  protected:
    /// Enters the record into registry. Names longer than 255 characters are refused
    /// (index -1). wantsBit asks for the next class bit; addToMask ORs it into the class mask.
    CClassRecord(CClassRegistry& registry, const char* name, const CClassRecord* parent, bool wantsBit,
                 bool addToMask);

  private:
    CClassRegistry* m_registry;
    int m_index = -1;
    char m_name[kMaxNameLength + 1] = {};
    const CClassRecord* m_parent;
    uint32_t m_classBit = 0;
};

/// A fixed table of 256 record pointers. Trivially destructible, so records that
/// unregister at process exit never find it destroyed.
class CClassRegistry
{
  public:
    static constexpr int kCapacity = 256;

    int GetCount() const { return m_count; }
    /// The record at index, null outside [0, count) or for a slot emptied at exit.
    CClassRecord* GetRecord(int index) const;
    /// First record in slot order whose name equals name (case-sensitive); null when none.
    CClassRecord* Find(const char* name) const;
    /// Enters record: a record of the same name is replaced in its slot; otherwise the
    /// record is appended. Returns the slot, -1 when the table is full.
    int Register(CClassRecord* record);
    /// Forgets record when it still holds its slot (its destructor calls this).
    void Unregister(const CClassRecord* record);
    /// Empties the registry.
    void Reset() { m_count = 0; }

  private:
    CClassRecord* m_slots[kCapacity];
    int m_count;
};

/// Hands out class bits 2, 4, ..., 0x80000000, then 0; keeps the mask of added bits (starts at 1).
class CClassBits
{
  public:
    uint32_t Next();
    uint32_t GetMask() const { return m_mask; }
    void AddToMask(uint32_t bit) { m_mask |= bit; }

  private:
    uint32_t m_last = 1;
    uint32_t m_mask = 1;
};

/// The process-wide class bits.
CClassBits& GetClassBits();
/// Next process-wide class bit, 0 once the bits are used up.
uint32_t NextClassBit();

/// The registry of one kind (function-local static: usable from any static initialiser).
template <class Kind> CClassRegistry& ClassRegistry()
{
    static CClassRegistry registry; // zero-initialised before any dynamic initialiser
    return registry;
}

/// A record of one kind, with that kind's creator signature.
template <class Kind> class TClassRecord : public CClassRecord
{
  public:
    using Creator = typename Kind::Creator;

    TClassRecord(const char* name, Creator creator, const CClassRecord* parent = nullptr,
                 bool wantsBit = false, bool addToMask = false)
        : CClassRecord(ClassRegistry<Kind>(), name, parent, wantsBit, addToMask), m_creator(creator)
    {
    }

    /// Null for an abstract class.
    Creator GetCreator() const { return m_creator; }

    /// The first record of this kind named name, or null.
    static TClassRecord* Find(const char* name)
    {
        return static_cast<TClassRecord*>(ClassRegistry<Kind>().Find(name));
    }
    static int GetCount() { return ClassRegistry<Kind>().GetCount(); }
    static TClassRecord* GetRecord(int index)
    {
        return static_cast<TClassRecord*>(ClassRegistry<Kind>().GetRecord(index));
    }

  private:
    Creator m_creator;
};

} // namespace Zelk
