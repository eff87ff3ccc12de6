#include "graphics/core/filesystem.h"

#include <cstring>
#include <mutex>

#include "graphics/core/memory.h"

namespace {

struct FileSystemManager
{
    FileSystem* head; ///< newest first
    int32_t maximum;  ///< 0 or less: no limit
    int32_t count;
    bool open;
    uint32_t lastError;
    FileSystemErrorCallback errorCallback;
    FileSystem* defaultFs;
    std::mutex slotLock; ///< guards the choice and the release of file slots
};
FileSystemManager gManager;

// Device names are held in a buffer of this size while they are compared; a
// ':' farther into the name cannot start a device name.
constexpr size_t kDeviceNameBuffer = 100;

void Report(uint32_t code)
{
    gManager.lastError = code;
    if (gManager.errorCallback) {
        gManager.errorCallback(code);
    }
}

bool EqualIgnoringCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
}

void FreeFileSystem(FileSystem* fs)
{
    if (fs->unregistered) {
        fs->unregistered(fs->name);
    }
    MemoryFree(fs->deviceName);
    fs->deviceName = nullptr;
    fs->destroy(fs);
    MemoryFree(fs);
}

} // namespace

bool FileSystemManagerOpen(int32_t maximum)
{
    gManager.head = nullptr;
    gManager.maximum = maximum;
    gManager.count = 0;
    gManager.open = true;
    gManager.lastError = 0;
    gManager.errorCallback = nullptr;
    gManager.defaultFs = nullptr;
    return true;
}

void FileSystemManagerClose()
{
    while (FileSystem* fs = gManager.head) {
        gManager.head = fs->next;
        FreeFileSystem(fs);
    }
    gManager.count = 0;
    gManager.defaultFs = nullptr;
    gManager.open = false;
}

bool FileSystemManagerSetErrorCallback(int32_t which, FileSystemErrorCallback callback)
{
    if (which != 1) {
        return false;
    }
    gManager.errorCallback = callback;
    return true;
}

uint32_t FileSystemManagerGetLastError()
{
    return gManager.lastError;
}

void FileSystemManagerSetLastError(uint32_t code)
{
    gManager.lastError = code;
}

void FileSystemManagerReportError(uint32_t code)
{
    Report(code);
}

bool FileSystemManagerIsRegistered(const char* name)
{
    for (FileSystem* fs = gManager.head; fs; fs = fs->next) {
        if (std::strcmp(fs->name, name) == 0) {
            return true;
        }
    }
    return false;
}

bool FileSystemManagerRegister(FileSystem* fs)
{
    if (!fs) {
        Report(kFileErrorNoFileSystem);
        return false;
    }
    if (gManager.maximum > 0 && gManager.count >= gManager.maximum) {
        Report(kFileErrorTooMany);
        return false;
    }
    if (FileSystemManagerIsRegistered(fs->name)) {
        return false;
    }
    if (fs->registered) {
        fs->registered(fs->name);
    }
    fs->next = gManager.head;
    gManager.head = fs;
    ++gManager.count;
    return true;
}

void FileSystemManagerUnregister(FileSystem* fs)
{
    for (FileSystem** link = &gManager.head; *link; link = &(*link)->next) {
        if (*link == fs) {
            *link = fs->next;
            --gManager.count;
            break;
        }
    }
    if (gManager.defaultFs == fs) {
        gManager.defaultFs = nullptr;
    }
    FreeFileSystem(fs);
}

FileSystem* FileSystemManagerFind(const char* name)
{
    for (FileSystem* fs = gManager.head; fs; fs = fs->next) {
        if (std::strcmp(fs->name, name) == 0) {
            return fs;
        }
    }
    Report(kFileErrorNotFound);
    return nullptr;
}

FileSystem* FileSystemManagerFindByDevice(const char* deviceName)
{
    for (FileSystem* fs = gManager.head; fs; fs = fs->next) {
        if (fs->deviceName && EqualIgnoringCase(fs->deviceName, deviceName)) {
            return fs;
        }
    }
    return nullptr;
}

FileSystem* FileSystemManagerGetFileSystemForName(const char* fileName)
{
    if (!gManager.head || !fileName) {
        Report(kFileErrorNotFound);
        return nullptr;
    }
    char device[kDeviceNameBuffer];
    for (const char* colon = std::strchr(fileName, ':'); colon; colon = std::strchr(colon + 1, ':')) {
        size_t length = size_t(colon - fileName) + 1;
        if (length >= kDeviceNameBuffer) {
            break;
        }
        std::memcpy(device, fileName, length);
        device[length] = '\0';
        if (FileSystem* fs = FileSystemManagerFindByDevice(device)) {
            return fs;
        }
    }
    if (!gManager.defaultFs) {
        Report(kFileErrorNotFound);
    }
    return gManager.defaultFs;
}

void FileSystemManagerSetDefault(FileSystem* fs)
{
    gManager.defaultFs = fs;
}

FileSystem* FileSystemManagerGetDefault()
{
    return gManager.defaultFs;
}

