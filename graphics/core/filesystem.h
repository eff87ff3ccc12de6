#pragma once
// File systems. Every file the engine, the 2-D toolkit and the AI read or
// write goes through the file-system manager: a list of named FileSystem
// records, each with a device name and a fixed number of file slots, and
// functions shaped like the C library's fopen, fclose, fread, fwrite, fseek,
// ftell, feof, fgets and fputs.
//
// A file name that begins with a registered device name ending in ':'
// ("data:models/a.dff") goes to the file system with that device name
// (compared ignoring case); every other name goes to the default file system.
// Names may use '\' or '/' and any letter case (see win32filesystem.h).
//
// Only the choice and the release of a file slot are locked, so files may be
// opened and closed from several threads; transfers on one slot belong to
// one user at a time.

#include <cstddef>
#include <cstdint>

struct FileSystem;
struct FileSlot;

/// File-slot states.
constexpr uint32_t kFileSlotFree = 1;
constexpr uint32_t kFileSlotIdle = 2;    ///< open, no transfer pending
constexpr uint32_t kFileSlotPending = 3; ///< transfer pending (or busy)
constexpr uint32_t kFileSlotFailed = 4;  ///< the last transfer failed
constexpr uint32_t kFileSlotOpening = 5;

/// Pending operations of asynchronous slots.
constexpr uint32_t kFileOpNone = 1;
constexpr uint32_t kFileOpOpen = 2;
constexpr uint32_t kFileOpSeek = 4;
constexpr uint32_t kFileOpRead = 5;

/// Access bits given to open.
constexpr uint32_t kFileAccessRead = 1;
constexpr uint32_t kFileAccessWrite = 2;
constexpr uint32_t kFileAccessCreate = 4;
constexpr uint32_t kFileAccessAppend = 8;
constexpr uint32_t kFileAccessAsync = 16;

/// Seek modes of the file-system operation (FileSystemManagerFSeek takes 0/1/2).
constexpr int32_t kFileSeekBegin = 1;
constexpr int32_t kFileSeekCurrent = 2;
constexpr int32_t kFileSeekEnd = 3;

/// Codes given to the manager's error callback (and kept as its last error).
constexpr uint32_t kFileErrorNoFileSystem = 4;      ///< no file system given
constexpr uint32_t kFileErrorTooMany = 5;           ///< the maximum number of file systems is reached
constexpr uint32_t kFileErrorNotFound = 6;          ///< no such file system, and no default
constexpr uint32_t kFileErrorAlreadyRegistered = 7; ///< name or device name already registered
constexpr uint32_t kFileErrorNoFreeSlot = 8;        ///< every file slot is in use

/// Results of a file system's open operation.
constexpr int32_t kFileOpenOk = 1;
constexpr int32_t kFileOpenFailed = 3; ///< the operating system refused the open
constexpr int32_t kFileOpenPathTooLong = 5;

/// Completion of an asynchronous operation: result is the bytes transferred
/// (the position for a seek, the file size for an open).
using FileCompletionCallback = void (*)(FileSlot* slot, uint32_t result, uint32_t state, uint32_t operation,
                                        void* userData);
using FileSystemNotification = void (*)(const char* name);
using FileSystemErrorCallback = void (*)(uint32_t code);

/// An open file: what FileSystemManagerFOpen answers and the FF* functions take.
struct FileSlot
{
    uint64_t size;
    uint64_t position;
    uint32_t async;            ///< 1: overlapped transfers
    uint32_t openedByManager;  ///< 2 after an open through the manager
    uint32_t state;            ///< kFileSlot*
    uint32_t openFlag;         ///< 1 once open
    uint32_t pendingOperation; ///< kFileOp*
    uint32_t bytesTransferred; ///< by the last completed operation
    FileCompletionCallback callback;
    void* userData;
    FileSystem* fileSystem;
    int handle; ///< the operating system's file descriptor, -1 when closed
};

/// A file system: its slots and its ten file operations.
struct FileSystem
{
    FileSystem* next;
    int32_t slotCount;
    uint32_t status;                                     ///< 2 once initialised
    char* deviceName;                                    ///< allocated; freed with the file system
    uint32_t async;                                      ///< every file opened for overlapped transfers
    FileSlot* (*getSlot)(FileSystem* fs, int32_t index); ///< null past the slot count
    void (*destroy)(FileSystem* fs);                     ///< releases the file system's own storage
    FileSystemNotification registered;
    FileSystemNotification unregistered;
    /// kFileOpenOk or an error number.
    int32_t (*open)(FileSystem* fs, FileSlot* slot, const char* fileName, uint32_t access);
    void (*close)(FileSlot* slot);
    size_t (*read)(FileSlot* slot, void* buffer, size_t n);
    size_t (*write)(FileSlot* slot, const void* buffer, size_t n);
    /// New position, or -1 when the seek fails.
    int64_t (*seek)(FileSlot* slot, int64_t offset, int32_t mode);
    uint32_t (*wait)(FileSlot* slot, bool block);
    int32_t (*release)(FileSlot* slot);
    int32_t (*endOfFile)(FileSlot* slot);
    uint32_t (*slotStatus)(FileSlot* slot); ///< waits without blocking, then the state
    int32_t (*exists)(FileSystem* fs, const char* fileName);
    char name[8]; ///< up to 7 characters, compared case-sensitively
    FileSlot* slots;
};

