#pragma once
// Error records. Engine operations report failure by their result (null, 0,
// false or -1) and leave the reason in one pending ErrorRecord held in the
// engine instance. Only the first error since the last ErrorGet is kept, so
// the root cause survives the failures it sets off further up the call chain.
//
// The pending record lives in the error module's data, from EngineStart to
// EngineClose (it survives EngineStop); errors raised outside that span are
// not kept.

#include <cstdint>

struct ErrorRecord
{
    /// The module that raised it: 0 for the common codes, kPluginIdCore (1)
    /// for the engine core's plain codes.
    uint32_t pluginId;
    /// A common code has bit 31 set; a plain code is private to its module.
    uint32_t code;
};

/// Common codes (plug-in id 0).
constexpr uint32_t kErrorNone = 0x80000000;            ///< nothing pending
constexpr uint32_t kErrorWrongState = 0x80000001;      ///< operation in the wrong engine state
constexpr uint32_t kErrorFileOpen = 0x80000002;        ///< a named file could not be opened
constexpr uint32_t kErrorBadArgument = 0x80000003;     ///< argument outside its allowed set
constexpr uint32_t kErrorBadVersion = 0x80000004;      ///< chunk version outside 0x35000-0x37002
constexpr uint32_t kErrorImageDepth = 0x80000008;      ///< unsupported image depth
constexpr uint32_t kErrorImageSize = 0x80000009;       ///< unsupported image size
constexpr uint32_t kErrorImageFormat = 0x8000000A;     ///< unsupported image depth or size
constexpr uint32_t kErrorConvertDepth = 0x8000000C;    ///< unsupported depth in a conversion
constexpr uint32_t kErrorRasterFormat = 0x8000000D;    ///< unsupported raster type or format
constexpr uint32_t kErrorRasterLock = 0x8000000E;      ///< a raster lock that cannot be made
constexpr uint32_t kErrorTexDictionary = 0x8000000F;   ///< image-based texture dictionaries
constexpr uint32_t kErrorRasterNotLocked = 0x80000011; ///< unlock without a lock
constexpr uint32_t kErrorOutOfMemory = 0x80000013;     ///< out of memory
constexpr uint32_t kErrorNullArgument = 0x80000016;    ///< a required argument is null
constexpr uint32_t kErrorPluginRefused = 0x80000017;   ///< plug-in registration refused
constexpr uint32_t kErrorNotStarted = 0x80000018;      ///< the engine is not started
constexpr uint32_t kErrorRead = 0x8000001A;            ///< read failure, short read or malformed data
constexpr uint32_t kErrorWrite = 0x8000001C;           ///< write failure
constexpr uint32_t kErrorNameTooLong = 0x8000001E;     ///< name too long

/// Plain codes of the engine core (plug-in id kPluginIdCore).
constexpr uint32_t kErrorCoreDeviceFailed = 2;   ///< a device operation failed
constexpr uint32_t kErrorCoreEndOfStream = 5;    ///< end of stream reached
constexpr uint32_t kErrorCoreArenaFull = 12;     ///< resources arena cannot hold a request
constexpr uint32_t kErrorCoreStreamAccess = 13;  ///< invalid stream access mode
constexpr uint32_t kErrorCoreStreamKind = 14;    ///< invalid stream kind
constexpr uint32_t kErrorCoreNoContext = 21;     ///< no current context for a raster operation
constexpr uint32_t kErrorCoreTextureRead = 22;   ///< texture could not be read
constexpr uint32_t kErrorCoreDeviceRequest = 24; ///< device request not handled
constexpr uint32_t kErrorZeroLengthVector = 25;  ///< zero-length vector normalised

/// Stores `record` when nothing is pending (a code with bit 31 set is stored
/// with plug-in id 0). Stores nothing while no instance block is allocated.
/// Returns `record`.
const ErrorRecord* ErrorSet(const ErrorRecord* record);
/// Copies the pending record into `out` and clears it; {0, kErrorNone} when
/// nothing is pending or no instance block is allocated. Returns `out`.
ErrorRecord* ErrorGet(ErrorRecord* out);
/// The code value for an error; the detail (a size, a message) is for the
/// reader of the source and is not kept.
uint32_t ErrorCode(uint32_t code, ...);
/// Raises {pluginId, code} through ErrorSet.
void ErrorRaise(uint32_t pluginId, uint32_t code);
