#include "ai/runtime/ais_writer.h"

#include "ai/runtime/ais_reader.h"
#include "ai/runtime/config_node.h"

#include <cstring>

namespace Zelk {

namespace {

bool IsRawData(const CConfigNode& node)
{
    return node.GetChildCount() == 0 && node.GetKey() && std::strcmp(node.GetKey(), "RawData") == 0;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void PutHeader(std::vector<uint8_t>& out, uint32_t type, uint32_t size)
{
    PutU32(out, type);
    PutU32(out, size);
    PutU32(out, kAisChunkStamp);
}

std::string Path(const std::string& parent, const CConfigNode& node)
{
    return parent + "/" + (node.GetKey() ? node.GetKey() : "?");
}

class Writer
{
  public:
    Writer(AisRawDataProvider provider, void* user, std::string* error, std::vector<std::string>* warnings)
        : m_provider(provider), m_user(user), m_error(error), m_warnings(warnings)
    {
    }

    bool PutString(std::vector<uint8_t>& out, const char* text, const std::string& where)
    {
        std::size_t n = text ? std::strlen(text) : 0;
        if (n >= kAisStringField) {
            return Fail(where + ": text longer than 127 characters");
        }
        std::size_t at = out.size();
        out.resize(at + kAisStringField, 0);
        if (n) {
            std::memcpy(out.data() + at, text, n);
        }
        return true;
    }

    bool Node(std::vector<uint8_t>& out, const CConfigNode& node, const std::string& parent)
    {
        std::string where = Path(parent, node);
        if (IsRawData(node)) {
            std::vector<uint8_t> block;
            if (!m_provider || !m_provider(&node, &block, m_user)) {
                return Fail(where + ": raw data \"" + (node.GetValue() ? node.GetValue() : "") +
                            "\" cannot be read");
            }
            if (block.size() > UINT32_MAX - 12) {
                return Fail(where + ": raw data too large");
            }
            PutHeader(out, kAisChunkRawMarker, 4);
            PutU32(out, static_cast<uint32_t>(m_blocks.size()));
            m_blocks.push_back(std::move(block));
            return true;
        }
        if (node.GetChildCount() == 0) {
            if (node.GetName()) {
                Warn(where + ": the name \"" + node.GetName() + "\" of a leaf is not kept");
            }
            PutHeader(out, kAisChunkLeaf, kAisLeafSize);
            return PutString(out, node.GetKey(), where) && PutString(out, node.GetValue(), where);
        }
        if (node.GetValue() && node.GetValue()[0]) {
            Warn(where + ": the value of a node with children is not kept");
        }
        std::size_t header = out.size();
        PutHeader(out, kAisChunkNode, 0);
        PutHeader(out, kAisChunkStruct, kAisNodeStructSize);
        if (!PutString(out, node.GetName(), where) || !PutString(out, node.GetKey(), where)) {
            return false;
        }
        PutU32(out, node.GetChildCount());
        for (uint32_t i = 0; i < node.GetChildCount(); ++i) {
            if (!Node(out, *node.GetChild(i), where)) {
                return false;
            }
        }
        std::size_t body = out.size() - header - 12;
        if (body > UINT32_MAX) {
            return Fail(where + ": node too large");
        }
        for (int i = 0; i < 4; ++i) {
            out[header + 4 + i] = static_cast<uint8_t>(body >> (8 * i));
        }
        return true;
    }

    void PutBlocks(std::vector<uint8_t>& out)
    {
        for (const std::vector<uint8_t>& block : m_blocks) {
            PutHeader(out, kAisChunkRawData, static_cast<uint32_t>(block.size()));
            out.insert(out.end(), block.begin(), block.end());
        }
    }

  private:
    bool Fail(const std::string& why)
    {
        if (m_error && m_error->empty()) {
            *m_error = why;
        }
        return false;
    }
    void Warn(const std::string& what)
    {
        if (m_warnings) {
            m_warnings->push_back(what);
        }
    }

    AisRawDataProvider m_provider;
    void* m_user;
    std::string* m_error;
    std::vector<std::string>* m_warnings;
    std::vector<std::vector<uint8_t>> m_blocks;
};

bool HasAny(const char* text, const char* characters)
{
    return text && std::strpbrk(text, characters) != nullptr;
}

bool WriteText(const CConfigNode& node, int depth, std::string* out, std::string* error)
{
    const char* key = node.GetKey();
    if (!key || !key[0] || HasAny(key, " \t\r\n<>\"")) {
        *error = std::string("key \"") + (key ? key : "") + "\" cannot be written as text";
        return false;
    }
    if (HasAny(node.GetName(), "\">")) {
        *error = std::string("name \"") + node.GetName() + "\" cannot be written as text";
        return false;
    }
    std::string indent(2 * depth, ' ');
    *out += indent + "<" + key;
    if (node.GetName()) {
        *out += std::string(" \"") + node.GetName() + "\"";
    }
    *out += ">";
    if (node.GetChildCount() == 0) {
        if (HasAny(node.GetValue(), "<")) {
            *error = std::string("value of \"") + key + "\" holds '<' and cannot be written as text";
            return false;
        }
        *out += std::string(node.GetValue() ? node.GetValue() : "") + "</" + key + ">\n";
        return true;
    }
    *out += "\n";
    for (uint32_t i = 0; i < node.GetChildCount(); ++i) {
        if (!WriteText(*node.GetChild(i), depth + 1, out, error)) {
            return false;
        }
    }
    *out += indent + "</" + key + ">\n";
    return true;
}

void Collect(const CConfigNode& node, std::vector<const CConfigNode*>* nodes)
{
    if (IsRawData(node)) {
        nodes->push_back(&node);
    }
    for (uint32_t i = 0; i < node.GetChildCount(); ++i) {
        Collect(*node.GetChild(i), nodes);
    }
}

} // namespace

bool AisWriteTree(const CConfigNode& root, AisRawDataProvider provider, void* user, std::vector<uint8_t>* out,
                  std::string* error, std::vector<std::string>* warnings)
{
    std::string localError;
    std::string* err = error ? error : &localError;
    err->clear();
    out->assign(kAisMagic, kAisMagic + sizeof kAisMagic);
    PutU32(*out, kAisVersion);
    Writer writer(provider, user, err, warnings);
    if (!writer.Node(*out, root, "")) {
        return false;
    }
    writer.PutBlocks(*out);
    return true;
}

bool WriteConfigText(const CConfigNode& root, std::string* out, std::string* error)
{
    std::string localError;
    out->clear();
    return WriteText(root, 0, out, error ? error : &localError);
}

void CollectRawDataNodes(const CConfigNode& root, std::vector<const CConfigNode*>* nodes)
{
    Collect(root, nodes);
}

} // namespace Zelk
