#include "collect/system/user_account.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "common/registry_value.h"
#include "common/windows_version.h"
#include "test_support.h"

using testing_support::RegistryLock;
using testing_support::ReportFile;
using testing_support::ExpectedGeneration;

namespace {

const char kPolicyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char* const kPolicyNames[] = {"ConsentPromptBehaviorAdmin", "EnableLUA", "PromptOnSecureDesktop"};

// Sets the UAC policy values for one test and puts the prefix's own values
// back afterwards (the key holds other policies, so it is not deleted).
class UacPolicy {
public:
    UacPolicy() {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, NULL, 0, KEY_ALL_ACCESS | kProgramRegistryView, NULL, &key_,
                        NULL);
        for (const char* name : kPolicyNames) {
            Saved saved;
            saved.name = name;
            BYTE data[256];
            DWORD size = sizeof data;
            saved.present = RegQueryValueExA(key_, name, NULL, &saved.type, data, &size) == ERROR_SUCCESS;
            if (saved.present) saved.data.assign(reinterpret_cast<char*>(data), size);
            saved_.push_back(saved);
            RegDeleteValueA(key_, name);
        }
    }
    ~UacPolicy() {
        for (const Saved& saved : saved_) {
            RegDeleteValueA(key_, saved.name.c_str());
            if (saved.present)
                RegSetValueExA(key_, saved.name.c_str(), 0, saved.type,
                               reinterpret_cast<const BYTE*>(saved.data.data()), (DWORD)saved.data.size());
        }
        RegCloseKey(key_);
    }
    void SetRaw(const char* name, DWORD type, const std::string& bytes) {
        RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), (DWORD)bytes.size());
    }
    void Set(const char* name, DWORD value) {
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    void SetText(const char* name, const char* value) {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), (DWORD)strlen(value) + 1);
    }
    void Clear() {
        for (const char* name : kPolicyNames) RegDeleteValueA(key_, name);
    }

private:
    struct Saved {
        std::string name;
        bool present = false;
        DWORD type = 0;
        std::string data;
    };
    RegistryLock lock_;
    HKEY key_ = NULL;
    std::vector<Saved> saved_;
};

const std::string kUacBanner = std::string(78, '=') + "\r\n= information about the UAC status and user level\r\n" +
                               std::string(78, '=') + "\r\n";

std::string UacSection() {
    ReportFile report;
    WriteUacStatus(report.sink());
    return report.Contents();
}

// Wine runs every program as the Unix user and tells it the name in USERNAME.
std::string ExpectedUacLine(const char* state) {
    const char* user = getenv("USERNAME");
    return kUacBanner + "An user \"" + (user ? user : "?") + "\" is an Administrator, and UAC is " + state + "\r\n";
}

LoggedOnUser User(const char* name, const char* domain) {
    LoggedOnUser user;
    lstrcpynA(user.userName, name, sizeof user.userName);
    lstrcpynA(user.domain, domain, sizeof user.domain);
    return user;
}

}  // namespace

TEST(UacStatus, PolicyValuesOfTheRunningGenerationSharedRegistryOnEveryPrefix) {
    UacPolicy policy;
    switch (ExpectedGeneration()) {
        case 9:
            policy.Set("EnableLUA", 0);
            policy.Set("ConsentPromptBehaviorAdmin", 5);
            policy.Set("PromptOnSecureDesktop", 0);
            EXPECT_EQ(ExpectedUacLine("Enabled"), UacSection());
            policy.Set("ConsentPromptBehaviorAdmin", 0);
            policy.Set("PromptOnSecureDesktop", 1);
            EXPECT_EQ(ExpectedUacLine("Disabled"), UacSection()) << "Windows 7 does not consult the secure desktop";
            policy.Set("EnableLUA", 1);
            EXPECT_EQ(ExpectedUacLine("Enabled"), UacSection());
            break;
        case 10:
            policy.Set("EnableLUA", 0);
            policy.Set("ConsentPromptBehaviorAdmin", 0);
            policy.Set("PromptOnSecureDesktop", 1);
            EXPECT_EQ(ExpectedUacLine("Enabled"), UacSection());
            policy.Set("EnableLUA", 1);
            policy.Set("PromptOnSecureDesktop", 0);
            EXPECT_EQ(ExpectedUacLine("Disabled"), UacSection()) << "Windows 8 does not consult EnableLUA";
            break;
        case 6:
            policy.Set("EnableLUA", 1);
            policy.Set("ConsentPromptBehaviorAdmin", 5);
            EXPECT_EQ(kUacBanner + "* ERROR * - Reporting UAC does not work on XP and below.\r\n", UacSection());
            break;
        default:
            FAIL() << "no expectation for generation " << ExpectedGeneration();
    }
}

