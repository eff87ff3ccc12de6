// The file-system manager and the platform file system: line reading,
// slots, prefix dispatch, modes, letter case and separators, asynchronous
// completion and the error codes.

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "graphics/core/tests/iotesting.h"

namespace {

using FileSystemTest = IoTest;

struct LineCase
{
    const char* name;
    std::string contents;
    int32_t n;
    std::vector<std::string> lines;
};

std::vector<std::string> ReadLines(FileSlot* file, int32_t n)
{
    std::vector<std::string> lines;
    std::vector<char> buffer(size_t(n) + 8, 'x');
    while (FileSystemManagerFGets(buffer.data(), n, file)) {
        lines.push_back(buffer.data());
    }
    return lines;
}

TEST_F(FileSystemTest, TextLinesWithCrLf)
{
    const LineCase cases[] = {
        {"crlf removed, position at the next line", "ab\r\ncd", 16, {"ab\n", "cd"}},
        {"plain lf", "one\ntwo\n", 16, {"one\n", "two\n"}},
        {"line longer than the buffer", "abcdefgh\nz", 5, {"abcd", "efgh", "\n", "z"}},
        {"lone cr kept", "a\rb\n", 16, {"a\rb\n"}},
        {"crlf split by the buffer end", "abc\r\nd", 5, {"abc\r", "\n", "d"}},
        {"empty lines", "\r\n\n\r\n", 16, {"\n", "\n", "\n"}},
        {"empty file", "", 16, {}},
        {"no final newline", "last", 16, {"last"}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        PutFile("lines.txt", c.contents);
        FileSlot* file = FileSystemManagerFOpen("lines.txt", "rb");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(ReadLines(file, c.n), c.lines);
        EXPECT_TRUE(FileSystemManagerFEof(file));
        FileSystemManagerFClose(file);
    }
}

TEST_F(FileSystemTest, FGetsLeavesThePositionAtTheNextLine)
{
    PutFile("six.bin", std::string("ab\r\ncd"));
    FileSlot* file = FileSystemManagerFOpen("six.bin", "rb");
    char buffer[16];
    ASSERT_EQ(FileSystemManagerFGets(buffer, 16, file), buffer);
    EXPECT_STREQ(buffer, "ab\n");
    EXPECT_EQ(FileSystemManagerFTell(file), 4);
    char c = 0;
    EXPECT_EQ(FileSystemManagerFRead(&c, 1, 1, file), 1u);
    EXPECT_EQ(c, 'c');
    EXPECT_EQ(FileSystemManagerFGets(buffer, 1, file), nullptr) << "no room for a character";
    FileSystemManagerFClose(file);
}

TEST_F(FileSystemTest, SlotsRunOutAndComeBack)
{
    PutFile("f.bin", "x");
    std::vector<uint32_t> errors;
    static std::vector<uint32_t>* sink;
    sink = &errors;
    ASSERT_TRUE(FileSystemManagerSetErrorCallback(1, [](uint32_t code) { sink->push_back(code); }));
    EXPECT_FALSE(FileSystemManagerSetErrorCallback(2, nullptr));
    std::vector<FileSlot*> open;
    for (int i = 0; i < 20; ++i) {
        open.push_back(FileSystemManagerFOpen("f.bin", "rb"));
        ASSERT_NE(open.back(), nullptr) << i;
    }
    EXPECT_EQ(FileSystemManagerFOpen("f.bin", "rb"), nullptr);
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorNoFreeSlot);
    EXPECT_EQ(errors, std::vector<uint32_t>{kFileErrorNoFreeSlot});
    FileSlot* released = open[7];
    EXPECT_EQ(FileSystemManagerFClose(released), 0);
    EXPECT_EQ(released->state, kFileSlotFree);
    FileSlot* again = FileSystemManagerFOpen("f.bin", "rb");
    EXPECT_EQ(again, released) << "the first free slot by index";
    for (FileSlot* file : open) {
        FileSystemManagerFClose(file);
    }
}

TEST_F(FileSystemTest, FailedOpenFreesItsSlot)
{
    EXPECT_EQ(FileSystemManagerFOpen("missing.bin", "rb"), nullptr);
    std::string longName(kFileSystemMaxPath, 'a');
    EXPECT_EQ(FileSystemManagerFOpen(longName.c_str(), "wb"), nullptr);
    for (int32_t i = 0; i < unc->slotCount; ++i) {
        EXPECT_EQ(unc->getSlot(unc, i)->state, kFileSlotFree);
    }
    EXPECT_EQ(unc->getSlot(unc, unc->slotCount), nullptr);
    EXPECT_EQ(unc->open(unc, unc->getSlot(unc, 0), longName.c_str(), kFileAccessRead), kFileOpenPathTooLong);
    EXPECT_EQ(unc->open(unc, unc->getSlot(unc, 0), "missing.bin", kFileAccessRead), kFileOpenFailed);
    unc->getSlot(unc, 0)->state = kFileSlotFree;
}

TEST_F(FileSystemTest, DevicePrefixDispatch)
{
    FileSystem* tmp = Win32FileSystemCreate(4, "tmp:", "T");
    ASSERT_NE(tmp, nullptr);
    ASSERT_TRUE(FileSystemManagerRegister(tmp));
    PutFile("models/a.dff", "default");
    PutFile("abs.bin", "prefixed");

    EXPECT_EQ(FileSystemManagerGetFileSystemForName("models/a.dff"), unc);
    EXPECT_EQ(FileSystemManagerGetFileSystemForName("TMP:/x"), tmp) << "device names ignore case";
    EXPECT_EQ(FileSystemManagerGetFileSystemForName("other:x:tmp:y"), unc) << "no device matches any colon";
    EXPECT_EQ(FileSystemManagerGetFileSystemForName("a:tmp:y"), unc);
    EXPECT_EQ(FileSystemManagerFindByDevice("TMP:"), tmp);
    EXPECT_EQ(FileSystemManagerFind("T"), tmp);
    EXPECT_EQ(FileSystemManagerFind("t"), nullptr) << "names are case-sensitive";

    std::string absolute = "tmp:" + (root / "abs.bin").string();
    FileSlot* file = FileSystemManagerFOpen(absolute.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->fileSystem, tmp);
    char buffer[16] = {};
    EXPECT_EQ(FileSystemManagerFRead(buffer, 1, 8, file), 8u);
    EXPECT_STREQ(buffer, "prefixed");
    FileSystemManagerFClose(file);

    file = FileSystemManagerFOpen("models\\a.dff", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->fileSystem, unc);
    FileSystemManagerFClose(file);
}

TEST_F(FileSystemTest, ColonBeyondTheDeviceNameBufferUsesTheDefault)
{
    std::string device(98, 'd');
    FileSystem* longDevice = Win32FileSystemCreate(2, (device + ":").c_str(), "L");
    ASSERT_TRUE(FileSystemManagerRegister(longDevice));
    EXPECT_EQ(FileSystemManagerGetFileSystemForName((device + ":x").c_str()), longDevice)
        << "99 characters fit";
    std::string tooLong(99, 'e');
    FileSystem* longer = Win32FileSystemCreate(2, (tooLong + ":").c_str(), "M");
    ASSERT_TRUE(FileSystemManagerRegister(longer));
    EXPECT_EQ(FileSystemManagerGetFileSystemForName((tooLong + ":x").c_str()), unc);
    std::string huge(5000, 'f');
    EXPECT_EQ(FileSystemManagerGetFileSystemForName((huge + ":" + huge + ":").c_str()), unc);
}

TEST_F(FileSystemTest, WithoutAnyFileSystemNothingOpens)
{
    FileSystemManagerClose();
    FileSystemManagerOpen(0);
    EXPECT_EQ(FileSystemManagerFOpen("x", "rb"), nullptr);
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorNotFound);
    FileSystem* tmp = Win32FileSystemCreate(2, "tmp:", "T");
    ASSERT_TRUE(FileSystemManagerRegister(tmp));
    EXPECT_EQ(FileSystemManagerFOpen("x", "rb"), nullptr) << "no default";
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorNotFound);
}

