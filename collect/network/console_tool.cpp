// Console tool runner: starts one of the system's console tools hidden, with
// its standard output on an anonymous pipe, and copies what it prints into the
// report (capture form) or hands the running tool back (start-only form).
//
// The program runs elevated from wherever the player saved it, so the tool is
// never looked up through the system's usual search, which would try the
// program's folder and the current folder first and run a same-named program
// planted there. The application name is always "<system folder>\<tool>.exe"
// (or, where the caller asks for the other bitness's tool on 64-bit Windows,
// "<that system folder>\<tool>.exe"); the command line itself is passed
// unchanged.
//
// CreatePipe cannot make a pipe for overlapped reads, so the overlapped start
// form builds the same kind of pipe itself: a named pipe with a name unique to
// this process and call, of which this process holds the reading server end
// and the tool gets the writing client end. Where the caller has switched
// WOW64 file-system redirection off, the system folder path leads to the native
// tools, which is what the 64-bit dxdiag run wants.
//
// Every tool runs inside one job object of this process that ends its
// processes when the job's last handle is closed, which happens when Diagnova
// ends, however it ends (its window closed during a run, a crash, Task
// Manager): otherwise up to 128 route tracers, each running for minutes, and
// dxdiag would go on without anyone to read them. The tool starts suspended
// and runs only once it is in the job, so nothing it starts can escape. Where
// Diagnova itself already runs inside a job that allows no other (Windows 7
// and older allow a process only one job), the tool simply runs outside ours.
#include "collect/network/console_tool.h"

#include <stdio.h>
#include <string.h>

#include "collect/network/console_tool_text.h"
#include "common/owned_handle.h"

namespace {

const DWORD kCopyChunkBytes = 4096;
// Input buffer of the overlapped pipe: room for a tool to go on writing while
// its drainer is busy with other pipes.
const DWORD kPipeBufferBytes = 65536;

// "<folder>\<first word>[.exe]", the system folder when folder is NULL;
// false when it cannot be built.
bool ToolApplicationPath(const char* folder, const char* commandLine, char path[MAX_PATH]) {
    char tool[MAX_PATH];
    if (!ToolExecutableName(commandLine, tool, sizeof tool)) return false;
    char systemFolder[MAX_PATH];
    if (folder == NULL) {
        UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
        if (length == 0 || length >= sizeof systemFolder) return false;
        folder = systemFolder;
    }
    int written = snprintf(path, MAX_PATH, "%s\\%s", folder, tool);
    return written > 0 && written < MAX_PATH;
}

// The job of every started tool; made at the first start, never closed, so it
// ends with the process. Its handle is not inheritable: a tool holding one
// would keep the job, and so itself, alive after Diagnova has ended.
HANDLE ToolJob() {
    static HANDLE volatile s_job = NULL;
    HANDLE job = s_job;
    if (job != NULL) return job;
    HANDLE made = CreateJobObjectA(NULL, NULL);
    if (made == NULL) return NULL;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(made);
        return NULL;
    }
    // Starter threads may get here together; the first job made is kept.
    HANDLE earlier = InterlockedCompareExchangePointer(const_cast<HANDLE*>(&s_job), made, NULL);
    if (earlier == NULL) return made;
    CloseHandle(made);
    return earlier;
}

