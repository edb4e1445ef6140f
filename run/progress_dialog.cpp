// The progress dialog (template 143): opening it starts a run, and it is the
// only way a run ends early. Cancel (button or Escape) makes the run no
// longer current and wakes the waiting steps; the close box and command 1
// end only the dialog, and the run completes unseen.
//
// Whenever the dialog ends it detaches from the run relay first, so nothing a
// still running worker sends afterwards reaches its (possibly reused) handles.
#include <windows.h>
#include <commctrl.h>

#include "catalog/text_catalog.h"
#include "collect/run_control.h"
#include "common/window_placement.h"
#include "resources/resource_ids.h"
#include "run/test_run.h"

namespace {

// A finished run's result, kept until the progress dialog's loop has ended.
// Shown from inside the ended dialog's handler, the result dialog would leave
// that loop waiting underneath it, and Wine's dialog loop drops the message
// it wakes for once its dialog has ended: the player's next click, or a
// close of the main window, would be lost.
struct FinishedRun {
    bool pending;
    char deliveredPath[MAX_PATH];
};
FinishedRun g_finishedRun;

void ForgetProgressDialog(HWND dialog) {
    if (g_progressWindow.dialog != dialog) return;
    DetachRelayDialog();
    if (g_progressWindow.bar != NULL) KillTimer(g_progressWindow.bar, kAnimationTimerId);
    g_progressWindow.dialog = NULL;
    g_progressWindow.bar = NULL;
    g_progressWindow.status = NULL;
}

void EndProgressDialog(HWND dialog, INT_PTR result) {
    ForgetProgressDialog(dialog);
    EndDialog(dialog, result);
}

void SetControlText(HWND dialog, int controlId, int textId) {
    HWND control = GetDlgItem(dialog, controlId);
    if (control != NULL) SetWindowTextA(control, GetText(textId));
}

void OpenProgressDialog(HWND dialog) {
    CentreOnOwner(dialog);
    g_progressWindow.dialog = dialog;
    g_progressWindow.bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    g_progressWindow.status = GetDlgItem(dialog, IDC_PROGRESS_STATUS);
    AttachRelayDialog(dialog, g_progressWindow.bar, g_progressWindow.status);

    SetWindowTextA(g_progressWindow.status, GetText(43));
    SetControlText(dialog, IDC_PROGRESS_NOTE, 47);
    SendMessageA(g_progressWindow.bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(g_progressWindow.bar, PBM_SETPOS, 0, 0);
    SetWindowTextA(dialog, GetText(41));
    SetControlText(dialog, IDC_PROGRESS_STATUS_LABEL, 42);
    SetControlText(dialog, IDCANCEL, 40);

    PrepareRunCancelEvent();
    g_progressWindow.runId = kNoRun;
    StartTestRun();
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OpenProgressDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        // Whole values: buttons and keys send notification code 0.
        if (wParam == IDOK) {
            EndProgressDialog(dialog, 1);
            return TRUE;
        }
        if (wParam == IDCANCEL) {
            // The dialog lets go of the run before the event wakes the
            // waiting steps, so a woken worker already finds it gone.
            g_progressWindow.runId = kNoRun;
            ForgetProgressDialog(dialog);
            HANDLE cancel = GetRunCancelEvent();
            if (cancel != NULL) SetEvent(cancel);
            EndDialog(dialog, 2);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndProgressDialog(dialog, 2);
        return TRUE;
    case WM_TEST_FINISHED: {
        // The path lives only while the worker waits for this message.
        const char* delivered = reinterpret_cast<const char*>(lParam);
        lstrcpynA(g_finishedRun.deliveredPath, delivered != NULL ? delivered : "", MAX_PATH);
        g_finishedRun.pending = true;
        EndProgressDialog(dialog, 1);
        return TRUE;
    }
    }
    return FALSE;
}

INT_PTR RunProgressDialog(HWND owner) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    g_finishedRun.pending = false;
    INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PROGRESS), owner, ProgressDialogProc, 0);
    if (g_finishedRun.pending) {
        g_finishedRun.pending = false;
        const char* delivered = g_finishedRun.deliveredPath;
        CurrentReportStepWriters().showResult(delivered[0] != '\0' ? delivered : NULL);
    }
    return result;
}
