#pragma once
// String chunks: text in saved files. A string chunk (type 2) holds the
// text, its NUL and zero padding to a multiple of 4 bytes; a wide string
// chunk (type 0x13, only read) holds 16-bit little-endian characters, of
// which the low byte of each is kept.

#include <cstddef>
#include <cstdint>

struct Stream;

/// Body size of the string chunk of `text` (null counts as empty): (length + 4) rounded down to 4.
uint32_t StringStreamGetSize(const char* text);
/// Writes the string chunk of `text` (null writes the empty text); the text
/// written, or null.
const char* StringStreamWrite(const char* text, Stream* stream);
/// Reads the next string chunk (wide or not), skipping chunks of other types;
/// every header's version is checked. The text is stored NUL-terminated into
/// `buffer` of `capacity` bytes, or, when buffer is null, into a new block
/// that StringFree frees. Null when no string chunk can be read, a version is
/// refused (kErrorBadVersion), the data is short (kErrorRead) or the text does
/// not fit the buffer (kErrorNameTooLong).
char* StringStreamRead(char* buffer, size_t capacity, Stream* stream);
/// Frees a text that StringStreamRead allocated. Returns true.
bool StringFree(char* text);
