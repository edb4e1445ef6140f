// Answers the first message box that this test process shows, from a helper
// thread, and records its caption, text and icon, so code that reports
// through MessageBox can be tested in-process. Needs a display (scripts/test
// provides Xvfb).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace testing_support {

class MessageBoxWatcher {
public:
    MessageBoxWatcher() : done_(false), thread_([this] { Watch(); }) {}
    ~MessageBoxWatcher() { Join(); }
    // After Join the recorded fields are final.
    void Join() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }

    bool seen = false;
    std::string caption, text;
    HICON icon = NULL;  // compare with LoadIcon(NULL, IDI_...): shared icons have one handle per process

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId() && strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(param) = window;
            return FALSE;
        }
        return TRUE;
    }
    // The icon control's id differs between Windows and Wine; find it by style.
    static BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
        *reinterpret_cast<HICON*>(param) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        return FALSE;
    }
    void Watch() {
        // No time limit: a box that appears late must still be answered, or
        // the code under test would wait for ever. Join ends the watch.
        while (!done_) {
            HWND box = NULL;
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
            if (box != NULL) {
                // The box may be found while it is still being filled in:
                // read until its text is there.
                char buffer[2048] = "";
                for (int reads = 0; reads < 80 && buffer[0] == '\0'; ++reads) {
                    if (reads > 0) Sleep(25);
                    GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
                }
                text = buffer;
                GetWindowTextA(box, buffer, sizeof buffer);
                caption = buffer;
                EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
                seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(25);
        }
    }

    std::atomic<bool> done_;
    std::thread thread_;
};

}  // namespace testing_support
