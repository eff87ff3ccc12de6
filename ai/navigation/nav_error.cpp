#include "ai/navigation/nav_error.h"

#include <cstdio>

namespace Zelk {

namespace {
ENavError g_lastError = ENavError::None;
const char* g_lastText = "";
char g_textAt[160];
} // namespace

void NavSetError(ENavError error, const char* what)
{
    g_lastError = error;
    g_lastText = what != nullptr ? what : "";
}

void NavSetErrorAt(ENavError error, const char* what, size_t offset)
{
    std::snprintf(g_textAt, sizeof g_textAt, "%s at byte %zu", what != nullptr ? what : "", offset);
    g_lastError = error;
    g_lastText = g_textAt;
}

ENavError NavGetLastError()
{
    return g_lastError;
}

const char* NavGetLastErrorText()
{
    return g_lastText;
}

void NavClearError()
{
    g_lastError = ENavError::None;
    g_lastText = "";
}

} // namespace Zelk
