// Local network configuration sections: what the console tools say about the
// adapters, Winsock providers and connections, the browser proxy values and
// helper objects from the registry, and the hosts file. On 64-bit Windows the
// Winsock section lists the 32-bit catalog and then, under its own heading,
// the native one: each is the catalog of the netsh of that bitness.
//
// Registry values are read with GetRegistryValue, so an expandable string
// (REG_EXPAND_SZ) stays that type and counts as absent, like every other value
// of the wrong type.
//
// The proxy lines and the helper-object blocks are written piece by piece
// rather than through one 255-character formatted write: a long ProxyOverride
// list would otherwise push the Server line out of the report, and a long
// server path would cut a block's line end and run the next block into it.
// Whenever the text fits in 255 characters the bytes are the same.
#include "collect/network/local_network.h"

#include <stdio.h>
#include <string.h>

#include "collect/network/console_tool.h"
#include "common/fs_redirection.h"
#include "common/owned_handle.h"
#include "common/registry_value.h"

namespace {

const char kInternetSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// The most of the hosts file the report takes. The largest block lists in use
// are a few megabytes; a file of gigabytes (or one that never ends) would make
// a report too large to seal or archive, so the copy stops here and the
// section ends with the copy failure line.
const DWORD kHostsFileMaxBytes = 32 * 1024 * 1024;
const char kLspCommand[] = "Netsh winsock show catalog";
const char kNativeLspHeading[] = "64-bit Winsock catalog (native netsh):";
const char kNativeLspFailure[] = "64-bit Winsock catalog: the native netsh could not be started";
const char kBhoKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

ProxySettings g_proxy;
char g_proxyAutoConfig[256];
char g_proxyOverride[256];
char g_proxyServer[256];

ComClassInfo g_comClass;
char g_comClsid[260];
char g_comName[260];
char g_comThreadingModel[260];
char g_comServerPath[260];

const char* TextOrNull(const char* text) { return text ? text : "(null)"; }
const char* TextOrEmpty(const char* text) { return text ? text : ""; }

// The system folder of the 32-bit tools on 64-bit Windows.
bool ThirtyTwoBitSystemFolder(char folder[MAX_PATH]) {
#if defined(_WIN64)
    UINT length = GetSystemWow64DirectoryA(folder, MAX_PATH);
#else
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
#endif
    return length != 0 && length < MAX_PATH;
}

// Starts the native netsh of 64-bit Windows (start-only form).
bool StartNativeNetsh(StartedTool* started) {
#if defined(_WIN64)
    return RunConsoleToolIn(NULL, NULL, kLspCommand, started);
#else
    // "Sysnative" beside the system folder is the native one as a 32-bit
    // process names it (Vista on). XP x64 and Server 2003 lack it without an
    // update; there the system folder leads to the native tools while
    // file-system redirection is off.
    char native[MAX_PATH];
    UINT length = GetSystemDirectoryA(native, MAX_PATH);
    char* slash = length != 0 && length < MAX_PATH ? strrchr(native, '\\') : NULL;
    if (slash != NULL && (size_t)(slash + 1 - native) + sizeof "Sysnative" <= MAX_PATH) {
        strcpy(slash + 1, "Sysnative");
        if (RunConsoleToolIn(native, NULL, kLspCommand, started)) return true;
    }
    FsRedirectionGuard nativeView;
    return nativeView.Active() && RunConsoleToolIn(NULL, NULL, kLspCommand, started);
#endif
}

}  // namespace

void WriteAdapterSettings(ReportSink report) {
    WriteSectionBanner(report, "Gathering adapter settings");
    RunConsoleToolWithArgs(report, "ipconfig", "/all");
    WriteEmptyLine(report);
}

