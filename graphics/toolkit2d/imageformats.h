#pragma once
// Registration of the toolkit's image formats with the engine's image-format
// registry, for the shell and tests to call once the engine has started.

/// Registers the readers of "bmp" (BmpRead) and "png" (PngRead). True when
/// both are registered, false when the registry is out of memory.
bool Toolkit2dImageFormatsRegister();
