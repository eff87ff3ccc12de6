// POSIX files for the AI's file words.
#include "ai/testhost/testhost.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace Zelk {

namespace {

struct TestFile
{
    std::FILE* file;
    bool text;
};

TestFile* AsFile(void* file)
{
    return static_cast<TestFile*>(file);
}

} // namespace

void* TestFileOpen(const char* name, const char* mode)
{
    if (!name || !mode) {
        return nullptr;
    }
    // The C library has no text mode here: drop 't' and remember it.
    char plain[8];
    std::size_t n = 0;
    bool text = false;
    for (const char* m = mode; *m && n + 1 < sizeof plain; ++m) {
        if (*m == 't') {
            text = true;
        } else {
            plain[n++] = *m;
        }
    }
    plain[n] = 0;
    std::FILE* f = std::fopen(name, plain);
    if (!f) {
        return nullptr;
    }
    auto* file = new (std::nothrow) TestFile{f, text};
    if (!file) {
        std::fclose(f);
    }
    return file;
}

int TestFileClose(void* file)
{
    if (!file) {
        return -1;
    }
    int r = std::fclose(AsFile(file)->file);
    delete AsFile(file);
    return r;
}

int TestFileEof(void* file)
{
    return file ? std::feof(AsFile(file)->file) : 1;
}

char* TestFileReadLine(char* buffer, int size, void* file)
{
    if (!file || !buffer || size <= 0) {
        return nullptr;
    }
    char* line = std::fgets(buffer, size, AsFile(file)->file);
    if (line && AsFile(file)->text) {
        // Lines written with "\r\n" read as "\n", as a text mode would give them.
        char* out = line;
        for (char* in = line; *in; ++in) {
            if (*in != '\r') {
                *out++ = *in;
            }
        }
        *out = 0;
    }
    return line;
}

std::size_t TestFileWrite(const void* buffer, std::size_t size, std::size_t count, void* file)
{
    return file ? std::fwrite(buffer, size, count, AsFile(file)->file) : 0;
}

std::size_t TestFileRead(void* buffer, std::size_t size, std::size_t count, void* file)
{
    if (!file || !buffer) {
        return 0;
    }
    TestFile* f = AsFile(file);
    if (!f->text || size != 1) {
        return std::fread(buffer, size, count, f->file);
    }
    // Text mode: bytes without '\r', refilling until count bytes or the end.
    auto* out = static_cast<char*>(buffer);
    std::size_t kept = 0;
    while (kept < count) {
        std::size_t n = std::fread(out + kept, 1, count - kept, f->file);
        if (n == 0) {
            break;
        }
        std::size_t end = kept + n;
        for (std::size_t i = kept; i < end; ++i) {
            if (out[i] != '\r') {
                out[kept++] = out[i];
            }
        }
    }
    return kept;
}

int TestFileSeek(void* file, long offset, int origin)
{
    static const int kOrigins[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (!file || origin < 0 || origin > 2) {
        return -1;
    }
    return std::fseek(AsFile(file)->file, offset, kOrigins[origin]) == 0 ? 0 : -1;
}

} // namespace Zelk
