#include "tools/escort-run/escort_level.h"
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

namespace Zelk {

namespace {

constexpr size_t kMaxBoxes = 256;
constexpr size_t kMaxWaypoints = 64;
constexpr size_t kMaxEscorts = 32;
constexpr float kLimit = 10000.0f; // metres from the origin

// Splits a line into words at spaces and tabs.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
            ++j;
        if (j > i)
            words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

bool Number(std::string_view word, float& value)
{
    const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    return result.ec == std::errc() && result.ptr == word.data() + word.size() && value > -kLimit &&
           value < kLimit;
}

} // namespace

bool EscortLevelParse(const char* text, size_t size, CEscortLevel& level, std::string& error)
{
    level = CEscortLevel();
    bool hasSize = false;
    const std::string_view all(text != nullptr ? text : "", text != nullptr ? size : 0);
    size_t start = 0;
    for (int lineNumber = 1; start < all.size(); ++lineNumber) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size();
        const std::string_view line = all.substr(start, end - start);
        start = end + 1;
        const std::vector<std::string_view> words = Words(line);
        if (words.empty() || words[0][0] == '#')
            continue;
        const std::string_view key = words[0];
        const size_t wanted = key == "size" || key == "box" ? 5 : key == "route" || key == "escort" ? 3 : 0;
        float v[4] = {};
        bool ok = wanted != 0 && words.size() == wanted;
        for (size_t i = 1; ok && i < wanted; ++i)
            ok = Number(words[i], v[i - 1]);
        if (!ok) {
            error = "line " + std::to_string(lineNumber) +
                    ": expected size/box with 4 numbers or route/escort with 2";
            return false;
        }
        if (key == "size") {
            level.minX = v[0], level.minZ = v[1], level.maxX = v[2], level.maxZ = v[3];
            hasSize = true;
        } else if (key == "box") {
            if (level.boxMin.size() >= kMaxBoxes || v[2] <= v[0] || v[3] <= v[1]) {
                error = "line " + std::to_string(lineNumber) + ": too many boxes or an empty box";
                return false;
            }
            level.boxMin.emplace_back(v[0], 0.0f, v[1]);
            level.boxMax.emplace_back(v[2], 3.0f, v[3]);
        } else if (key == "route") {
            if (level.route.size() >= kMaxWaypoints) {
                error = "line " + std::to_string(lineNumber) + ": too many waypoints";
                return false;
            }
            level.route.emplace_back(v[0], 0.0f, v[1]);
        } else {
            if (level.escorts.size() >= kMaxEscorts) {
                error = "line " + std::to_string(lineNumber) + ": too many escorts";
                return false;
            }
            level.escorts.emplace_back(v[0], 0.0f, v[1]);
        }
    }
    if (!hasSize || level.maxX - level.minX < 1.0f || level.maxZ - level.minZ < 1.0f ||
        level.maxX - level.minX > 200.0f || level.maxZ - level.minZ > 200.0f) {
        error = "the level needs a size of 1 to 200 metres on each side";
        return false;
    }
    if (level.route.empty()) {
        error = "the level needs a route";
        return false;
    }
    return true;
}

bool EscortLevelLoad(const char* fileName, CEscortLevel& level, std::string& error)
{
    std::ifstream file(fileName, std::ios::binary);
    if (!file) {
        error = std::string("cannot open ") + fileName;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    const std::string s = text.str();
    return EscortLevelParse(s.data(), s.size(), level, error);
}

} // namespace Zelk
