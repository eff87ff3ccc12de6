#include "ai/runtime/ais_reader.h"

#include "ai/runtime/config_node.h"

#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

constexpr int kMaxDepth = 256;
constexpr uint32_t kSkipPiece = 4096;

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

// ---- CMemoryAisInput ---------------------------------------------------------------

uint32_t CMemoryAisInput::Read(void* buffer, uint32_t n)
{
    std::size_t left = m_size - m_position;
    uint32_t count = n < left ? n : static_cast<uint32_t>(left);
    if (count) {
        std::memcpy(buffer, m_data + m_position, count);
    }
    m_position += count;
    return count;
}

bool CMemoryAisInput::Skip(uint32_t n)
{
    std::size_t left = m_size - m_position;
    if (n > left) {
        m_position = m_size;
        return false;
    }
    m_position += n;
    return true;
}

// ---- CAisReader ----------------------------------------------------------------------

CAisReader::CAisReader()
{
    AiResetRawDataHandles();
}

CAisReader::~CAisReader()
{
    delete m_ownedInput;
}

bool CAisReader::Fail(const char* why)
{
    if (m_error[0] == 0) {
        std::snprintf(m_error, sizeof m_error, "%s at byte %llu", why,
                      static_cast<unsigned long long>(m_offset));
    }
    return false;
}

uint32_t CAisReader::Take(void* buffer, uint32_t n)
{
    const uint32_t got = m_input->Read(buffer, n);
    m_offset += got;
    return got;
}

bool CAisReader::ReadHeader(uint32_t* type, uint32_t* size)
{
    uint8_t header[12];
    if (!m_input || Take(header, sizeof header) != sizeof header) {
        return false;
    }
    *type = ReadU32(header);
    *size = ReadU32(header + 4);
    return true;
}

bool CAisReader::ReadString(const uint8_t* field, CConfigNode* node, bool (CConfigNode::*set)(const char*))
{
    // At most 127 characters, whether or not the field holds a terminator.
    char text[kAisStringField];
    std::memcpy(text, field, kAisStringField - 1);
    text[kAisStringField - 1] = 0;
    return (node->*set)(text) || Fail("out of memory");
}

bool CAisReader::Load(CAisInput* input, CConfigNode* root)
{
    m_error[0] = 0;
    m_offset = 0;
    m_input = input;
    m_root = root;
    m_remaining = m_size = 0;
    m_openNode = nullptr;
    m_rawCount = 0;
    if (!input || !root) {
        return Fail("no input");
    }
    char magic[sizeof kAisMagic];
    if (Take(magic, sizeof magic) != sizeof magic || std::memcmp(magic, kAisMagic, sizeof magic) != 0) {
        return Fail("not an .AIS file (wrong magic)");
    }
    uint8_t version[4];
    if (Take(version, 4) != 4) {
        return Fail("truncated before the version");
    }
    if (ReadU32(version) != kAisVersion) {
        return Fail("unsupported .AIS version");
    }
    bool ok = ReadNode(root, 0);
    // The stream now stands at the first raw-data chunk.
    m_blockCounter = 0;
    return ok;
}

