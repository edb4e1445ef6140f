// The "Dumping System Registry" section: autostart keys and the publisher's
// key as indented text (on 64-bit Windows from both registry views), then the
// installed-program lists of the machine and the user, and on 64-bit Windows
// the machine's list once more from the native view, under its own heading.
//
// The key dump recurses once per key level. Key trees can be deep (Windows
// allows 512 levels) and the section runs on the test worker, so the 16 KB
// name and data buffers live once per dump in one heap block shared by all
// levels; a level's frame holds only its key handle and counters.
#include "collect/system/registry_dump.h"

#include <string.h>

#include "common/owned_handle.h"
#include "common/registry_value.h"
#include "common/windows_version.h"

const RegistryDumpEntry kRegistryDumpTable[kRegistryDumpEntryCount] = {
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
     "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvaneWest", "SOFTWARE\\Wow6432Node\\OrvaneWest"},
};

namespace {

const char kUninstallPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kNativeUninstallHeading[] = " (64-bit view)";
// Key names have at most 255 characters; the buffer holds one more for the NUL.
const DWORD kSubKeyNameBytes = 255;
const DWORD kValueBytes = 16383;

// Buffers shared by every level of one dump.
struct DumpBuffers {
    char subKeyName[kSubKeyNameBytes + 1];
    char valueName[kValueBytes + 1];
    BYTE data[kValueBytes + 1];
};

void WriteTabs(ReportSink report, int count) {
    static const char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    const int chunk = (int)sizeof kTabs - 1;
    while (count > 0) {
        int n = count < chunk ? count : chunk;
        WriteText(report, kTabs + (chunk - n));
        count -= n;
    }
}

void DumpKeyLevel(ReportSink report, HKEY key, int depth, DumpBuffers& buffers) {
    DWORD subKeyCount = 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, &subKeyCount, NULL, NULL, NULL, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        subKeyCount = 0;
    for (DWORD index = 0; index < subKeyCount; ++index) {
        DWORD nameLength = kSubKeyNameBytes + 1;
        if (RegEnumKeyExA(key, index, buffers.subKeyName, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            continue;
        OwnedKey subKey;
        if (RegOpenKeyExA(key, buffers.subKeyName, 0, KEY_READ, subKey.Receive()) != ERROR_SUCCESS) continue;
        WriteTabs(report, depth);
        WriteFormatted(report, "[%s]\r\n", buffers.subKeyName);
        DumpKeyLevel(report, subKey.Get(), depth + 1, buffers);
    }

    DWORD valueCount = 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &valueCount, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS ||
        valueCount == 0) {
        WriteTabs(report, depth);
        WriteLine(report, "(value not set)");
        return;
    }
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameLength = kValueBytes;
        DWORD type = 0;
        // One byte stays free so that string data always ends in a NUL, even
        // when the stored string carries no terminator of its own.
        DWORD dataBytes = kValueBytes;
        if (RegEnumValueA(key, index, buffers.valueName, &nameLength, NULL, &type, buffers.data, &dataBytes) !=
            ERROR_SUCCESS)
            continue;
        buffers.data[dataBytes] = 0;
        WriteTabs(report, depth);
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            WriteFormatted(report, "%s, %s\r\n", buffers.valueName, reinterpret_cast<const char*>(buffers.data));
        else
            WriteFormatted(report, "%s\r\n", buffers.valueName);
    }
}

// A value's data as text, whatever its type, always terminated; false when
// the value is missing or larger than the buffer.
bool ReadValueText(HKEY key, const char* name, char* text, DWORD capacity) {
    DWORD bytes = capacity - 1;
    if (RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return false;
    text[bytes] = '\0';
    return true;
}

}  // namespace

void DumpKey(ReportSink report, HKEY key, int depth) {
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), 0, sizeof(DumpBuffers)));
    if (!block.Valid()) return;
    DumpKeyLevel(report, key, depth, *static_cast<DumpBuffers*>(block.Get()));
}

