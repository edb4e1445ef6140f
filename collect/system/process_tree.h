// The running processes as a tree by parent process.
#pragma once

#include "collect/system/process_forest.h"
#include "report/report_writer.h"

void WriteProcessTree(ReportSink report);
// Fills the forest from a process snapshot; false only when no snapshot could
// be taken.
bool BuildProcessTree(ProcessNode** head);
// The full image path from the process's module list; false (the executable
// name kept) when the modules cannot be listed or none matches.
bool FindImagePath(ProcessNode* node);
// Whether the system can name another process's image (Vista and later).
bool CanQuerySystemImagePath();
// The process's full image path as the system gives it, in its Win32 form;
// false when the process cannot be opened for a limited query or the path does
// not fit 255 characters of the ANSI code page.
bool QuerySystemImagePath(unsigned long processId, char path[256]);
// A new node's image path and version fields: from the module list (on the NT
// family, unless moduleList is false), else from the path the system gives,
// read in its native view; else, where the system cannot be asked (XP and
// older), from the file of that name the usual search finds; else none.
void FillProcessFacts(ProcessNode* node, bool ntFamily, bool moduleList);
