// Autostart keys, the publisher's key and the installed-program lists.
#pragma once

#include "report/report_writer.h"

void WriteRegistryDump(ReportSink report);
