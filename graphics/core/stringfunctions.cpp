#include "graphics/core/stringfunctions.h"

#include <cstdio>
#include <cstring>

#include "graphics/core/engine.h"

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

int CompareIgnoreCase(const char* a, const char* b)
{
    if (!a || !b) {
        return 0;
    }
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(AsciiLower(*a));
        unsigned char cb = static_cast<unsigned char>(AsciiLower(*b));
        if (ca != cb || ca == 0) {
            return int(ca) - int(cb);
        }
    }
}

char* ToUpper(char* text)
{
    for (char* c = text; *c; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = char(*c - 'a' + 'A');
        }
    }
    return text;
}

char* ToLower(char* text)
{
    for (char* c = text; *c; ++c) {
        *c = AsciiLower(*c);
    }
    return text;
}

char* FindChar(const char* text, int c)
{
    return const_cast<char*>(std::strchr(text, c));
}

char* FindLastChar(const char* text, int c)
{
    return const_cast<char*>(std::strrchr(text, c));
}

char* FindString(const char* text, const char* what)
{
    return const_cast<char*>(std::strstr(text, what));
}

int FormatVa(char* buffer, const char* format, va_list args)
{
    return std::vsprintf(buffer, format, args);
}

int Format(char* buffer, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int written = std::vsprintf(buffer, format, args);
    va_end(args);
    return written;
}

int Scan(const char* text, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int read = std::vsscanf(text, format, args);
    va_end(args);
    return read;
}

} // namespace

bool StringFunctionsInstall()
{
    StringFunctions& f = EngineGetInstance()->stringFunctions;
    f.sprintf = Format;
    f.vsprintf = FormatVa;
    f.copy = [](char* dst, const char* src) { return std::strcpy(dst, src); };
    f.copyN = [](char* dst, const char* src, size_t n) { return std::strncpy(dst, src, n); };
    f.concat = [](char* dst, const char* src) { return std::strcat(dst, src); };
    f.concatN = [](char* dst, const char* src, size_t n) { return std::strncat(dst, src, n); };
    f.findLastChar = FindLastChar;
    f.findChar = FindChar;
    f.findString = FindString;
    f.compare = [](const char* a, const char* b) { return std::strcmp(a, b); };
    f.compareN = [](const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); };
    f.compareIgnoreCase = CompareIgnoreCase;
    f.length = [](const char* text) { return std::strlen(text); };
    f.toUpper = ToUpper;
    f.toLower = ToLower;
    f.tokenize = [](char* text, const char* separators) { return std::strtok(text, separators); };
    f.scan = Scan;
    return true;
}

const StringFunctions* StringFunctionsGet()
{
    return &EngineGetInstance()->stringFunctions;
}