void WriteLspCatalog(ReportSink report) {
    WriteSectionBanner(report, "Gathering LSP list");
    if (!IsWindows64Bit()) {
        RunConsoleTool(report, kLspCommand, NULL);
        WriteEmptyLine(report);
        return;
    }
    // 64-bit Windows keeps two catalogs, each listed by its own netsh: the
    // 32-bit one first, as the shipped program has always shown it, then the
    // native one, which every 64-bit program uses.
    char folder32[MAX_PATH];
    if (ThirtyTwoBitSystemFolder(folder32)) {
        RunConsoleToolIn(folder32, report, kLspCommand, NULL);
    } else {
        WriteFormatted(report, "*--> %s <--*\r\n\r\n", kLspCommand);
        WriteLine(report, "CreateProcess");
    }
    StartedTool started = {NULL, NULL};
    if (!StartNativeNetsh(&started)) {
        WriteLine(report, kNativeLspFailure);
    } else {
        OwnedHandle process(started.process);
        OwnedHandle output(started.output);
        WriteEmptyLine(report);
        WriteLine(report, kNativeLspHeading);
        WriteFormatted(report, "*--> %s <--*\r\n\r\n", kLspCommand);
        CopyStreamToReport(output.Get(), report);
    }
    WriteEmptyLine(report);
}

void WriteNetworkConnections(ReportSink report) {
    WriteSectionBanner(report, "Detecting network connections");
    RunConsoleToolWithArgs(report, "netstat", "-n");
    WriteEmptyLine(report);
}

