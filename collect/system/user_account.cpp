// The two sections about accounts: the UAC status line (account, user level,
// UAC on or off) and the list of accounts that own running processes, each
// with its local groups.
//
// Functions that XP lacks or that may be missing (IsUserAnAdmin, GetUserNameA)
// are looked up in modules the program has already loaded; a missing one gives
// the conservative answer. Failures drop a process or an account silently.
#include "collect/system/user_account.h"

#include <lm.h>
#include <psapi.h>
#include <stdio.h>

#include "common/owned_handle.h"
#include "common/registry_value.h"
#include "common/windows_version.h"

namespace {

const char kPolicyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

struct NetBufferTraits {
    typedef void* Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { NetApiBufferFree(h); }
};
typedef Owned<NetBufferTraits> OwnedNetBuffer;

bool ReadPolicyValue(const char* name, DWORD* value) {
    return GetRegistryDword(HKEY_LOCAL_MACHINE, kPolicyKey, name, value);
}

}  // namespace

bool IsUacEnabled() {
    const char* first = "ConsentPromptBehaviorAdmin";
    const char* second = NULL;
    WindowsGeneration generation = GetWindowsGeneration();
    if (generation == WindowsGeneration::WinVista || generation == WindowsGeneration::Win7)
        second = "EnableLUA";
    else if (generation == WindowsGeneration::Win8)
        second = "PromptOnSecureDesktop";
    else
        return false;
    DWORD firstValue = 0;
    DWORD secondValue = 0;
    if (!ReadPolicyValue(first, &firstValue)) return false;
    if (!ReadPolicyValue(second, &secondValue)) return false;
    return firstValue != 0 || secondValue != 0;
}

void GetCurrentUserName(char name[1024]) {
    ZeroMemory(name, 1024);
    HMODULE advapi = GetModuleHandleA("Advapi32.dll");
    if (advapi == NULL) return;
    typedef BOOL(WINAPI * GetUserNameFn)(LPSTR, LPDWORD);
    GetUserNameFn getUserName =
        reinterpret_cast<GetUserNameFn>(reinterpret_cast<void*>(GetProcAddress(advapi, "GetUserNameA")));
    if (getUserName == NULL) return;
    DWORD size = 1024;
    if (!getUserName(name, &size)) name[0] = '\0';
}

void WriteUacStatus(ReportSink report) {
    WriteSectionBanner(report, "information about the UAC status and user level");
    if (GetWindowsGeneration() < WindowsGeneration::WinVista) {
        WriteFormatted(report, "* ERROR * - Reporting UAC does not work on XP and below.");
    } else {
        bool uac = IsUacEnabled();
        bool admin = false;
        HMODULE shell = GetModuleHandleA("Shell32.dll");
        if (shell != NULL) {
            typedef BOOL(WINAPI * IsUserAnAdminFn)();
            IsUserAnAdminFn isUserAnAdmin =
                reinterpret_cast<IsUserAnAdminFn>(reinterpret_cast<void*>(GetProcAddress(shell, "IsUserAnAdmin")));
            if (isUserAnAdmin != NULL) admin = isUserAnAdmin() != FALSE;
        }
        char name[1024];
        GetCurrentUserName(name);
        WriteFormatted(report, "An user \"%s\" is an %s, and UAC is %s", name, admin ? "Administrator" : "User",
                       uac ? "Enabled" : "Disabled");
    }
    WriteEmptyLine(report);
}

bool EnableDebugPrivilege() {
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token.Receive())) return false;
    TOKEN_PRIVILEGES privileges;
    ZeroMemory(&privileges, sizeof privileges);
    if (!LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, NULL, NULL)) return false;
    return GetLastError() == ERROR_SUCCESS;
}

bool GetProcessUser(HANDLE process, LoggedOnUser* user) {
    if (process == INVALID_HANDLE_VALUE || user == NULL) return false;
    OwnedHandle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.Receive())) return false;
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenUser, NULL, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return false;
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block.Valid()) return false;
    if (!GetTokenInformation(token.Get(), TokenUser, block.Get(), size, &size)) return false;
    const TOKEN_USER* tokenUser = static_cast<const TOKEN_USER*>(block.Get());
    LoggedOnUser found;
    DWORD nameChars = sizeof found.userName;
    DWORD domainChars = sizeof found.domain;
    SID_NAME_USE use;
    if (!LookupAccountSidA(NULL, tokenUser->User.Sid, found.userName, &nameChars, found.domain, &domainChars, &use))
        return false;
    *user = found;
    return true;
}

bool AppendDistinctUser(std::list<LoggedOnUser>& users, const LoggedOnUser& user) {
    for (std::list<LoggedOnUser>::const_iterator it = users.begin(); it != users.end(); ++it) {
        if (lstrcmpiA(it->userName, user.userName) == 0 && lstrcmpiA(it->domain, user.domain) == 0) return false;
    }
    users.push_back(user);
    return true;
}

void WriteUserGroups(ReportSink report, const LoggedOnUser& user) {
    char account[320];
    if (user.domain[0] != '\0')
        snprintf(account, sizeof account, "%s\\%s", user.domain, user.userName);
    else
        snprintf(account, sizeof account, "%s", user.userName);
    WCHAR wideAccount[320];
    if (MultiByteToWideChar(CP_ACP, 0, account, -1, wideAccount, 320) == 0) wideAccount[0] = L'\0';

    OwnedNetBuffer buffer;
    DWORD read = 0;
    DWORD total = 0;
    BYTE* groups = NULL;
    if (NetUserGetLocalGroups(NULL, wideAccount, 0, LG_INCLUDE_INDIRECT, &groups, MAX_PREFERRED_LENGTH, &read,
                              &total) != NERR_Success)
        read = 0;
    buffer.Reset(groups);
    if (read == 0 || groups == NULL) return;

    WriteFormatted(report, "user name : %s\r\n    group -", account);
    const LOCALGROUP_USERS_INFO_0* info = reinterpret_cast<const LOCALGROUP_USERS_INFO_0*>(groups);
    for (DWORD i = 0; i < read; ++i) {
        // Converted here in the system's ANSI code page, like the rest of the
        // report; the C runtime's own wide-string conversion works in the "C"
        // locale and fails on localized group names with non-ASCII letters.
        char name[256];
        if (info[i].lgrui0_name == NULL ||
            WideCharToMultiByte(CP_ACP, 0, info[i].lgrui0_name, -1, name, sizeof name, NULL, NULL) == 0)
            name[0] = '\0';
        WriteFormatted(report, i == 0 ? " %s\r\n" : "            %s\r\n", name);
    }
}

void WriteLoggedOnUsers(ReportSink report) {
    if (report == NULL || report == INVALID_HANDLE_VALUE) return;
    WriteSectionBanner(report, "list of users currently logged on");
    EnableDebugPrivilege();

    DWORD ids[1024];
    DWORD bytes = 0;
    if (!EnumProcesses(ids, sizeof ids, &bytes) || bytes < sizeof(DWORD)) bytes = 0;
    std::list<LoggedOnUser> users;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process.Valid()) continue;
        LoggedOnUser user;
        if (GetProcessUser(process.Get(), &user)) AppendDistinctUser(users, user);
    }
    for (std::list<LoggedOnUser>::const_iterator it = users.begin(); it != users.end(); ++it)
        WriteUserGroups(report, *it);
    WriteEmptyLine(report);
}
