// ".AIS" files: one configuration tree and the binary blocks that go with it.
//
// Layout (little-endian): the 14 characters "OLAI .AIS FILE", the version (u32,
// 1), the root node as a chunk tree, then one raw-data chunk per "RawData" node
// in depth-first, child order. Chunks have the 12-byte header {type, body size,
// stamp}:
//   0x10001 inner node: a struct chunk (type 1, 260 bytes: name[128], key[128],
//           child count u32), then the children's chunks;
//   0x10002 leaf: 256 bytes: key[128], value[128];
//   0x10003 raw-data marker: 4 bytes; a leaf "RawData" whose block follows later;
//   0x10004 raw-data block: the bytes.
// String fields hold NUL-terminated text of at most 127 characters; an empty
// name field is a node without a name. Unknown chunk types are skipped by their size.
//
// The file is read strictly forwards: blocks must be opened in increasing order,
// each at most once; opening a later block skips the ones between, and a block
// already passed cannot be opened again.
#pragma once

#include "ai/runtime/data_source.h"

#include <cstddef>
#include <cstdint>

struct Stream; // the engine's chunked stream

namespace Zelk {

inline constexpr char kAisMagic[14] = {'O', 'L', 'A', 'I', ' ', '.', 'A', 'I', 'S', ' ', 'F', 'I', 'L', 'E'};
inline constexpr uint32_t kAisVersion = 1;
inline constexpr uint32_t kAisChunkStruct = 1;
inline constexpr uint32_t kAisChunkNode = 0x10001;
inline constexpr uint32_t kAisChunkLeaf = 0x10002;
inline constexpr uint32_t kAisChunkRawMarker = 0x10003;
inline constexpr uint32_t kAisChunkRawData = 0x10004;
inline constexpr uint32_t kAisStringField = 128;
inline constexpr uint32_t kAisNodeStructSize = 2 * kAisStringField + 4;
inline constexpr uint32_t kAisLeafSize = 2 * kAisStringField;
/// The stamp every writer of the system puts into chunk headers (version 0x37002, build 0x16).
inline constexpr uint32_t kAisChunkStamp = 0x1C020016;

/// The bytes the reader consumes, strictly forwards.
class CAisInput : public CAiObject
{
  public:
    virtual ~CAisInput() = default;
    /// Reads up to n bytes; returns the count read (less at the end).
    virtual uint32_t Read(void* buffer, uint32_t n) = 0;
    /// Skips n bytes; false when fewer remain.
    virtual bool Skip(uint32_t n) = 0;
};

/// Input over a block of memory (not owned).
class CMemoryAisInput : public CAisInput
{
  public:
    CMemoryAisInput(const void* data, std::size_t size)
        : m_data(static_cast<const uint8_t*>(data)), m_size(size)
    {
    }
    uint32_t Read(void* buffer, uint32_t n) override;
    bool Skip(uint32_t n) override;

  private:
    const uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

class CAisReader : public CDataSource
{
  public:
    /// Empties the raw-data handle pool and resets the block counter.
    CAisReader();
    ~CAisReader() override;

    /// Reads an ".AIS" file from the engine's stream into root. The stream must stay open
    /// while raw data may still be read (at least until AiCreateWorld returns).
    bool Load(Stream* stream, CConfigNode* root);
    /// Reads from input (kept, not owned: it must outlive the reading of raw data).
    /// False on wrong magic or version, a malformed or truncated tree (root then holds what
    /// was read), or more "RawData" nodes than raw-data handles.
    bool Load(CAisInput* input, CConfigNode* root);
    /// Why the last Load failed, with the byte offset reached ("" after success).
    const char* GetLastError() const { return m_error; }

    bool OpenRawData(CConfigNode* node) override;
    uint32_t ReadRawData(CConfigNode* node, void* buffer, uint32_t size) override;
    void CloseRawData(CConfigNode* node) override;
    uint32_t GetRawDataSize(CConfigNode* node) override;

    /// Sequence number of the next block in the file.
    uint32_t GetBlockCounter() const { return m_blockCounter; }

  protected:
    virtual bool ReadNode(CConfigNode* node, int depth);

  private:
    /// Records `why` and the offset reached, once: "<why> at byte <offset>".
    bool Fail(const char* why);
    /// Reads from the input, counting the offset.
    uint32_t Take(void* buffer, uint32_t n);
    bool ReadHeader(uint32_t* type, uint32_t* size);
    bool ReadString(const uint8_t* field, CConfigNode* node, bool (CConfigNode::*set)(const char*));

    CConfigNode* m_root = nullptr;
    CAisInput* m_input = nullptr;
    CAisInput* m_ownedInput = nullptr;
    uint32_t m_remaining = 0;
    uint32_t m_size = 0;
    uint32_t m_blockCounter = 0;
    uint32_t m_rawCount = 0;
    const CConfigNode* m_openNode = nullptr;
    uint64_t m_offset = 0; ///< bytes of the file read so far
    char m_error[160] = {};
};

/// Wraps the engine's stream (not owned) as reader input; null for a null stream.
CAisInput* NewStreamAisInput(Stream* stream);

} // namespace Zelk
