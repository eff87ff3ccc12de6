#include "tools/escort-run/escort_level.h"
#include <algorithm>
#include <charconv>
#include <cstdio>
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

// The first box that a body of the given radius touches on the way from a to b (x and
// z only; a = b tests one spot); -1 when none. Slab test against the grown box.
int BlockingBox(const CEscortLevel& level, const CVec3& a, const CVec3& b, float radius)
{
    for (size_t i = 0; i < level.boxMin.size(); ++i) {
        const float lo[2] = {level.boxMin[i].x - radius, level.boxMin[i].z - radius};
        const float hi[2] = {level.boxMax[i].x + radius, level.boxMax[i].z + radius};
        const float from[2] = {a.x, a.z};
        const float d[2] = {b.x - a.x, b.z - a.z};
        float t0 = 0.0f;
        float t1 = 1.0f;
        bool miss = false;
        for (int k = 0; k < 2 && !miss; ++k) {
            if (d[k] == 0.0f) {
                miss = from[k] <= lo[k] || from[k] >= hi[k];
                continue;
            }
            float ta = (lo[k] - from[k]) / d[k];
            float tb = (hi[k] - from[k]) / d[k];
            if (ta > tb)
                std::swap(ta, tb);
            t0 = std::max(t0, ta);
            t1 = std::min(t1, tb);
            miss = t0 >= t1;
        }
        if (!miss)
            return int(i);
    }
    return -1;
}

std::string LineOf(const std::vector<int>& lines, size_t i)
{
    return i < lines.size() && lines[i] > 0 ? "line " + std::to_string(lines[i]) + ": " : std::string();
}

std::string Point(const CVec3& p)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%g, %g)", double(p.x), double(p.z));
    return text;
}

std::string BoxName(const CEscortLevel& level, size_t box)
{
    return box < level.boxLine.size() && level.boxLine[box] > 0
               ? "the box on line " + std::to_string(level.boxLine[box])
               : "box " + std::to_string(box);
}

} // namespace

bool EscortLevelParse(const char* text, size_t size, CEscortLevel& level, std::string& error)
{
    level = CEscortLevel();
    int sizeLine = 0;
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
        if (wanted == 0 || words.size() != wanted) {
            error = "line " + std::to_string(lineNumber) +
                    ": expected size/box with 4 numbers or route/escort with 2";
            return false;
        }
        for (size_t i = 1; i < wanted; ++i)
            if (!Number(words[i], v[i - 1])) {
                error = "line " + std::to_string(lineNumber) + ": \"" + std::string(words[i]) +
                        "\" is not a finite number between -10000 and 10000";
                return false;
            }
        if (key == "size") {
            if (sizeLine != 0) {
                error = "line " + std::to_string(lineNumber) + ": a second size line (the first is line " +
                        std::to_string(sizeLine) + ")";
                return false;
            }
            level.minX = v[0], level.minZ = v[1], level.maxX = v[2], level.maxZ = v[3];
            sizeLine = lineNumber;
        } else if (key == "box") {
            if (level.boxMin.size() >= kMaxBoxes || v[2] <= v[0] || v[3] <= v[1]) {
                error = "line " + std::to_string(lineNumber) + ": too many boxes or an empty box";
                return false;
            }
            level.boxMin.emplace_back(v[0], 0.0f, v[1]);
            level.boxMax.emplace_back(v[2], 3.0f, v[3]);
            level.boxLine.push_back(lineNumber);
        } else if (key == "route") {
            if (level.route.size() >= kMaxWaypoints) {
                error = "line " + std::to_string(lineNumber) + ": too many waypoints";
                return false;
            }
            level.route.emplace_back(v[0], 0.0f, v[1]);
            level.routeLine.push_back(lineNumber);
        } else {
            if (level.escorts.size() >= kMaxEscorts) {
                error = "line " + std::to_string(lineNumber) + ": too many escorts";
                return false;
            }
            level.escorts.emplace_back(v[0], 0.0f, v[1]);
            level.escortLine.push_back(lineNumber);
        }
    }
    if (sizeLine == 0 || level.maxX - level.minX < 1.0f || level.maxZ - level.minZ < 1.0f ||
        level.maxX - level.minX > 200.0f || level.maxZ - level.minZ > 200.0f) {
        error = "the level needs a size of 1 to 200 metres on each side";
        return false;
    }
    if (level.route.empty()) {
        error = "the level needs a route";
        return false;
    }
    return EscortLevelValidate(level, error);
}

bool EscortLevelIsFree(const CEscortLevel& level, const CVec3& p, float radius)
{
    return BlockingBox(level, p, p, radius) < 0 && p.x - radius >= level.minX && p.x + radius <= level.maxX &&
           p.z - radius >= level.minZ && p.z + radius <= level.maxZ;
}

bool EscortLevelValidate(const CEscortLevel& level, std::string& error)
{
    // Starts: the VIP's (the route's first point), then the escorts'.
    const size_t starts = level.escorts.size() + (level.route.empty() ? 0 : 1);
    for (size_t i = 0; i < starts; ++i) {
        const bool vip = i == 0 && !level.route.empty();
        const size_t e = vip ? 0 : i - (level.route.empty() ? 0 : 1);
        const CVec3 p = vip ? level.route[0] : level.escorts[e];
        const std::string what = LineOf(vip ? level.routeLine : level.escortLine, e) +
                                 (vip ? "the VIP's start " : "the escort's start ") + Point(p);
        const int box = BlockingBox(level, p, p, kEscortBodyRadius);
        if (box >= 0) {
            error = what + " stands in the wall of " + BoxName(level, size_t(box));
            return false;
        }
        if (!EscortLevelIsFree(level, p, kEscortBodyRadius)) {
            error = what + " lies outside the level's walkable area";
            return false;
        }
        for (size_t j = 0; !vip && j < e; ++j)
            if ((level.escorts[j] - p).SquaredLengthXZ() < kEscortBodyRadius * kEscortBodyRadius) {
                error = what + " repeats another escort's start" +
                        (j < level.escortLine.size() ? " (line " + std::to_string(level.escortLine[j]) + ")"
                                                     : std::string());
                return false;
            }
    }
    for (size_t i = 1; i < level.route.size(); ++i) {
        const CVec3& a = level.route[i - 1];
        const CVec3& b = level.route[i];
        const std::string what =
            LineOf(level.routeLine, i) + "the route from " + Point(a) + " to " + Point(b);
        if (!EscortLevelIsFree(level, b, kEscortBodyRadius)) {
            error = what + " leaves the level's walkable area; the VIP cannot walk it";
            return false;
        }
        const int box = BlockingBox(level, a, b, kEscortBodyRadius);
        if (box >= 0) {
            error =
                what + " runs into the wall of " + BoxName(level, size_t(box)) + "; the VIP cannot walk it";
            return false;
        }
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
