#include "ai/runtime/text_config.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/host.h"

#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Tag
{
    bool closing = false;
    char key[kMaxConfigKeyLength + 1] = {};
    char name[kMaxConfigNameLength + 1] = {};
    bool hasName = false;
};

class Parser
{
  public:
    Parser(const char* text, std::size_t length, CConfigError* error)
        : m_text(text), m_end(length), m_error(error)
    {
    }

    bool ParseRoot(CConfigNode* root)
    {
        Tag tag;
        std::size_t pos = 0;
        if (!NextTag(pos, tag)) {
            return false;
        }
        if (tag.closing) {
            return Fail(m_tagStart, "closing tag </%s> before any element", tag.key);
        }
        if (!root->SetKey(tag.key) || !root->SetName(tag.hasName ? tag.name : nullptr)) {
            return Fail(m_tagStart, "out of memory");
        }
        if (!ParseContent(pos, tag.key, m_tagStart, root, 0)) {
            return false;
        }
        // Only blanks may follow the root element; anything else would be dropped unseen.
        for (; pos < m_end; ++pos) {
            if (!IsBlank(m_text[pos])) {
                return Fail(pos, "text after the root element </%s>", tag.key);
            }
        }
        return true;
    }

    // A NUL byte would cut a value short without a word: refuse the text instead.
    bool CheckNoNulByte()
    {
        if (m_end == 0) {
            return Fail(0, "the text ends before its root element (it is empty)");
        }
        const void* nul = std::memchr(m_text, '\0', m_end);
        return !nul || Fail(std::size_t(static_cast<const char*>(nul) - m_text), "NUL byte in the text");
    }

  private:
    static constexpr int kMaxDepth = 256;

    template <class... Args> bool Fail(std::size_t at, const char* format, Args... args)
    {
        if (m_error && m_error->message[0] == 0) {
            int line = 1;
            for (std::size_t i = 0; i < at && i < m_end; ++i) {
                line += m_text[i] == '\n';
            }
            m_error->line = line;
            std::snprintf(m_error->message, sizeof m_error->message, format, args...);
        }
        return false;
    }

    // Finds the next tag at or after pos; pos moves past its '>'.
    bool NextTag(std::size_t& pos, Tag& tag)
    {
        const void* lt = pos < m_end ? std::memchr(m_text + pos, '<', m_end - pos) : nullptr;
        if (!lt) {
            return Fail(m_end, "text ends inside an element");
        }
        std::size_t open = static_cast<const char*>(lt) - m_text;
        m_tagStart = open;
        const void* gt = std::memchr(m_text + open, '>', m_end - open);
        if (!gt) {
            return Fail(open, "tag without '>'");
        }
        std::size_t close = static_cast<const char*>(gt) - m_text;
        if (!SplitTag(open + 1, close, tag)) {
            return false;
        }
        pos = close + 1;
        return true;
    }

    bool SplitTag(std::size_t begin, std::size_t end, Tag& tag)
    {
        tag = Tag{};
        std::size_t i = begin;
        if (i < end && m_text[i] == '/') {
            tag.closing = true;
            ++i;
        }
        std::size_t keyStart = i;
        while (i < end && !IsBlank(m_text[i])) {
            ++i;
        }
        std::size_t keyLength = i - keyStart;
        if (keyLength == 0) {
            return Fail(begin, "tag without a key");
        }
        if (keyLength > kMaxConfigKeyLength) {
            return Fail(begin, "key longer than %d characters", int(kMaxConfigKeyLength));
        }
        std::memcpy(tag.key, m_text + keyStart, keyLength);
        const void* q1 = std::memchr(m_text + i, '"', end - i);
        if (!q1) {
            return true;
        }
        std::size_t nameStart = static_cast<const char*>(q1) - m_text + 1;
        const void* q2 = std::memchr(m_text + nameStart, '"', end - nameStart);
        if (!q2) {
            return Fail(nameStart, "name without its closing '\"' in <%s>", tag.key);
        }
        std::size_t nameLength = static_cast<const char*>(q2) - m_text - nameStart;
        if (nameLength > kMaxConfigNameLength) {
            return Fail(nameStart, "name longer than %d characters in <%s>", int(kMaxConfigNameLength),
                        tag.key);
        }
        std::memcpy(tag.name, m_text + nameStart, nameLength);
        tag.hasName = true;
        return true;
    }

    // Parses the content of node (whose opening tag had key expected) from pos
    // up to and including its closing tag.
    // opened is where the element's opening tag starts, for the message when it never closes.
    bool ParseContent(std::size_t& pos, const char* expected, std::size_t opened, CConfigNode* node,
                      int depth)
    {
        if (depth > kMaxDepth) {
            return Fail(pos, "elements nested deeper than %d", kMaxDepth);
        }
        std::size_t contentStart = pos;
        for (;;) {
            Tag tag;
            if (pos >= m_end || !std::memchr(m_text + pos, '<', m_end - pos)) {
                return Fail(opened, "the text ends inside <%s>, which is never closed", expected);
            }
            if (!NextTag(pos, tag)) {
                return false;
            }
            if (tag.closing) {
                if (std::strcmp(tag.key, expected) != 0) {
                    return Fail(m_tagStart, "closing tag </%s> does not match <%s>", tag.key, expected);
                }
                if (node->GetChildCount() == 0 && !SetValue(node, contentStart, m_tagStart)) {
                    return Fail(contentStart, "out of memory");
                }
                if (node->GetChildCount() == 0 && ConfigIsNonFiniteNumber(node->GetValue())) {
                    return Fail(contentStart, "<%s> holds \"%s\", which is not a finite number", expected,
                                node->GetValue());
                }
                return true;
            }
            CConfigNode* child = node->AddChild();
            if (!child || !child->SetKey(tag.key)) {
                return Fail(m_tagStart, "out of memory");
            }
            if (!ParseContent(pos, tag.key, m_tagStart, child, depth + 1)) {
                return false;
            }
            if (child->GetChildCount() > 0 && tag.hasName && !child->SetName(tag.name)) {
                return Fail(pos, "out of memory");
            }
        }
    }

