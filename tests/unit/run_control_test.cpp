// The wait that the tool-running steps share: it ends for the tool, for the
// cancel event, for its time limit, and on a worker whose run was left behind
// by a newer run, which resets the shared cancel event.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "collect/run_control.h"

namespace {

struct Events {
    HANDLE tool = CreateEventA(NULL, TRUE, FALSE, NULL);
    Events() {
        PrepareRunCancelEvent();
        ResetEvent(GetRunCancelEvent());
    }
    ~Events() {
        CloseHandle(tool);
        ResetEvent(GetRunCancelEvent());
        g_progressWindow.runId = kNoRun;
        SetThreadRunId(kNoRun);
    }
};

// The bound for a wait that should end at once: far below "never", and far
// above what a loaded machine adds before a thread gets its turn.
const DWORD kPromptlyMs = 5000;

// Runs the wait on a thread that works for run `runId`, as a test worker
// does, and returns once that thread runs; the result and the time the wait
// took come back through the pointers.
std::thread WaitOnWorker(LONG runId, HANDLE tool, DWORD timeoutMs, DWORD* result, DWORD* elapsedMs) {
    HANDLE started = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread worker([=] {
        SetThreadRunId(runId);
        DWORD start = GetTickCount();
        SetEvent(started);
        *result = WaitWhileRunCurrent(1, &tool, timeoutMs);
        *elapsedMs = GetTickCount() - start;
    });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
    return worker;
}

}  // namespace

TEST(RunWait, TheToolWinsOverTheCancelEventAndTheCancelEventEndsTheWait) {
    Events events;
    SetEvent(events.tool);
    SetEvent(GetRunCancelEvent());
    EXPECT_EQ(WAIT_OBJECT_0, WaitWhileRunCurrent(1, &events.tool, INFINITE));
    ResetEvent(events.tool);
    EXPECT_EQ(kWaitRunStopped, WaitWhileRunCurrent(1, &events.tool, INFINITE));
}

TEST(RunWait, AWorkerWhoseRunWasLeftForANewerOneStopsWaitingThoughTheCancelEventWasReset) {
    Events events;
    g_progressWindow.runId = 4;
    DWORD result = 0, elapsed = 0;
    std::thread worker = WaitOnWorker(4, events.tool, INFINITE, &result, &elapsed);
    Sleep(2 * kRunCheckPeriodMs);
    // The player closed run 4's dialog with the close box and started run 5:
    // nobody sets the cancel event for run 4, and run 5's start resets it.
    DWORD switched = GetTickCount();
    g_progressWindow.runId = 5;
    ResetEvent(GetRunCancelEvent());
    worker.join();
    EXPECT_EQ(kWaitRunStopped, result);
    EXPECT_GE(elapsed, 2 * kRunCheckPeriodMs - 20);
    EXPECT_LT(GetTickCount() - switched, kPromptlyMs);
}

TEST(RunWait, TheCurrentRunWaitsForItsToolOrItsTimeLimitWhole) {
    Events events;
    g_progressWindow.runId = 7;
    DWORD result = 0, elapsed = 0;
    // Longer than several check periods, and not a multiple of one.
    const DWORD limit = 3 * kRunCheckPeriodMs + 90;
    WaitOnWorker(7, events.tool, limit, &result, &elapsed).join();
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, result);
    EXPECT_GE(elapsed, limit - 20);
    EXPECT_LT(elapsed, limit + kPromptlyMs);

    std::thread worker = WaitOnWorker(7, events.tool, INFINITE, &result, &elapsed);
    Sleep(kRunCheckPeriodMs + 50);
    SetEvent(events.tool);
    worker.join();
    EXPECT_EQ(WAIT_OBJECT_0, result);
}

TEST(RunWait, OutsideATestWorkerOnlyTheToolTheCancelEventAndTheLimitCount) {
    Events events;
    // No run is current, and this thread works for none: the wait does not
    // give up early because of that.
    DWORD start = GetTickCount();
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitWhileRunCurrent(1, &events.tool, 2 * kRunCheckPeriodMs + 50));
    EXPECT_GE(GetTickCount() - start, 2 * kRunCheckPeriodMs + 30);
}

TEST(RunWait, RefusesMoreHandlesThanOneWaitTakesWithTheCancelEvent) {
    Events events;
    HANDLE many[MAXIMUM_WAIT_OBJECTS];
    for (HANDLE& handle : many) handle = events.tool;
    EXPECT_EQ((DWORD)WAIT_FAILED, WaitWhileRunCurrent(MAXIMUM_WAIT_OBJECTS, many, 0));
    EXPECT_EQ((DWORD)WAIT_FAILED, WaitWhileRunCurrent(0, many, 0));
}
