#include "testing/textpattern.h"

#include <regex>

std::vector<std::vector<std::string>> TextPatternMatches(const std::string& text, const std::string& pattern)
{
    const std::regex expression(pattern);
    std::vector<std::vector<std::string>> matches;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression); it != std::sregex_iterator();
         ++it) {
        std::vector<std::string> groups;
        for (const auto& group : *it)
            groups.push_back(group.matched ? group.str() : std::string());
        matches.push_back(std::move(groups));
    }
    return matches;
}

std::string TextPatternReplace(const std::string& text, const std::string& pattern, const std::string& by)
{
    return std::regex_replace(text, std::regex(pattern), by);
}