    bool SetValue(CConfigNode* node, std::size_t begin, std::size_t end)
    {
        std::size_t n = end - begin;
        char* value = static_cast<char*>(AiAlloc(n + 1));
        if (!value) {
            return false;
        }
        std::memcpy(value, m_text + begin, n);
        value[n] = 0;
        bool ok = node->SetValue(value);
        AiFree(value);
        return ok;
    }

    const char* m_text;
    std::size_t m_end;
    CConfigError* m_error;
    std::size_t m_tagStart = 0;
};

// The raw block of a text configuration's "RawData" node: the whole file, read at open.
struct TextRawBlock
{
    unsigned char* bytes;
    uint32_t size;
    uint32_t position;
};

// Reads a whole file through the host's functions into one block; null when it cannot be opened.
unsigned char* ReadWholeFile(const char* fileName, const char* mode, std::size_t limit, std::size_t* size)
{
    const AiRuntimeSettings& s = AiGetSettings();
    *size = 0;
    if (!fileName || !s.fileOpen || !s.fileRead || !s.fileClose) {
        return nullptr;
    }
    void* file = s.fileOpen(fileName, mode);
    if (!file) {
        return nullptr;
    }
    unsigned char* block = nullptr;
    std::size_t total = 0;
    bool ok = true;
    for (;;) {
        constexpr std::size_t kPiece = 1024;
        auto* grown = static_cast<unsigned char*>(AiAlloc(total + kPiece + 1));
        if (!grown) {
            ok = false;
            break;
        }
        if (total) {
            std::memcpy(grown, block, total);
        }
        AiFree(block);
        block = grown;
        std::size_t n = s.fileRead(block + total, 1, kPiece, file);
        total += n > kPiece ? kPiece : n;
        if (n < kPiece || total > limit) {
            break;
        }
    }
    s.fileClose(file);
    if (!ok) {
        AiFree(block);
        return nullptr;
    }
    *size = total;
    return block;
}

} // namespace

bool ParseConfigText(const char* text, std::size_t length, CConfigNode* root, CConfigError* error)
{
    if (error) {
        *error = CConfigError{};
    }
    Parser parser(text, text ? length : 0, error);
    if (!root) {
        return false;
    }
    if (length > kMaxConfigTextLength) {
        if (error) {
            std::snprintf(error->message, sizeof error->message, "text longer than %zu bytes",
                          kMaxConfigTextLength);
        }
        return false;
    }
    return parser.CheckNoNulByte() && parser.ParseRoot(root);
}

bool CTextConfigSource::Load(const char* fileName, CConfigNode* root)
{
    m_error = CConfigError{};
    std::size_t size = 0;
    unsigned char* text = ReadWholeFile(fileName, "rt", kMaxConfigTextLength, &size);
    if (!text || size == 0) {
        std::snprintf(m_error.message, sizeof m_error.message, "%s: %s", fileName ? fileName : "(null)",
                      text ? "empty file" : "cannot open");
        AiFree(text);
        return false;
    }
    bool ok = ParseConfigText(reinterpret_cast<const char*>(text), size, root, &m_error);
    AiFree(text);
    return ok;
}

bool CTextConfigSource::OpenRawData(CConfigNode* node)
{
    if (!node || !node->GetValue()) {
        return false;
    }
    CloseRawData(node);
    std::size_t size = 0;
    unsigned char* bytes = ReadWholeFile(node->GetValue(), "rb", UINT32_MAX - 2048, &size);
    if (!bytes) {
        return false;
    }
    auto* block = static_cast<TextRawBlock*>(AiAlloc(sizeof(TextRawBlock)));
    if (!block) {
        AiFree(bytes);
        return false;
    }
    *block = TextRawBlock{bytes, static_cast<uint32_t>(size), 0};
    node->SetRawFile(block);
    return true;
}

uint32_t CTextConfigSource::ReadRawData(CConfigNode* node, void* buffer, uint32_t size)
{
    auto* block = node ? static_cast<TextRawBlock*>(node->GetRawFile()) : nullptr;
    if (!block || !buffer) {
        return 0;
    }
    uint32_t n = block->size - block->position;
    n = size < n ? size : n;
    std::memcpy(buffer, block->bytes + block->position, n);
    block->position += n;
    return n;
}

void CTextConfigSource::CloseRawData(CConfigNode* node)
{
    auto* block = node ? static_cast<TextRawBlock*>(node->GetRawFile()) : nullptr;
    if (!block) {
        return;
    }
    AiFree(block->bytes);
    AiFree(block);
    node->SetRawFile(nullptr);
}

uint32_t CTextConfigSource::GetRawDataSize(CConfigNode* node)
{
    auto* block = node ? static_cast<TextRawBlock*>(node->GetRawFile()) : nullptr;
    return block ? block->size : 0;
}

} // namespace Zelk
