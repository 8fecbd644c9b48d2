// Gives a test program its own LOCALAPPDATA for its whole run, so the log
// file it writes lands in a fresh folder that is removed at the end.
// Including this header registers the environment (once per program).
#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>

namespace VelmorTest {

class LogFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        folder_ = std::make_unique<TempDir>();
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", folder_->str().c_str());
    }
    void TearDown() override { folder_.reset(); }

private:
    std::unique_ptr<TempDir> folder_;
};

inline ::testing::Environment* const kLogFolderEnvironment = ::testing::AddGlobalTestEnvironment(new LogFolder);

}  // namespace VelmorTest
