#pragma once
// The engine for native data (scenetool native, the native-data fuzz target
// and its corpus writer): the software device in a headless window, the
// scene library and the renderer attached, the default pipelines open.

/// True once the engine is started (started on the first call).
bool NativeEngineStart();
