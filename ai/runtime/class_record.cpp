#include "ai/runtime/class_record.h"

#include "ai/runtime/registries.h"

#include <cstring>

namespace Zelk {

CClassBits& GetClassBits()
{
    static CClassBits bits;
    return bits;
}

uint32_t NextClassBit()
{
    return GetClassBits().Next();
}

uint32_t AiGetClassMask()
{
    return GetClassBits().GetMask();
}

uint32_t CClassBits::Next()
{
    if (m_last & 0x80000000u) {
        return 0;
    }
    m_last <<= 1;
    return m_last;
}

CClassRecord::CClassRecord(CClassRegistry& registry, const char* name, const CClassRecord* parent,
                           bool wantsBit, bool addToMask)
    : m_registry(&registry), m_parent(parent)
{
    std::size_t length = name ? std::strlen(name) : 0;
    if (name && length <= kMaxNameLength) {
        std::memcpy(m_name, name, length + 1);
        m_index = registry.Register(this);
    }
    if (wantsBit) {
        m_classBit = NextClassBit();
        if (addToMask) {
            GetClassBits().AddToMask(m_classBit);
        }
    }
}

CClassRecord::~CClassRecord()
{
    m_registry->Unregister(this);
}

bool CClassRecord::IsA(const CClassRecord* cls) const
{
    for (const CClassRecord* r = this; r; r = r->m_parent) {
        if (r == cls) {
            return true;
        }
    }
    return false;
}

CClassRecord* CClassRegistry::GetRecord(int index) const
{
    return index >= 0 && index < m_count ? m_slots[index] : nullptr;
}

CClassRecord* CClassRegistry::Find(const char* name) const
{
    if (!name) {
        return nullptr;
    }
    for (int i = 0; i < m_count; ++i) {
        if (m_slots[i] && std::strcmp(m_slots[i]->GetName(), name) == 0) {
            return m_slots[i];
        }
    }
    return nullptr;
}

int CClassRegistry::Register(CClassRecord* record)
{
    for (int i = 0; i < m_count; ++i) {
        if (m_slots[i] && std::strcmp(m_slots[i]->GetName(), record->GetName()) == 0) {
            m_slots[i] = record;
            return i;
        }
    }
    if (m_count == kCapacity) {
        return -1;
    }
    m_slots[m_count] = record;
    return m_count++;
}

void CClassRegistry::Unregister(const CClassRecord* record)
{
    int index = record->GetIndex();
    if (index >= 0 && index < m_count && m_slots[index] == record) {
        m_slots[index] = nullptr;
    }
}

} // namespace Zelk
