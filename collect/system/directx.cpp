// DirectX sections: the D3DX runtime libraries in the system folders, and the
// first part of the report that the system's dxdiag tool writes.
//
// On 64-bit Windows both sections look at the native 64-bit side as well: the scan
// lists the native System32 after the 32-bit one, and dxdiag runs as the
// native tool with "/64bit". Both switch file-system redirection off for the
// worker thread only (FsRedirectionGuard), so the system folder path leads to
// the native files.
//
// dxdiag may take minutes and has no time limit; the wait also ends when the
// run's cancel event is set or the run is no longer current, and the tool is
// then ended at once. Wine 8's
// dxdiag does not know "/64bit" and never ends with it, so under Wine's WOW64
// this step lasts until the player cancels; its 32-bit dxdiag (no "/64bit")
// writes a short report without a components part, which is copied whole.
#include "collect/system/directx.h"

#include <stdio.h>
#include <string.h>

#include "collect/network/console_tool.h"
#include "collect/run_control.h"
#include "common/fs_redirection.h"
#include "common/owned_handle.h"
#include "common/windows_version.h"

namespace {

bool HasD3dxPrefix(const char* name) {
    return _strnicmp(name, "d3dx", 4) == 0;
}

// Removes dxdiag's temporary report; the tool may still be letting go of the
// file for a moment after it was ended.
void DeleteTemporaryReport(const char* path, HANDLE process) {
    if (process != NULL) WaitForSingleObject(process, 5000);
    DeleteFileA(path);
}

}  // namespace

void ScanD3dxFolder(ReportSink report, const char* label, const char* folder) {
    WriteText(report, label);
    char pattern[MAX_PATH];
    int length = snprintf(pattern, sizeof pattern, "%s\\*", folder);
    if (length < 0 || length >= (int)sizeof pattern) return;
    WIN32_FIND_DATAA entry;
    OwnedFind find(FindFirstFileA(pattern, &entry));
    if (!find.Valid()) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!HasD3dxPrefix(entry.cFileName)) continue;
        char path[MAX_PATH];
        length = snprintf(path, sizeof path, "%s\\%s", folder, entry.cFileName);
        if (length < 0 || length >= (int)sizeof path) continue;
        char version[MAX_PATH];
        if (!GetFileProductVersion(path, version)) continue;
        // The version text ends with its own line feed.
        WriteFormatted(report, "%s - %s\r\n", entry.cFileName, version);
    } while (FindNextFileA(find.Get(), &entry));
}

namespace {

void ScanSystemFolder(ReportSink report, bool nativePass) {
    char folder[MAX_PATH];
#if defined(_WIN64)
    // The 64-bit build finds the 32-bit libraries where the shipped program's
    // view of the system folder leads: SysWOW64.
    UINT length = nativePass ? GetSystemDirectoryA(folder, sizeof folder)
                             : GetSystemWow64DirectoryA(folder, sizeof folder);
#else
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
#endif
    if (length == 0 || length >= sizeof folder) return;
    ScanD3dxFolder(report, nativePass ? " - x64\r\n" : " - x86\r\n", folder);
}

}  // namespace

void ScanD3dxRuntimes(ReportSink report, bool nativePass) {
    if (nativePass) {
        FsRedirectionGuard guard;
        ScanSystemFolder(report, true);
    } else {
        ScanSystemFolder(report, false);
    }
}

void WriteInstalledDirectX(ReportSink report) {
    WriteSectionBanner(report, "Installed DirectX");
    ScanD3dxRuntimes(report, false);
    if (IsWindows64Bit()) ScanD3dxRuntimes(report, true);
    WriteEmptyLine(report);
}

void WriteDxDiag(ReportSink report) { WriteDxDiagWithTool(report, "dxdiag"); }

void WriteDxDiagWithTool(ReportSink report, const char* tool) {
    FsRedirectionGuard guard;
    WriteSectionBanner(report, "Running DirectX diagnostic");

    char temporary[256];
    if (MakeTempFileName(temporary)) {
        // dxdiag creates the file itself.
        DeleteFileA(temporary);
        // The temporary name alone may take 255 characters, so the line has
        // room for the switches in front of it (the console tool runner takes
        // a line of any length; only the heading is cut at 255).
        char commandLine[256 + 64];
        int length = snprintf(commandLine, sizeof commandLine, "%s %s /whql:off %s /t %s", tool,
                              GetWindowsGeneration() > WindowsGeneration::WinVista ? "/dontskip" : "",
                              IsWindows64Bit() ? "/64bit" : "", temporary);
        // A cut command line would name another file than the one read back.
        if (length > 0 && length < (int)sizeof commandLine) {
            WriteFormatted(report, "*--> %s <--*\r\n\r\n", commandLine);
            StartedTool started = {NULL, NULL};
            if (RunConsoleTool(NULL, commandLine, &started)) {
                OwnedHandle process(started.process);
                // dxdiag writes its report to the file, not to standard output.
                OwnedHandle output(started.output);
                HANDLE waitFor[1] = {process.Get()};
                DWORD waited = WaitWhileRunCurrent(1, waitFor, INFINITE);
                if (waited != WAIT_OBJECT_0) {
                    TerminateProcess(process.Get(), 0);
                    DeleteTemporaryReport(temporary, process.Get());
                } else {
                    OwnedFile file(
                        CreateFileA(temporary, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
                    if (!file.Valid()) {
                        WriteText(report, "  DirectX Diagnostics failed\r\n");
                        DeleteFileA(temporary);
                        return;
                    }
                    CopyStreamToReport(file.Get(), report);
                    file.Reset();
                    DeleteFileA(temporary);
                }
            }
        }
    }
    WriteEmptyLine(report);
}
