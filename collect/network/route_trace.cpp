// The "Tracing network paths" section: route traces to every address of the
// game's servers that are marked for it, all running at once as hidden
// children, each written as its own block in start order.
//
// While the traces run, one small thread per trace drains its pipe into a
// private temporary file. Without that, a tool whose output outgrows the
// pipe's buffer would sit in its write until the time limit and be reported
// as timed out. Each spool file has a second handle for reading, so the
// output phase can copy whatever has arrived even from a drain that has not
// finished yet. A trace whose spool cannot be set up keeps its pipe and is
// copied from the pipe after the wait, as before.
//
// TraceWatcher waits for every trace process; a single wait watches at most
// 64 handles (MAXIMUM_WAIT_OBJECTS), so it waits for the processes in groups of
// up to 64 in turn, which ends exactly when the last process has ended. The
// watcher works on its own duplicates of the process handles and of the
// all-finished event: after a cancel or time-out the step returns and closes
// its handles while the watcher is still waiting, and a closed (or reused)
// handle must never be waited on or signalled.
#include "collect/network/route_trace.h"

#include <stdio.h>
#include <string.h>

#include "collect/network/console_tool.h"
#include "collect/network/network_text.h"
#include "collect/network/server_connectivity.h"
#include "collect/network/web_access.h"
#include "collect/system/windows_version.h"
#include "common/owned_handle.h"
#include "report/run_control.h"
#include "ui/text_catalog.h"

namespace {

unsigned long g_traceTimeLimitMs = 500000;
// How long the output phase waits for drains to reach the end of their pipes
// once the tools have ended or been stopped.
const DWORD kDrainSettleMs = 2000;
const DWORD kHelperStackBytes = 64 * 1024;

struct RouteTrace {
    const char* label;
    const char* regionText;
    char address[256];
    char commandLine[256];
    StartedTool tool;      // process and pipe; the pipe passes to the drain when there is one
    HANDLE drainThread;    // NULL when the pipe is copied after the wait
    HANDLE spoolRead;      // INVALID_HANDLE_VALUE without a drain
    bool stopped;
};

struct DrainJob {
    HANDLE pipe;
    HANDLE spoolWrite;
};

// Copies one pipe into its spool file until the pipe ends; owns and closes
// both handles and frees its job.
DWORD WINAPI DrainPipe(LPVOID parameter) {
    DrainJob* job = static_cast<DrainJob*>(parameter);
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(job->pipe, chunk, sizeof chunk, &got, NULL) || got == 0) break;
        DWORD written = 0;
        if (!WriteFile(job->spoolWrite, chunk, got, &written, NULL) || written != got) break;
    }
    CloseHandle(job->pipe);
    CloseHandle(job->spoolWrite);
    HeapFree(GetProcessHeap(), 0, job);
    return 0;
}

// Gives the trace a spool file and a drain thread that takes over its pipe.
// On any failure the trace keeps its pipe and nothing changes.
void StartDrain(RouteTrace* trace) {
    char path[256];
    if (!MakeTempFileName(path)) return;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    OwnedFile spoolWrite(CreateFileA(path, GENERIC_WRITE, share, NULL, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL));
    if (!spoolWrite.Valid()) {
        DeleteFileA(path);
        return;
    }
    OwnedFile spoolRead(CreateFileA(path, GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL));
    if (!spoolRead.Valid()) return;  // the write handle deletes the file on close
    DrainJob* job = static_cast<DrainJob*>(HeapAlloc(GetProcessHeap(), 0, sizeof(DrainJob)));
    if (job == NULL) return;
    job->pipe = trace->tool.output;
    job->spoolWrite = spoolWrite.Get();
    HANDLE thread = CreateThread(NULL, kHelperStackBytes, DrainPipe, job, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (thread == NULL) {
        HeapFree(GetProcessHeap(), 0, job);
        return;
    }
    spoolWrite.Release();
    trace->tool.output = NULL;
    trace->drainThread = thread;
    trace->spoolRead = spoolRead.Release();
}

struct WatchJob {
    HANDLE allFinished;
    int count;
    HANDLE processes[kMaxRouteTraces];
};

}  // namespace

