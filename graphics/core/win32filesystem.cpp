#include "graphics/core/win32filesystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kFileSystemHint = 0x401BE;
constexpr int32_t kDefaultSlotCount = 20;

using PathBuffer = char[kFileSystemMaxPath];

// The operating-system path of `fileName`: the part after its first ':'
// appended to the device name, '\' made '/'. An absolute part stands alone,
// and so does the part after a device prefix ("tmp:" only selects the file
// system, as a drive letter would).
bool BuildPath(const FileSystem* fs, const char* fileName, PathBuffer path)
{
    const char* colon = std::strchr(fileName, ':');
    const char* rest = colon ? colon + 1 : fileName;
    size_t rootLength = fs->deviceName ? std::strlen(fs->deviceName) : 0;
    bool prefixOnly = rootLength > 0 && fs->deviceName[rootLength - 1] == ':';
    const char* root = (rest[0] == '/' || rootLength == 0 || prefixOnly) ? "" : fs->deviceName;
    rootLength = std::strlen(root);
    size_t restLength = std::strlen(rest);
    if (rootLength + restLength >= size_t(kFileSystemMaxPath)) {
        return false;
    }
    std::memcpy(path, root, rootLength);
    std::memcpy(path + rootLength, rest, restLength + 1);
    for (char* c = path; *c; ++c) {
        if (*c == '\\') {
            *c = '/';
        }
    }
    return true;
}

bool Exists(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0;
}

// Finds in `directory` the entry equal to `name` ignoring case; copies its
// real spelling into `found`.
bool FindIgnoringCase(const char* directory, const char* name, char* found, size_t capacity)
{
    DIR* dir = ::opendir(directory[0] ? directory : ".");
    if (!dir) {
        return false;
    }
    bool match = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name) == 0 && std::strlen(entry->d_name) < capacity) {
            std::strcpy(found, entry->d_name);
            match = true;
            break;
        }
    }
    ::closedir(dir);
    return match;
}

// Rewrites `path` with the real spelling of each component that exists only
// in another letter case. A missing last component is kept as written when
// `leafMayBeMissing` (a file about to be created). False when a component
// cannot be found.
bool ResolveIgnoringCase(PathBuffer path, bool leafMayBeMissing)
{
    if (Exists(path)) {
        return true;
    }
    PathBuffer resolved;
    size_t length = 0;
    const char* cursor = path;
    if (*cursor == '/') {
        resolved[length++] = '/';
    }
    resolved[length] = '\0';
    while (*cursor) {
        while (*cursor == '/') {
            ++cursor;
        }
        if (!*cursor) {
            break;
        }
        const char* end = std::strchr(cursor, '/');
        size_t componentLength = end ? size_t(end - cursor) : std::strlen(cursor);
        bool last = !end || end[std::strspn(end, "/")] == '\0';
        char component[256];
        if (componentLength >= sizeof(component)) {
            return false;
        }
        std::memcpy(component, cursor, componentLength);
        component[componentLength] = '\0';
        cursor += componentLength;

        bool needsSeparator = length > 0 && resolved[length - 1] != '/';
        if (length + needsSeparator + componentLength + 1 > sizeof(resolved)) {
            return false;
        }
        size_t start = length + needsSeparator;
        if (needsSeparator) {
            resolved[length] = '/';
        }
        std::strcpy(resolved + start, component);
        if (!Exists(resolved)) {
            resolved[length] = '\0';
            char found[256];
            if (FindIgnoringCase(resolved, component, found, sizeof(found))) {
                if (needsSeparator) {
                    resolved[length] = '/';
                }
                std::strcpy(resolved + start, found);
            } else if (last && leafMayBeMissing) {
                if (needsSeparator) {
                    resolved[length] = '/';
                }
                std::strcpy(resolved + start, component);
            } else {
                return false;
            }
        }
        length = std::strlen(resolved);
    }
    std::strcpy(path, resolved);
    return true;
}

void SetLastErrorFromSystem()
{
    FileSystemManagerSetLastError(uint32_t(errno));
}

