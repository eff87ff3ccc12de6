// Scripts: raw text blocks that the world's configuration loads by name
// (entry key "Script") and that behaviours look up through CScriptManager.
#pragma once

#include "ai/navigation/named_data_table.h"
#include "ai/runtime/registries.h"

#include <cstdint>

namespace Zelk {

class CConfigNode;

class CScript : public CAiObject
{
  public:
    CScript() = default;
    // Copies the text.
    CScript(const CScript& other);
    CScript& operator=(const CScript& other);
    ~CScript() override;

    // Reads the whole block of the "RawData" node as the text; false when the block cannot be
    // opened or ends before the size it announced. An empty block gives an empty script.
    bool ReadFromRawData(CConfigNode* rawData);
    // Writes or reads the whole text through the host's file functions ("wb", "rb"); false
    // when the file cannot be opened or not every byte was transferred.
    bool SaveToFile(const char* fileName) const;
    bool LoadFromFile(const char* fileName);

    // Replaces the text by a copy of length bytes (a terminator is added); false when out of memory.
    bool SetText(const char* text, uint32_t length);
    // The zero-terminated text, null for an empty script.
    const char* GetText() const { return m_text; }
    // Bytes without the terminator.
    uint32_t GetLength() const { return m_length; }

  private:
    void Clear();

    char* m_text = nullptr;
    uint32_t m_length = 0;
};

class CScriptManager : public CNamedDataTable
{
  public:
    static CGlobalServiceClassRecord s_classRecord;

    CScriptManager() : CNamedDataTable("Script") {}
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    // The script of that name; null when none.
    CScript* GetScript(const char* name) const { return static_cast<CScript*>(Find(name)); }

  protected:
    CAiObject* CreateObject() const override { return new CScript(); }
    bool ReadObject(CAiObject* object, CConfigNode* rawData) const override
    {
        return static_cast<CScript*>(object)->ReadFromRawData(rawData);
    }
};

} // namespace Zelk