// Waits until every listed process has ended, then sets the event. Owns the
// job and every handle in it.
DWORD WINAPI TraceWatcher(LPVOID parameter) {
    WatchJob* job = static_cast<WatchJob*>(parameter);
    for (int first = 0; first < job->count; first += MAXIMUM_WAIT_OBJECTS) {
        int group = job->count - first;
        if (group > MAXIMUM_WAIT_OBJECTS) group = MAXIMUM_WAIT_OBJECTS;
        WaitForMultipleObjects(static_cast<DWORD>(group), job->processes + first, TRUE, INFINITE);
    }
    SetEvent(job->allFinished);
    for (int i = 0; i < job->count; ++i) CloseHandle(job->processes[i]);
    CloseHandle(job->allFinished);
    HeapFree(GetProcessHeap(), 0, job);
    return 0;
}

namespace {

HANDLE Duplicate(HANDLE handle) {
    HANDLE copy = NULL;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return NULL;
    }
    return copy;
}

// Starts TraceWatcher for the started traces. False when it cannot run; the
// caller then treats the traces as finished.
bool StartWatcher(const RouteTrace* traces, int traceCount, HANDLE allFinished) {
    WatchJob* job = static_cast<WatchJob*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WatchJob)));
    if (job == NULL) return false;
    job->allFinished = Duplicate(allFinished);
    bool ok = job->allFinished != NULL;
    for (int i = 0; ok && i < traceCount; ++i) {
        if (traces[i].tool.process == NULL) continue;  // never started: nothing to wait for
        HANDLE copy = Duplicate(traces[i].tool.process);
        if (copy == NULL) {
            ok = false;
            break;
        }
        job->processes[job->count++] = copy;
    }
    HANDLE thread = NULL;
    if (ok) {
        thread = CreateThread(NULL, kHelperStackBytes, TraceWatcher, job, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    }
    if (thread == NULL) {
        for (int i = 0; i < job->count; ++i) CloseHandle(job->processes[i]);
        if (job->allFinished != NULL) CloseHandle(job->allFinished);
        HeapFree(GetProcessHeap(), 0, job);
        return false;
    }
    CloseHandle(thread);
    return true;
}

enum WaitOutcome { OutcomeFinished, OutcomeCancelled, OutcomeTimedOut };

WaitOutcome WaitForTraces(HANDLE allFinished) {
    HANDLE events[2] = {allFinished, GetRunCancelEvent()};
    DWORD eventCount = events[1] != NULL ? 2 : 1;
    DWORD result = WaitForMultipleObjects(eventCount, events, FALSE, g_traceTimeLimitMs);
    if (result == WAIT_OBJECT_0 + 1) return OutcomeCancelled;
    if (result == WAIT_TIMEOUT) return OutcomeTimedOut;
    return OutcomeFinished;  // a failed wait counts as finished
}

// Waits, up to a bound, for the drains to reach the ends of their pipes.
void SettleDrains(const RouteTrace* traces, int traceCount) {
    DWORD start = GetTickCount();
    for (int i = 0; i < traceCount; ++i) {
        if (traces[i].drainThread == NULL) continue;
        DWORD spent = GetTickCount() - start;
        WaitForSingleObject(traces[i].drainThread, spent < kDrainSettleMs ? kDrainSettleMs - spent : 0);
    }
}