TEST_F(FileSystemTest, RegistrationRules)
{
    FileSystem* second = Win32FileSystemCreate(2, "/second/", "unc");
    EXPECT_EQ(second, nullptr) << "the name is taken";
    FileSystem* sameDevice = Win32FileSystemCreate(2, (root.string() + "/").c_str(), "dup");
    EXPECT_EQ(sameDevice, nullptr);
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorAlreadyRegistered);
    EXPECT_FALSE(FileSystemManagerRegister(nullptr));
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorNoFileSystem);

    FileSystemManagerClose();
    FileSystemManagerOpen(1);
    FileSystem* a = Win32FileSystemCreate(2, "a:", "a");
    FileSystem* b = Win32FileSystemCreate(2, "b:", "b");
    ASSERT_TRUE(FileSystemManagerRegister(a));
    EXPECT_FALSE(FileSystemManagerRegister(b));
    EXPECT_EQ(FileSystemManagerGetLastError(), kFileErrorTooMany);
    FileSystemManagerSetDefault(a);
    FileSystemManagerUnregister(a);
    EXPECT_EQ(FileSystemManagerGetDefault(), nullptr);
    EXPECT_TRUE(FileSystemManagerRegister(b));
}

TEST_F(FileSystemTest, NotificationsOnRegisterAndClose)
{
    static std::vector<std::string> log;
    log.clear();
    FileSystem* fs = Win32FileSystemCreate(2, "n:", "note");
    fs->registered = [](const char* name) { log.push_back(std::string("+") + name); };
    fs->unregistered = [](const char* name) { log.push_back(std::string("-") + name); };
    ASSERT_TRUE(FileSystemManagerRegister(fs));
    FileSystemManagerClose();
    EXPECT_EQ(log, (std::vector<std::string>{"+note", "-note"}));
    FileSystemManagerOpen(0);
}

