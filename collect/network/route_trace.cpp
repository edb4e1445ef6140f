// The "Tracing network paths" section: route traces to every address of the
// game's servers that are marked for it, all running at once as hidden
// children, each written as its own block in start order.
//
// Where the time goes: starting a process is the step's own big cost (tens of
// milliseconds each on Windows, 50 to 150 under Wine, where a GUI program's
// console child also gets its own conhost.exe started), and the parent's
// CreateProcess waits for much of it. So the tools are started by several
// starter threads at once, each taking the next trace by its index; the
// blocks are still written by index, in start order.
//
// A console tool started by a program without a console (Diagnova is a GUI
// program) gets a console of its own: one more hidden window per trace, and on
// Windows 7 and later, as under Wine, one more conhost.exe process, which under
// Wine about doubles the cost of each start. So once the first tool has shown
// that its console is up (its first output has arrived), the step attaches
// itself to that console while it starts the others, which then share it as
// any console program's children do, and detaches again. That wait is only
// worth it when there are more traces than starter threads. Output still goes
// only through each tool's own pipe; the shared console is hidden like the
// first tool's own, and has the same code page a new one would have.
//
// While the traces run, one drain thread reads every tool's output through an
// I/O completion port (the pipes are named pipes opened for overlapped reads,
// see StartConsoleToolOverlapped), so no tool ever waits on a full pipe. Each
// trace's output is kept in memory up to kMemoryCapBytes (a real route tool
// prints a few kilobytes) and goes on into a private temporary file beyond.
//
// A drain does not wait for its pipe to report its end once the tools are
// done: the write end of a tool's pipe may also be held by a tool started at
// the same moment from another starter thread (it inherits every inheritable
// handle that exists while it is created), and under Wine by the conhost.exe
// of a console child, which ends a while after its tool. Instead, when every
// tool has ended (or was stopped and has ended), the worker tells the drain
// thread to finish: a process that has ended has put all its output into the
// pipe, so the drain cancels its pending read and takes what the pipe still
// holds, and then the trace is complete.
//
// TraceWatcher waits for every trace process; a single wait watches at most
// 64 handles (MAXIMUM_WAIT_OBJECTS), so it waits for the processes in groups of
// up to 64 in turn, which ends exactly when the last process has ended. The
// watcher works on its own duplicates of the process handles and of the
// all-finished event: after a cancel or time-out the step returns and closes
// its handles while the watcher is still waiting, and a closed (or reused)
// handle must never be waited on or signalled. For the same reason the drain
// state is shared by reference count between the worker and the drain thread.
//
// Without a completion port or drain thread the traces fall back to ordinary
// anonymous pipes that are copied after the wait.
#include "collect/network/route_trace.h"

#include <stdio.h>
#include <string.h>

#include "catalog/text_catalog.h"
#include "collect/network/console_tool.h"
#include "collect/network/console_tool_text.h"
#include "collect/network/network_text.h"
#include "collect/network/server_connectivity.h"
#include "collect/network/web_access.h"
#include "collect/run_control.h"
#include "common/owned_handle.h"
#include "common/windows_version.h"

