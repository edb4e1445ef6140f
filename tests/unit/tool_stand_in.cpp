#include "tool_stand_in.h"

#include <stdio.h>

namespace testing_support {

std::string StandInToolSource() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, length);
    folder.erase(folder.rfind('\\') + 1);
    return folder + "tool_stand_in.exe";
}

StandInTool::StandInTool(const std::string& baseName) {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    char unique[32];
    snprintf(unique, sizeof unique, "%lu", GetCurrentProcessId());
    name_ = baseName + unique;
    path_ = std::string(folder) + "\\" + name_ + ".exe";
    if (!CopyFileA(StandInToolSource().c_str(), path_.c_str(), FALSE)) {
        fprintf(stderr, "cannot copy the stand-in tool to %s (%lu)\n", path_.c_str(), GetLastError());
    }
}

StandInTool::~StandInTool() { DeleteFileA(path_.c_str()); }

}  // namespace testing_support
