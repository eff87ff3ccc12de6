#pragma once
// The demo's AI classes enter the AI's registries before main runs
// (registrations.cpp, built into an object library so that the linker keeps
// them): "CDefaultEntityClass" and "CDefaultActionClass". The escort classes
// ("CWardelAgent", "CWardelTeam", "CSoldierBrain") register with the
// behaviours library. Each record leaves its registry again at process exit.

/// True when the demo's entity and action classes hold registry indices.
bool CheckDemoClassesRegistered();
/// True when the script manager, point mapper, path-way manager and
/// neural-net manager hold registry indices.
bool CheckDataManagerClassesRegistered();
