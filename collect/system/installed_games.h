// Which of the publisher's games are installed, and where.
#pragma once

#include "report/report_writer.h"

void WriteInstalledGames(ReportSink report);
