#include "framework/configsection.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/standardapplication.h"

namespace {

/// Where the readers are, for their messages: set by the configuration
/// reader, which reads one file at a time on one thread.
struct ReadingPlace
{
    const char* file = nullptr;
    const char* element = nullptr;
};

ReadingPlace& Place()
{
    static ReadingPlace place;
    return place;
}

/// The value of `pair` when its name is `key`, else null.
const char* ValueFor(const char* key, const char** pair)
{
    if (!pair || !pair[0] || std::strcmp(pair[0], key) != 0)
        return nullptr;
    return pair[1];
}

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/// Where a number starts: after white space and a '+' (std::from_chars
/// accepts neither); a '-' stays for from_chars.
const char* NumberStart(const char* text)
{
    while (IsBlank(*text))
        ++text;
    if (*text == '+' && text[1] != '-')
        ++text;
    return text;
}

/// True when only white space follows `end`.
bool OnlyBlanksFrom(const char* end)
{
    while (IsBlank(*end))
        ++end;
    return *end == '\0';
}

} // namespace

void ConfigSetReadingPlace(const char* file, const char* element)
{
    Place() = ReadingPlace{file, element};
}

void ConfigRefuseValue(const char* key, const char* value, const char* why)
{
    const ReadingPlace& place = Place();
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: element '%s' attribute '%s' value '%.64s' %s.\nPlease update your XML file",
                  place.file ? place.file : "configuration", place.element ? place.element : "?", key,
                  value ? value : "", why);
    CStandardApplication::ReportEngineError(text);
}

bool ReadIntAttribute(const char* key, const char** pair, int32_t* result)
{
    const char* value = ValueFor(key, pair);
    if (!value)
        return false;
    const char* start = NumberStart(value);
    const char* end = start + std::strlen(start);
    int32_t number = 0;
    // from_chars is locale-free, like a scan in the "C" locale.
    const std::from_chars_result scan = std::from_chars(start, end, number);
    if (scan.ec == std::errc::result_out_of_range)
        ConfigRefuseValue(key, value, "is not a whole number from -2147483648 to 2147483647");
    else if (scan.ec != std::errc() || !OnlyBlanksFrom(scan.ptr))
        ConfigRefuseValue(key, value, "is not a whole number");
    else
        *result = number;
    return true;
}

bool ReadFloatAttribute(const char* key, const char** pair, float* result)
{
    const char* value = ValueFor(key, pair);
    if (!value)
        return false;
    const char* start = NumberStart(value);
    const char* end = start + std::strlen(start);
    float number = 0.0f;
    const std::from_chars_result scan = std::from_chars(start, end, number);
    if (scan.ec != std::errc() || !OnlyBlanksFrom(scan.ptr) || !std::isfinite(number) ||
        std::fabs(number) > kConfigLargestMagnitude)
        ConfigRefuseValue(key, value, "is not a finite number from -1e6 to 1e6");
    else
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
