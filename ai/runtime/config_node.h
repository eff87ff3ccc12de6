// Configuration trees.
//
// All AI configuration is a tree of nodes: a node has a key (the element's kind,
// such as "Entity" or "MaxEntity"), an optional name (telling nodes of one key
// apart) and an optional value (a parameter's text). Lookups are linear, in
// child order, and case-sensitive. A node may carry a raw-data handle that the
// world's data source opens on request.
#pragma once

#include "ai/runtime/allocator.h"

#include <cstdint>

namespace Zelk {

struct CRawDataHandle;

class CConfigNode : public CAiObject
{
  public:
    CConfigNode() = default;
    /// Deep copy (see operator=).
    CConfigNode(const CConfigNode& other);
    /// Deep copy: replaces name, key, value and children by copies of other's; the
    /// raw-data size and handle are shared, not copied. Self-assignment does nothing.
    CConfigNode& operator=(const CConfigNode& other);
    ~CConfigNode() override;

    const char* GetName() const { return m_name; }
    const char* GetKey() const { return m_key; }
    const char* GetValue() const { return m_value; }
    /// Each setter frees the old text and stores a copy (null clears); false when out of memory.
    bool SetName(const char* text);
    bool SetKey(const char* text);
    bool SetValue(const char* text);

    uint32_t GetChildCount() const { return m_childCount; }
    /// Child at index, null at or beyond the count.
    CConfigNode* GetChild(uint32_t index) const;
    /// First child with that key; null for a null key or when none.
    CConfigNode* FindChild(const char* key) const;
    /// Value of FindChild(key), null when absent.
    const char* GetChildValue(const char* key) const;
    /// First child with that name; null for a null name.
    CConfigNode* FindChildByName(const char* name) const;
    /// First child with both that key and that name; null when either is null.
    CConfigNode* FindNamedChild(const char* key, const char* name) const;

    /// Appends a new empty child; null when out of memory.
    CConfigNode* AddChild();
    /// Appends a deep copy of node; null when out of memory.
    CConfigNode* AddChildCopy(const CConfigNode& node);
    /// Removes child (later children move down) and deletes it; nothing when not a child.
    void RemoveChild(CConfigNode* child);
    /// Deletes every child; the child array is kept.
    void ClearChildren();

    /// Raw data: the handle of a "RawData" node (not owned) and, for an in-memory block, its size.
    CRawDataHandle* GetRawData() const { return m_rawData; }
    uint32_t GetRawDataSize() const { return m_rawDataSize; }
    void SetRawData(CRawDataHandle* handle, uint32_t size)
    {
        m_rawData = handle;
        m_rawDataSize = size;
    }
    /// A file a text configuration opened for this node's raw data (null when closed).
    void* GetRawFile() const { return m_rawFile; }
    void SetRawFile(void* file) { m_rawFile = file; }

  private:
    bool AppendChild(CConfigNode* child);
    void Clear();

    uint32_t m_rawDataSize = 0;
    CRawDataHandle* m_rawData = nullptr;
    void* m_rawFile = nullptr;
    char* m_name = nullptr;
    char* m_key = nullptr;
    char* m_value = nullptr;
    CConfigNode** m_children = nullptr;
    uint32_t m_childCount = 0;
    uint32_t m_childCapacity = 0;
};

/// Deletes a node and its children; null is ignored.
void DeleteConfigNode(CConfigNode* node);

/// Appends a child with the given strings (null leaves a field unset); null when out of memory.
CConfigNode* AddConfigChild(CConfigNode* node, const char* name, const char* key, const char* value);

/// Reads a value as a decimal integer or real in the "C" locale; fallback when text is null
/// (and, for reals, when the number is not finite).
int32_t ConfigToInt(const char* text, int32_t fallback = 0);
float ConfigToFloat(const char* text, float fallback = 0.0f);
/// True when text reads whole (blanks around allowed) as a number in the "C" locale that is
/// not finite as a 32-bit float: "nan", "inf", "1e39" and the like.
bool ConfigIsNonFiniteNumber(const char* text);

} // namespace Zelk
