#include "ai/navigation/nav_error.h"

namespace Zelk {

namespace {
ENavError g_lastError = ENavError::None;
const char* g_lastText = "";
} // namespace

void NavSetError(ENavError error, const char* what)
{
    g_lastError = error;
    g_lastText = what != nullptr ? what : "";
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
