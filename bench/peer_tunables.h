// The allocator settings under which the llvmpipe comparisons run. llvmpipe
// allocates its vertex and bin buffers every frame; with glibc's defaults
// those blocks are mapped and returned to the kernel each time, and on a
// virtual machine the page faults that follow cost it a sixth of its time,
// which measures the kernel rather than the rasteriser. A comparison
// program calls KeepAllocatorMemory() first: it restarts itself once with
// the glibc tunables that keep freed memory in the process (both sides then
// run under them) and says which settings are in force.
#pragma once

#include <cstdlib>
#include <cstring>
#include <unistd.h>

/// glibc tunables: no mmap for blocks below 1 GB, no trimming, 256 MB of top padding.
inline constexpr const char* kPeerTunables =
    "glibc.malloc.mmap_threshold=1073741824:glibc.malloc.trim_threshold=2147483647:"
    "glibc.malloc.top_pad=268435456";

/// Restarts the program under kPeerTunables unless GLIBC_TUNABLES is already
/// set (an explicit setting, even an empty one, is kept). Returns the
/// settings in force, for the table's heading.
inline const char* KeepAllocatorMemory(char** argv)
{
    if (const char* set = std::getenv("GLIBC_TUNABLES"))
        return *set ? set : "glibc defaults";
    setenv("GLIBC_TUNABLES", kPeerTunables, 1);
    execv("/proc/self/exe", argv);
    unsetenv("GLIBC_TUNABLES"); // could not restart: run with the defaults
    return "glibc defaults";
}
