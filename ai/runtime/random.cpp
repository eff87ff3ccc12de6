#include "ai/runtime/random.h"

namespace Zelk {

namespace {

uint32_t g_state = 1;
AiRandomSource g_source = nullptr;
void* g_sourceUser = nullptr;

} // namespace

void AiSeedRandom(uint32_t seed)
{
    g_state = seed;
}

int32_t AiRandom()
{
    if (g_source != nullptr)
        return g_source(g_sourceUser) & kAiRandomMax;
    // Linear congruential step; the high bits are the better ones.
    g_state = g_state * 214013u + 2531011u;
    return int32_t((g_state >> 16) & uint32_t(kAiRandomMax));
}

void AiSetRandomSource(AiRandomSource source, void* user)
{
    g_source = source;
    g_sourceUser = user;
}

} // namespace Zelk