namespace {

unsigned long g_traceTimeLimitMs = 500000;
// How long the output phase waits for the drain thread to take the rest of
// the output out of the pipes once the tools have ended.
const DWORD kDrainFinishMs = 5000;
// How long stopped tools get to end before their pipes are emptied.
const DWORD kStopSettleMs = 2000;
// The drain and watcher threads only wait and move bytes, so a small stack
// does. Threads that start processes get the default reservation instead:
// CreateProcess runs compatibility shims, side-by-side lookups and security
// products' hooks on the caller's stack, far deeper on Windows than under Wine.
const DWORD kHelperStackBytes = 64 * 1024;
const int kStarterThreads = 8;

// Output kept in memory per trace, a multiple of the copy chunk so that the
// spilled rest continues on a chunk boundary (see WriteTraceOutput).
const DWORD kCopyChunkBytes = 4096;
const DWORD kMemoryFirstBytes = 16 * 1024;
const DWORD kMemoryCapBytes = 256 * 1024;
const DWORD kSpoolReadBytes = 64 * 1024;
// Reads per pipe after the finish request: the tools have ended, so what is
// left is at most what the pipe buffers; the bound keeps a pipe that some
// leftover process still writes to from holding the drain thread.
const int kReadsAfterFinish = 32;

const ULONG_PTR kFinishKey = 0xFFFF;
const ULONG_PTR kReleaseKey = 0xFFFE;
// How long the start waits for the first tool's console before it starts the
// others with consoles of their own.
const DWORD kFirstConsoleWaitMs = 1000;

struct TraceDrain {
    OVERLAPPED overlapped;
    HANDLE pipe;  // overlapped read end; NULL once closed
    char* memory;
    DWORD memoryBytes;
    DWORD memoryCapacity;
    HANDLE spool;  // temporary file for what outgrows memory, or INVALID_HANDLE_VALUE
    char* staging;
    bool readIntoMemory;
    bool reading;
    bool lostOutput;  // the spool could not take some output
    int readsAfterFinish;
    HANDLE outputSeen;  // set at the first output or the end (the first trace only), or NULL
    volatile LONG complete;  // set by the drain thread, which then never touches this drain again
};

struct DrainSession {
    volatile LONG references;
    HANDLE port;
    HANDLE drained;  // set when every handed-over drain is complete after the finish request
    HANDLE firstOutput;  // the first trace's outputSeen
    TraceDrain drains[kMaxRouteTraces];
};

struct RouteTrace {
    const char* label;
    const char* regionText;
    char address[256];
    char commandLine[256];
    StartedTool tool;  // process, and the plain pipe when the trace is not drained
    bool drained;      // its output goes through the drain session
    bool stopped;
};

void FreeDrainMemory(TraceDrain* drain) {
    if (drain->pipe != NULL) CloseHandle(drain->pipe);
    if (drain->spool != INVALID_HANDLE_VALUE) CloseHandle(drain->spool);
    if (drain->memory != NULL) HeapFree(GetProcessHeap(), 0, drain->memory);
    if (drain->staging != NULL) HeapFree(GetProcessHeap(), 0, drain->staging);
    drain->pipe = NULL;
    drain->spool = INVALID_HANDLE_VALUE;
    drain->memory = NULL;
    drain->staging = NULL;
}

void ReleaseSession(DrainSession* session) {
    if (InterlockedDecrement(&session->references) != 0) return;
    for (int i = 0; i < kMaxRouteTraces; ++i) FreeDrainMemory(&session->drains[i]);
    CloseHandle(session->port);
    CloseHandle(session->drained);
    CloseHandle(session->firstOutput);
    HeapFree(GetProcessHeap(), 0, session);
}

// Makes room for the next read in memory; false when memory is full for good
// and the output goes on into the spool.
bool MakeMemoryRoom(TraceDrain* drain) {
    if (drain->spool != INVALID_HANDLE_VALUE || drain->lostOutput) return false;
    if (drain->memoryBytes < drain->memoryCapacity) return true;
    if (drain->memoryCapacity >= kMemoryCapBytes) return false;
    DWORD capacity = drain->memoryCapacity == 0 ? kMemoryFirstBytes : drain->memoryCapacity * 2;
    if (capacity > kMemoryCapBytes) capacity = kMemoryCapBytes;
    void* grown = drain->memory == NULL ? HeapAlloc(GetProcessHeap(), 0, capacity)
                                        : HeapReAlloc(GetProcessHeap(), 0, drain->memory, capacity);
    if (grown == NULL) return false;  // the rest spills from the current, chunk-aligned size on
    drain->memory = static_cast<char*>(grown);
    drain->memoryCapacity = capacity;
    return true;
}

void CloseDrain(TraceDrain* drain, int* openDrains) {
    CloseHandle(drain->pipe);
    drain->pipe = NULL;
    --*openDrains;
    if (drain->outputSeen != NULL) SetEvent(drain->outputSeen);
    InterlockedExchange(&drain->complete, 1);
}

// Issues the next overlapped read, or closes the drain when the pipe has
// ended or, after the finish request, holds nothing more.
void ContinueDrain(TraceDrain* drain, bool finishing, int* openDrains) {
    if (finishing) {
        DWORD available = 0;
        if (drain->readsAfterFinish >= kReadsAfterFinish ||
            !PeekNamedPipe(drain->pipe, NULL, 0, NULL, &available, NULL) || available == 0) {
            CloseDrain(drain, openDrains);
            return;
        }
        ++drain->readsAfterFinish;
    }
    char* target;
    DWORD size;
    if (MakeMemoryRoom(drain)) {
        drain->readIntoMemory = true;
        target = drain->memory + drain->memoryBytes;
        size = drain->memoryCapacity - drain->memoryBytes;
    } else {
        if (drain->staging == NULL) drain->staging = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kSpoolReadBytes));
        if (drain->staging == NULL) {
            CloseDrain(drain, openDrains);
            return;
        }
        drain->readIntoMemory = false;
        target = drain->staging;
        size = kSpoolReadBytes;
    }
    ZeroMemory(&drain->overlapped, sizeof drain->overlapped);
    // Even a read that completes at once posts its completion to the port.
    if (ReadFile(drain->pipe, target, size, NULL, &drain->overlapped) || GetLastError() == ERROR_IO_PENDING) {
        drain->reading = true;
    } else {
        CloseDrain(drain, openDrains);  // the pipe's end (ERROR_BROKEN_PIPE) or a failure
    }
}

