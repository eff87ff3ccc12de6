#include "platform/win32/environment.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

void Win32RefuseEnvironment(const char* name, const char* value, const char* why)
{
    std::fprintf(stderr, "%s=%s: %s\n", name, value, why);
    std::fflush(stderr);
    std::exit(2);
}

long Win32EnvironmentNumber(const char* name, long least, long most, long fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    bool digits = true;
    for (const char* c = text; *c; ++c)
        digits = digits && *c >= '0' && *c <= '9';
    errno = 0;
    const long value = digits ? std::strtol(text, nullptr, 10) : 0;
    if (!digits || errno == ERANGE || value < least || value > most) {
        const std::string why =
            "not a whole number from " + std::to_string(least) + " to " + std::to_string(most);
        Win32RefuseEnvironment(name, text, why.c_str());
    }
    return value;
}