void WriteTraceBlock(ReportSink report, RouteTrace* trace) {
    char rule[16 + 3 * 256 + 3];
    size_t ruleChars = 16 + strlen(trace->label) + strlen(trace->regionText) + strlen(trace->address);
    if (ruleChars > sizeof rule - 3) ruleChars = sizeof rule - 3;
    memset(rule, '-', ruleChars);
    memcpy(rule + ruleChars, "\r\n", 3);

    WriteText(report, "\r\n");
    WriteText(report, rule);
    WriteFormatted(report, "Route for [%s:%s] (%s)\r\n", trace->label, trace->regionText, trace->address);
    WriteText(report, rule);
    if (trace->spoolRead != INVALID_HANDLE_VALUE) {
        SetFilePointer(trace->spoolRead, 0, NULL, FILE_BEGIN);
        CopyStreamToReport(trace->spoolRead, report);
    } else if (trace->tool.output != NULL) {
        CopyStreamToReport(trace->tool.output, report);
    }
    if (trace->stopped) {
        WriteFormatted(report, "\r\n-> canceled by Diagnova due to timeout(%d sec)\r\n",
                       static_cast<int>(g_traceTimeLimitMs / 1000));
    }
}

void ReleaseTrace(RouteTrace* trace) {
    if (trace->tool.process != NULL) CloseHandle(trace->tool.process);
    if (trace->tool.output != NULL) CloseHandle(trace->tool.output);
    // A drain still running owns its pipe and spool writer and ends by itself.
    if (trace->drainThread != NULL) CloseHandle(trace->drainThread);
    if (trace->spoolRead != INVALID_HANDLE_VALUE) CloseHandle(trace->spoolRead);
}

}  // namespace

void SetRouteTraceTimeLimit(unsigned long milliseconds) { g_traceTimeLimitMs = milliseconds; }

void WriteRouteTraces(ReportSink report, int serverCount, const ServerEntry* servers) {
    if (QueryLatestVersion() == VersionUnreachable) {
        MessageBoxA(GetMainWindowHandle(), GetText(36), GetText(10), MB_OK | MB_ICONWARNING);
        CancelRunFromStep();
        return;
    }
    const char* format = RouteCommandFormat(static_cast<int>(GetWindowsGeneration()));

    OwnedHeapBlock traceBlock(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RouteTrace) * kMaxRouteTraces));
    if (!traceBlock.Valid()) return;
    RouteTrace* traces = static_cast<RouteTrace*>(traceBlock.Get());
    int traceCount = 0;

    char addresses[kMaxResolvedAddresses][kAddressTextChars];
    for (int i = 0; i < serverCount && servers != NULL; ++i) {
        const ServerEntry& entry = servers[i];
        if (!(entry.checks & CheckRoute)) continue;
        int count = ResolveHostAddresses(entry.host, addresses);
        if (count == 0) {
            WriteFormatted(report, "failed to get ip address for %s\r\n", entry.host);
            continue;
        }
        for (int a = 0; a < count && traceCount < kMaxRouteTraces; ++a) {
            RouteTrace* trace = &traces[traceCount++];
            trace->label = entry.label;
            trace->regionText = GetRegionText(entry.region);
            lstrcpynA(trace->address, addresses[a], sizeof trace->address);
            snprintf(trace->commandLine, sizeof trace->commandLine, format, trace->address);
            trace->tool.process = NULL;
            trace->tool.output = NULL;
            trace->drainThread = NULL;
            trace->spoolRead = INVALID_HANDLE_VALUE;
            trace->stopped = false;
            if (RunConsoleTool(NULL, trace->commandLine, &trace->tool)) StartDrain(trace);
        }
    }
    if (traceCount == 0) return;

    OwnedHandle allFinished(CreateEventA(NULL, TRUE, FALSE, NULL));
    WaitOutcome outcome = OutcomeFinished;
    if (allFinished.Valid() && StartWatcher(traces, traceCount, allFinished.Get())) {
        outcome = WaitForTraces(allFinished.Get());
    }

    if (outcome != OutcomeFinished) {
        for (int i = 0; i < traceCount; ++i) {
            HANDLE process = traces[i].tool.process;
            if (process == NULL) continue;
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) traces[i].stopped = true;
            TerminateProcess(process, 0);
        }
    }
    if (outcome != OutcomeCancelled) {
        SettleDrains(traces, traceCount);
        for (int i = 0; i < traceCount; ++i) WriteTraceBlock(report, &traces[i]);
    }
    for (int i = 0; i < traceCount; ++i) ReleaseTrace(&traces[i]);
}
