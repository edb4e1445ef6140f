// Who uses the computer and with which rights: UAC status and logged-on users.
#pragma once

#include "report/report_writer.h"

void WriteUacStatus(ReportSink report);
void WriteLoggedOnUsers(ReportSink report);
