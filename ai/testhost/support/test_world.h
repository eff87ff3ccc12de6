// Test support shared by the AI test programs: the runtime started on a test
// host, a world made from configuration text, and per-test output files.
#pragma once
#include "ai/testhost/testhost.h"
#include <string>

namespace Zelk {
class CWorld;
}

namespace Zelk::TestWorld {

/// Starts the runtime on host with room for maxEntity entities, after resetting the
/// host's boxes, ground, drawing, ray-cast override and clock; false when refused.
bool StartRuntime(CTestHost& host, uint32_t maxEntity);
/// Stops the runtime when it runs.
void StopRuntime();
/// Stops any running world, starts the runtime and creates a world from configuration
/// text whose root element holds the world's keys. Null (test failure recorded) when refused.
CWorld* Start(CTestHost& host, const std::string& configText, uint32_t maxEntity);
/// The running world, or null.
CWorld* Current();
/// Destroys the world and stops the runtime.
void Stop();
/// Path of a file of the running test in the test output folder (created on demand);
/// CTest runs the tests of one program in parallel processes, so each test gets its own.
std::string OutputPath(const char* name);

} // namespace Zelk::TestWorld
