// The "Dumping Running Processes" section: a toolhelp snapshot of all
// processes, each with its image path from its module list and the company,
// description and product version of that image, printed as a tree.
//
// Some module lists cannot be read: 64-bit processes from the 32-bit program
// under WOW64 (and 32-bit ones from the 64-bit build), protected processes,
// access denied. From Vista on the system gives such a process's image path
// itself (QueryFullProcessImageNameW with limited query rights, looked up at
// run time), and the version fields come from that very file, read in the
// system's native view. When neither gives a path, the line shows the
// executable name and no version fields: a file of that name found by the
// usual search may be another program altogether. XP and older, without the
// function, keep that search.
#include "collect/system/process_tree.h"

#include <string.h>
#include <tlhelp32.h>

#include "common/owned_handle.h"
#include "common/windows_version.h"

namespace {

const DWORD kProcessQueryLimitedInformation = 0x1000;  // Vista and later

typedef BOOL(WINAPI* QueryFullProcessImageNameWFn)(HANDLE, DWORD, LPWSTR, PDWORD);

QueryFullProcessImageNameWFn QueryFullImageNameFunction() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == NULL) return NULL;
    return reinterpret_cast<QueryFullProcessImageNameWFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "QueryFullProcessImageNameW")));
}

void ReadVersionFields(ProcessNode* node, bool nativeView) {
    bool (*read)(const char*, const char*, char*) = nativeView ? GetNativeVersionStringField : GetVersionStringField;
    read(node->imagePath, "CompanyName", node->companyName);
    read(node->imagePath, "ProductVersion", node->productVersion);
    read(node->imagePath, "FileDescription", node->fileDescription);
}

void WriteToReport(void* context, const char* text) { WriteText(static_cast<ReportSink>(context), text); }

}  // namespace

bool FindImagePath(ProcessNode* node) {
    OwnedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, node->processId));
    if (!snapshot.Valid()) return false;
    MODULEENTRY32 module;
    ZeroMemory(&module, sizeof module);
    module.dwSize = sizeof module;
    size_t nameLength = strlen(node->exeName);
    if (!Module32First(snapshot.Get(), &module)) return false;
    do {
        size_t pathLength = strlen(module.szExePath);
        if (pathLength >= nameLength && lstrcmpiA(module.szExePath + pathLength - nameLength, node->exeName) == 0) {
            SetProcessText(node->imagePath, module.szExePath);
            return true;
        }
    } while (Module32Next(snapshot.Get(), &module));
    return false;
}

bool CanQuerySystemImagePath() { return QueryFullImageNameFunction() != NULL; }

bool QuerySystemImagePath(unsigned long processId, char path[256]) {
    QueryFullProcessImageNameWFn query = QueryFullImageNameFunction();
    if (query == NULL) return false;
    OwnedHandle process(OpenProcess(kProcessQueryLimitedInformation, FALSE, processId));
    if (!process.Valid()) return false;
    WCHAR wide[1024];
    DWORD length = sizeof wide / sizeof wide[0];
    if (!query(process.Get(), 0, wide, &length) || length == 0) return false;
    // A path that the ANSI code page cannot spell, or that 255 characters
    // cannot hold, would name another file or none.
    char ansi[256];
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, (int)length, ansi, sizeof ansi - 1, NULL, &lossy);
    // UTF-8 as the ANSI code page takes neither; it spells every path.
    if (bytes == 0 && GetLastError() == ERROR_INVALID_PARAMETER)
        bytes = WideCharToMultiByte(CP_ACP, 0, wide, (int)length, ansi, sizeof ansi - 1, NULL, NULL);
    if (bytes <= 0 || lossy) return false;
    ansi[bytes] = '\0';
    memcpy(path, ansi, (size_t)bytes + 1);
    return true;
}

void FillProcessFacts(ProcessNode* node, bool ntFamily, bool moduleList) {
    if (ntFamily && moduleList && FindImagePath(node)) {
        ReadVersionFields(node, false);
        return;
    }
    if (!CanQuerySystemImagePath()) {
        // XP and older: the executable name, found by the usual search.
        ReadVersionFields(node, false);
        return;
    }
    char path[256];
    if (!QuerySystemImagePath(node->processId, path)) return;
    SetProcessText(node->imagePath, path);
    ReadVersionFields(node, true);
}

bool BuildProcessTree(ProcessNode** head) {
    OwnedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) return false;
    PROCESSENTRY32 entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    if (!Process32First(snapshot.Get(), &entry)) return true;
    const bool ntFamily = GetWindowsGeneration() >= WindowsGeneration::WinNT4;
    do {
        ProcessNode* node = CreateProcessNode(entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile);
        if (node == NULL) continue;  // out of memory: leave this process out
        FillProcessFacts(node, ntFamily, true);
        InsertProcessNode(head, node);
    } while (Process32Next(snapshot.Get(), &entry));
    return true;
}

void WriteProcessTree(ReportSink report) {
    WriteSectionBanner(report, "Dumping Running Processes");
    ProcessNode* head = NULL;
    if (BuildProcessTree(&head)) PrintProcessList(head, WriteToReport, report);
    WriteEmptyLine(report);
    FreeProcessForest(head);
}
