// Warnings of the AI runtime: things that do not stop it but that an author
// should fix (a service left out, raw data listed out of order ...).
#pragma once

namespace Zelk {

/// Receives one warning text (without a line end).
using AiWarningSink = void (*)(const char* text, void* user);
/// Installs the sink; null restores the default, which writes "ai: warning: <text>" to stderr.
void AiSetWarningSink(AiWarningSink sink, void* user);
/// Formats a warning (printf-style) and hands it to the sink.
void AiWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace Zelk
