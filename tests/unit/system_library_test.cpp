// System DLLs loaded by full path from the system folder; a missing DLL or
// function gives NULL.
#include "common/system_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

std::string SystemFolder() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

}  // namespace

TEST(SystemLibrary, LoadsFromTheSystemFolderAndResolvesOnlyWhatExists) {
    HMODULE version = LoadSystemLibrary("version.dll");
    ASSERT_NE(static_cast<HMODULE>(NULL), version);
    EXPECT_EQ(0, lstrcmpiA((SystemFolder() + "\\version.dll").c_str(), ModulePath(version).c_str()));
    EXPECT_NE(static_cast<FARPROC>(NULL), GetSystemFunction("version.dll", "GetFileVersionInfoA"));
    FreeLibrary(version);

    EXPECT_EQ(static_cast<HMODULE>(NULL), LoadSystemLibrary("no_such_library.dll"));
    EXPECT_EQ(static_cast<FARPROC>(NULL), GetSystemFunction("no_such_library.dll", "GetFileVersionInfoA"));
    EXPECT_EQ(static_cast<FARPROC>(NULL), GetSystemFunction("version.dll", "NoSuchFunction"));
    // A name too long for the path limit is refused, not cut.
    EXPECT_EQ(static_cast<HMODULE>(NULL), LoadSystemLibrary(std::string(MAX_PATH, 'x').c_str()));
}
