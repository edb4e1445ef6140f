// Who uses the computer and with which rights: UAC status and logged-on users.
#pragma once

#include <windows.h>

#include <list>

#include "report/report_writer.h"

// One distinct process owner.
struct LoggedOnUser {
    char userName[256];
    char domain[64];
};

void WriteUacStatus(ReportSink report);
void WriteLoggedOnUsers(ReportSink report);

// Whether User Account Control counts as on, from the policy values the
// running generation of Windows uses.
bool IsUacEnabled();
// The account that runs the program, in a 1024-byte buffer (empty when unknown).
void GetCurrentUserName(char name[1024]);
// Turns on the debug privilege in the program's own token.
bool EnableDebugPrivilege();
// The owner of a process, from its token.
bool GetProcessUser(HANDLE process, LoggedOnUser* user);
// Appends a copy of user unless an entry with the same user name and domain
// (compared without regard to letter case) is already there.
bool AppendDistinctUser(std::list<LoggedOnUser>& users, const LoggedOnUser& user);
// One account with its local groups; nothing for an account without any.
void WriteUserGroups(ReportSink report, const LoggedOnUser& user);
