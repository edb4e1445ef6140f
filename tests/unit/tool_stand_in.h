// Puts a copy of the test stand-in tool (tests/tools/tool_stand_in.cpp) where
// the runner looks for tools, the 32-bit system folder, under a name unique to
// this test process, and removes it again.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Full path of tool_stand_in.exe, built next to the test program.
std::string StandInToolSource();

class StandInTool {
public:
    explicit StandInTool(const std::string& baseName);
    ~StandInTool();
    const std::string& name() const { return name_; }   // without ".exe"
    const std::string& path() const { return path_; }   // where it was put

private:
    std::string name_;
    std::string path_;
};

}  // namespace testing_support
