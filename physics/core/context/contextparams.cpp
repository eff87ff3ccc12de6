#include "physics/core/context/contextparams.h"

OlpContextParams* OlpContextParamsDefault(OlpContextParams* params)
{
    static const uint32_t kDefaults[kOlpParamCount] = {0xFFFFFFFFu, 3,  0,   0,   0,    0,   0,    100,
                                                       100,         10, 400, 400, 1000, 100, 1000, 40};
    for (uint32_t i = 0; i < kOlpParamCount; ++i) {
        params->words[i] = kDefaults[i];
    }
    return params;
}

OlpContextParams* OlpContextParamsSetFreeJoints(OlpContextParams* params, uint32_t n)
{
    params->words[kOlpParamJoints] -= params->words[kOlpParamFreeJoints];
    params->words[kOlpParamFreeJoints] = n;
    params->words[kOlpParamJoints] += n;
    return params;
}

OlpContextParams* OlpContextParamsSetLayoutFlags(OlpContextParams* params, uint32_t flags)
{
    params->words[kOlpParamLayoutFlags] = flags;
    return params;
}

OlpContextParams* OlpContextParamsSetNarrowCapacities(OlpContextParams* params, uint32_t word13,
                                                      uint32_t word12, uint32_t word14, uint32_t word15)
{
    params->words[kOlpParamNarrowSecond] = word13;
    params->words[kOlpParamNarrowFirst] = word12;
    params->words[kOlpParamNarrowThird] = word14;
    params->words[kOlpParamContinuous] = word15;
    return params;
}

OlpContextParams* OlpContextParamsSetRowLimits(OlpContextParams* params, uint32_t rows)
{
    params->words[kOlpParamBatchRows] = rows;
    params->words[kOlpParamIslandRows] = rows;
    return params;
}
