#pragma once
// Streams: the one sequential byte channel through which everything the
// engine saves or loads passes. A stream reads or writes an open file, a
// file named by a path, a block of memory (growing as it is written), or four
// functions supplied by the caller. Chunks (chunk.h) sit on top.
//
// Streams opened with StreamOpen come from the stream module's free list and
// need the engine started; StreamInit works on a caller's record.

#include <cstddef>
#include <cstdint>

struct FileSlot;

/// Stream kinds.
constexpr uint32_t kStreamFile = 1;      ///< an open file (FileSlot*), left open at close
constexpr uint32_t kStreamFileName = 2;  ///< a path, opened and closed by the stream
constexpr uint32_t kStreamMemory = 3;    ///< a block of memory (StreamMemory)
constexpr uint32_t kStreamCallbacks = 4; ///< caller functions (StreamCallbacks)

/// Stream access.
constexpr uint32_t kStreamRead = 1;
constexpr uint32_t kStreamWrite = 2;
constexpr uint32_t kStreamAppend = 3;

/// A memory block: what a memory stream reads or appends to, and what
/// closing a written memory stream hands back (the caller then owns the block
/// and frees it with MemoryFree).
struct StreamMemory
{
    uint8_t* block;
    size_t length;
};

/// Caller functions of a kStreamCallbacks stream, each called with `data`
/// first. read answers the bytes read; write and skip answer non-zero
/// (negative included) on success. close may be null.
struct StreamCallbacks
{
    void (*close)(void* data);
    size_t (*read)(void* data, void* buffer, size_t n);
    int32_t (*write)(void* data, const void* buffer, size_t n);
    int32_t (*skip)(void* data, size_t n);
    void* data;
};

struct StreamMemoryState
{
    size_t position; ///< bytes read or written so far
    size_t length;   ///< bytes that can be read (read, append) or capacity (write)
    uint8_t* block;
};

struct Stream
{
    uint32_t kind;
    uint32_t access;
    uint32_t reserved;
    union {
        FileSlot* file;
        StreamMemoryState memory;
        StreamCallbacks callbacks;
    };
    uint32_t allocatedByOpen; ///< 1: the record goes back to the free list at close
};

/// Free-list entries per block and blocks to preallocate; call before EngineInit.
void StreamSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Opens a stream; `arg` is the FileSlot* (kind 1), the path (kind 2), a
/// StreamMemory* (kind 3) or a StreamCallbacks* (kind 4). Null on failure:
/// plain error 14 for a bad kind, 13 for a bad access, kErrorFileOpen for a
/// path that cannot be opened, kErrorOutOfMemory.
Stream* StreamOpen(uint32_t kind, uint32_t access, const void* arg);
/// StreamOpen on a caller's record; `allocatedByOpen` says whether close
/// gives the record back to the stream free list.
Stream* StreamInit(Stream* stream, bool allocatedByOpen, uint32_t kind, uint32_t access, const void* arg);
/// Closes the stream. A written memory stream hands {block, bytes written} to
/// `out` when given (else its block is freed). False for a bad kind or a
/// file that fails to close.
bool StreamClose(Stream* stream, StreamMemory* out);
/// Reads up to n bytes; the count read. Fewer than n raises plain error 5 at
/// the end of the data, kErrorRead otherwise.
size_t StreamRead(Stream* stream, void* buffer, size_t n);
/// Writes n bytes; the stream, or null (kErrorWrite, kErrorOutOfMemory).
Stream* StreamWrite(Stream* stream, const void* buffer, size_t n);
/// Skips n bytes; the stream, or null (plain error 5 when that passes the end).
Stream* StreamSkip(Stream* stream, size_t n);
/// Bytes left to read, or -1 when the stream cannot tell (caller functions).
int64_t StreamGetRemaining(const Stream* stream);
/// Bytes from the start of the file or memory block to where the stream
/// stands, or -1 when the stream cannot tell (caller functions).
int64_t StreamGetPosition(const Stream* stream);
