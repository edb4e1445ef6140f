// Helpers shared by the unit tests that run under Wine: temporary folders and
// files, report sinks on temporary files, and registry fixtures that clean up
// after themselves.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/registry_value.h"

namespace testing_support {

// A fresh folder under the temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Full path of a file in the folder of the running test program (helper
// programs and test files are built there).
std::string BesideTestProgram(const std::string& name);

// The lines of a CR LF text, without their line ends.
std::vector<std::string> SplitCrLfLines(const std::string& text);

// A report section's banner: the title between two rules of 78 '='.
std::string SectionBanner(const std::string& title);

// What the prefix under test should report: scripts/test sets these for the
// Windows 10 and XP prefixes; the default prefix is a 64-bit Windows 7.
int ExpectedGeneration();
// Whether the prefix is a 64-bit Windows; the 64-bit build never runs under WOW64.
bool ExpectedWindows64Bit();
bool ExpectedWow64();

// RUN_ALL_TESTS for the test programs' main functions. One ctest entry may
// run many tests, so a filter that selects none fails, and a run that skipped
// tests but failed none says so in a line that such entries'
// SKIP_REGULAR_EXPRESSION looks for (tests/CMakeLists.txt): a failing run
// never prints it, so a skip cannot hide a failure.
int RunSelectedTests();

bool WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);
void RemoveTree(const std::string& path);

// Sets a file's size, 4 GiB and beyond included. Wine on Linux leaves the new
// part sparse, so even a file of gigabytes costs no disk space.
bool SetFileSize(const std::string& path, unsigned long long size);

// Creates folders below base (which must exist) until the deepest one's path
// is exactly `length` characters long; returns that path, or "" on failure.
std::string MakeDeepFolder(const std::string& base, size_t length);

// Creates a folder below base whose name holds letters that no ANSI code page
// of the test prefixes has all of (Polish, Chinese, an emoji); returns its
// wide path, or an empty one on failure.
std::wstring MakeForeignFolder(const std::string& base);

// Points TMP and TEMP at a folder while it exists, then puts them back.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::string& folder);
    explicit TempFolderOverride(const std::wstring& folder);
    ~TempFolderOverride();
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
    std::string tmp_, temp_;
    bool hadTmp_, hadTemp_;
};

// A report sink on a temporary file; Contents() reads back what was written.
class ReportFile {
public:
    ReportFile();
    ~ReportFile();
    HANDLE sink() const { return handle_; }
    std::string Contents() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    HANDLE handle_;
};

// Serialises registry fixtures across the test processes of one Wine prefix
// (ctest runs tests in parallel, and several tests touch the same keys).
// Recursive within a thread, so one test may hold several fixtures.
class RegistryLock {
public:
    RegistryLock();
    ~RegistryLock();
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    HANDLE mutex_;
};

// Creates (and on destruction deletes) a registry key tree under a root. Holds
// the RegistryLock while it exists.
class RegistryKey {
public:
    // By default in the view the program reads (kProgramRegistryView).
    RegistryKey(HKEY root, const std::string& subKey, REGSAM view = kProgramRegistryView);
    ~RegistryKey();
    void SetString(const std::string& name, const std::string& value, DWORD type = REG_SZ);
    void SetDword(const std::string& name, DWORD value);
    void SetBinary(const std::string& name, const std::string& bytes);
    // Any type with exactly these bytes (strings without their terminator, numbers of odd sizes).
    void SetRaw(const std::string& name, DWORD type, const std::string& bytes);

private:
    RegistryLock lock_;
    HKEY root_;
    std::string subKey_;
    REGSAM view_;
    HKEY key_;
};

}  // namespace testing_support
