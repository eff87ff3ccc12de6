#include "ai/navigation/named_data_table.h"

#include "ai/navigation/nav_error.h"
#include "ai/runtime/config_node.h"

#include <cstring>

namespace Zelk {

namespace {

bool FitsEntryName(const char* name)
{
    return name != nullptr && std::strlen(name) < CNamedDataEntry::kNameCapacity;
}

} // namespace

CNamedDataEntry::CNamedDataEntry(const char* name, CAiObject* object) : m_object(object)
{
    std::strncpy(m_name, name, kNameCapacity - 1);
}

CNamedDataEntry::~CNamedDataEntry()
{
    delete m_object;
}

CAiObject* CNamedDataEntry::Release()
{
    CAiObject* object = m_object;
    m_object = nullptr;
    return object;
}

CNamedDataTable::CNamedDataTable(const char* entryKey) : m_entryKey(entryKey)
{
    m_entries = static_cast<CNamedDataEntry**>(AiAlloc(sizeof(CNamedDataEntry*) * kInitialCapacity));
    m_capacity = m_entries != nullptr ? kInitialCapacity : 0;
}

CNamedDataTable::~CNamedDataTable()
{
    for (uint32_t i = 0; i < m_count; ++i)
        delete m_entries[i];
    AiFree(m_entries);
}

bool CNamedDataTable::Init(CConfigNode* node)
{
    return node != nullptr && CGlobalService::Init(node);
}

bool CNamedDataTable::ReadParameter(CConfigNode* child)
{
    if (child == nullptr || child->GetKey() == nullptr || std::strcmp(child->GetKey(), m_entryKey) != 0)
        return false;
    // The entry's name is the element's name (<Script "name">) or, for a leaf-style entry, its value.
    const char* name = child->GetName() != nullptr ? child->GetName() : child->GetValue();
    CConfigNode* rawData = child->FindChild("RawData");
    if (name == nullptr || rawData == nullptr) {
        NavSetError(ENavError::BadArgument, "named data entry without a name or without RawData");
        return false;
    }
    return Load(name, rawData);
}

int32_t CNamedDataTable::IndexOf(const char* name) const
{
    for (uint32_t i = 0; i < m_count; ++i)
        if (std::strcmp(m_entries[i]->GetName(), name) == 0)
            return int32_t(i);
    return -1;
}

CAiObject* CNamedDataTable::Find(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    const int32_t index = IndexOf(name);
    return index >= 0 ? m_entries[index]->GetObject() : nullptr;
}

bool CNamedDataTable::Append(const char* name, CAiObject* object)
{
    if (m_count == m_capacity) {
        const uint32_t grown = m_capacity > 0 ? m_capacity * 2 : kInitialCapacity;
        auto* entries = static_cast<CNamedDataEntry**>(AiAlloc(sizeof(CNamedDataEntry*) * grown));
        if (entries == nullptr) {
            NavSetError(ENavError::NoMemory, "named data table cannot grow");
            return false;
        }
        if (m_count > 0)
            std::memcpy(entries, m_entries, sizeof(CNamedDataEntry*) * m_count);
        AiFree(m_entries);
        m_entries = entries;
        m_capacity = grown;
    }
    auto* entry = new CNamedDataEntry(name, object);
    if (entry == nullptr) {
        NavSetError(ENavError::NoMemory, "no memory for a named data entry");
        return false;
    }
    m_entries[m_count++] = entry;
    return true;
}

bool CNamedDataTable::Load(const char* name, CConfigNode* rawData)
{
    if (!FitsEntryName(name) || IndexOf(name) >= 0) {
        NavSetError(ENavError::BadArgument, "entry name missing, too long or already present");
        return false;
    }
    CAiObject* object = CreateObject();
    if (object == nullptr) {
        NavSetError(ENavError::NoMemory, "no memory for a named data object");
        return false;
    }
    if (!ReadObject(object, rawData) || !Append(name, object)) {
        delete object;
        return false;
    }
    return true;
}

bool CNamedDataTable::Add(const char* name, CAiObject* object)
{
    if (object == nullptr || !FitsEntryName(name) || IndexOf(name) >= 0) {
        NavSetError(ENavError::BadArgument, "entry name or object missing, name too long or already present");
        return false;
    }
    return Append(name, object);
}

bool CNamedDataTable::Remove(const char* name)
{
    const int32_t index = name != nullptr ? IndexOf(name) : -1;
    if (index < 0)
        return false;
    CNamedDataEntry* entry = m_entries[index];
    entry->Release();
    delete entry;
    for (uint32_t i = uint32_t(index) + 1; i < m_count; ++i)
        m_entries[i - 1] = m_entries[i];
    --m_count;
    return true;
}

} // namespace Zelk
