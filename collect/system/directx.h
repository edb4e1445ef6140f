// DirectX sections: the installed D3DX runtimes and dxdiag's text report.
#pragma once

#include "report/report_writer.h"

void WriteInstalledDirectX(ReportSink report);
void WriteDxDiag(ReportSink report);
// The same section with another program of the system folder in dxdiag's
// place (tests use a stand-in: Wine always runs its built-in dxdiag).
void WriteDxDiagWithTool(ReportSink report, const char* tool);

// One listing of d3dx*.dll files with their product versions: the 32-bit
// system folder, or (nativePass, under WOW64 only) the native 64-bit one.
void ScanD3dxRuntimes(ReportSink report, bool nativePass);
// The listing of one folder under its label line (" - x86\r\n" or " - x64\r\n").
void ScanD3dxFolder(ReportSink report, const char* label, const char* folder);
