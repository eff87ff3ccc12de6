#include "ai/navigation/script_manager.h"

#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_files.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/data_source.h"
#include "ai/runtime/world.h"

#include <cstring>
#include <vector>

namespace Zelk {

namespace {

CGlobalService* CreateScriptManager()
{
    return new CScriptManager();
}

} // namespace

CGlobalServiceClassRecord CScriptManager::s_classRecord("CScriptManager", &CreateScriptManager);

CScript::CScript(const CScript& other) : CAiObject()
{
    SetText(other.m_text, other.m_length);
}

CScript& CScript::operator=(const CScript& other)
{
    if (this != &other)
        SetText(other.m_text, other.m_length);
    return *this;
}

CScript::~CScript()
{
    Clear();
}

void CScript::Clear()
{
    AiFree(m_text);
    m_text = nullptr;
    m_length = 0;
}

bool CScript::SetText(const char* text, uint32_t length)
{
    Clear();
    if (text == nullptr || length == 0)
        return true;
    m_text = static_cast<char*>(AiAlloc(size_t(length) + 1));
    if (m_text == nullptr) {
        NavSetError(ENavError::NoMemory, "no memory for a script");
        return false;
    }
    std::memcpy(m_text, text, length);
    m_text[length] = '\0';
    m_length = length;
    return true;
}

bool CScript::ReadFromRawData(CConfigNode* rawData)
{
    Clear();
    std::vector<uint8_t> bytes;
    if (!NavReadRawData(rawData, bytes))
        return false;
    // A source that announced the block's size must have delivered all of it.
    CWorld* world = GetCurrentWorld();
    CDataSource* source = world != nullptr ? world->GetDataSource() : nullptr;
    const uint32_t announced = source != nullptr ? source->GetRawDataSize(rawData) : 0;
    if (announced > bytes.size()) {
        NavSetError(ENavError::Truncated, "script block ends before its size");
        return false;
    }
    if (bytes.size() > UINT32_MAX) {
        NavSetError(ENavError::BadCount, "script too long");
        return false;
    }
    return SetText(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()));
}

bool CScript::SaveToFile(const char* fileName) const
{
    return NavWriteHostFile(fileName, std::vector<uint8_t>(m_text, m_text + m_length));
}

bool CScript::LoadFromFile(const char* fileName)
{
    // The whole file from its start, however long; no length is taken from a seek.
    std::vector<uint8_t> bytes;
    if (!NavReadHostFile(fileName, bytes))
        return false;
    if (bytes.size() > UINT32_MAX) {
        NavSetError(ENavError::BadCount, "script too long");
        return false;
    }
    return SetText(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()));
}

} // namespace Zelk
