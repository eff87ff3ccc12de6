#pragma once
// Runs the framework's configuration reader on one file without a game or a
// window and writes a transcript: every top-level element dispatched, every
// section opened and closed, every element the game's "Application" section
// receives, every error box, and warnings for sections a running game needs.
// The engine runs on the device double, started at the first call.
#include <string>

class CConfigSection;

/// Reads `path`; the transcript goes to `out`. The elements of "Application"
/// are also handed to `game` when given (a game's own reader). Answers 1 when
/// an error box was shown (the framework would run no frame), else 0.
int ConfigCheck(const char* path, std::string* out, CConfigSection* game = nullptr);

/// The engine on the software device in a hidden window, with the plug-ins,
/// the readers and the file system the framework gives a started engine;
/// started once, kept running. False when it does not start.
bool StartHeadlessEngine();
