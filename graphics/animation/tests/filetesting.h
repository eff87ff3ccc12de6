#pragma once
// A default file system rooted in a directory of the running test's own,
// under the test output folder, for tests that write and read named files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"

/// Opens the file-system manager on a fresh directory for the current test;
/// the directory, or an empty path on failure.
inline std::filesystem::path TestFilesOpen()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
                                       (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    if (!FileSystemManagerOpen(0)) {
        return {};
    }
    FileSystem* files = Win32FileSystemCreate(20, (root.string() + "/").c_str(), "anim");
    if (files == nullptr || !FileSystemManagerRegister(files)) {
        return {};
    }
    FileSystemManagerSetDefault(files);
    return root;
}
