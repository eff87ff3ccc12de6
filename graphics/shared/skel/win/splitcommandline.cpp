// Splitting the command line: one walker counts and marks the arguments.
#include "graphics/shared/skel/win/splitcommandline.h"

#include <cstdlib>
#include <cstring>

namespace {

// Walks text[0..length] (the terminating NUL included). Without `argv` it
// only counts; with it, it records each argument's start in `copy` (a copy of
// the text) and terminates it there, so both passes agree by construction.
int32_t Walk(const char* text, size_t length, char** argv, char* copy)
{
    int32_t count = 0;
    bool quoted = false;
    bool inArgument = false;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool separator = c == 0 || (c < 33 && !quoted);
        if (!inArgument) {
            if (separator)
                continue;
            inArgument = true;
            start = i;
            if (c == '"') {
                quoted = !quoted;
                start = i + 1; // an opening quote is not part of the argument
                continue;
            }
        } else if (!separator) {
            if (c == '"')
                quoted = !quoted;
            continue;
        }
        if (!separator)
            continue;
        // End of an argument at i: [start, i).
        if (argv) {
            argv[count] = copy + start;
            if (i > start && text[i - 1] == '"')
                copy[i - 1] = '\0';
            else
                copy[i] = '\0';
        }
        ++count;
        inArgument = false;
        quoted = false;
    }
    return count;
}

} // namespace

char** SplitCommandLine(const char* commandLine, int32_t* count)
{
    *count = 0;
    const char* source = commandLine ? commandLine : "";
    const size_t length = std::strlen(source);
    const int32_t n = Walk(source, length, nullptr, nullptr);
    const size_t vectorBytes = (size_t(n) + 1) * sizeof(char*);
    auto* block = static_cast<char*>(std::malloc(vectorBytes + length + 1));
    if (!block)
        return nullptr;
    auto** argv = reinterpret_cast<char**>(block);
    char* text = block + vectorBytes;
    std::memcpy(text, source, length + 1);
    Walk(source, length, argv, text);
    argv[n] = nullptr;
    *count = n;
    return argv;
}