void StoreOutput(TraceDrain* drain, DWORD bytes) {
    if (bytes > 0 && drain->outputSeen != NULL) SetEvent(drain->outputSeen);
    if (drain->readIntoMemory) {
        drain->memoryBytes += bytes;
        return;
    }
    if (drain->lostOutput) return;
    if (drain->spool == INVALID_HANDLE_VALUE) {
        char path[256];
        if (MakeTempFileName(path)) {
            drain->spool = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, NULL, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
            if (drain->spool == INVALID_HANDLE_VALUE) DeleteFileA(path);
        }
    }
    DWORD written = 0;
    if (drain->spool == INVALID_HANDLE_VALUE || !WriteFile(drain->spool, drain->staging, bytes, &written, NULL) ||
        written != bytes) {
        // Full or unwritable temporary folder: the pipe is still emptied so
        // the tool never blocks, and its block keeps what was stored.
        drain->lostOutput = true;
    }
}

// The drain thread. Control packets carry no OVERLAPPED: a trace index hands
// that trace's pipe over (its first read is issued here, because CancelIo only
// cancels reads of the calling thread and Windows XP has no CancelIoEx);
// kFinishKey asks it to finish every drain; kReleaseKey says the worker is
// done with the kept output, which the drain thread then frees itself: closing
// large spool files (which deletes them) takes a while, and the step need not
// wait for it.
DWORD WINAPI DrainTraces(LPVOID parameter) {
    DrainSession* session = static_cast<DrainSession*>(parameter);
    bool finishing = false;
    bool released = false;
    int openDrains = 0;
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = NULL;
        BOOL ok = GetQueuedCompletionStatus(session->port, &bytes, &key, &overlapped, INFINITE);
        if (overlapped == NULL) {
            if (!ok) break;  // the port itself failed
            if (key == kReleaseKey) {
                released = true;
            } else if (key == kFinishKey) {
                finishing = true;
                for (int i = 0; i < kMaxRouteTraces; ++i) {
                    TraceDrain* drain = &session->drains[i];
                    if (drain->pipe == NULL) continue;
                    if (drain->reading) {
                        CancelIo(drain->pipe);  // its completion comes through the port
                    } else {
                        ContinueDrain(drain, finishing, &openDrains);
                    }
                }
            } else if (key < static_cast<ULONG_PTR>(kMaxRouteTraces)) {
                ++openDrains;
                ContinueDrain(&session->drains[key], finishing, &openDrains);
            }
        } else if (key < static_cast<ULONG_PTR>(kMaxRouteTraces)) {
            TraceDrain* drain = &session->drains[key];
            drain->reading = false;
            if (ok) {
                StoreOutput(drain, bytes);
                ContinueDrain(drain, finishing, &openDrains);
            } else if (GetLastError() == ERROR_OPERATION_ABORTED) {
                if (bytes > 0) StoreOutput(drain, bytes);
                ContinueDrain(drain, finishing, &openDrains);
            } else {
                CloseDrain(drain, &openDrains);  // ERROR_BROKEN_PIPE: the pipe's end
            }
        }
        if (finishing && openDrains == 0) {
            SetEvent(session->drained);
            if (released) {
                for (int i = 0; i < kMaxRouteTraces; ++i) FreeDrainMemory(&session->drains[i]);
                break;
            }
        }
    }
    SetEvent(session->drained);
    ReleaseSession(session);
    return 0;
}

