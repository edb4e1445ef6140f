// DirectX sections: the installed D3DX runtimes and dxdiag's text report.
#pragma once

#include "report/report_writer.h"

void WriteInstalledDirectX(ReportSink report);
void WriteDxDiag(ReportSink report);
