#include "ai/runtime/config_node.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace Zelk {

namespace {

bool ReplaceText(char*& field, const char* text)
{
    char* copy = nullptr;
    if (text) {
        copy = AiStrDup(text);
        if (!copy) {
            return false;
        }
    }
    AiFree(field);
    field = copy;
    return true;
}

bool Same(const char* a, const char* b)
{
    return a && b && std::strcmp(a, b) == 0;
}

} // namespace

CConfigNode::CConfigNode(const CConfigNode& other)
{
    *this = other;
}

CConfigNode& CConfigNode::operator=(const CConfigNode& other)
{
    if (this == &other) {
        return *this;
    }
    Clear();
    m_rawDataSize = other.m_rawDataSize;
    m_rawData = other.m_rawData;
    m_name = AiStrDup(other.m_name);
    m_key = AiStrDup(other.m_key);
    m_value = AiStrDup(other.m_value);
    for (uint32_t i = 0; i < other.m_childCount; ++i) {
        AddChildCopy(*other.m_children[i]);
    }
    return *this;
}

CConfigNode::~CConfigNode()
{
    Clear();
}

void CConfigNode::Clear()
{
    ClearChildren();
    AiFree(m_children);
    m_children = nullptr;
    m_childCapacity = 0;
    AiFree(m_name);
    AiFree(m_key);
    AiFree(m_value);
    m_name = m_key = m_value = nullptr;
}

bool CConfigNode::SetName(const char* text)
{
    return ReplaceText(m_name, text);
}

bool CConfigNode::SetKey(const char* text)
{
    return ReplaceText(m_key, text);
}

bool CConfigNode::SetValue(const char* text)
{
    return ReplaceText(m_value, text);
}

CConfigNode* CConfigNode::GetChild(uint32_t index) const
{
    return index < m_childCount ? m_children[index] : nullptr;
}

CConfigNode* CConfigNode::FindChild(const char* key) const
{
    for (uint32_t i = 0; key && i < m_childCount; ++i) {
        if (Same(m_children[i]->m_key, key)) {
            return m_children[i];
        }
    }
    return nullptr;
}

const char* CConfigNode::GetChildValue(const char* key) const
{
    const CConfigNode* child = FindChild(key);
    return child ? child->m_value : nullptr;
}

CConfigNode* CConfigNode::FindChildByName(const char* name) const
{
    for (uint32_t i = 0; name && i < m_childCount; ++i) {
        if (Same(m_children[i]->m_name, name)) {
            return m_children[i];
        }
    }
    return nullptr;
}

CConfigNode* CConfigNode::FindNamedChild(const char* key, const char* name) const
{
    for (uint32_t i = 0; key && name && i < m_childCount; ++i) {
        if (Same(m_children[i]->m_key, key) && Same(m_children[i]->m_name, name)) {
            return m_children[i];
        }
    }
    return nullptr;
}

bool CConfigNode::AppendChild(CConfigNode* child)
{
    if (m_childCount == m_childCapacity) {
        uint32_t capacity = m_childCapacity ? m_childCapacity * 2 : 8;
        auto* grown = static_cast<CConfigNode**>(AiAlloc(sizeof(CConfigNode*) * capacity));
        if (!grown) {
            return false;
        }
        if (m_childCount) {
            std::memcpy(grown, m_children, sizeof(CConfigNode*) * m_childCount);
        }
        AiFree(m_children);
        m_children = grown;
        m_childCapacity = capacity;
    }
    m_children[m_childCount++] = child;
    return true;
}

CConfigNode* CConfigNode::AddChild()
{
    auto* child = new CConfigNode;
    if (child && !AppendChild(child)) {
        delete child;
        return nullptr;
    }
    return child;
}

CConfigNode* CConfigNode::AddChildCopy(const CConfigNode& node)
{
    auto* child = new CConfigNode(node);
    if (child && !AppendChild(child)) {
        delete child;
        return nullptr;
    }
    return child;
}

void CConfigNode::RemoveChild(CConfigNode* child)
{
    for (uint32_t i = 0; i < m_childCount; ++i) {
        if (m_children[i] == child) {
            std::memmove(m_children + i, m_children + i + 1, sizeof(CConfigNode*) * (m_childCount - i - 1));
            --m_childCount;
            delete child;
            return;
        }
    }
}

void CConfigNode::ClearChildren()
{
    for (uint32_t i = 0; i < m_childCount; ++i) {
        delete m_children[i];
    }
    m_childCount = 0;
}

void DeleteConfigNode(CConfigNode* node)
{
    delete node;
}

CConfigNode* AddConfigChild(CConfigNode* node, const char* name, const char* key, const char* value)
{
    if (!node) {
        return nullptr;
    }
    CConfigNode* child = node->AddChild();
    if (child && !(child->SetName(name) && child->SetKey(key) && child->SetValue(value))) {
        node->RemoveChild(child);
        return nullptr;
    }
    return child;
}

namespace {

locale_t CLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

} // namespace

int32_t ConfigToInt(const char* text, int32_t fallback)
{
    if (!text) {
        return fallback;
    }
    long long v = std::strtoll(text, nullptr, 10);
    if (v > INT32_MAX) {
        return INT32_MAX;
    }
    if (v < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

float ConfigToFloat(const char* text, float fallback)
{
    if (!text) {
        return fallback;
    }
    const float value = strtof_l(text, nullptr, CLocale());
    return std::isfinite(value) ? value : fallback;
}

bool ConfigIsNonFiniteNumber(const char* text)
{
    if (!text) {
        return false;
    }
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    // Read as the float it becomes: 1e39 overflows to infinity.
    char* end = nullptr;
    const float value = strtof_l(text, &end, CLocale());
    if (end == text) {
        return false;
    }
    while (*end != 0 && blank(*end)) {
        ++end;
    }
    return *end == 0 && !std::isfinite(value);
}

} // namespace Zelk
