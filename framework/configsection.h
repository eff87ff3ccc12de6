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

/// The largest magnitude a number in "config.xml" may have: beyond it no
/// length, speed or position of a level is meant, and products with the
/// scale could overflow.
inline constexpr float kConfigLargestMagnitude = 1e6f;

/// True when `pair` holds `key` (exact, case-sensitive) with a value; the
/// value must then be a whole number (white space around it and a leading
/// '+' allowed) in the "C" locale, stored into `result`. A value that is not
/// one is refused (ConfigRefuseValue: the error box, which halts) and leaves
/// `result` alone; the answer is still true. False, result untouched, when
/// the pair is absent or misnamed. Never reads past a null name.
bool ReadIntAttribute(const char* key, const char** pair, int32_t* result);
/// The same for a 32-bit float, which must be finite and at most
/// kConfigLargestMagnitude in magnitude.
bool ReadFloatAttribute(const char* key, const char** pair, float* result);
/// Names the file and the element that the readers are reading, for their
/// messages (null: not known). The configuration reader sets both.
void ConfigSetReadingPlace(const char* file, const char* element);
/// Refuses a value: "<file>: element '<element>' attribute '<key>' value
/// '<value>' <why>." in the framework's error box, which halts the program.
void ConfigRefuseValue(const char* key, const char* value, const char* why);
/// The value of `pair` when it holds `key` (exact, case-sensitive); null
/// otherwise.
const char* ReadTextAttribute(const char* key, const char** pair);
/// The pair of the k-th attribute (k from 0), or null when the list ends
/// before it; for the readers above, which answer false for null.
const char** AttributePair(const char** attributes, int32_t k);
