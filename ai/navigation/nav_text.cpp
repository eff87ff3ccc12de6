#include "ai/navigation/nav_text.h"

#include <charconv>
#include <cstring>

namespace Zelk {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

const char* SkipBlanks(const char* p)
{
    while (*p != '\0' && IsBlank(*p))
        ++p;
    return p;
}

// A number at p as strtod would take it ("+" allowed); end receives where it stopped.
bool ParseNumberAt(const char* p, float& value, const char** end)
{
    const char* start = *p == '+' && p[1] != '-' ? p + 1 : p;
    const auto result = std::from_chars(start, start + std::strlen(start), value);
    if (result.ec != std::errc())
        return false;
    *end = result.ptr;
    return true;
}

} // namespace

size_t NavFormatFixed(float value, char* out, size_t size)
{
    if (size == 0)
        return 0;
    const auto result = std::to_chars(out, out + size - 1, double(value), std::chars_format::fixed, 6);
    if (result.ec != std::errc()) {
        out[0] = '\0';
        return 0;
    }
    *result.ptr = '\0';
    return size_t(result.ptr - out);
}

bool NavParseWordAndNumber(const char* text, char* word, size_t wordSize, float& number)
{
    if (text == nullptr || wordSize == 0)
        return false;
    const char* p = SkipBlanks(text);
    size_t length = 0;
    while (p[length] != '\0' && !IsBlank(p[length]))
        ++length;
    if (length == 0)
        return false;
    const size_t kept = length < wordSize ? length : wordSize - 1;
    std::memcpy(word, p, kept);
    word[kept] = '\0';
    const char* end = nullptr;
    return ParseNumberAt(SkipBlanks(p + length), number, &end);
}

bool NavParseInt(const char* text, int32_t& value)
{
    if (text == nullptr)
        return false;
    const char* p = SkipBlanks(text);
    if (*p == '+' && p[1] != '-')
        ++p;
    const size_t length = std::strlen(p);
    const auto result = std::from_chars(p, p + length, value);
    return result.ec == std::errc() && result.ptr != p && *SkipBlanks(result.ptr) == '\0';
}

bool NavParseFloat(const char* text, float& value)
{
    if (text == nullptr)
        return false;
    const char* end = nullptr;
    return ParseNumberAt(SkipBlanks(text), value, &end) && *SkipBlanks(end) == '\0';
}

} // namespace Zelk
