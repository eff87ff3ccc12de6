#pragma once
// Regular expressions for tests, compiled once here: a test file that
// includes <regex> and instantiates it pays about ten seconds of build.
// Patterns are ECMAScript, as std::regex reads them.

#include <string>
#include <vector>

/// Every match of `pattern` in `text`, in order: [0] is the whole match,
/// [1]... its groups; a group that took no part in the match is empty.
std::vector<std::vector<std::string>> TextPatternMatches(const std::string& text, const std::string& pattern);

/// `text` with every match of `pattern` replaced by `by` ("$1" names a group).
std::string TextPatternReplace(const std::string& text, const std::string& pattern, const std::string& by);
