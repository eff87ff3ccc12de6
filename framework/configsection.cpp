#include "framework/configsection.h"

#include <charconv>
#include <cstring>

namespace {

/// The value of `pair` when its name is `key`, else null.
const char* ValueFor(const char* key, const char** pair)
{
    if (!pair || !pair[0] || std::strcmp(pair[0], key) != 0)
        return nullptr;
    return pair[1];
}

/// Where a formatted scan starts its number: after white space and a '+'
/// (std::from_chars accepts neither); a '-' stays for from_chars.
const char* NumberStart(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    if (*text == '+' && text[1] != '-')
        ++text;
    return text;
}

} // namespace

bool ReadIntAttribute(const char* key, const char** pair, int32_t* result)
{
    const char* value = ValueFor(key, pair);
    if (!value)
        return false;
    const char* start = NumberStart(value);
    int32_t number = 0;
    // from_chars is locale-free, like a scan in the "C" locale; a value that
    // holds no number or one out of range leaves the result as it was.
    if (std::from_chars(start, start + std::strlen(start), number).ec == std::errc())
        *result = number;
    return true;
}

bool ReadFloatAttribute(const char* key, const char** pair, float* result)
{
    const char* value = ValueFor(key, pair);
    if (!value)
        return false;
    const char* start = NumberStart(value);
    float number = 0.0f;
    if (std::from_chars(start, start + std::strlen(start), number).ec == std::errc())
        *result = number;
    return true;
}

const char** AttributePair(const char** attributes, int32_t k)
{
    if (!attributes)
        return nullptr;
    for (int32_t i = 0; i < k; ++i) {
        if (!attributes[2 * i])
            return nullptr;
    }
    return attributes + 2 * k;
}

const char* ReadTextAttribute(const char* key, const char** pair)
{
    return ValueFor(key, pair);
}
