#pragma once
// The platform file system: the one implementation of the FileSystem record,
// over the operating system's files.
//
// A file's operating-system path is the file name after its first ':' (the
// whole name when it has none) appended to the file system's device name,
// with every '\' turned into '/'. A name that begins with '/' is an absolute
// path and is used as it stands; a device name ending in ':' ("tmp:") only
// selects the file system, as a drive letter does, and adds nothing to the
// path ("tmp:/var/x.bin" opens /var/x.bin). When a path is not found as written it is
// looked up ignoring case, one component at a time; a file created for
// writing keeps the case of its last component as written.
//
// Asynchronous files (access bit kFileAccessAsync, or a file system made
// asynchronous) behave as overlapped transfers that the system completes at
// once: reads and writes finish within the call and run the slot's completion
// callback before they return; an open or a seek stays pending (state 3)
// until the slot is waited on or polled, which completes it and runs the
// callback.

#include <cstdint>

#include "graphics/core/filesystem.h"

/// Paths (device name and file name together) must be shorter than this.
constexpr int32_t kFileSystemMaxPath = 4096;

/// A new file system with `slotCount` slots whose file names are relative to
/// `deviceName` (for the default file system: a directory ending in '/' or
/// '\'), named `name` (at most 7 characters). Not yet registered. Null when
/// the name or the device name is already registered
/// (kFileErrorAlreadyRegistered), or out of memory.
FileSystem* Win32FileSystemCreate(int32_t slotCount, const char* deviceName, const char* name);

/// The file systems this platform needs: "unc", with 20 slots, on the
/// current directory, registered and made the default. Call after
/// FileSystemManagerOpen. False when it cannot be created or registered.
bool Win32FileSystemRegisterDefault();
