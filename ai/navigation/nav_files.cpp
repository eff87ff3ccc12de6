#include "ai/navigation/nav_files.h"

#include "ai/navigation/nav_error.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/host.h"

namespace Zelk {

CConfigNode* NavFindRawData(CConfigNode* node)
{
    return node != nullptr ? node->FindChild("RawData") : nullptr;
}

bool NavReadHostFile(const char* fileName, std::vector<uint8_t>& out)
{
    out.clear();
    const AiRuntimeSettings& settings = AiGetSettings();
    if (fileName == nullptr || settings.fileOpen == nullptr || settings.fileRead == nullptr ||
        settings.fileClose == nullptr) {
        NavSetError(ENavError::CannotOpen, "no file name or no host file functions");
        return false;
    }
    void* file = settings.fileOpen(fileName, "rb");
    if (file == nullptr) {
        NavSetError(ENavError::CannotOpen, "file cannot be opened");
        return false;
    }
    // Read in pieces until a short read: the file's length is not asked of
    // the host, and nothing is allocated beyond what really arrives.
    constexpr size_t kPiece = 65536;
    for (;;) {
        const size_t old = out.size();
        out.resize(old + kPiece);
        const size_t got = settings.fileRead(out.data() + old, 1, kPiece, file);
        out.resize(old + (got < kPiece ? got : kPiece));
        if (got < kPiece)
            break;
    }
    settings.fileClose(file);
    return true;
}

bool NavWriteHostFile(const char* fileName, const std::vector<uint8_t>& bytes)
{
    const AiRuntimeSettings& settings = AiGetSettings();
    if (fileName == nullptr || settings.fileOpen == nullptr || settings.fileWrite == nullptr ||
        settings.fileClose == nullptr) {
        NavSetError(ENavError::CannotOpen, "no file name or no host file functions");
        return false;
    }
    void* file = settings.fileOpen(fileName, "wb");
    if (file == nullptr) {
        NavSetError(ENavError::CannotOpen, "file cannot be opened for writing");
        return false;
    }
    const size_t written = bytes.empty() ? 0 : settings.fileWrite(bytes.data(), 1, bytes.size(), file);
    settings.fileClose(file);
    if (written != bytes.size()) {
        NavSetError(ENavError::WriteFailed, "file not written whole");
        return false;
    }
    return true;
}

} // namespace Zelk