// Runs the completion callback of an asynchronous slot whose operation finished.
void Complete(FileSlot* slot)
{
    if (!slot->async || slot->pendingOperation == kFileOpNone) {
        return;
    }
    uint32_t operation = slot->pendingOperation;
    slot->pendingOperation = kFileOpNone;
    if (slot->callback) {
        uint32_t result = operation == kFileOpSeek ? uint32_t(slot->position) : slot->bytesTransferred;
        slot->callback(slot, result, slot->state, operation, slot->userData);
    }
}

FileSlot* GetSlot(FileSystem* fs, int32_t index)
{
    return (index >= 0 && index < fs->slotCount) ? &fs->slots[index] : nullptr;
}

void Destroy(FileSystem* fs)
{
    MemoryFree(fs->slots);
    fs->slots = nullptr;
}

int32_t Open(FileSystem* fs, FileSlot* slot, const char* fileName, uint32_t access)
{
    PathBuffer path;
    if (!BuildPath(fs, fileName, path)) {
        return kFileOpenPathTooLong;
    }
    bool write = (access & kFileAccessWrite) != 0;
    int flags = O_RDONLY;
    if (write) {
        flags = ((access & kFileAccessRead) ? O_RDWR : O_WRONLY) | O_CREAT;
        if (!(access & kFileAccessAppend)) {
            flags |= O_TRUNC;
        }
    }
    if (!ResolveIgnoringCase(path, write)) {
        FileSystemManagerSetLastError(ENOENT);
        return kFileOpenFailed;
    }
    int fd = ::open(path, flags | O_CLOEXEC, 0644);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        SetLastErrorFromSystem();
        if (fd >= 0) {
            ::close(fd);
        }
        return kFileOpenFailed;
    }
    slot->handle = fd;
    slot->fileSystem = fs;
    slot->size = uint64_t(info.st_size);
    slot->position = 0;
    if (access & kFileAccessAppend) {
        slot->position = slot->size;
        ::lseek(fd, 0, SEEK_END);
    }
    slot->openFlag = 1;
    slot->bytesTransferred = 0;
    slot->async = (access & kFileAccessAsync) ? 1 : 0;
    slot->state = slot->async ? kFileSlotPending : kFileSlotIdle;
    slot->pendingOperation = slot->async ? kFileOpOpen : kFileOpNone;
    return kFileOpenOk;
}

void Close(FileSlot* slot)
{
    if (slot->handle >= 0) {
        ::close(slot->handle);
    }
    slot->handle = -1;
    slot->openFlag = 0;
    slot->state = kFileSlotFree;
}

size_t Read(FileSlot* slot, void* buffer, size_t n)
{
    if (slot->state != kFileSlotIdle) {
        return 0;
    }
    slot->state = kFileSlotPending;
    size_t done = 0;
    while (done < n) {
        ssize_t got = ::read(slot->handle, static_cast<char*>(buffer) + done, n - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            SetLastErrorFromSystem();
            slot->state = kFileSlotFailed;
            return done;
        }
        if (got == 0) {
            break;
        }
        done += size_t(got);
    }
    slot->position += done;
    slot->bytesTransferred = uint32_t(done);
    slot->state = kFileSlotIdle;
    if (slot->async) {
        slot->pendingOperation = kFileOpRead;
        Complete(slot);
    }
    return done;
}

size_t Write(FileSlot* slot, const void* buffer, size_t n)
{
    if (slot->openFlag != 1 || slot->state == kFileSlotPending) {
        return 0;
    }
    slot->state = kFileSlotPending;
    size_t done = 0;
    while (done < n) {
        ssize_t put = ::write(slot->handle, static_cast<const char*>(buffer) + done, n - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            SetLastErrorFromSystem();
            slot->state = kFileSlotFailed;
            return done;
        }
        done += size_t(put);
    }
    slot->position += done;
    if (slot->position > slot->size) {
        slot->size = slot->position;
    }
    slot->bytesTransferred = uint32_t(done);
    slot->state = kFileSlotIdle;
    if (slot->async) {
        // Writes report through the same completion as reads.
        slot->pendingOperation = kFileOpRead;
        Complete(slot);
    }
    return done;
}