struct ModeCase
{
    const char* mode;
    uint32_t access;
};

TEST_F(FileSystemTest, ModeTextsMapToAccessBits)
{
    const ModeCase cases[] = {{"r", 1},  {"rb", 1}, {"r+", 11}, {"w", 6},   {"wb", 6},
                              {"w+", 7}, {"a", 10}, {"ab", 14}, {"a+", 11}, {"", 0}};
    for (const ModeCase& c : cases) {
        EXPECT_EQ(FileSystemManagerModeToAccess(c.mode), c.access) << c.mode;
    }
}

TEST_F(FileSystemTest, WriteTruncatesAndAppendPositionsAtTheEnd)
{
    PutFile("log.txt", "0123456789");
    FileSlot* file = FileSystemManagerFOpen("log.txt", "ab");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(FileSystemManagerFTell(file), 10);
    EXPECT_EQ(FileSystemManagerFPuts("ab", file), 2u);
    EXPECT_EQ(FileSystemManagerFPuts("", file), 0u);
    FileSystemManagerFClose(file);
    EXPECT_EQ(GetFile("log.txt"), "0123456789ab");

    file = FileSystemManagerFOpen("log.txt", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 0u);
    EXPECT_EQ(FileSystemManagerFWrite("xyz", 1, 3, file), 3u);
    FileSystemManagerFClose(file);
    EXPECT_EQ(GetFile("log.txt"), "xyz");
}

TEST_F(FileSystemTest, ReadsWholeItemsAndSeeks)
{
    PutFile("ten.bin", "0123456789");
    FileSlot* file = FileSystemManagerFOpen("ten.bin", "rb");
    char buffer[16];
    EXPECT_EQ(FileSystemManagerFRead(buffer, 4, 3, file), 2u);
    EXPECT_EQ(FileSystemManagerFRead(buffer, 4, 3, file), 0u);
    EXPECT_EQ(file->state, kFileSlotIdle) << "a read at the end is not a failure";
    EXPECT_TRUE(FileSystemManagerFEof(file));
    EXPECT_EQ(FileSystemManagerFRead(buffer, 0, 3, file), 0u);
    EXPECT_EQ(FileSystemManagerFSeek(file, 3, 3), -1);
    EXPECT_EQ(FileSystemManagerFTell(file), 10);
    EXPECT_EQ(FileSystemManagerFSeek(file, 2, 0), 0);
    EXPECT_EQ(FileSystemManagerFSeek(file, 3, 1), 0);
    EXPECT_EQ(FileSystemManagerFTell(file), 5);
    EXPECT_EQ(FileSystemManagerFSeek(file, -1, 2), 0);
    EXPECT_EQ(FileSystemManagerFTell(file), 9);
    EXPECT_FALSE(FileSystemManagerFEof(file));
    EXPECT_EQ(FileSystemManagerFSeek(file, -100, 0), -1);
    FileSystemManagerFClose(file);
    EXPECT_EQ(FileSystemManagerFTell(file), -1) << "closed";
}

