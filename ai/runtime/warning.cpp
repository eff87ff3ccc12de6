#include "ai/runtime/warning.h"

#include <cstdarg>
#include <cstdio>

namespace Zelk {

namespace {

void DefaultSink(const char* text, void*)
{
    std::fprintf(stderr, "ai: warning: %s\n", text);
}

AiWarningSink g_sink = &DefaultSink;
void* g_user = nullptr;

} // namespace

void AiSetWarningSink(AiWarningSink sink, void* user)
{
    g_sink = sink ? sink : &DefaultSink;
    g_user = sink ? user : nullptr;
}

void AiWarning(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_sink(text, g_user);
}

} // namespace Zelk