bool CAisReader::ReadNode(CConfigNode* node, int depth)
{
    if (depth > kMaxDepth) {
        return Fail("nodes nested too deeply");
    }
    uint32_t type, size;
    if (!ReadHeader(&type, &size)) {
        return Fail("truncated chunk header");
    }
    switch (type) {
    case kAisChunkNode: {
        uint32_t structType, structSize;
        if (!ReadHeader(&structType, &structSize)) {
            return Fail("truncated node header");
        }
        if (structType != kAisChunkStruct || structSize != kAisNodeStructSize) {
            return Fail("node without its 260-byte struct chunk");
        }
        uint8_t body[kAisNodeStructSize];
        if (Take(body, sizeof body) != sizeof body) {
            return Fail("truncated node");
        }
        // An empty name field is a node without a name, as in the text it came from.
        if ((body[0] != 0 && !ReadString(body, node, &CConfigNode::SetName)) ||
            !ReadString(body + kAisStringField, node, &CConfigNode::SetKey)) {
            return false;
        }
        uint32_t children = ReadU32(body + 2 * kAisStringField);
        for (uint32_t i = 0; i < children; ++i) {
            CConfigNode* child = node->AddChild();
            if (!child) {
                return Fail("out of memory");
            }
            if (!ReadNode(child, depth + 1)) {
                return false;
            }
        }
        return true;
    }
    case kAisChunkLeaf: {
        if (size != kAisLeafSize) {
            return Fail("leaf chunk of the wrong size");
        }
        uint8_t body[kAisLeafSize];
        if (Take(body, sizeof body) != sizeof body) {
            return Fail("truncated leaf");
        }
        if (!ReadString(body, node, &CConfigNode::SetKey) ||
            !ReadString(body + kAisStringField, node, &CConfigNode::SetValue)) {
            return false;
        }
        // As the text compiler: a number that is not a finite float is refused.
        if (ConfigIsNonFiniteNumber(node->GetValue())) {
            char why[128];
            std::snprintf(why, sizeof why, "<%.32s> holds \"%.32s\", which is not a finite number",
                          node->GetKey(), node->GetValue());
            return Fail(why);
        }
        return true;
    }
    case kAisChunkRawMarker: {
        uint8_t body[4];
        if (size != sizeof body || Take(body, sizeof body) != sizeof body) {
            return Fail("truncated raw-data marker");
        }
        if (!node->SetKey("RawData")) {
            return Fail("out of memory");
        }
        CRawDataHandle* handle = AiTakeRawDataHandle();
        if (!handle) {
            return Fail("more raw-data nodes than raw-data handles");
        }
        handle->inMemory = 0;
        handle->sequence = m_rawCount++;
        node->SetRawData(handle, 0);
        return true;
    }
    default:
        // An unknown chunk: skip its body so the next chunk is read from its start.
        if (!m_input->Skip(size)) {
            return Fail("truncated unknown chunk");
        }
        m_offset += size;
        return true;
    }
}

bool CAisReader::OpenRawData(CConfigNode* node)
{
    m_remaining = m_size = 0;
    m_openNode = nullptr;
    CRawDataHandle* handle = node ? node->GetRawData() : nullptr;
    if (!handle) {
        return false;
    }
    if (handle->inMemory) {
        m_remaining = m_size = node->GetRawDataSize();
        m_openNode = node;
        return true;
    }
    // A block already passed cannot be served: refuse before touching the stream.
    if (handle->sequence < m_blockCounter || !m_input) {
        return false;
    }
    for (;;) {
        uint32_t type, size;
        if (!ReadHeader(&type, &size) || type != kAisChunkRawData) {
            return false;
        }
        m_remaining = m_size = size;
        uint32_t number = m_blockCounter++;
        if (number == handle->sequence) {
            m_openNode = node;
            return true;
        }
        // A block between the last one and the wanted one: skip it.
        m_openNode = node;
        CloseRawData(node);
    }
}

uint32_t CAisReader::ReadRawData(CConfigNode* node, void* buffer, uint32_t size)
{
    CRawDataHandle* handle = node ? node->GetRawData() : nullptr;
    if (!handle || node != m_openNode || !buffer) {
        return 0;
    }
    uint32_t n = size < m_remaining ? size : m_remaining;
    if (handle->inMemory) {
        std::memcpy(buffer, static_cast<const uint8_t*>(handle->data) + (m_size - m_remaining), n);
        m_remaining -= n;
        return n;
    }
    uint32_t got = Take(buffer, n);
    m_remaining -= got;
    if (got < n) {
        m_remaining = 0; // the file ends inside the block
    }
    return got;
}

void CAisReader::CloseRawData(CConfigNode* node)
{
    CRawDataHandle* handle = node ? node->GetRawData() : nullptr;
    if (handle && !handle->inMemory && node == m_openNode && m_input) {
        uint8_t scratch[kSkipPiece];
        while (m_remaining > 0) {
            uint32_t piece = m_remaining < kSkipPiece ? m_remaining : kSkipPiece;
            uint32_t got = Take(scratch, piece);
            m_remaining = got == piece ? m_remaining - piece : 0;
        }
    }
    m_remaining = m_size = 0;
    m_openNode = nullptr;
}

uint32_t CAisReader::GetRawDataSize(CConfigNode*)
{
    return m_size;
}

} // namespace Zelk
