#pragma once
// The command line split into arguments.
//
// Arguments are separated by characters below 33 (blank and control
// characters) outside double quotes; each double quote toggles the quoting.
// A quote that opens an argument is dropped, as is one that ends it; quotes
// inside an argument stay.

#include <cstdint>

/// The argument vector of `commandLine` (null: empty) with its count in
/// *count; argv[*count] is null. The vector and the copied text lie in one
/// block that the caller frees with std::free (the vector is that block).
/// Null when out of memory (*count 0).
char** SplitCommandLine(const char* commandLine, int32_t* count);
