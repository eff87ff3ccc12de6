#pragma once
// The engine's string functions. Every engine module handles text through
// the functions held in the engine instance, so that an application could
// replace them; StringFunctionsInstall puts the defaults there at EngineInit.

#include <cstdarg>
#include <cstddef>

struct StringFunctions
{
    int (*sprintf)(char* buffer, const char* format, ...);
    int (*vsprintf)(char* buffer, const char* format, va_list args);
    char* (*copy)(char* dst, const char* src);
    char* (*copyN)(char* dst, const char* src, size_t n);
    char* (*concat)(char* dst, const char* src);
    char* (*concatN)(char* dst, const char* src, size_t n);
    /// Last occurrence of a character; asked for 0 it finds the terminator.
    char* (*findLastChar)(const char* text, int c);
    /// First occurrence of a character; asked for 0 it finds the terminator.
    char* (*findChar)(const char* text, int c);
    char* (*findString)(const char* text, const char* what);
    int (*compare)(const char* a, const char* b);
    int (*compareN)(const char* a, const char* b, size_t n);
    /// ASCII letters compared ignoring case; either text null gives 0.
    int (*compareIgnoreCase)(const char* a, const char* b);
    size_t (*length)(const char* text);
    /// ASCII a-z to upper case in place; returns the text.
    char* (*toUpper)(char* text);
    /// ASCII A-Z to lower case in place; returns the text.
    char* (*toLower)(char* text);
    char* (*tokenize)(char* text, const char* separators);
    int (*scan)(const char* text, const char* format, ...);
};

/// Fills the current instance's string functions with the defaults. Returns true.
bool StringFunctionsInstall();
/// The current instance's string functions.
const StringFunctions* StringFunctionsGet();
