// The verification mode's list window: every file a support engineer named
// or dropped (or the archives and reports of a folder), one row each with
// its outcome, the selected file's findings below, and buttons that open the
// selected file or its folder. The files are checked on a worker thread that
// posts each row, so the window stays responsive while it checks.
#pragma once

#include <string>
#include <vector>

// Shows the window until it is closed and returns the exit code of the
// worst outcome (report/check_output.h); a file left unchecked because the
// window was closed first counts as one that could not be opened.
int ShowCheckList(const std::vector<std::wstring>& files);