// The port, the finish event and the drain thread; NULL when any is missing.
DrainSession* StartDrainSession() {
    DrainSession* session =
        static_cast<DrainSession*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DrainSession)));
    if (session == NULL) return NULL;
    for (int i = 0; i < kMaxRouteTraces; ++i) session->drains[i].spool = INVALID_HANDLE_VALUE;
    session->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1);
    session->drained = CreateEventA(NULL, TRUE, FALSE, NULL);
    session->firstOutput = CreateEventA(NULL, TRUE, FALSE, NULL);
    session->drains[0].outputSeen = session->firstOutput;
    session->references = 2;
    HANDLE thread = NULL;
    if (session->port != NULL && session->drained != NULL && session->firstOutput != NULL) {
        thread = CreateThread(NULL, kHelperStackBytes, DrainTraces, session, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    }
    if (thread == NULL) {
        if (session->port != NULL) CloseHandle(session->port);
        if (session->drained != NULL) CloseHandle(session->drained);
        if (session->firstOutput != NULL) CloseHandle(session->firstOutput);
        HeapFree(GetProcessHeap(), 0, session);
        return NULL;
    }
    CloseHandle(thread);
    return session;
}

struct StartJob {
    RouteTrace* traces;
    int traceCount;
    volatile LONG next;
    DrainSession* session;  // NULL: plain pipes
};

void StartTrace(StartJob* job, int index) {
    RouteTrace* trace = &job->traces[index];
    if (job->session == NULL) {
        RunConsoleTool(NULL, trace->commandLine, &trace->tool);
        return;
    }
    StartedTool started = {NULL, NULL};
    if (!StartConsoleToolOverlapped(trace->commandLine, &started)) return;
    trace->tool.process = started.process;
    if (CreateIoCompletionPort(started.output, job->session->port, static_cast<ULONG_PTR>(index), 0) == NULL) {
        // Unreadable without the port; the tool then gets a broken pipe.
        CloseHandle(started.output);
        return;
    }
    job->session->drains[index].pipe = started.output;
    trace->drained = true;
    PostQueuedCompletionStatus(job->session->port, 0, static_cast<ULONG_PTR>(index), NULL);
}

// Starter thread: starts traces by index until none is left. A cancelled run
// starts nothing more.
DWORD WINAPI StartTraces(LPVOID parameter) {
    StartJob* job = static_cast<StartJob*>(parameter);
    HANDLE cancel = GetRunCancelEvent();
    for (;;) {
        LONG index = InterlockedIncrement(&job->next) - 1;
        if (index >= job->traceCount) break;
        if (cancel != NULL && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) continue;
        StartTrace(job, index);
    }
    return 0;
}

// While this process is attached to a tool's console, a console control
// event sent to that console reaches this process too, and the default
// handler ends the process: a Ctrl+C or Ctrl+Break that a tool (or any other
// program on that console) sends to its console's processes would end
// Diagnova with its run. The handler keeps the program running for those two;
// they are meant for the tools. The console's closing, logoff and shutdown
// go to the default handling: once a console closes, the system ends every
// process still attached to it whatever a handler answers. The console is
// hidden and shared for the start phase only.
BOOL WINAPI KeepRunningOnConsoleBreak(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

// This process attached to a route tool's console for the start phase, with
// the standard handles it had before (attaching may replace missing ones).
struct SharedConsole {
    bool attached;
    HANDLE standardHandles[3];
};

const DWORD kStandardHandleIds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

// Attaches to the console of the started tool. AttachConsole and
// GetProcessId are missing before Windows XP (GetProcessId before XP SP1).
// Fails harmlessly when this process already has a console (its children
// share that one anyway) or the tool's console is not there (any more).
void AttachToToolConsole(HANDLE process, SharedConsole* shared) {
    shared->attached = false;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    typedef BOOL(WINAPI * AttachConsoleFunction)(DWORD);
    typedef DWORD(WINAPI * GetProcessIdFunction)(HANDLE);
    AttachConsoleFunction attachConsole =
        reinterpret_cast<AttachConsoleFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "AttachConsole")));
    GetProcessIdFunction getProcessId =
        reinterpret_cast<GetProcessIdFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessId")));
    if (attachConsole == NULL || getProcessId == NULL) return;
    DWORD processId = getProcessId(process);
    if (processId == 0) return;
    for (int i = 0; i < 3; ++i) shared->standardHandles[i] = GetStdHandle(kStandardHandleIds[i]);
    if (!SetConsoleCtrlHandler(KeepRunningOnConsoleBreak, TRUE)) return;
    shared->attached = attachConsole(processId) != FALSE;
    if (!shared->attached) SetConsoleCtrlHandler(KeepRunningOnConsoleBreak, FALSE);
}