FileSlot* FileSystemManagerOpenFile(const char* fileName, uint32_t access, FileCompletionCallback callback,
                                    void* userData)
{
    FileSystem* fs = FileSystemManagerGetFileSystemForName(fileName);
    if (!fs) {
        return nullptr;
    }
    FileSlot* slot = nullptr;
    {
        std::lock_guard<std::mutex> lock(gManager.slotLock);
        for (int32_t i = 0; (slot = fs->getSlot(fs, i)) != nullptr; ++i) {
            if (slot->state == kFileSlotFree) {
                slot->state = kFileSlotOpening;
                break;
            }
        }
    }
    if (!slot) {
        Report(kFileErrorNoFreeSlot);
        return nullptr;
    }
    if (fs->async) {
        access |= kFileAccessAsync;
    }
    slot->callback = nullptr;
    slot->userData = nullptr;
    if (access & kFileAccessAsync) {
        slot->pendingOperation = kFileOpOpen;
        slot->callback = callback;
        slot->userData = userData;
    }
    if (fs->open(fs, slot, fileName, access) != kFileOpenOk) {
        std::lock_guard<std::mutex> lock(gManager.slotLock);
        slot->state = kFileSlotFree;
        return nullptr;
    }
    slot->openedByManager = 2;
    return slot;
}

uint32_t FileSystemManagerModeToAccess(const char* mode)
{
    bool plus = std::strchr(mode, '+') != nullptr;
    uint32_t access = 0;
    if (std::strchr(mode, 'r')) {
        access = plus ? 11 : 1;
    }
    if (std::strchr(mode, 'w')) {
        access |= plus ? 7 : 6;
    }
    if (std::strchr(mode, 'a')) {
        access |= plus ? 11 : 10;
        if (std::strchr(mode, 'b')) {
            access |= 4;
        }
    }
    return access;
}

FileSlot* FileSystemManagerFOpen(const char* fileName, const char* mode)
{
    return FileSystemManagerOpenFile(fileName, FileSystemManagerModeToAccess(mode), nullptr, nullptr);
}

int32_t FileSystemManagerFClose(FileSlot* file)
{
    std::lock_guard<std::mutex> lock(gManager.slotLock);
    file->openedByManager = 0;
    file->fileSystem->close(file);
    file->state = kFileSlotFree;
    return 0;
}

size_t FileSystemManagerFRead(void* buffer, size_t size, size_t count, FileSlot* file)
{
    if (size == 0 || count > SIZE_MAX / size) {
        return 0;
    }
    return file->fileSystem->read(file, buffer, size * count) / size;
}

size_t FileSystemManagerFWrite(const void* buffer, size_t size, size_t count, FileSlot* file)
{
    if (size == 0 || count > SIZE_MAX / size) {
        return 0;
    }
    return file->fileSystem->write(file, buffer, size * count) / size;
}

int32_t FileSystemManagerFSeek(FileSlot* file, int64_t offset, int32_t whence)
{
    if (whence < 0 || whence > 2) {
        return -1;
    }
    if (file->async) {
        file->pendingOperation = kFileOpSeek;
        file->state = kFileSlotPending;
    }
    return file->fileSystem->seek(file, offset, whence + 1) < 0 ? -1 : 0;
}

int64_t FileSystemManagerFTell(FileSlot* file)
{
    if (!file || file->openFlag != 1) {
        return -1;
    }
    return int64_t(file->position);
}

bool FileSystemManagerFEof(FileSlot* file)
{
    return file->fileSystem->endOfFile(file) != 0;
}

char* FileSystemManagerFGets(char* buffer, int32_t n, FileSlot* file)
{
    if (n < 2) {
        return nullptr;
    }
    size_t read = file->fileSystem->read(file, buffer, size_t(n - 1));
    if (read == 0) {
        return nullptr;
    }
    size_t length = read;
    size_t removed = 0;
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] == '\r' && i + 1 < length && buffer[i + 1] == '\n') {
            std::memmove(buffer + i, buffer + i + 1, length - i - 1);
            --length;
            ++removed;
        }
        if (buffer[i] == '\n') {
            size_t consumed = i + 1 + removed;
            length = i + 1;
            if (consumed < read) {
                file->fileSystem->seek(file, -int64_t(read - consumed), kFileSeekCurrent);
            }
            break;
        }
    }
    buffer[length] = '\0';
    return buffer;
}

size_t FileSystemManagerFPuts(const char* text, FileSlot* file)
{
    size_t length = std::strlen(text);
    return length ? file->fileSystem->write(file, text, length) : 0;
}

bool FileSystemManagerFileExists(const char* fileName)
{
    FileSystem* fs = FileSystemManagerGetFileSystemForName(fileName);
    return fs && fs->exists(fs, fileName) != 0;
}

void FileSystemManagerPollAll()
{
    for (FileSystem* fs = gManager.head; fs; fs = fs->next) {
        FileSlot* slot;
        for (int32_t i = 0; (slot = fs->getSlot(fs, i)) != nullptr; ++i) {
            if (slot->state != kFileSlotFree) {
                fs->wait(slot, false);
            }
        }
    }
}
