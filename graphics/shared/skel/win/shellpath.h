#pragma once
// Native paths and the image search path of a model file. The separator is
// '/'; '\' is accepted wherever a path is read (the engine's file systems
// map it too).

#include <string>

/// A new copy of `path` with every '\' turned into '/', allocated with the
/// engine's memory functions; null for a null path or out of memory.
char* ShellMakeNativePath(const char* path);
/// Frees a path from ShellMakeNativePath; null is ignored.
void ShellFreePath(char* path);
/// '/'.
char ShellGetPathSeparator();
/// The image search path for the textures of a model or world file: its name
/// without extension as a folder, then its own folder's "textures" folder:
/// "models/ship.dff" gives "models/ship/;models/textures/", "ship.dff" gives
/// "ship/;textures/". Only a dot after the last separator starts the
/// extension. Null or empty answers "".
std::string ShellImagePathForFile(const char* path);
/// Sets ShellImagePathForFile(path) as the engine's image path (ImageSetPath).
void ShellSetImagePathForFile(const char* path);