int64_t Seek(FileSlot* slot, int64_t offset, int32_t mode)
{
    int whence = mode == kFileSeekBegin ? SEEK_SET : mode == kFileSeekCurrent ? SEEK_CUR : SEEK_END;
    off_t position = ::lseek(slot->handle, off_t(offset), whence);
    if (position < 0) {
        SetLastErrorFromSystem();
        return -1;
    }
    slot->position = uint64_t(position);
    return position;
}

uint32_t Wait(FileSlot* slot, bool)
{
    if (!slot->async || slot->state != kFileSlotPending) {
        return slot->state;
    }
    // Transfers finish within their call, so only an open or a seek can
    // still be pending: an open completes with the file size as its result.
    slot->bytesTransferred = uint32_t(slot->size);
    slot->state = kFileSlotIdle;
    Complete(slot);
    return slot->state;
}

int32_t Release(FileSlot* slot)
{
    slot->state = kFileSlotFree;
    return 1;
}

int32_t EndOfFile(FileSlot* slot)
{
    return slot->position >= slot->size || slot->position == UINT64_MAX;
}

uint32_t Status(FileSlot* slot)
{
    if (slot->state != kFileSlotFree) {
        Wait(slot, false);
    }
    return slot->state;
}

int32_t FileExists(FileSystem* fs, const char* fileName)
{
    PathBuffer path;
    return BuildPath(fs, fileName, path) && ResolveIgnoringCase(path, false) && Exists(path);
}

} // namespace

FileSystem* Win32FileSystemCreate(int32_t slotCount, const char* deviceName, const char* name)
{
    if (slotCount <= 0 || !deviceName || !name || std::strlen(name) >= sizeof(FileSystem::name)) {
        return nullptr;
    }
    if (FileSystemManagerIsRegistered(name)) {
        return nullptr;
    }
    if (FileSystemManagerFindByDevice(deviceName)) {
        FileSystemManagerReportError(kFileErrorAlreadyRegistered);
        return nullptr;
    }
    auto* fs = static_cast<FileSystem*>(MemoryAllocateZeroed(1, sizeof(FileSystem), kFileSystemHint));
    auto* slots =
        static_cast<FileSlot*>(MemoryAllocateZeroed(size_t(slotCount), sizeof(FileSlot), kFileSystemHint));
    size_t deviceLength = std::strlen(deviceName);
    auto* device = static_cast<char*>(MemoryAllocate(deviceLength + 1, kFileSystemHint));
    if (!fs || !slots || !device) {
        MemoryFree(fs);
        MemoryFree(slots);
        MemoryFree(device);
        return nullptr;
    }
    std::memcpy(device, deviceName, deviceLength + 1);
    for (int32_t i = 0; i < slotCount; ++i) {
        slots[i].state = kFileSlotFree;
        slots[i].pendingOperation = kFileOpNone;
        slots[i].handle = -1;
        slots[i].fileSystem = fs;
    }
    fs->slotCount = slotCount;
    fs->status = 2;
    fs->deviceName = device;
    fs->getSlot = GetSlot;
    fs->destroy = Destroy;
    fs->open = Open;
    fs->close = Close;
    fs->read = Read;
    fs->write = Write;
    fs->seek = Seek;
    fs->wait = Wait;
    fs->release = Release;
    fs->endOfFile = EndOfFile;
    fs->slotStatus = Status;
    fs->exists = FileExists;
    std::strcpy(fs->name, name);
    fs->slots = slots;
    return fs;
}

bool Win32FileSystemRegisterDefault()
{
    PathBuffer directory;
    if (!::getcwd(directory, sizeof(directory) - 1)) {
        return false;
    }
    std::strcat(directory, "/");
    FileSystem* fs = Win32FileSystemCreate(kDefaultSlotCount, directory, "unc");
    if (!fs) {
        return false;
    }
    if (!FileSystemManagerRegister(fs)) {
        MemoryFree(fs->deviceName);
        fs->destroy(fs);
        MemoryFree(fs);
        return false;
    }
    FileSystemManagerSetDefault(fs);
    return true;
}
