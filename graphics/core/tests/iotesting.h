#pragma once
// Fixture for the engine I/O tests: a started engine, the file-system
// manager with a default file system "unc" rooted in a directory of this
// test's own, and helpers to put bytes in files and read them back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/core/win32filesystem.h"

class IoTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit());
        BeforeOpen();
        ASSERT_TRUE(EngineTestOpen());
        ASSERT_TRUE(EngineStart());
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) /
               (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        ASSERT_TRUE(FileSystemManagerOpen(0));
        unc = Win32FileSystemCreate(20, (root.string() + "/").c_str(), "unc");
        ASSERT_NE(unc, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(unc));
        FileSystemManagerSetDefault(unc);
    }

    void TearDown() override
    {
        FileSystemManagerClose();
        EngineTestShutdown();
    }

    /// Runs between EngineInit and EngineOpen, where plug-ins register.
    virtual void BeforeOpen() {}

    /// Writes `bytes` to `relative` under this test's directory.
    void PutFile(const std::string& relative, const std::string& bytes)
    {
        std::filesystem::path path = root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string GetFile(const std::string& relative)
    {
        std::ifstream in(root / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    /// The pending error, cleared.
    static ErrorRecord TakeError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }

    std::filesystem::path root;
    FileSystem* unc = nullptr;
};