void DetachFromToolConsole(SharedConsole* shared) {
    if (!shared->attached) return;
    FreeConsole();
    SetConsoleCtrlHandler(KeepRunningOnConsoleBreak, FALSE);
    for (int i = 0; i < 3; ++i) SetStdHandle(kStandardHandleIds[i], shared->standardHandles[i]);
    shared->attached = false;
}

void StartAllTraces(StartJob* job) {
    SharedConsole console = {false, {NULL, NULL, NULL}};
    // Up to kStarterThreads traces all start at once anyway, so waiting for
    // the first console would only add to the step; beyond that the starts
    // queue behind each other, and every console saved shortens the queue.
    if (job->session != NULL && job->traceCount > kStarterThreads) {
        // The first tool alone, until its console is up.
        job->next = 1;
        StartTrace(job, 0);
        HANDLE process = job->traces[0].tool.process;
        if (process != NULL && job->traces[0].drained) {
            HANDLE events[2] = {job->session->firstOutput, process};
            if (WaitForMultipleObjects(2, events, FALSE, kFirstConsoleWaitMs) == WAIT_OBJECT_0) {
                AttachToToolConsole(process, &console);
            }
        }
    }
    HANDLE threads[kStarterThreads];
    int threadCount = 0;
    int left = job->traceCount - job->next;
    int wanted = left < kStarterThreads ? left : kStarterThreads;
    // The worker is one of the starters.
    for (int i = 1; i < wanted; ++i) {
        HANDLE thread = CreateThread(NULL, 0, StartTraces, job, 0, NULL);
        if (thread == NULL) break;
        threads[threadCount++] = thread;
    }
    StartTraces(job);
    if (threadCount > 0) WaitForMultipleObjects(static_cast<DWORD>(threadCount), threads, TRUE, INFINITE);
    for (int i = 0; i < threadCount; ++i) CloseHandle(threads[i]);
    DetachFromToolConsole(&console);
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
    // Also ends when the run is no longer current (collect/run_control.h).
    DWORD result = WaitWhileRunCurrent(1, &allFinished, g_traceTimeLimitMs);
    if (result == kWaitRunStopped) return OutcomeCancelled;
    if (result == WAIT_TIMEOUT) return OutcomeTimedOut;
    return OutcomeFinished;  // a failed wait counts as finished
}

// Waits, up to a bound, for stopped tools to have ended, so that everything
// they wrote is in their pipes before the drains finish.
void SettleStoppedTools(const RouteTrace* traces, int traceCount) {
    DWORD start = GetTickCount();
    for (int i = 0; i < traceCount; ++i) {
        if (traces[i].tool.process == NULL) continue;
        DWORD spent = GetTickCount() - start;
        WaitForSingleObject(traces[i].tool.process, spent < kStopSettleMs ? kStopSettleMs - spent : 0);
    }
}

