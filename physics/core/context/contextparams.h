#pragma once
// The sixteen creation parameters of a physics context. Every capacity of a
// simulation is fixed from them when the context is created; object types
// raise them beforehand through their reservation functions.

#include <cstdint>

/// Word indices of OlpContextParams.
enum OlpContextParam : uint32_t
{
    kOlpParamLayoutFlags = 0, ///< pipeline working-memory layout bits
    kOlpParamObjectTypes = 1, ///< size of the handler table
    kOlpParamObjects = 2,     ///< registered objects
    kOlpParamFreeJoints = 3,  ///< joints that belong to no object
    kOlpParamActiveObjects = 4,
    kOlpParamActiveParts = 5, ///< dynamics states
    kOlpParamJoints = 6,      ///< joint records, free joints included
    kOlpParamPairs = 7,       ///< far-field and pipeline pairs
    kOlpParamContacts = 8,
    kOlpParamVolumes = 9,      ///< slots of the context's volume table
    kOlpParamBatchRows = 10,   ///< rows per solver batch
    kOlpParamIslandRows = 11,  ///< rows per island block
    kOlpParamNarrowFirst = 12, ///< narrow-phase workspace capacities
    kOlpParamNarrowSecond = 13,
    kOlpParamNarrowThird = 14,
    kOlpParamContinuous = 15, ///< parts under continuous collision per step
    kOlpParamCount = 16,
};

struct OlpContextParams
{
    uint32_t words[kOlpParamCount];
};

/// The defaults: -1, 3, 0, 0, 0, 0, 0, 100, 100, 10, 400, 400, 1000, 100, 1000, 40.
OlpContextParams* OlpContextParamsDefault(OlpContextParams* params);
/// Sets the free joints to n, keeping the joint total (word 6) the sum of
/// free and object joints.
OlpContextParams* OlpContextParamsSetFreeJoints(OlpContextParams* params, uint32_t n);
/// Sets the pipeline's working-memory layout flags (word 0).
OlpContextParams* OlpContextParamsSetLayoutFlags(OlpContextParams* params, uint32_t flags);
/// Sets words 13, 12, 14 and 15, in that order of the arguments.
OlpContextParams* OlpContextParamsSetNarrowCapacities(OlpContextParams* params, uint32_t word13,
                                                      uint32_t word12, uint32_t word14, uint32_t word15);
/// Sets the rows per solver batch and per island block (words 10 and 11) to one value.
OlpContextParams* OlpContextParamsSetRowLimits(OlpContextParams* params, uint32_t rows);
