// Hyperlink control by subclassing. See hyperlink.h for the design.
//
// Window properties are named by one global atom, added when the program
// starts and deleted when it ends. The same name marks both the link controls
// (value: the CHyperLink object) and their parents (value: the parent's
// previous window procedure), so the parent procedure can tell a link
// control's colour request from any other static control's.
#include "ui/hyperlink.h"

#include <windowsx.h>

#include <cstdlib>
#include <cstring>

#include "ui/shell_open.h"

namespace {

const char kPropertyName[] = "_Hyperlink_Object_Pointer_\\{AFEED740-CC6D-47c5-831D-9848FD916EEF}";
const COLORREF kLinkColour = RGB(0, 0, 255);

struct PropertyAtomHolder {
    ATOM atom;
    PropertyAtomHolder() : atom(GlobalAddAtomA(kPropertyName)) {}
    ~PropertyAtomHolder() {
        if (atom != 0) GlobalDeleteAtom(atom);
    }
};

PropertyAtomHolder g_propertyAtom;
HFONT g_underlinedFont = NULL;
HCURSOR g_linkCursor = NULL;
LONG g_attachCount = 0;

LPCSTR PropertyName() { return MAKEINTATOM(g_propertyAtom.atom); }

bool ShellOpenUrl(const char* address) { return ShellOpen(NULL, address); }

UrlOpener g_urlOpener = ShellOpenUrl;

}  // namespace

void SetUrlOpener(UrlOpener opener) { g_urlOpener = opener != NULL ? opener : ShellOpenUrl; }

bool OpenUrl(const char* address) {
    if (address == NULL || address[0] == '\0') return false;
    return g_urlOpener(address);
}

CHyperLink::CHyperLink() : url(NULL), hovering(FALSE), controlFont(NULL), previousProc(NULL) {}

CHyperLink::~CHyperLink() { free(url); }

void CHyperLink::OnEnter() {}
void CHyperLink::OnLeave() {}

ATOM CHyperLink::PropertyAtom() { return g_propertyAtom.atom; }
HFONT CHyperLink::UnderlinedFont() { return g_underlinedFont; }
LONG CHyperLink::AttachCount() { return g_attachCount; }

bool CHyperLink::SetUrl(const char* address) {
    if (address == NULL) address = "";
    if (url != NULL && strcmp(url, address) == 0) return true;
    free(url);
    size_t size = strlen(address) + 1;
    url = static_cast<char*>(malloc(size));
    if (url == NULL) return false;
    memcpy(url, address, size);
    return true;
}

bool CHyperLink::Open() const { return OpenUrl(url); }

bool CHyperLink::Attach(HWND control) {
    // Subclassing a control twice would make the link procedure its own
    // previous procedure and recurse without end.
    if ((WNDPROC)GetWindowLongPtrA(control, GWLP_WNDPROC) == LinkProc) return true;

    HWND parent = GetParent(control);
    if (parent != NULL && (WNDPROC)GetWindowLongPtrA(parent, GWLP_WNDPROC) != ParentProc) {
        LONG_PTR parentProc = GetWindowLongPtrA(parent, GWLP_WNDPROC);
        SetPropA(parent, PropertyName(), (HANDLE)parentProc);
        SetWindowLongPtrA(parent, GWLP_WNDPROC, (LONG_PTR)ParentProc);
    }

    SetWindowLongPtrA(control, GWL_STYLE, GetWindowLongPtrA(control, GWL_STYLE) | SS_NOTIFY);
    controlFont = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);

    if (g_attachCount++ == 0) {
        LOGFONTA description;
        HGDIOBJ source = controlFont != NULL ? (HGDIOBJ)controlFont : GetStockObject(DEFAULT_GUI_FONT);
        if (GetObjectA(source, sizeof description, &description) == sizeof description) {
            description.lfUnderline = TRUE;
            g_underlinedFont = CreateFontIndirectA(&description);
        }
        g_linkCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32649));  // IDC_HAND; absent before Windows 2000
        if (g_linkCursor == NULL) g_linkCursor = LoadCursorA(NULL, IDC_ARROW);
    }

    previousProc = (WNDPROC)GetWindowLongPtrA(control, GWLP_WNDPROC);
    SetPropA(control, PropertyName(), (HANDLE)this);
    SetWindowLongPtrA(control, GWLP_WNDPROC, (LONG_PTR)LinkProc);
    SendMessageA(control, WM_SETFONT, (WPARAM)g_underlinedFont, FALSE);
    return true;
}

