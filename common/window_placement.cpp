// Dialog templates can only centre a dialog on the screen (DS_CENTER) or
// place it relative to the owner's client corner; once the player moves the
// main window, neither puts a dialog over it. This centres it on the owner
// itself, then pulls it back inside the work area of the owner's monitor so
// the caption can always be grabbed.
#include "common/window_placement.h"

void CentreOnOwner(HWND window) {
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner == NULL || IsIconic(owner)) return;
    RECT ownerRect, own;
    if (!GetWindowRect(owner, &ownerRect) || !GetWindowRect(window, &own)) return;
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = ownerRect.left + ((ownerRect.right - ownerRect.left) - width) / 2;
    int y = ownerRect.top + ((ownerRect.bottom - ownerRect.top) - height) / 2;

    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        if (x + width > work.right) x = work.right - width;
        if (y + height > work.bottom) y = work.bottom - height;
        if (x < work.left) x = work.left;
        if (y < work.top) y = work.top;
    }
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