bool StartTool(const char* folder, const char* commandLine, HANDLE outputWrite, PROCESS_INFORMATION* process) {
    char application[MAX_PATH];
    if (!ToolApplicationPath(folder, commandLine, application)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // CreateProcess may write into its command-line argument, so it gets a
    // private copy; the copy is as long as the caller's text, not cut at 255.
    size_t lineBytes = strlen(commandLine) + 1;
    OwnedHeapBlock line(HeapAlloc(GetProcessHeap(), 0, lineBytes));
    if (!line.Valid()) return false;
    memcpy(line.Get(), commandLine, lineBytes);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = NULL;
    startup.hStdOutput = outputWrite;
    startup.hStdError = NULL;  // whatever the tool says on standard error is lost
    if (!CreateProcessA(application, static_cast<char*>(line.Get()), NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, NULL,
                        &startup, process)) {
        return false;
    }
    HANDLE job = ToolJob();
    if (job != NULL) AssignProcessToJobObject(job, process->hProcess);
    if (ResumeThread(process->hThread) == static_cast<DWORD>(-1)) {
        TerminateProcess(process->hProcess, 0);
        CloseHandle(process->hThread);
        CloseHandle(process->hProcess);
        return false;
    }
    return true;
}

// Starts the tool with the given write end as its standard output and closes
// the parent's copy of that end at once, whatever happens, so that the tool
// (and whatever it starts) is the pipe's only writer.
bool StartToolOnPipe(const char* commandLine, HANDLE writeEnd, HANDLE* processOut) {
    OwnedHandle outputWrite(writeEnd);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    bool created = StartTool(NULL, commandLine, outputWrite.Get(), &process);
    outputWrite.Reset();
    if (!created) return false;
    CloseHandle(process.hThread);
    *processOut = process.hProcess;
    return true;
}

// A named pipe standing in for an anonymous one: the read end for overlapped
// reads and not inheritable, the write end synchronous and inheritable.
bool CreateOverlappedPipe(HANDLE* readEnd, HANDLE* writeEnd) {
    static volatile LONG serial = 0;
    char name[96];
    snprintf(name, sizeof name, "\\\\.\\pipe\\Diagnova.%lu.%ld", GetCurrentProcessId(),
             InterlockedIncrement(&serial));
    const DWORD openMode = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED;
    const DWORD pipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    // One instance, and the first: a pipe of that name made beforehand by
    // another program makes the call fail instead of handing that program
    // the tool's output. Systems older than XP SP2 lack the flag and refuse it.
    OwnedFile read(CreateNamedPipeA(name, openMode | FILE_FLAG_FIRST_PIPE_INSTANCE, pipeMode, 1, 0, kPipeBufferBytes,
                                    0, NULL));
    if (!read.Valid() && GetLastError() == ERROR_INVALID_PARAMETER) {
        read.Reset(CreateNamedPipeA(name, openMode, pipeMode, 1, 0, kPipeBufferBytes, 0, NULL));
    }
    if (!read.Valid()) return false;
    SECURITY_ATTRIBUTES inheritable;
    ZeroMemory(&inheritable, sizeof inheritable);
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    // The client end connects at once; with a single instance nobody else can.
    HANDLE write = CreateFileA(name, GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (write == INVALID_HANDLE_VALUE) return false;
    *readEnd = read.Release();
    *writeEnd = write;
    return true;
}

bool WriteChunk(ReportSink report, const char* bytes, DWORD count) {
    if (count == 0) return true;
    DWORD written = 0;
    if (WriteFile(report, bytes, count, &written, NULL) && written == count) return true;
    NoteReportWriteFailure();
    return false;
}

}  // namespace

bool RunConsoleTool(ReportSink report, const char* commandLine, StartedTool* started) {
    return RunConsoleToolIn(NULL, report, commandLine, started);
}

bool RunConsoleToolIn(const char* folder, ReportSink report, const char* commandLine, StartedTool* started) {
    SECURITY_ATTRIBUTES inheritable;
    ZeroMemory(&inheritable, sizeof inheritable);
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    OwnedHandle outputRead;
    OwnedHandle outputWrite;
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        if (started == NULL) WriteLine(report, "CreatePipe");
        return false;
    }
    outputRead.Reset(readEnd);
    outputWrite.Reset(writeEnd);

    if (started == NULL) WriteFormatted(report, "*--> %s <--*\r\n\r\n", commandLine);

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    bool created = StartTool(folder, commandLine, outputWrite.Get(), &process);
    // From here on the child is the pipe's only writer, so the pipe reports
    // its end as soon as the child (and whatever it started) is done.
    outputWrite.Reset();
    OwnedHandle processHandle(created ? process.hProcess : NULL);
    OwnedHandle threadHandle(created ? process.hThread : NULL);
    threadHandle.Reset();
    if (!created) {
        if (started == NULL) WriteLine(report, "CreateProcess");
        return false;
    }

    if (started != NULL) {
        started->process = processHandle.Release();
        started->output = outputRead.Release();
        return true;
    }
    // The copy ends when the pipe does; the process is not waited for.
    CopyStreamToReport(outputRead.Get(), report);
    return true;
}

bool StartConsoleToolOverlapped(const char* commandLine, StartedTool* started) {
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreateOverlappedPipe(&readEnd, &writeEnd)) return false;
    OwnedFile outputRead(readEnd);
    HANDLE process = NULL;
    if (!StartToolOnPipe(commandLine, writeEnd, &process)) return false;
    started->process = process;
    started->output = outputRead.Release();
    return true;
}

bool RunConsoleToolWithArgs(ReportSink report, const char* tool, const char* arguments) {
    char commandLine[256];
    if (arguments != NULL) {
        snprintf(commandLine, sizeof commandLine, "%s %s", tool, arguments);
    } else {
        snprintf(commandLine, sizeof commandLine, "%s", tool);
    }
    return RunConsoleTool(report, commandLine, NULL);
}

bool CopyStreamToReport(HANDLE source, ReportSink report) { return CopyStreamToReportUpTo(source, report, MAXDWORD); }

bool CopyStreamToReportUpTo(HANDLE source, ReportSink report, DWORD maxBytes) {
    char chunk[kCopyChunkBytes];
    DWORD copied = 0;
    for (;;) {
        DWORD got = 0;
        DWORD want = sizeof chunk;
        if (copied == maxBytes) {
            // The limit is reached: one more byte tells whether the source ends here.
            if (!ReadFile(source, chunk, 1, &got, NULL)) return GetLastError() == ERROR_BROKEN_PIPE;
            return got == 0;
        }
        if (maxBytes - copied < want) want = maxBytes - copied;
        if (!ReadFile(source, chunk, want, &got, NULL)) {
            // The writing side closing its end is how a pipe ends normally.
            return GetLastError() == ERROR_BROKEN_PIPE;
        }
        if (got == 0) return true;
        size_t keep = 0;
        if (FindStopMarkerCut(chunk, got, &keep)) return WriteChunk(report, chunk, (DWORD)keep);
        if (!WriteChunk(report, chunk, got)) return false;
        copied += got;
    }
}
