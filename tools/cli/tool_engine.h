#pragma once
// The engine as the data tools run it: on the device double (no window, no
// pictures), with the tool's plug-ins, and a default file system over the
// current directory so that names in data resolve as in the demo.

#include <string>

/// Starts the engine on the device double: initialises it, runs `attach`
/// (the tool's plug-in attach calls; may be null) before opening, opens,
/// starts and opens the files (ToolFilesOpen). False on the first failure,
/// with the engine's error recorded.
bool ToolEngineStart(bool (*attach)());
/// Opens the file system manager and makes a file system over the current
/// directory the default; false on failure. For tools that start the engine
/// on another driver.
bool ToolFilesOpen();
/// Closes the files and stops, closes and ends the engine.
void ToolEngineStop();
/// Takes the engine down from whatever state it is in: stops it when
/// started, closes it when open, ends it when initialised.
void ToolEngineShutdown();
/// Prints "<tool>: <what> (error <plug-in>:0x<code>)" with the engine's
/// recorded error to standard error; returns 1, the tools' failure status.
int ToolEngineFail(const char* tool, const std::string& what);