// Writes kept output bytes that continue the trace's output on a 4096-byte
// chunk boundary. The stop marker is looked for in each 4096-byte chunk, as
// CopyStreamToReport does when it copies a file holding the same output, but
// the bytes go out in one write rather than one per chunk. False when the copy
// stops here (marker found, or the write failed), so nothing after is copied.
bool WriteKeptBytes(ReportSink report, const char* bytes, DWORD count) {
    DWORD keep = count;
    bool marker = false;
    for (DWORD at = 0; at < count; at += kCopyChunkBytes) {
        DWORD chunk = count - at < kCopyChunkBytes ? count - at : kCopyChunkBytes;
        size_t chunkKeep = 0;
        if (FindStopMarkerCut(bytes + at, chunk, &chunkKeep)) {
            keep = at + static_cast<DWORD>(chunkKeep);
            marker = true;
            break;
        }
    }
    DWORD written = 0;
    if (keep > 0 && (!WriteFile(report, bytes, keep, &written, NULL) || written != keep)) {
        NoteReportWriteFailure();  // the report has a hole now; it is not sealed
        return false;
    }
    return !marker;
}

void WriteTraceOutput(ReportSink report, const RouteTrace* trace, DrainSession* session, int index) {
    if (!trace->drained) {
        if (trace->tool.output != NULL) CopyStreamToReport(trace->tool.output, report);
        return;
    }
    TraceDrain* drain = &session->drains[index];
    // A drain the drain thread has not completed is still its own: its block
    // then has no output.
    if (InterlockedCompareExchange(&drain->complete, 1, 1) != 1) return;
    // Output the spool could not take is missing from the report as surely
    // as a failed write would leave it out.
    if (drain->lostOutput) NoteReportWriteFailure();
    if (!WriteKeptBytes(report, drain->memory, drain->memoryBytes)) return;
    if (drain->spool == INVALID_HANDLE_VALUE || drain->staging == NULL) return;
    // The spool starts where full memory ended, on a chunk boundary, and is
    // read in multiples of the chunk, so the chunks are those of one file.
    SetFilePointer(drain->spool, 0, NULL, FILE_BEGIN);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(drain->spool, drain->staging, kSpoolReadBytes, &got, NULL) || got == 0) return;
        if (!WriteKeptBytes(report, drain->staging, got)) return;
    }
}

void WriteTraceBlock(ReportSink report, const RouteTrace* trace, DrainSession* session, int index) {
    char rule[16 + 3 * 256 + 3];
    size_t ruleChars = 16 + strlen(trace->label) + strlen(trace->regionText) + strlen(trace->address);
    if (ruleChars > sizeof rule - 3) ruleChars = sizeof rule - 3;
    memset(rule, '-', ruleChars);
    memcpy(rule + ruleChars, "\r\n", 3);

    WriteText(report, "\r\n");
    WriteText(report, rule);
    WriteFormatted(report, "Route for [%s:%s] (%s)\r\n", trace->label, trace->regionText, trace->address);
    WriteText(report, rule);
    WriteTraceOutput(report, trace, session, index);
    if (trace->stopped) {
        WriteFormatted(report, "\r\n-> canceled by Diagnova due to timeout(%d sec)\r\n",
                       static_cast<int>(g_traceTimeLimitMs / 1000));
    }
}

void ReleaseTrace(RouteTrace* trace) {
    if (trace->tool.process != NULL) CloseHandle(trace->tool.process);
    if (trace->tool.output != NULL) CloseHandle(trace->tool.output);
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

    // Every host is resolved first, in list order, so the failure lines stand
    // before all blocks; then the traces start together.
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
        }
    }
    if (traceCount == 0) return;

    DrainSession* session = StartDrainSession();
    StartJob job;
    job.traces = traces;
    job.traceCount = traceCount;
    job.next = 0;
    job.session = session;
    StartAllTraces(&job);

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
    if (outcome == OutcomeTimedOut) SettleStoppedTools(traces, traceCount);
    if (session != NULL) {
        PostQueuedCompletionStatus(session->port, 0, kFinishKey, NULL);
        if (outcome != OutcomeCancelled) WaitForSingleObject(session->drained, kDrainFinishMs);
    }
    if (outcome != OutcomeCancelled) {
        for (int i = 0; i < traceCount; ++i) WriteTraceBlock(report, &traces[i], session, i);
    }
    for (int i = 0; i < traceCount; ++i) ReleaseTrace(&traces[i]);
    if (session != NULL) {
        PostQueuedCompletionStatus(session->port, 0, kReleaseKey, NULL);
        ReleaseSession(session);
    }
}
