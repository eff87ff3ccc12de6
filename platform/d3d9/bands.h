// Worker threads of the software device. The queued draws (drawqueue.h) are
// cut into bands of rows, a few per thread, which the threads take in turn;
// each band draws their primitives (triangles binned to it, binning.h;
// points and lines all) clipped to its rows, in submission order, so the
// picture is byte for byte the one a single thread draws. Large vertex
// ranges and clears are split the same way.
#pragma once

#include <functional>

namespace d3d9sw {

/// Threads that draw (the calling one included): set by D3D9SetDeviceThreads,
/// else OLAI_DEVICE_THREADS, else every core the process may run on; 1 to 64.
int DeviceThreads();
/// True when every draw is split, however small (tests).
bool DeviceSplitsEveryDraw();
/// Runs job(band) once for every band 0..bands-1, on the calling thread and
/// the workers, each taking the next band left as it becomes free; returns
/// when all are done. Calls from several threads take turns.
void RunBands(int bands, const std::function<void(int)>& job);

} // namespace d3d9sw
