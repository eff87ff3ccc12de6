#pragma once
// Receivers of "config.xml" sections and the attribute readers.
//
// An attribute list is what the parser passes with an element start: text
// pointers in document order, name then value for each attribute, ended by a
// null name. Attributes are read by position: a caller points at pair k
// (attributes + 2 * k) for the k-th attribute, and the reader checks that
// this pair carries the expected name.
#include <cstdint>

/// A section receiver: gets every element start and end from its own
/// element's start to its end (both included).
class CConfigSection
{
  public:
    virtual ~CConfigSection() = default;
    /// An element start inside the section; false for a malformed element.
    virtual bool OnStart(const char* element, const char** attributes) = 0;
    /// An element end inside the section.
    virtual bool OnEnd(const char* element) = 0;
};

/// True when `pair` holds `key` (exact, case-sensitive) with a value; the
/// value is then scanned as "%d" in the "C" locale into `result` (left alone
/// when it holds no number). False, result untouched, otherwise. Never reads
/// past a null name.
bool ReadIntAttribute(const char* key, const char** pair, int32_t* result);
/// The same with "%f" into a 32-bit float.
bool ReadFloatAttribute(const char* key, const char** pair, float* result);
/// The value of `pair` when it holds `key` (exact, case-sensitive); null
/// otherwise.
const char* ReadTextAttribute(const char* key, const char** pair);
/// The pair of the k-th attribute (k from 0), or null when the list ends
/// before it; for the readers above, which answer false for null.
const char** AttributePair(const char** attributes, int32_t k);