TEST_F(FileSystemTest, PathsWithBackslashesAndAnotherLetterCase)
{
    PutFile("Textures/Sky/Clouds.PNG", "clouds");
    FileSlot* file = FileSystemManagerFOpen("textures\\SKY\\clouds.png", "rb");
    ASSERT_NE(file, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(FileSystemManagerFRead(buffer, 1, 6, file), 6u);
    EXPECT_STREQ(buffer, "clouds");
    FileSystemManagerFClose(file);
    EXPECT_TRUE(FileSystemManagerFileExists("TEXTURES/sky/CLOUDS.png"));
    EXPECT_FALSE(FileSystemManagerFileExists("textures/sky/rain.png"));

    // A new file keeps the spelling of its name; its directories are found.
    file = FileSystemManagerFOpen("TEXTURES\\sky\\New.txt", "wb");
    ASSERT_NE(file, nullptr);
    FileSystemManagerFClose(file);
    EXPECT_TRUE(std::filesystem::exists(root / "Textures/Sky/New.txt"));
    EXPECT_EQ(FileSystemManagerFOpen("nowhere\\New.txt", "wb"), nullptr);
}

TEST_F(FileSystemTest, DirectoriesAreNotFiles)
{
    std::filesystem::create_directories(root / "dir");
    EXPECT_EQ(FileSystemManagerFOpen("dir", "rb"), nullptr);
}

struct Completion
{
    std::vector<uint32_t> operations;
    std::vector<uint32_t> results;
};

void RecordCompletion(FileSlot*, uint32_t result, uint32_t, uint32_t operation, void* data)
{
    auto* c = static_cast<Completion*>(data);
    c->operations.push_back(operation);
    c->results.push_back(result);
}

TEST_F(FileSystemTest, AsynchronousOpenCompletesWhenPolled)
{
    PutFile("async.bin", "0123456789");
    Completion completion;
    FileSlot* file = FileSystemManagerOpenFile("async.bin", kFileAccessRead | kFileAccessAsync,
                                               RecordCompletion, &completion);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->state, kFileSlotPending);
    char buffer[4];
    EXPECT_EQ(FileSystemManagerFRead(buffer, 1, 4, file), 0u) << "no read before the open completes";
    FileSystemManagerPollAll();
    EXPECT_EQ(file->state, kFileSlotIdle);
    ASSERT_EQ(completion.operations, std::vector<uint32_t>{kFileOpOpen});
    EXPECT_EQ(completion.results[0], 10u) << "an open completes with the file size";

    // The read completes within the call: its callback has run on return.
    EXPECT_EQ(FileSystemManagerFRead(buffer, 1, 4, file), 4u);
    EXPECT_EQ(completion.operations.back(), kFileOpRead);
    EXPECT_EQ(completion.results.back(), 4u);

    EXPECT_EQ(FileSystemManagerFSeek(file, 8, 0), 0);
    EXPECT_EQ(file->state, kFileSlotPending);
    EXPECT_EQ(file->fileSystem->slotStatus(file), kFileSlotIdle);
    EXPECT_EQ(completion.operations.back(), kFileOpSeek);
    EXPECT_EQ(completion.results.back(), 8u);
    FileSystemManagerFClose(file);
}

TEST_F(FileSystemTest, AsynchronousFileSystemMakesEveryFileAsynchronous)
{
    FileSystem* fs = Win32FileSystemCreate(2, "async:", "A");
    fs->async = 1;
    ASSERT_TRUE(FileSystemManagerRegister(fs));
    PutFile("x.bin", "x");
    std::string name = "async:" + (root / "x.bin").string();
    FileSlot* file = FileSystemManagerFOpen(name.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->async, 1u);
    EXPECT_EQ(fs->wait(file, true), kFileSlotIdle);
    FileSystemManagerFClose(file);
}

} // namespace

namespace {

TEST_F(FileSystemTest, DefaultFileSystemOnTheCurrentDirectory)
{
    FileSystemManagerClose();
    FileSystemManagerOpen(-1);
    ASSERT_TRUE(Win32FileSystemRegisterDefault());
    FileSystem* fs = FileSystemManagerGetDefault();
    ASSERT_NE(fs, nullptr);
    EXPECT_STREQ(fs->name, "unc");
    EXPECT_EQ(fs->slotCount, 20);
    EXPECT_EQ(std::string(fs->deviceName), std::filesystem::current_path().string() + "/");
    EXPECT_FALSE(Win32FileSystemRegisterDefault()) << "registered once";
    std::string name = "io_default_" + std::to_string(::getpid()) + ".txt";
    FileSlot* file = FileSystemManagerFOpen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    FileSystemManagerFClose(file);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::current_path() / name));
    std::filesystem::remove(std::filesystem::current_path() / name);
}

TEST_F(FileSystemTest, ThreadsNeverShareASlot)
{
    PutFile("shared.bin", "s");
    constexpr int kThreads = 4;
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    static std::atomic<FileSlot*> owners[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &clashes] {
            for (int i = 0; i < 200; ++i) {
                FileSlot* file = FileSystemManagerFOpen("shared.bin", "rb");
                if (!file) {
                    continue;
                }
                owners[t] = file;
                for (int other = 0; other < kThreads; ++other) {
                    if (other != t && owners[other].load() == file) {
                        ++clashes;
                    }
                }
                owners[t] = nullptr;
                FileSystemManagerFClose(file);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(clashes.load(), 0);
}

} // namespace