TEST(UacStatus, MissingOrNonNumericPolicyCountsAsOffSharedRegistry) {
    UacPolicy policy;
    EXPECT_FALSE(IsUacEnabled());
    policy.Set("ConsentPromptBehaviorAdmin", 5);
    EXPECT_FALSE(IsUacEnabled()) << "second value missing";
    policy.SetText("EnableLUA", "1");
    policy.SetText("PromptOnSecureDesktop", "1");
    EXPECT_FALSE(IsUacEnabled()) << "second value is a string";
    policy.Clear();
    policy.SetText("ConsentPromptBehaviorAdmin", "5");
    policy.Set("EnableLUA", 1);
    policy.Set("PromptOnSecureDesktop", 1);
    EXPECT_FALSE(IsUacEnabled()) << "first value is a string";
    policy.Set("ConsentPromptBehaviorAdmin", 0);
    EXPECT_TRUE(IsUacEnabled());
    // A number of the right type but the wrong size is no number either.
    const DWORD one = 1;
    const std::string four(reinterpret_cast<const char*>(&one), 4);
    policy.SetRaw("EnableLUA", REG_DWORD, four + four);
    EXPECT_FALSE(IsUacEnabled()) << "EnableLUA of eight bytes";
    policy.SetRaw("EnableLUA", REG_DWORD, four.substr(0, 2));
    EXPECT_FALSE(IsUacEnabled()) << "EnableLUA of two bytes";
    policy.SetRaw("EnableLUA", REG_QWORD, four + std::string(4, '\0'));
    EXPECT_FALSE(IsUacEnabled()) << "EnableLUA as a 64-bit number";
}

TEST(LoggedOnUsers, OwnersAreDistinctWithoutRegardToCase) {
    std::list<LoggedOnUser> users;
    EXPECT_TRUE(AppendDistinctUser(users, User("Player", "WORKGROUP")));
    EXPECT_FALSE(AppendDistinctUser(users, User("player", "Workgroup")));
    EXPECT_TRUE(AppendDistinctUser(users, User("Player", "OTHERPC")));
    EXPECT_TRUE(AppendDistinctUser(users, User("Players", "WORKGROUP")));
    EXPECT_FALSE(AppendDistinctUser(users, User("PLAYER", "otherpc")));
    ASSERT_EQ(3u, users.size());
    EXPECT_STREQ("WORKGROUP", users.front().domain);
    EXPECT_STREQ("Player", users.front().userName);
    EXPECT_STREQ("Players", users.back().userName);
}

namespace {
// A real handle: the pseudo handle of GetCurrentProcess equals INVALID_HANDLE_VALUE.
bool OwnUser(LoggedOnUser* user) {
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    bool found = GetProcessUser(self, user);
    CloseHandle(self);
    return found;
}
}  // namespace

TEST(LoggedOnUsers, OwnerOfOwnProcess) {
    LoggedOnUser user;
    ASSERT_TRUE(OwnUser(&user));
    const char* name = getenv("USERNAME");
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(0, lstrcmpiA(name, user.userName));
    EXPECT_FALSE(GetProcessUser(INVALID_HANDLE_VALUE, &user));
}

TEST(LoggedOnUsers, SectionListsTheAccountWithItsGroupsOnceOnEveryPrefix) {
    ReportFile report;
    WriteLoggedOnUsers(report.sink());
    const std::string text = report.Contents();
    LoggedOnUser self;
    ASSERT_TRUE(OwnUser(&self));
    const std::string account = std::string(self.domain) + "\\" + self.userName;
    const std::string header = std::string(78, '=') + "\r\n= list of users currently logged on\r\n" +
                               std::string(78, '=') + "\r\n";
    // Wine puts its one user into the Administrators group only.
    EXPECT_EQ(header + "user name : " + account + "\r\n    group - Administrators\r\n\r\n", text);
}

namespace {

// The state of the debug privilege in this process's token, which the
// section turns on as its first act.
bool DebugPrivilegeEnabled() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID debug;
    BYTE buffer[4096];
    DWORD bytes = 0;
    bool enabled = false;
    if (LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &debug) &&
        GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &bytes)) {
        const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
            if (p.Luid.LowPart == debug.LowPart && p.Luid.HighPart == debug.HighPart)
                enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

}  // namespace

TEST(LoggedOnUsers, NoReportNoOutputAndTheTokenStaysAsItWas) {
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES off = {1, {{{0, 0}, 0}}};
    ASSERT_TRUE(LookupPrivilegeValueA(NULL, "SeDebugPrivilege", &off.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &off, 0, NULL, NULL));
    CloseHandle(token);
    ASSERT_FALSE(DebugPrivilegeEnabled());

    WriteLoggedOnUsers(INVALID_HANDLE_VALUE);
    WriteLoggedOnUsers(NULL);
    EXPECT_FALSE(DebugPrivilegeEnabled());
    ReportFile report;
    WriteLoggedOnUsers(report.sink());
    EXPECT_TRUE(DebugPrivilegeEnabled());
    EXPECT_NE("", report.Contents());
}