void CHyperLink::DrawFocusFrame(HWND control, HRGN clip) {
    HWND parent = GetParent(control);
    if (parent == NULL) return;
    RECT frame;
    GetWindowRect(control, &frame);
    InflateRect(&frame, 1, 1);
    MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&frame), 2);
    HDC dc = GetDC(parent);
    if (dc == NULL) return;
    if (clip != NULL) SelectClipRgn(dc, clip);
    DrawFocusRect(dc, &frame);
    ReleaseDC(parent, dc);
}

LRESULT CALLBACK CHyperLink::ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = (WNDPROC)GetPropA(window, PropertyName());
    if (previous == NULL) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        LRESULT brush = CallWindowProcA(previous, window, message, wParam, lParam);
        if (GetPropA((HWND)lParam, PropertyName()) != NULL) SetTextColor((HDC)wParam, kLinkColour);
        return brush;
    }
    case WM_PAINT: {
        // The focus frame is drawn with XOR outside the paint cycle, so a
        // repaint of the parent (a dialog closing over it) wipes it while
        // the link keeps the focus, and losing the focus later would draw it
        // back instead of removing it. Drawing it again over just the
        // repainted part keeps the toggle in step.
        HWND focus = GetFocus();
        HRGN repainted = NULL;
        if (focus != NULL && GetParent(focus) == window && GetPropA(focus, PropertyName()) != NULL) {
            repainted = CreateRectRgn(0, 0, 0, 0);
            if (repainted != NULL && GetUpdateRgn(window, repainted, FALSE) <= NULLREGION) {
                DeleteObject(repainted);
                repainted = NULL;
            }
        }
        LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
        if (repainted != NULL) {
            DrawFocusFrame(focus, repainted);
            DeleteObject(repainted);
        }
        return result;
    }
    case WM_DESTROY:
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)previous);
        RemovePropA(window, PropertyName());
        return CallWindowProcA(previous, window, message, wParam, lParam);
    default:
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
}

LRESULT CALLBACK CHyperLink::LinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CHyperLink* link = static_cast<CHyperLink*>(GetPropA(window, PropertyName()));
    if (link == NULL) return DefWindowProcA(window, message, wParam, lParam);
    WNDPROC previous = link->previousProc;
    switch (message) {
    case WM_DESTROY:
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)previous);
        if (--g_attachCount == 0) {
            g_linkCursor = NULL;
            if (g_underlinedFont != NULL) DeleteObject(g_underlinedFont);
            g_underlinedFont = NULL;
        }
        RemovePropA(window, PropertyName());
        return CallWindowProcA(previous, window, message, wParam, lParam);
    case WM_SETFOCUS:
        link->OnEnter();
        link->DrawFocusFrame(window);
        return 0;
    case WM_KILLFOCUS:
        link->OnLeave();
        link->DrawFocusFrame(window);
        return 0;
    case WM_SETCURSOR:
        SetCursor(g_linkCursor);
        return 1;
    case WM_KEYUP:
        if (wParam == VK_SPACE) {
            link->Open();
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        link->Open();
        return 0;
    case WM_MOUSEMOVE:
        if (!link->hovering) {
            link->hovering = TRUE;
            link->OnEnter();
            SetCapture(window);
        } else {
            RECT client;
            GetClientRect(window, &client);
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (!PtInRect(&client, point)) ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        link->hovering = FALSE;
        link->OnLeave();
        return 0;
    default:
        break;
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