/// Opens the manager with room for `maximum` file systems (0 or less: no
/// limit). Returns true.
bool FileSystemManagerOpen(int32_t maximum);
/// Destroys and frees every registered file system (unregistered
/// notifications sent) and closes the manager.
void FileSystemManagerClose();
/// Installs the error callback; `which` must be 1. False otherwise.
bool FileSystemManagerSetErrorCallback(int32_t which, FileSystemErrorCallback callback);
/// The last error code (kFileError*, or the operating system's errno after a transfer).
uint32_t FileSystemManagerGetLastError();
/// Stores a last-error code without calling the error callback (file
/// systems store the operating system's error after each call).
void FileSystemManagerSetLastError(uint32_t code);
/// Stores `code` as the last error and hands it to the error callback.
void FileSystemManagerReportError(uint32_t code);
/// True when a file system named `name` is registered (nothing reported).
bool FileSystemManagerIsRegistered(const char* name);

/// Puts `fs` at the head of the list and sends its registered notification.
/// False when full (kFileErrorTooMany), null (kFileErrorNoFileSystem) or a
/// file system of the same name is registered (silently).
bool FileSystemManagerRegister(FileSystem* fs);
/// Unlinks `fs` (clearing the default when it was), sends its unregistered
/// notification, frees its device name, destroys and frees it.
void FileSystemManagerUnregister(FileSystem* fs);
/// The file system named `name`, or null (kFileErrorNotFound).
FileSystem* FileSystemManagerFind(const char* name);
/// The file system whose device name is `deviceName` (ignoring case), or null.
FileSystem* FileSystemManagerFindByDevice(const char* deviceName);
/// The file system that would open `fileName`, or null (kFileErrorNotFound).
FileSystem* FileSystemManagerGetFileSystemForName(const char* fileName);
void FileSystemManagerSetDefault(FileSystem* fs);
FileSystem* FileSystemManagerGetDefault();

/// Opens `fileName` with access bits; the slot, or null (no file system, no
/// free slot: kFileErrorNoFreeSlot, or the open failed; the slot is free again).
FileSlot* FileSystemManagerOpenFile(const char* fileName, uint32_t access, FileCompletionCallback callback,
                                    void* userData);
/// Access bits of an fopen mode text ("rb" 1, "wb" 6, "ab" 14, "r+" 11, "w+" 7).
uint32_t FileSystemManagerModeToAccess(const char* mode);
/// fopen-shaped: the slot or null.
FileSlot* FileSystemManagerFOpen(const char* fileName, const char* mode);
/// Closes and frees the slot. Returns 0.
int32_t FileSystemManagerFClose(FileSlot* file);
/// Whole items of `size` bytes read (0 when size is 0).
size_t FileSystemManagerFRead(void* buffer, size_t size, size_t count, FileSlot* file);
/// Whole items of `size` bytes written (0 when size is 0).
size_t FileSystemManagerFWrite(const void* buffer, size_t size, size_t count, FileSlot* file);
/// whence 0 start, 1 current, 2 end; 0 on success, -1 for another whence or a failed seek.
int32_t FileSystemManagerFSeek(FileSlot* file, int64_t offset, int32_t whence);
/// The position, or -1 for a file that is not open.
int64_t FileSystemManagerFTell(FileSlot* file);
/// True at or past the end of the file.
bool FileSystemManagerFEof(FileSlot* file);
/// One line of at most n - 1 bytes: stops after the first LF (kept; a CR
/// right before it is removed), leaves the position after that line and
/// terminates the text. Null when nothing could be read.
char* FileSystemManagerFGets(char* buffer, int32_t n, FileSlot* file);
/// Writes the text without its terminator; the bytes written.
size_t FileSystemManagerFPuts(const char* text, FileSlot* file);
/// True when `fileName` names an existing file of its file system.
bool FileSystemManagerFileExists(const char* fileName);
/// Non-blocking completion check of every slot in use.
void FileSystemManagerPollAll();
