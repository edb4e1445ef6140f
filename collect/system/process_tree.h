// The running processes as a tree by parent process.
#pragma once

#include "collect/system/process_forest.h"
#include "report/report_writer.h"

void WriteProcessTree(ReportSink report);
// Fills the forest from a process snapshot; false only when no snapshot could
// be taken.
bool BuildProcessTree(ProcessNode** head);
// The full image path from the process's module list; keeps the executable
// name when the modules cannot be listed or none matches.
void FindImagePath(ProcessNode* node);
