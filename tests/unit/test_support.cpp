#include "test_support.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>

namespace testing_support {

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    static LONG counter = 0;
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%sdgntest_%lu_%ld", base, GetCurrentProcessId(),
             InterlockedIncrement(&counter));
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), NULL);
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::string BesideTestProgram(const std::string& name) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) return name;
    PathRemoveFileSpecA(path);
    return std::string(path) + "\\" + name;
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string SectionBanner(const std::string& title) {
    const std::string rule(78, '=');
    return rule + "\r\n= " + title + "\r\n" + rule + "\r\n";
}

int ExpectedGeneration() {
    const char* value = getenv("DIAGNOVA_EXPECT_GENERATION");
    return value ? atoi(value) : 9;
}

bool ExpectedWindows64Bit() {
    const char* value = getenv("DIAGNOVA_EXPECT_WOW64");
    return value ? atoi(value) != 0 : true;
}

bool ExpectedWow64() {
#if defined(_WIN64)
    return false;
#else
    return ExpectedWindows64Bit();
#endif
}

int RunSelectedTests() {
    int result = RUN_ALL_TESTS();
    if (GTEST_FLAG_GET(list_tests)) return result;
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (run.test_to_run_count() == 0) {
        printf("[  FAILED  ] no test matches the filter \"%s\"\n", GTEST_FLAG_GET(filter).c_str());
        result = 1;
    } else if (result == 0 && run.skipped_test_count() > 0) {
        printf("%d of %d tests skipped, none failed\n", run.skipped_test_count(), run.test_to_run_count());
    }
    fflush(stdout);
    return result;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

ReportFile::ReportFile() : handle_(INVALID_HANDLE_VALUE) {
    char folder[MAX_PATH];
    char name[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "tst", 0, name);
    path_ = name;
    handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
}

ReportFile::~ReportFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    DeleteFileA(path_.c_str());
}

std::string ReportFile::Contents() const { return ReadWholeFile(path_); }

RegistryLock::RegistryLock() : mutex_(CreateMutexA(NULL, FALSE, "DiagnovaTestRegistryLock")) {
    if (mutex_) WaitForSingleObject(mutex_, INFINITE);
}

RegistryLock::~RegistryLock() {
    if (mutex_) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
}

namespace {

// Deletes a key with everything below it in the given registry view, always
// relative to the parent's handle: Wine refuses very long full paths.
// SHDeleteKey knows no views, and RegDeleteKeyEx is missing on 32-bit XP.
bool DeleteKeyTree(HKEY parent, const char* name, REGSAM view) {
    HKEY key = NULL;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ | DELETE | view, &key) != ERROR_SUCCESS) return false;
    char child[256];
    for (;;) {
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        if (!DeleteKeyTree(key, child, view)) break;  // stop rather than loop
    }
    RegCloseKey(key);
    typedef LONG(WINAPI * DeleteKeyExFn)(HKEY, LPCSTR, REGSAM, DWORD);
    DeleteKeyExFn deleteKeyEx = reinterpret_cast<DeleteKeyExFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32"), "RegDeleteKeyExA")));
    if (view != 0 && deleteKeyEx != NULL) return deleteKeyEx(parent, name, view, 0) == ERROR_SUCCESS;
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

}  // namespace

bool SetFileSize(const std::string& path, unsigned long long size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)size;
    bool done = SetFilePointerEx(file, to, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done;
}

std::string MakeDeepFolder(const std::string& base, size_t length) {
    std::string path = base;
    while (path.size() < length) {
        if (length - path.size() < 2) return "";
        // Segments of at most 100 characters; the last one fills up exactly.
        size_t segment = std::min<size_t>(100, length - path.size() - 1);
        if (length - path.size() - 1 - segment == 1) --segment;  // never leave room for a lone backslash
        path += "\\" + std::string(segment, 'd');
        if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
    return path.size() == length ? path : "";
}

namespace {

bool SaveVariable(const char* name, std::string* value) {
    char buffer[4096];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return false;
    *value = buffer;
    return true;
}

}  // namespace

TempFolderOverride::TempFolderOverride(const std::string& folder) {
    hadTmp_ = SaveVariable("TMP", &tmp_);
    hadTemp_ = SaveVariable("TEMP", &temp_);
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
}

TempFolderOverride::TempFolderOverride(const std::wstring& folder) {
    hadTmp_ = SaveVariable("TMP", &tmp_);
    hadTemp_ = SaveVariable("TEMP", &temp_);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

std::wstring MakeForeignFolder(const std::string& base) {
    wchar_t wideBase[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, base.c_str(), -1, wideBase, MAX_PATH) == 0) return std::wstring();
    const std::wstring folder = std::wstring(wideBase) + L"\\J\u00F6ns \u0141ukasz \u674E \U0001F600";
    if (!CreateDirectoryW(folder.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    return folder;
}

TempFolderOverride::~TempFolderOverride() {
    SetEnvironmentVariableA("TMP", hadTmp_ ? tmp_.c_str() : NULL);
    SetEnvironmentVariableA("TEMP", hadTemp_ ? temp_.c_str() : NULL);
}

RegistryKey::RegistryKey(HKEY root, const std::string& subKey, REGSAM view)
    : root_(root), subKey_(subKey), view_(view), key_(NULL) {
    DeleteKeyTree(root_, subKey_.c_str(), view_);
    RegCreateKeyExA(root_, subKey_.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view_, NULL, &key_, NULL);
}

RegistryKey::~RegistryKey() {
    if (key_) RegCloseKey(key_);
    DeleteKeyTree(root_, subKey_.c_str(), view_);
}

void RegistryKey::SetString(const std::string& name, const std::string& value, DWORD type) {
    RegSetValueExA(key_, name.empty() ? NULL : name.c_str(), 0, type,
                   reinterpret_cast<const BYTE*>(value.c_str()), (DWORD)value.size() + 1);
}

void RegistryKey::SetDword(const std::string& name, DWORD value) {
    RegSetValueExA(key_, name.empty() ? NULL : name.c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void RegistryKey::SetBinary(const std::string& name, const std::string& bytes) { SetRaw(name, REG_BINARY, bytes); }

void RegistryKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
    RegSetValueExA(key_, name.empty() ? NULL : name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   (DWORD)bytes.size());
}

}  // namespace testing_support
