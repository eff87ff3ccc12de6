#pragma once
// The process command line as one text, as Windows hands it to a program:
// rebuilt from main's arguments, each quoted where it needs to be.

#include <string>

/// Remembers main's arguments as the command line; call first thing in main.
void Win32SetCommandLine(int argc, const char* const* argv);
/// The command line: the quoted arguments separated by blanks ("" before
/// Win32SetCommandLine).
const char* GetCommandLineA();
/// Joins arguments into one text: an argument with a blank, a control
/// character or nothing in it is put in double quotes; others stand as they
/// are. Arguments that contain a double quote are written as they are (the
/// quote toggles quoting for the reader, so they cannot be protected).
std::string Win32QuoteCommandLine(int argc, const char* const* argv);
