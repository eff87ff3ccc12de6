// Error reporting of the navigation library: every operation answers
// false/null on failure and records why, readable here until the next failure.
#pragma once

#include <cstddef>

namespace Zelk {

enum class ENavError
{
    None,
    CannotOpen,   // the file or raw-data block could not be opened
    WrongMagic,   // the file does not start with the expected characters
    WrongVersion, // the version word is not 1
    Truncated,    // the data ends before a field or record it announces
    BadCount,     // a count does not fit the data or the graph
    BadIndex,     // an index read from the data is out of range
    WriteFailed,  // a file could not be written whole
    NoMemory,     // an allocation failed
    BadArgument,  // a caller passed something unusable
    BadValue,     // a number read from the data is not finite
};

// Records a failure: the kind and a short static description.
void NavSetError(ENavError error, const char* what);
// Records a failure found while reading data, with the byte offset it was found at
// (the text becomes "<what> at byte <offset>").
void NavSetErrorAt(ENavError error, const char* what, size_t offset);
// The kind of the last recorded failure (None after NavClearError).
ENavError NavGetLastError();
// Description of the last recorded failure ("" when none).
const char* NavGetLastErrorText();
void NavClearError();

} // namespace Zelk