const ProxySettings* ReadProxySettings() {
    ZeroMemory(&g_proxy, sizeof g_proxy);
    if (GetRegistryString(HKEY_CURRENT_USER, kInternetSettingsKey, "AutoConfigProxy", g_proxyAutoConfig,
                          sizeof g_proxyAutoConfig)) {
        g_proxy.autoConfig = g_proxyAutoConfig;
    }
    DWORD number = 0;
    if (GetRegistryDword(HKEY_CURRENT_USER, kInternetSettingsKey, "MigrateProxy", &number)) g_proxy.migrate = number;
    if (GetRegistryDword(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyEnable", &number)) g_proxy.enabled = number;
    if (GetRegistryString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyOverride", g_proxyOverride,
                          sizeof g_proxyOverride)) {
        g_proxy.override = g_proxyOverride;
    }
    if (GetRegistryString(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", g_proxyServer,
                          sizeof g_proxyServer)) {
        g_proxy.server = g_proxyServer;
    }
    return &g_proxy;
}

void WriteProxySettings(ReportSink report) {
    WriteSectionBanner(report, "IE proxy setting");
    const ProxySettings* proxy = ReadProxySettings();
    WriteText(report, "Auto Config : ");
    WriteLine(report, TextOrNull(proxy->autoConfig));
    WriteText(report, "Migrate     : ");
    WriteLine(report, proxy->migrate ? "ON" : "OFF");
    WriteText(report, "Enabled     : ");
    WriteLine(report, proxy->enabled ? "ON" : "OFF");
    WriteText(report, "Override    : ");
    WriteLine(report, TextOrNull(proxy->override));
    WriteText(report, "Server      : ");
    WriteLine(report, TextOrNull(proxy->server));
    WriteEmptyLine(report);
}

const ComClassInfo* LookupComClass(const char* clsid) {
    ZeroMemory(&g_comClass, sizeof g_comClass);
    if (clsid == NULL || clsid[0] == '\0') return NULL;
    char key[260];
    int length = snprintf(key, sizeof key, "CLSID\\%s", clsid);
    if (length < 0 || length >= (int)sizeof key) return NULL;
    if (!GetRegistryString(HKEY_CLASSES_ROOT, key, NULL, g_comName, sizeof g_comName) || g_comName[0] == '\0') {
        return NULL;
    }
    snprintf(g_comClsid, sizeof g_comClsid, "%s", clsid);
    g_comClass.clsid = g_comClsid;
    g_comClass.name = g_comName;
    length = snprintf(key, sizeof key, "CLSID\\%s\\InProcServer32", clsid);
    if (length > 0 && length < (int)sizeof key) {
        if (GetRegistryString(HKEY_CLASSES_ROOT, key, NULL, g_comServerPath, sizeof g_comServerPath)) {
            g_comClass.serverPath = g_comServerPath;
        }
        if (GetRegistryString(HKEY_CLASSES_ROOT, key, "ThreadingModel", g_comThreadingModel,
                              sizeof g_comThreadingModel)) {
            g_comClass.threadingModel = g_comThreadingModel;
        }
    }
    return &g_comClass;
}

void WriteBhoList(ReportSink report) {
    WriteSectionBanner(report, "Gathering BHO list");
    OwnedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kBhoKey, 0, KEY_READ | kProgramRegistryView, key.Receive()) != ERROR_SUCCESS) {
        WriteFormatted(report, "%s\r\n", "error : fail to load key \\Browser Help Objects");
        WriteEmptyLine(report);
        return;
    }
    DWORD subKeyCount = 0;
    if (RegQueryInfoKeyA(key.Get(), NULL, NULL, NULL, &subKeyCount, NULL, NULL, NULL, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS ||
        subKeyCount == 0) {
        WriteFormatted(report, "%s\r\n", "There is no installed BHO");
        key.Reset();
        WriteEmptyLine(report);
        return;
    }
    for (DWORD index = 0; index < subKeyCount; ++index) {
        char name[260];
        ZeroMemory(name, sizeof name);
        DWORD nameChars = sizeof name;
        if (RegEnumKeyExA(key.Get(), index, name, &nameChars, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) continue;
        if (name[0] == '\0') continue;
        const ComClassInfo* info = LookupComClass(name);
        if (info == NULL) continue;
        WriteText(report, "- ");
        WriteLine(report, info->name);
        WriteText(report, "\tClass Id     : ");
        WriteLine(report, name);
        WriteText(report, "\tInstall Path : ");
        WriteLine(report, TextOrEmpty(info->serverPath));
        WriteText(report, "\tThread Model : ");
        WriteLine(report, TextOrEmpty(info->threadingModel));
    }
    key.Reset();
    WriteEmptyLine(report);
}

bool CopyHostsFileFor(ReportSink report, WindowsGeneration generation) {
    char path[256];
    if (generation >= WindowsGeneration::WinNT4) {
        UINT length = GetSystemDirectoryA(path, sizeof path);
        if (length == 0 || length > sizeof path) {
            WriteLine(report, "failed(1)");
            return false;
        }
        if (length + 19 >= sizeof path) {
            WriteLine(report, "failed(2)");
            return false;
        }
        strcat(path, "\\drivers\\etc\\hosts");
    } else {
        UINT length = GetWindowsDirectoryA(path, sizeof path);
        // A length of 256 or more means the folder did not fit in the buffer.
        if (length == 0 || length + 7 > sizeof path) {
            WriteLine(report, "failed(3)");
            return false;
        }
        strcat(path, "\\HOSTS");
    }
    // Read and write sharing: a program that has the file open with sharing
    // (an editor, a security scanner) does not hide it from the report; one
    // that holds it exclusively still does, and the report says so.
    OwnedFile hosts(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL));
    if (!hosts.Valid()) {
        WriteFormatted(report, "File(%s) not found\r\n", path);
        return false;
    }
    WriteFormatted(report, "*--> %s <--*\r\n\r\n", path);
    bool copied = CopyStreamToReportUpTo(hosts.Get(), report, kHostsFileMaxBytes);
    if (copied) {
        WriteEmptyLine(report);
    } else {
        WriteLine(report, "failed(5)");
    }
    return copied;
}

bool CopyHostsFile(ReportSink report) { return CopyHostsFileFor(report, GetWindowsGeneration()); }

void WriteHostsFile(ReportSink report) {
    WriteSectionBanner(report, "Collecting Hosts file content");
    CopyHostsFile(report);
    WriteEmptyLine(report);
}
