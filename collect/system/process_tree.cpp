// The "Dumping Running Processes" section: a toolhelp snapshot of all
// processes, each with its image path from its module list and the company,
// description and product version of that image, printed as a tree.
//
// Under WOW64 the 32-bit program cannot list the modules of 64-bit processes;
// those keep their executable name as the path, and their version fields come
// from whatever file of that name the system's search finds.
#include "collect/system/process_tree.h"

#include <tlhelp32.h>

#include "common/owned_handle.h"
#include "common/windows_version.h"

namespace {

void WriteToReport(void* context, const char* text) { WriteText(static_cast<ReportSink>(context), text); }

}  // namespace

void FindImagePath(ProcessNode* node) {
    OwnedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, node->processId));
    if (!snapshot.Valid()) return;
    MODULEENTRY32 module;
    ZeroMemory(&module, sizeof module);
    module.dwSize = sizeof module;
    size_t nameLength = strlen(node->exeName);
    if (!Module32First(snapshot.Get(), &module)) return;
    do {
        size_t pathLength = strlen(module.szExePath);
        if (pathLength >= nameLength && lstrcmpiA(module.szExePath + pathLength - nameLength, node->exeName) == 0) {
            SetProcessText(node->imagePath, module.szExePath);
            return;
        }
    } while (Module32Next(snapshot.Get(), &module));
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
        if (ntFamily) FindImagePath(node);
        GetVersionStringField(node->imagePath, "CompanyName", node->companyName);
        GetVersionStringField(node->imagePath, "ProductVersion", node->productVersion);
        GetVersionStringField(node->imagePath, "FileDescription", node->fileDescription);
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
