// Numbers in the text of the navigation's data (action texts of way points,
// the text form of neural nets), written and read in the "C" locale whatever
// the process's locale is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zelk {

// Writes value as printf's "%f" does in the "C" locale (six decimals) into out, zero-terminated;
// returns the characters written, 0 (out empty) when they do not fit.
size_t NavFormatFixed(float value, char* out, size_t size);
// Reads text as scanf's "%s %f": a word of non-blank characters (cut to wordSize - 1) and a
// number after blanks. False when either is missing.
bool NavParseWordAndNumber(const char* text, char* word, size_t wordSize, float& number);
// A whole text (blanks around allowed) as a decimal integer or a real; false otherwise.
bool NavParseInt(const char* text, int32_t& value);
bool NavParseFloat(const char* text, float& value);

} // namespace Zelk