void DumpKeyTable(ReportSink report, const RegistryDumpEntry* table, int count, bool view32) {
    REGSAM view = 0;
    if (IsWindows64Bit()) view = view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    for (int i = 0; i < count; ++i) {
        const char* path = view32 ? table[i].path32 : table[i].path;
        WriteFormatted(report, "\r\n[%s\\%s]\r\n", RegistryRootAbbreviation(table[i].root), path);
        OwnedKey key;
        if (RegOpenKeyExA(table[i].root, path, 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
            WriteLine(report, "\t(key not found)");
            continue;
        }
        DumpKey(report, key.Get(), 1);
    }
}

namespace {

// One installed-program list from the given registry view; the entries are
// opened in that view too. heading follows the bracketed key name.
void DumpUninstallKeyInView(ReportSink report, HKEY root, const char* path, REGSAM view, const char* heading) {
    WriteFormatted(report, "\r\n[%s\\%s]%s\r\n", RegistryRootAbbreviation(root), path, heading);
    OwnedKey key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
        WriteLine(report, "\t(key not found)");
        return;
    }
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), 0, 3 * (kValueBytes + 1)));
    if (!block.Valid()) return;
    char* publisher = static_cast<char*>(block.Get());
    char* displayName = publisher + kValueBytes + 1;
    char* displayVersion = displayName + kValueBytes + 1;

    DWORD subKeyCount = 0;
    if (RegQueryInfoKeyA(key.Get(), NULL, NULL, NULL, &subKeyCount, NULL, NULL, NULL, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        subKeyCount = 0;
    for (DWORD index = 0; index < subKeyCount; ++index) {
        char name[kSubKeyNameBytes + 1];
        DWORD nameLength = kSubKeyNameBytes + 1;
        if (RegEnumKeyExA(key.Get(), index, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) continue;
        OwnedKey entry;
        if (RegOpenKeyExA(key.Get(), name, 0, KEY_READ | view, entry.Receive()) != ERROR_SUCCESS) continue;
        WriteFormatted(report, "\t%s", name);
        bool hasName = ReadValueText(entry.Get(), "DisplayName", displayName, kValueBytes + 1);
        bool hasVersion = ReadValueText(entry.Get(), "DisplayVersion", displayVersion, kValueBytes + 1);
        bool hasPublisher = ReadValueText(entry.Get(), "Publisher", publisher, kValueBytes + 1);
        if (hasPublisher) WriteFormatted(report, ", %s", publisher);
        if (hasName) WriteFormatted(report, ", %s", displayName);
        if (hasVersion) WriteFormatted(report, " v%s", displayVersion);
        WriteText(report, "\r\n");
    }
}

}  // namespace

void DumpUninstallKey(ReportSink report, HKEY root, const char* path) {
    // The 32-bit program's own view (see kProgramRegistryView).
    DumpUninstallKeyInView(report, root, path, kProgramRegistryView, "");
}

void DumpUninstallList(ReportSink report, HKEY root) { DumpUninstallKey(report, root, kUninstallPath); }

void DumpNativeUninstallKey(ReportSink report, HKEY root, const char* path) {
    DumpUninstallKeyInView(report, root, path, KEY_WOW64_64KEY, kNativeUninstallHeading);
}

void WriteRegistryDump(ReportSink report) {
    WriteSectionBanner(report, "Dumping System Registry");
    DumpKeyTable(report, kRegistryDumpTable, kRegistryDumpEntryCount, false);
    if (IsWindows64Bit()) DumpKeyTable(report, kRegistryDumpTable, kRegistryDumpEntryCount, true);
    DumpUninstallList(report, HKEY_LOCAL_MACHINE);
    DumpUninstallList(report, HKEY_CURRENT_USER);
    // The 32-bit view above lists only 32-bit programs; 64-bit programs are
    // in the machine's native view. (The user's list is one key in both views.)
    if (IsWindows64Bit()) DumpNativeUninstallKey(report, HKEY_LOCAL_MACHINE, kUninstallPath);
    WriteEmptyLine(report);
}
