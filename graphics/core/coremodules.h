#pragma once
// Private to the engine core: the core modules that EngineInit registers, in
// the order of kCoreModules (coremodules.cpp). Each attach function registers
// its module with EngineAttachPlugin, keeps the data offset it gets in a
// variable of its own and returns it (-1 on failure).

#include <cstdint>

int32_t ErrorModuleAttach();
int32_t EmptyModuleAttach();
int32_t StreamModuleAttach();
int32_t NameModuleAttach();
int32_t PipelineModuleAttach();

/// Registers every core module in order; false when any registration failed
/// (all are attempted).
bool CoreModulesAttach();
